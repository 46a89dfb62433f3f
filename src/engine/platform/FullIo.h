#pragma once

// Whole transfers on a file descriptor: the call is repeated after an interrupted system call
// (EINTR) and after a short transfer, until every byte has moved, the file ends (reads) or the
// operating system reports an error.

#include "core/ByteCodec.h"
#include "core/Types.h"

#include <cstddef>

namespace twl {

struct IoResult {
    std::size_t bytes = 0; // bytes moved; fewer than asked for on an error or, reading, at the end
    int error = 0;         // errno of the failed call; ENOSPC when a write took nothing; 0 if none
};

// Reads `buffer.size()` bytes at `offset` (pread), stopping early at the end of the file.
IoResult ReadAllAt(int fd, ByteOffset offset, MutableBytes buffer);
// Writes all of `bytes` at `offset` (pwrite).
IoResult WriteAllAt(int fd, ByteOffset offset, ConstBytes bytes);
// Writes all of `bytes` at the descriptor's own position (write).
IoResult WriteAll(int fd, ConstBytes bytes);

} // namespace twl
