#include "ext2/BlockMapWalk.h"

#include <algorithm>
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

BlockMapSurvey BlockMapWalk::Walk(const InodeRecord& inode, std::uint64_t end,
                                  const FileBlockVisit& visit) {
    m_end = end;
    m_visit = &visit;
    m_pointersPerBlock = m_geometry.blockSize / 4;
    const InodeView view{inode};
    for (std::size_t n = 0; n < kDirectBlocks && !Ended(); ++n)
        Pointer(n, view.i_block(n), 0, true);
    std::uint64_t firstLogical = kDirectBlocks;
    for (int depth = 1; depth <= 3 && !Ended(); ++depth) {
        Pointer(firstLogical, view.i_block(kDirectBlocks + depth - 1), depth, true);
        firstLogical += Span(m_pointersPerBlock, depth + 1);
    }
    m_visit = nullptr;
    return m_survey;
}

// One pointer of the map: to a data block (depth 0) or to a map block of `depth` levels
// whose first logical block is `logical`. `inRecord`: the pointer lies in the inode record.
void BlockMapWalk::Pointer(std::uint64_t logical, BlockNo block, int depth, bool inRecord) {
    if (Ended() || logical >= m_end) {
        m_survey.pointersPastEnd += block != 0 && !Ended() ? 1 : 0;
        return;
    }
    const std::uint64_t span = Span(m_pointersPerBlock, depth + 1);
    if (block == 0) {
        Step(depth > 0 && inRecord ? BlockStep::kUnmapped : BlockStep::kHole, logical, span, 0);
        return;
    }
    if (!InVolume(block)) {
        ++m_survey.outOfRangePointers;
        Step(depth > 0 ? BlockStep::kBadMap : BlockStep::kOutside, logical, span, block);
        return;
    }
    if (depth > 0) {
        WalkMapBlock(block, depth, logical);
        return;
    }
    ++m_survey.dataBlocks;
    m_survey.endLogical = logical + 1;
    Step(BlockStep::kData, logical, 1, block);
}

void BlockMapWalk::Step(BlockStep step, std::uint64_t logical, std::uint64_t count, BlockNo block) {
    if (!*m_visit)
        return;
    const FileBlock at{step, logical, std::min(count, m_end - logical), block};
    if ((*m_visit)(at) == WalkOn::kEnd)
        m_survey.ended = m_over = true;
}

void BlockMapWalk::WalkMapBlock(BlockNo mapBlock, int depth, std::uint64_t firstLogical) {
    if (!m_seenMapBlocks)
        m_seenMapBlocks.emplace();
    if (!m_seenMapBlocks->insert(mapBlock).second) {
        m_survey.mapLoop = m_over = true; // the map names one of its own blocks again
        return;
    }
    if (m_stop != nullptr && m_survey.mapBlocks % kMapBlocksPerStopPoll == 0 &&
        m_stop->ShouldStop()) {
        m_survey.stopped = m_over = true;
        return;
    }
    ++m_survey.mapBlocks;
    std::vector<std::uint8_t> buffer(m_geometry.blockSize);
    m_read(mapBlock, buffer);
    const std::uint64_t span = Span(m_pointersPerBlock, depth);
    for (std::uint64_t i = 0; i < m_pointersPerBlock && !Ended(); ++i)
        Pointer(firstLogical + i * span, Le32(buffer, 4 * i), depth - 1, false);
}

} // namespace twl
