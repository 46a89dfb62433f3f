#pragma once

// Positioned reads from one open disk or image. Implementations keep a single descriptor and
// read with pread, so reads never share a file position and never reopen the medium.

#include "core/ByteCodec.h"
#include "core/Status.h"
#include "core/Types.h"
#include "platform/UniqueFd.h"

#include <cstddef>
#include <memory>
#include <string>

namespace twl {

struct ReadOutcome {
    std::size_t bytes = 0; // bytes placed in the buffer from its start
    int error = 0;         // errno of the read that failed; 0 when bytes < size means end of medium
};

class BlockReader {
public:
    virtual ~BlockReader() = default;

    // Fills buffer from byte offset until it is full, the medium ends, or a read fails.
    virtual ReadOutcome ReadAt(ByteOffset offset, MutableBytes buffer) = 0;

    // Size of the medium in bytes.
    virtual ByteCount Size(Status& status) = 0;

    // A hint that [offset, offset + bytes) will be read soon: the system may start reading it
    // while other reads are served. Nothing is read into the caller's memory; it may do
    // nothing.
    virtual void WillRead(ByteOffset /*offset*/, std::size_t /*bytes*/) {}
};

struct OpenedReader {
    std::unique_ptr<BlockReader> reader; // null when the open failed
    Status status;
};

// Opens a file or block device read-only behind a pread reader.
OpenedReader OpenFileReader(const std::string& path);

// The same reader over a descriptor opened elsewhere (by the disk helper); `path` names it in
// messages.
std::unique_ptr<BlockReader> ReaderOfDescriptor(UniqueFd fd, const std::string& path);

} // namespace twl
