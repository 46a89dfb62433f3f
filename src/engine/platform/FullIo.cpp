#include "platform/FullIo.h"

#include <cerrno>
#include <unistd.h>

namespace twl {
namespace {

// Calls `step(done)` (one system call for the bytes from `done` on) until `size` bytes have
// moved. A call that moved nothing ends the loop: the end of the file for a read, ENOSPC for
// a write (which has no other way to say the device took nothing).
template <typename Step>
IoResult Repeat(std::size_t size, bool reading, Step step) {
    IoResult result;
    while (result.bytes < size) {
        const ssize_t moved = step(result.bytes);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved < 0) {
            result.error = errno;
            break;
        }
        if (moved == 0) {
            result.error = reading ? 0 : ENOSPC;
            break;
        }
        result.bytes += static_cast<std::size_t>(moved);
    }
    return result;
}

} // namespace

IoResult ReadAllAt(int fd, ByteOffset offset, MutableBytes buffer) {
    return Repeat(buffer.size(), true, [&](std::size_t done) {
        return ::pread(fd, buffer.data() + done, buffer.size() - done,
                       static_cast<off_t>(offset + done));
    });
}

IoResult WriteAllAt(int fd, ByteOffset offset, ConstBytes bytes) {
    return Repeat(bytes.size(), false, [&](std::size_t done) {
        return ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                        static_cast<off_t>(offset + done));
    });
}

IoResult WriteAll(int fd, ConstBytes bytes) {
    return Repeat(bytes.size(), false, [&](std::size_t done) {
        return ::write(fd, bytes.data() + done, bytes.size() - done);
    });
}

} // namespace twl
