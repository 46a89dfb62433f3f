#pragma once

// The block bitmaps of the open volume as they are now, read a group at a time as they are
// asked for: whether a block has been given out. Recovery asks it of a deleted file's
// blocks, which deletion freed: one in use again now belongs to another file.

#include "ext2/VolumeReader.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace twl {

class BlockBitmaps {
public:
    explicit BlockBitmaps(VolumeReader& reader) : m_reader(reader) {}

    // A group whose bitmap cannot be placed answers "free": nothing can be said against a
    // file there.
    bool InUse(std::uint64_t block);

    // Of the data blocks of `record` below its size, how many are in use now; `sound` is
    // false when its map names a block outside the volume or a map block twice.
    struct Count {
        std::uint64_t dataBlocks = 0;
        std::uint64_t inUse = 0;
        bool sound = true;
    };
    Count CountInUse(const InodeRecord& record, StopControl* stop);

private:
    const std::vector<std::uint8_t>& BitmapOf(std::uint32_t group);

    VolumeReader& m_reader;
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> m_bitmaps;
};

} // namespace twl
