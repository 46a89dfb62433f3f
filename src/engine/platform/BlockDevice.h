#pragma once

// Opening disks and image files, and asking their size. Sources are always opened read-only;
// only a clone destination is opened for writing.

#include "core/Status.h"
#include "core/Types.h"
#include "platform/UniqueFd.h"

#include <string>
#include <string_view>

namespace twl {

struct OpenedFile {
    UniqueFd fd;
    Status status; // why fd is not valid
};

// Opens a disk or an image to read from it: O_RDONLY, close-on-exec. Only a regular file or
// a block device is opened; anything else (FIFO, socket, character device, folder) fails with
// kNotDiskOrImage naming what it is, at once: the open itself never waits.
OpenedFile OpenForReading(const std::string& path);

// Creates or empties an image file to write to: only a regular file is taken; a FIFO, device
// or folder fails with kNotDiskOrImage, and so does a symbolic link, which is never followed.
// `keep`: an image being continued keeps what it holds.
OpenedFile CreateImageFile(const std::string& path, bool keep = false);

// Opens a clone or image destination for reading and writing. Never used on a source.
OpenedFile OpenForWriting(const std::string& path);

struct SizeQuery {
    ByteCount bytes = 0;
    Status status;
};

// Size in bytes of an open regular file (its length) or block device (BLKGETSIZE64).
SizeQuery QuerySize(int fd, const std::string& pathForMessages);

// What a file of `mode` (st_mode) is, for messages: "a regular file", "a folder", "a FIFO"...
std::string_view KindOfFile(unsigned mode);

// True when path names a block device (after following links).
bool IsBlockDevice(const std::string& path);

// True when a and b are the same file or device (same st_dev/st_ino, or same st_rdev).
bool IsSameFile(const std::string& a, const std::string& b);

} // namespace twl
