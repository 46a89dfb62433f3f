#include "platform/BlockDevice.h"
#include "platform/FullIo.h"
#include "sector/BlockReader.h"

#include <fcntl.h>

namespace twl {
namespace {

class FileBlockReader final : public BlockReader {
public:
    FileBlockReader(UniqueFd fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path)) {}

    ReadOutcome ReadAt(ByteOffset offset, MutableBytes buffer) override {
        const IoResult got = ReadAllAt(m_fd.Get(), offset, buffer); // short at the medium's end
        return {got.bytes, got.error};
    }

    ByteCount Size(Status& status) override {
        const SizeQuery query = QuerySize(m_fd.Get(), m_path);
        status = query.status;
        return query.bytes;
    }

    // Lets the kernel queue the reads at once: on a cold disk, many queued reads are served in
    // the disk's own order, faster than one seek after another.
    void WillRead(ByteOffset offset, std::size_t bytes) override {
        ::posix_fadvise(m_fd.Get(), static_cast<off_t>(offset), static_cast<off_t>(bytes),
                        POSIX_FADV_WILLNEED);
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
        opened.reader = ReaderOfDescriptor(std::move(file.fd), path);
    return opened;
}

std::unique_ptr<BlockReader> ReaderOfDescriptor(UniqueFd fd, const std::string& path) {
    return std::make_unique<FileBlockReader>(std::move(fd), path);
}

} // namespace twl
