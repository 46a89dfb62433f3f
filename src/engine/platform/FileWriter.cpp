#include "platform/FileWriter.h"

#include "platform/FullIo.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace twl {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
constexpr int kNameTries = 16;

std::string RandomSuffix(std::random_device& random) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string suffix = ".part-";
    for (int i = 0; i < 4; ++i) {
        const unsigned bits = random();
        for (int shift = 0; shift < 32; shift += 8)
            suffix += kHex[(bits >> shift) & 0xF];
    }
    return suffix;
}

} // namespace

FileWriter::FileWriter(std::string path) : m_path(std::move(path)) {
    // The temporary file is made new, never opened where it stands: whatever is already at
    // its name (a file, or a link planted to make this program overwrite its target) is left
    // alone and another name is tried.
    std::random_device random;
    int fd = -1;
    int error = EEXIST;
    for (int tries = 0; fd < 0 && error == EEXIST && tries < kNameTries; ++tries) {
        m_partPath = m_path + (tries == 0 ? std::string(".part") : RandomSuffix(random));
        fd = ::open(m_partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        error = fd < 0 ? errno : 0;
    }
    if (fd < 0)
        m_status = Status::Failure(ErrorCode::kCannotCreate, m_path, error);
    m_fd.Reset(fd);
    m_buffer.reserve(kBufferBytes);
}

FileWriter::~FileWriter() {
    if (!m_committed && m_fd.Valid()) {
        m_fd.Reset();
        ::unlink(m_partPath.c_str());
    }
}

void FileWriter::Write(ConstBytes bytes) {
    if (!m_status.Ok())
        return;
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    if (m_buffer.size() >= kBufferBytes)
        Flush();
}

void FileWriter::Flush() {
    if (m_status.Ok()) {
        if (const IoResult wrote = WriteAll(m_fd.Get(), m_buffer); wrote.error != 0)
            m_status = Status::Failure(ErrorCode::kWriteFailed, m_path, wrote.error);
    }
    m_buffer.clear();
}

Status FileWriter::Commit() {
    if (!m_status.Ok())
        return m_status;
    Flush();
    if (m_status.Ok() && ::fsync(m_fd.Get()) != 0)
        m_status = Status::Failure(ErrorCode::kWriteFailed, m_path, errno);
    m_fd.Reset();
    if (m_status.Ok() && std::rename(m_partPath.c_str(), m_path.c_str()) != 0)
        m_status = Status::Failure(ErrorCode::kWriteFailed, m_path, errno);
    if (!m_status.Ok()) {
        ::unlink(m_partPath.c_str());
        return m_status;
    }
    m_committed = true;
    // The rename itself reaches the disk only with its folder: after a power cut the file
    // is then the new one, not the old.
    const std::size_t slash = m_path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : m_path.substr(0, slash + 1);
    if (const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return m_status;
}

} // namespace twl
