#include "ext2/ExtentWalk.h"

#include <algorithm>
#include <limits>

namespace twl {
namespace {

constexpr std::size_t kRootOffset = 0x28; // i_block in the record
constexpr std::size_t kRootSize = 60;
constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();

} // namespace

BlockMapSurvey ExtentWalk::Walk(const InodeRecord& inode, std::uint64_t end,
                                const FileBlockVisit& visit) {
    m_end = end;
    m_visit = &visit;
    const ConstBytes root = ConstBytes(inode).subspan(kRootOffset, kRootSize);
    const std::optional<ExtentHeader> header = ReadExtentHeader(root);
    if (header && header->depth <= kMaxExtentDepth)
        WalkNode(root, *header, {0, kNoLimit});
    else
        BadMap({0, kNoLimit}, 0); // nothing of the file's map can be trusted
    m_visit = nullptr;
    return m_survey;
}

// The entries of one node, in order. WalkNode, Index and Child recurse one level down per
// round, from a root of depth at most kMaxExtentDepth: at most six nodes are open at once.
void ExtentWalk::WalkNode(ConstBytes node, ExtentHeader header, Range range) {
    for (std::size_t n = 0; n < header.entries && !m_over; ++n) {
        const ConstBytes entry = ExtentEntryAt(node, n);
        if (header.depth == 0) {
            Extent(entry, range);
            continue;
        }
        // An index entry covers up to the next one's first block, the last up to the node's
        // limit; a next entry out of order gives no bound.
        const std::uint64_t first = ExtentFirst(entry);
        const std::uint64_t next =
            n + 1 < header.entries ? ExtentFirst(ExtentEntryAt(node, n + 1)) : range.limit;
        Index(entry, header.depth,
              {first, next > first ? std::min(next, range.limit) : range.limit}, range);
    }
}

// An index entry of a node at `depth`, covering `covered` of the node's `node` range.
void ExtentWalk::Index(ConstBytes entry, std::uint16_t depth, Range covered, Range node) {
    if (!Accepted(covered.first, node))
        return;
    const BlockNo child = ExtentChild(entry);
    if (!InVolume(child)) {
        BadMap(covered, child);
        return;
    }
    Child(child, depth - 1, covered);
}

void ExtentWalk::Child(BlockNo block, std::uint16_t depth, Range range) {
    std::vector<std::uint8_t> buffer;
    if (!ReadTreeBlock(block, buffer))
        return;
    const std::optional<ExtentHeader> header = ReadExtentHeader(buffer);
    if (!header || header->depth != depth) {
        BadMap(range, block);
        return;
    }
    WalkNode(buffer, *header, range);
}

// A leaf entry of a node covering `node`: cut at the node's limit and at the end.
void ExtentWalk::Extent(ConstBytes entry, Range node) {
    const std::uint64_t first = ExtentFirst(entry);
    const bool unwritten = ExtentUnwritten(entry);
    const std::uint64_t blocks = ExtentLength(entry);
    if (!Accepted(first, node))
        return;
    if (blocks == 0) {
        ++m_survey.outOfRangePointers; // an extent of no blocks names nothing
        return;
    }
    const std::uint64_t last = first + blocks;
    if (last > node.limit && node.limit < m_end)
        ++m_survey.outOfRangePointers; // it reaches into the range of the index entry after
    const std::uint64_t count = std::min({last, node.limit, m_end}) - first;
    Extent(first, count, ExtentStart(entry), unwritten);
}

// The `count` blocks of an extent below the end, from physical block `start`: all of them in
// the volume or none taken.
void ExtentWalk::Extent(std::uint64_t first, std::uint64_t count, BlockNo start, bool unwritten) {
    if (!HoleBefore(first))
        return; // counted only once visited
    if (!InVolume(start) || !InVolume(start + count - 1)) {
        ++m_survey.outOfRangePointers;
        Run(BlockStep::kOutside, first, count, start);
        return;
    }
    if (unwritten) {
        m_survey.endLogical = first + count;
        Run(BlockStep::kUnwritten, first, count, start);
        return;
    }
    for (std::uint64_t i = 0; i < count && !m_over; ++i) {
        ++m_survey.dataBlocks;
        m_survey.endLogical = first + i + 1;
        Run(BlockStep::kData, first + i, 1, start + i);
    }
}

// Whether an entry starting at `first` in a node covering `node` is followed. One at or past
// the end is not looked at; one out of order (before what the walk has covered, or outside
// its node's range) is damage, counted with the pointers that name nothing.
bool ExtentWalk::Accepted(std::uint64_t first, Range node) {
    if (first >= m_end) {
        ++m_survey.pointersPastEnd;
        return false;
    }
    if (first < std::max(node.first, m_next) || first >= node.limit) {
        ++m_survey.outOfRangePointers;
        return false;
    }
    return true;
}

// A node that cannot be read as one: what `range` holds is unknown. Counted once reached (a
// damaged root below an end of 0 has no step to wait for).
void ExtentWalk::BadMap(Range range, BlockNo block) {
    if (range.first < m_end && !HoleBefore(range.first))
        return;
    ++m_survey.outOfRangePointers;
    if (range.first < m_end)
        Run(BlockStep::kBadMap, range.first, std::min(range.limit, m_end) - range.first, block);
}

bool ExtentWalk::ReadTreeBlock(BlockNo block, std::vector<std::uint8_t>& buffer) {
    if (!m_seenTreeBlocks.insert(block).second) {
        m_survey.mapLoop = m_over = true; // the tree names one of its own blocks again
        return false;
    }
    if (m_stop != nullptr && m_stop->ShouldStop()) {
        m_survey.stopped = m_over = true;
        return false;
    }
    ++m_survey.mapBlocks;
    buffer.assign(m_geometry.blockSize, 0);
    m_read(block, buffer);
    return true;
}

// Reports the hole before `first`: the logical blocks no entry named since the last step.
// Returns whether the walk goes on.
bool ExtentWalk::HoleBefore(std::uint64_t first) {
    if (first > m_next && !m_over)
        Step(BlockStep::kHole, m_next, first - m_next, 0);
    m_next = std::max(m_next, first);
    return !m_over;
}

// A step at `first` (below the end, not before what the walk has covered).
void ExtentWalk::Run(BlockStep step, std::uint64_t first, std::uint64_t count, BlockNo block) {
    if (!HoleBefore(first))
        return;
    m_next = first + count;
    Step(step, first, count, block);
}

void ExtentWalk::Step(BlockStep step, std::uint64_t logical, std::uint64_t count, BlockNo block) {
    if (!*m_visit)
        return;
    if ((*m_visit)(FileBlock{step, logical, count, block}) == WalkOn::kEnd)
        m_survey.ended = m_over = true;
}

} // namespace twl
