#pragma once

// The extent-tree kind of the file block walk (FileBlocks.h): a tree of at most five index
// levels above its leaves, the root held in the record's i_block, each leaf entry naming a run
// of logical blocks and the physical blocks that hold them. Used only through WalkFileBlocks.
//
// Every entry is given a logical range by the index entry above it: from its own first block
// to the next index entry's (the last one inherits its parent's limit; the root has none but
// the caller's end). A damaged node, or an index entry naming a block outside the volume, is
// one kBadMap step over that range. An entry starting outside its range or before the walk's
// position (out of order) is not followed, and a leaf extent reaching past its range is cut
// there, so a damaged leaf does not hide the subtree after it. All of these are counted in
// outOfRangePointers, the one count the survey keeps for map entries that cannot be trusted.
//
// The steps end with the last extent: the space past it has no entry in the tree, so no
// trailing hole is reported (the caller pads to the size it knows). The block map's trailing
// holes and unmapped levels stand for entries its map does have; a consumer that fills what
// no step covers with zeros treats both kinds alike.

#include "ext2/ExtentFormat.h"
#include "ext2/FileBlocks.h"

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

namespace twl {

class ExtentWalk {
public:
    ExtentWalk(const BlockGeometry& geometry, const ReadMapBlock& read, StopControl* stop)
        : m_geometry(geometry), m_read(read), m_stop(stop) {}

    // One walk per object: the extent tree whose root is the record's i_block (bytes 40..99
    // of the inode record), below logical block `end`.
    BlockMapSurvey Walk(const InodeRecord& inode, std::uint64_t end, const FileBlockVisit& visit);

private:
    // The logical blocks [first, limit) an index entry gives the node it names.
    struct Range {
        std::uint64_t first = 0;
        std::uint64_t limit = 0;
    };
    bool InVolume(BlockNo block) const {
        return block > m_geometry.firstDataBlock && block < m_geometry.blocksCount;
    }
    void WalkNode(ConstBytes node, ExtentHeader header, Range range);
    void Index(ConstBytes entry, std::uint16_t depth, Range range, Range node);
    void Child(BlockNo block, std::uint16_t depth, Range range);
    void Extent(ConstBytes entry, Range node);
    void Extent(std::uint64_t first, std::uint64_t count, BlockNo start, bool unwritten);
    bool Accepted(std::uint64_t first, Range node);
    void BadMap(Range range, BlockNo block);
    bool ReadTreeBlock(BlockNo block, std::vector<std::uint8_t>& buffer);
    bool HoleBefore(std::uint64_t first);
    void Run(BlockStep step, std::uint64_t first, std::uint64_t count, BlockNo block);
    void Step(BlockStep step, std::uint64_t logical, std::uint64_t count, BlockNo block);

    const BlockGeometry& m_geometry;
    const ReadMapBlock& m_read;
    StopControl* m_stop;
    // State of the walk at hand.
    BlockMapSurvey m_survey;
    std::uint64_t m_end = 0;
    std::uint64_t m_next = 0; // the first logical block no step has covered yet
    const FileBlockVisit* m_visit = nullptr;
    bool m_over = false; // a loop, a stop or the visitor ended the walk
    std::unordered_set<BlockNo> m_seenTreeBlocks;
};

} // namespace twl
