#include "clone/CopyTarget.h"

#include "platform/BlockDevice.h"
#include "platform/FullIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twl {

int FdCopyTarget::WriteAt(ByteOffset offset, ConstBytes bytes) {
    return WriteAllAt(m_fd.Get(), offset, bytes).error;
}

int FdCopyTarget::Finish() {
    return ::fsync(m_fd.Get()) == 0 ? 0 : errno;
}

int FdCopyTarget::ExtendTo(ByteCount bytes) {
    struct stat st {};
    if (::fstat(m_fd.Get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode) || static_cast<ByteCount>(st.st_size) >= bytes)
        return 0;
    return ::ftruncate(m_fd.Get(), static_cast<off_t>(bytes)) == 0 ? 0 : errno;
}

OpenedTarget CreateImageTarget(const std::string& path, bool keep) {
    return TargetOfFile(CreateImageFile(path, keep));
}

OpenedTarget TargetOfFile(OpenedFile file) {
    OpenedTarget opened;
    opened.status = file.status;
    if (file.fd.Valid())
        opened.target = std::make_unique<FdCopyTarget>(std::move(file.fd));
    return opened;
}

} // namespace twl
