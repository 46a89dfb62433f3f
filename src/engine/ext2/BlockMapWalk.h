#pragma once

// The one walk over a block map (direct, single, double and triple indirect) behind the size
// check, Turbo Scan and saving. A damaged or hostile map cannot make it run long: it walks no
// logical block at or past the end it is given, reads no map block outside the volume, ends
// at a map block named twice in the same map, and asks the stop control between map blocks.

#include "core/StopControl.h"
#include "ext2/Inode.h"

#include <cstdint>
#include <functional>
#include <unordered_set>

namespace twl {

// What a walk of a block map found. Holes (zero pointers) are passed over, not counted.
struct BlockMapSurvey {
    std::uint64_t dataBlocks = 0;
    std::uint64_t mapBlocks = 0;          // indirect blocks read for their pointers
    std::uint64_t endLogical = 0;         // one past the last mapped logical block visited
    std::uint64_t outOfRangePointers = 0; // pointers to no data block of the volume
    std::uint64_t pointersPastEnd = 0;    // pointers for logical blocks at or past the end
    bool mapLoop = false;                 // a map block met twice: the walk ended there
    bool stopped = false;                 // the stop control ended the walk
};

// Where the walk reads map blocks and which block numbers name data of the volume.
struct BlockMapGeometry {
    std::uint32_t blockSize = 1024;
    std::uint32_t firstDataBlock = 1; // blocks up to this one hold the boot and superblock
    std::uint32_t blocksCount = 0;    // s_blocks_count: block numbers from here on are not ours
};

class BlockMapWalk {
public:
    using ReadMapBlock = std::function<void(BlockNo block, MutableBytes out)>;
    using Visit = std::function<void(std::uint64_t logical, BlockNo block)>;

    BlockMapWalk(const BlockMapGeometry& geometry, ReadMapBlock read, StopControl* stop)
        : m_geometry(geometry), m_read(std::move(read)), m_stop(stop) {}

    // Calls visit(logical, block) in file order for every data pointer below `endLogical`
    // that names a block of the volume. Returns what the walk found.
    BlockMapSurvey Walk(const InodeRecord& inode, std::uint64_t endLogical, const Visit& visit);

    // Whether `block` can be a data or map block of the volume.
    bool InVolume(BlockNo block) const {
        return block > m_geometry.firstDataBlock && block < m_geometry.blocksCount;
    }

private:
    void WalkMapBlock(BlockNo mapBlock, int depth, std::uint64_t firstLogical);
    void Pointer(std::uint64_t logical, BlockNo block, int depth);
    bool Ended() const { return m_survey.mapLoop || m_survey.stopped; }

    BlockMapGeometry m_geometry;
    ReadMapBlock m_read;
    StopControl* m_stop;
    // State of the walk at hand.
    BlockMapSurvey m_survey;
    std::uint64_t m_end = 0;
    const Visit* m_visit = nullptr;
    std::unordered_set<BlockNo> m_seenMapBlocks;
};

} // namespace twl
