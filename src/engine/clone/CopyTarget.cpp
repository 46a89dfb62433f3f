#include "clone/CopyTarget.h"

#include "platform/BlockDevice.h"
#include "platform/FullIo.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace twl {

int FdCopyTarget::WriteAt(ByteOffset offset, ConstBytes bytes) {
    return WriteAllAt(m_fd.Get(), offset, bytes).error;
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
