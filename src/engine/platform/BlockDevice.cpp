#include "platform/BlockDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Keeps `opened` only when it is a regular file, or a block device where `devicesToo`, and
// then clears O_NONBLOCK so that its reads and writes block as usual.
void KeepOnlyMedia(OpenedFile& opened, const std::string& path, bool devicesToo) {
    struct stat st {};
    if (::fstat(opened.fd.Get(), &st) != 0) {
        opened.status = Status::Failure(ErrorCode::kCannotOpen, path, errno);
    } else if (!S_ISREG(st.st_mode) && !(devicesToo && S_ISBLK(st.st_mode))) {
        opened.status = Status::Failure(ErrorCode::kNotDiskOrImage,
                                        path + " (" + std::string(KindOfFile(st.st_mode)) + ")");
    } else {
        const int flags = ::fcntl(opened.fd.Get(), F_GETFL);
        if (flags == -1 || ::fcntl(opened.fd.Get(), F_SETFL, flags & ~O_NONBLOCK) == -1)
            opened.status = Status::Failure(ErrorCode::kCannotOpen, path, errno);
    }
    if (!opened.status.Ok())
        opened.fd.Reset();
}

} // namespace

std::string_view KindOfFile(unsigned mode) {
    if (S_ISREG(mode))
        return "a regular file";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISLNK(mode))
        return "a symbolic link";
    return "not a file or a device";
}

// Opened without blocking, so that a FIFO without a writer cannot hold the open; the kind is
// checked on the descriptor itself, and reads of what is kept block as usual.
OpenedFile OpenForReading(const std::string& path) {
    OpenedFile opened = OpenWithFlags(path, O_RDONLY | O_NONBLOCK);
    if (opened.fd.Valid())
        KeepOnlyMedia(opened, path, true);
    return opened;
}

// A link at the path is never followed (someone else may have planted it where a root run
// writes), and a FIFO cannot hold the open. A regular file already there is emptied only
// once it is known to be one.
OpenedFile CreateImageFile(const std::string& path, bool keep) {
    OpenedFile opened = OpenWithFlags(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK);
    if (!opened.fd.Valid()) {
        // A link fails with ELOOP, a FIFO without a reader with ENXIO: name what is there.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            opened.status =
                Status::Failure(ErrorCode::kNotDiskOrImage,
                                path + " (" + std::string(KindOfFile(st.st_mode)) + ")");
        else
            opened.status.code = ErrorCode::kCannotCreate;
        opened.status.isFile = true;
        return opened;
    }
    KeepOnlyMedia(opened, path, false);
    if (opened.fd.Valid() && !keep && ::ftruncate(opened.fd.Get(), 0) != 0) {
        opened.status = Status::Failure(ErrorCode::kCannotCreate, path, errno);
        opened.status.isFile = true;
        opened.fd.Reset();
    }
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
