#pragma once

// The one walk over the blocks of a file: every reader of file or folder data goes through
// it. It takes an inode record by value, so a record from the inode table or from anywhere
// else can be walked, and hides the mapping kind (FileMapping.h) behind one sequence of steps
// in file order. A damaged or hostile map cannot make it run long or read outside the volume:
// no step reaches the end the caller gives, every pointer is checked against the volume
// before it is followed, a map block named twice ends the walk (so no map block is read twice
// and at most the volume's blocks are read), and the stop control is asked between map
// blocks.

#include "core/StopControl.h"
#include "ext2/FileMapping.h"
#include "ext2/Inode.h"

#include <cstdint>
#include <functional>

namespace twl {

// What one step of the walk stands for.
enum class BlockStep : std::uint8_t {
    kData,      // a block of the volume holding the file's data at `logical`
    kOutside,   // a data pointer naming no block of the volume: damage, not read
    kHole,      // a zero pointer in the map: `count` logical blocks hold no data
    kUnmapped,  // the record names no map for `count` logical blocks (for a block map, an
                // indirect level it does not use)
    kBadMap,    // a map block outside the volume, or one whose header is damaged: what its
                // `count` blocks hold is unknown
    kUnwritten, // blocks given to the file but never written (an uninitialised extent): they
                // belong to it and read as zeros
};

struct FileBlock {
    BlockStep step = BlockStep::kData;
    std::uint64_t logical = 0; // the first logical block of the step
    std::uint64_t count = 1;   // logical blocks it stands for, cut at the caller's end
    BlockNo block = 0;         // the block named; 0 for holes and unmapped ranges
};

// Whether the walk goes on after a step.
enum class WalkOn : std::uint8_t { kGoOn, kEnd };
using FileBlockVisit = std::function<WalkOn(const FileBlock&)>;

// What a walk found. Holes are not counted.
struct BlockMapSurvey {
    std::uint64_t dataBlocks = 0;
    std::uint64_t mapBlocks = 0;          // map blocks read for their pointers
    std::uint64_t endLogical = 0;         // one past the last data block visited
    std::uint64_t outOfRangePointers = 0; // data or map pointers to no block of the volume
    std::uint64_t pointersPastEnd = 0;    // pointers for logical blocks at or past the end
    bool mapLoop = false;                 // a map block met twice: the walk ended there
    bool stopped = false;                 // the stop control ended the walk
    bool ended = false;                   // the visitor ended the walk
};

// Where map blocks lie and which block numbers name blocks of the volume.
struct BlockGeometry {
    std::uint32_t blockSize = 1024;
    std::uint64_t firstDataBlock = 1; // blocks up to this one hold the boot and superblock
    std::uint64_t blocksCount = 0;    // s_blocks_count: block numbers from here on are not ours
    MapKinds kinds;                   // the kinds of map the volume has besides block maps
};

using ReadMapBlock = std::function<void(BlockNo block, MutableBytes out)>;

// Walks the blocks of `inode` below logical block `end` in file order, calling `visit` for
// each step (VolumeReader::ForEachFileBlock takes the record by value and walks its copy); `read`
// fills a map block (cleared first), `stop` may be null. Data held in the record itself has no
// blocks: no step. Returns what the walk found.
BlockMapSurvey WalkFileBlocks(const InodeRecord& inode, const BlockGeometry& geometry,
                              const ReadMapBlock& read, std::uint64_t end,
                              const FileBlockVisit& visit, StopControl* stop);

} // namespace twl
