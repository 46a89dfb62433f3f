#pragma once

// Where a copy writes: an image file or a clone destination drive. Every write goes to its
// own offset, so a write that fails cannot move the sectors after it.

#include "core/ByteCodec.h"
#include "core/Status.h"
#include "core/Types.h"
#include "platform/BlockDevice.h"
#include "platform/UniqueFd.h"

#include <memory>
#include <string>

namespace twl {

class CopyTarget {
public:
    virtual ~CopyTarget() = default;
    // Writes all of `bytes` at `offset`; returns 0 or the errno of the write that failed.
    virtual int WriteAt(ByteOffset offset, ConstBytes bytes) = 0;
    // Flushes to the medium; returns 0 or an errno.
    virtual int Finish() = 0;
    // Makes an image file `bytes` long when it is shorter (what was never written reads as
    // zeros); a drive has its size. Returns 0 or an errno.
    virtual int ExtendTo(ByteCount /*bytes*/) { return 0; }
};

// A file or device opened for writing, written with pwrite.
class FdCopyTarget final : public CopyTarget {
public:
    explicit FdCopyTarget(UniqueFd fd) : m_fd(std::move(fd)) {}
    int WriteAt(ByteOffset offset, ConstBytes bytes) override;
    int Finish() override;
    int ExtendTo(ByteCount bytes) override;

private:
    UniqueFd m_fd;
};

struct OpenedTarget {
    std::unique_ptr<CopyTarget> target;
    Status status;
};

// Creates (or empties) the image file at `path`; `keep`: an image being continued keeps what
// it holds.
OpenedTarget CreateImageTarget(const std::string& path, bool keep = false);
// The target writing to `file` (a clone destination is neither created nor truncated); none,
// with `file`'s status, when it did not open.
OpenedTarget TargetOfFile(OpenedFile file);

} // namespace twl
