#include "platform/BlockDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace twl {
namespace {

OpenedFile OpenWithFlags(const std::string& path, int flags) {
    OpenedFile result;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        result.status = Status::Failure(ErrorCode::kCannotOpen, path, errno);
        result.status.isFile = !IsBlockDevice(path); // disks are a matter of groups
    } else {
        result.fd.Reset(fd);
    }
    return result;
}

std::string_view KindOfFile(unsigned mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    return "not a file or a device";
}

} // namespace

// Opened without blocking, so that a FIFO without a writer cannot hold the open; the kind is
// checked on the descriptor itself, and reads of what is kept block as usual.
OpenedFile OpenForReading(const std::string& path) {
    OpenedFile opened = OpenWithFlags(path, O_RDONLY | O_NONBLOCK);
    if (!opened.fd.Valid())
        return opened;
    struct stat st {};
    if (::fstat(opened.fd.Get(), &st) != 0) {
        opened.status = Status::Failure(ErrorCode::kCannotOpen, path, errno);
    } else if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
        opened.status = Status::Failure(ErrorCode::kNotDiskOrImage,
                                        path + " (" + std::string(KindOfFile(st.st_mode)) + ")");
    } else {
        const int flags = ::fcntl(opened.fd.Get(), F_GETFL);
        if (flags == -1 || ::fcntl(opened.fd.Get(), F_SETFL, flags & ~O_NONBLOCK) == -1)
            opened.status = Status::Failure(ErrorCode::kCannotOpen, path, errno);
    }
    if (!opened.status.Ok())
        opened.fd.Reset();
    return opened;
}

OpenedFile OpenForWriting(const std::string& path) {
    return OpenWithFlags(path, O_RDWR);
}

SizeQuery QuerySize(int fd, const std::string& pathForMessages) {
    SizeQuery query;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        query.status = Status::Failure(ErrorCode::kCannotSize, pathForMessages, errno);
        return query;
    }
    if (S_ISBLK(st.st_mode)) {
        std::uint64_t bytes = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) {
            query.status = Status::Failure(ErrorCode::kCannotSize, pathForMessages, errno);
            return query;
        }
        query.bytes = bytes;
        return query;
    }
    if (!S_ISREG(st.st_mode)) {
        query.status = Status::Failure(ErrorCode::kCannotSize, pathForMessages, EINVAL);
        return query;
    }
    query.bytes = static_cast<ByteCount>(st.st_size);
    return query;
}

bool IsBlockDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    if (S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode))
        return sa.st_rdev == sb.st_rdev;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace twl
