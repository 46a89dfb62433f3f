#include "platform/BlockDevice.h"
#include "sector/BlockReader.h"

#include <cerrno>

namespace twl {
namespace {

class FileBlockReader final : public BlockReader {
public:
    FileBlockReader(UniqueFd fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path)) {}

    ReadOutcome ReadAt(ByteOffset offset, MutableBytes buffer) override {
        ReadOutcome outcome;
        while (outcome.bytes < buffer.size()) {
            const ssize_t got =
                ::pread(m_fd.Get(), buffer.data() + outcome.bytes, buffer.size() - outcome.bytes,
                        static_cast<off_t>(offset + outcome.bytes));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                outcome.error = errno;
                break;
            }
            if (got == 0)
                break; // end of the medium
            outcome.bytes += static_cast<std::size_t>(got);
        }
        return outcome;
    }

    ByteCount Size(Status& status) override {
        const SizeQuery query = QuerySize(m_fd.Get(), m_path);
        status = query.status;
        return query.bytes;
    }

private:
    UniqueFd m_fd;
    std::string m_path;
};

} // namespace

OpenedReader OpenFileReader(const std::string& path) {
    OpenedFile file = OpenForReading(path);
    OpenedReader opened;
    opened.status = file.status;
    if (file.fd.Valid())
        opened.reader = std::make_unique<FileBlockReader>(std::move(file.fd), path);
    return opened;
}

} // namespace twl
