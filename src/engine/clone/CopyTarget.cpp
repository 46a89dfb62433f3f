#include "clone/CopyTarget.h"

#include "platform/BlockDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace twl {

int FdCopyTarget::WriteAt(ByteOffset offset, ConstBytes bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::pwrite(m_fd.Get(), bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(offset + done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0)
            return errno;
        if (wrote == 0)
            return ENOSPC;
        done += static_cast<std::size_t>(wrote);
    }
    return 0;
}

int FdCopyTarget::Finish() {
    return ::fsync(m_fd.Get()) == 0 ? 0 : errno;
}

OpenedTarget CreateImageTarget(const std::string& path) {
    OpenedTarget opened;
    OpenedFile file = CreateImageFile(path);
    opened.status = file.status;
    if (file.fd.Valid())
        opened.target = std::make_unique<FdCopyTarget>(std::move(file.fd));
    return opened;
}

OpenedTarget OpenDriveTarget(const std::string& devicePath) {
    OpenedTarget opened;
    OpenedFile file = OpenForWriting(devicePath);
    opened.status = file.status;
    if (file.fd.Valid())
        opened.target = std::make_unique<FdCopyTarget>(std::move(file.fd));
    return opened;
}

} // namespace twl
