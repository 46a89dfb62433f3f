#include "ext2/BlockMapWalk.h"

#include <vector>

namespace twl {
namespace {

// The stop control is asked once per this many map blocks read.
constexpr std::uint64_t kMapBlocksPerStopPoll = 64;

// How many logical blocks one pointer of a map block at `depth` covers (1 at depth 1).
std::uint64_t Span(std::uint64_t pointersPerBlock, int depth) {
    std::uint64_t span = 1;
    for (int d = 1; d < depth; ++d)
        span *= pointersPerBlock;
    return span;
}

} // namespace

BlockMapSurvey BlockMapWalk::Walk(const InodeRecord& inode, std::uint64_t endLogical,
                                  const Visit& visit) {
    m_survey = {};
    m_end = endLogical;
    m_visit = &visit;
    m_seenMapBlocks.clear();
    const InodeView view{inode};
    for (std::size_t n = 0; n < kDirectBlocks; ++n)
        Pointer(n, view.i_block(n), 0);
    const std::uint64_t pointers = m_geometry.blockSize / 4;
    std::uint64_t firstLogical = kDirectBlocks;
    for (int depth = 1; depth <= 3 && !Ended(); ++depth) {
        Pointer(firstLogical, view.i_block(kDirectBlocks + depth - 1), depth);
        firstLogical += Span(pointers, depth + 1);
    }
    m_visit = nullptr;
    return m_survey;
}

// One pointer of the map: a data block (depth 0) or a map block of `depth` levels whose
// first logical block is `logical`. Holes are passed over; a pointer the walk may not follow
// is counted.
void BlockMapWalk::Pointer(std::uint64_t logical, BlockNo block, int depth) {
    if (block == 0 || Ended())
        return;
    if (logical >= m_end) {
        ++m_survey.pointersPastEnd;
        return;
    }
    if (!InVolume(block)) {
        ++m_survey.outOfRangePointers;
        return;
    }
    if (depth > 0) {
        WalkMapBlock(block, depth, logical);
        return;
    }
    ++m_survey.dataBlocks;
    m_survey.endLogical = logical + 1;
    if (*m_visit)
        (*m_visit)(logical, block);
}

void BlockMapWalk::WalkMapBlock(BlockNo mapBlock, int depth, std::uint64_t firstLogical) {
    if (!m_seenMapBlocks.insert(mapBlock).second) {
        m_survey.mapLoop = true; // the map names one of its own blocks again
        return;
    }
    if (m_stop != nullptr && m_survey.mapBlocks % kMapBlocksPerStopPoll == 0 &&
        m_stop->ShouldStop()) {
        m_survey.stopped = true;
        return;
    }
    ++m_survey.mapBlocks;
    std::vector<std::uint8_t> buffer(m_geometry.blockSize);
    m_read(mapBlock, buffer);
    const std::uint64_t pointers = m_geometry.blockSize / 4;
    const std::uint64_t span = Span(pointers, depth);
    for (std::uint64_t i = 0; i < pointers && !Ended(); ++i)
        Pointer(firstLogical + i * span, Le32(buffer, 4 * i), depth - 1);
}

} // namespace twl
