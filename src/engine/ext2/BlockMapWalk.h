#pragma once

// The block-map kind of the file block walk (FileBlocks.h): twelve direct pointers, then
// single, double and triple indirect map blocks. Used only through WalkFileBlocks.

#include "ext2/FileBlocks.h"

#include <optional>
#include <unordered_set>

namespace twl {

class BlockMapWalk {
public:
    BlockMapWalk(const BlockGeometry& geometry, const ReadMapBlock& read, StopControl* stop)
        : m_geometry(geometry), m_read(read), m_stop(stop) {}

    // One walk per object.
    BlockMapSurvey Walk(const InodeRecord& inode, std::uint64_t end, const FileBlockVisit& visit);

private:
    bool InVolume(BlockNo block) const {
        return block > m_geometry.firstDataBlock && block < m_geometry.blocksCount;
    }
    void WalkMapBlock(BlockNo mapBlock, int depth, std::uint64_t firstLogical);
    void Pointer(std::uint64_t logical, BlockNo block, int depth, bool inRecord);
    void Step(BlockStep step, std::uint64_t logical, std::uint64_t count, BlockNo block);
    bool Ended() const { return m_over; }

    const BlockGeometry& m_geometry;
    const ReadMapBlock& m_read;
    StopControl* m_stop;
    std::uint64_t m_pointersPerBlock = 0;
    // State of the walk at hand.
    BlockMapSurvey m_survey;
    std::uint64_t m_end = 0;
    const FileBlockVisit* m_visit = nullptr;
    bool m_over = false; // a loop, a stop or the visitor ended the walk
    std::optional<std::unordered_set<BlockNo>> m_seenMapBlocks; // made at the first map block
};

} // namespace twl
