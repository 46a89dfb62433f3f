// Arbitrary bytes as an extent tree: the first 60 bytes are the root as i_block holds it, the
// rest 1 KiB tree blocks numbered from 2, and the bytes after the last whole block choose the
// end. The walk must report its steps in file order below the end, data only inside the
// volume, and read each tree block at most once, only from the volume.

#include "ext2/ExtentWalk.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

namespace {

using namespace twl;

constexpr std::size_t kRootBytes = 60;
constexpr std::size_t kBlockBytes = 1024;
constexpr BlockNo kFirstTreeBlock = 2;
constexpr std::uint64_t kMaxEnd = std::uint64_t{1} << 20; // keeps one input's steps bounded

void Require(bool holds) {
    if (!holds)
        std::abort();
}

// Up to four bytes after the last whole block, as a little-endian end; none: the largest.
std::uint64_t EndOf(ConstBytes tail) {
    if (tail.empty())
        return kMaxEnd;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < std::min<std::size_t>(tail.size(), 4); ++i)
        value |= std::uint64_t{tail[i]} << (8 * i);
    return value % (kMaxEnd + 1);
}

// What the steps must be: each after the one before, below the end, data one block of the
// volume at a time. The survey's counts follow from them.
class StepCheck {
public:
    StepCheck(const BlockGeometry& geometry, std::uint64_t end)
        : m_geometry(geometry), m_end(end) {}

    void See(const FileBlock& at) {
        Require(at.count >= 1 && at.logical >= m_next && at.logical < m_end);
        Require(at.count <= m_end - at.logical);
        m_next = at.logical + at.count;
        if (at.step == BlockStep::kData) {
            Require(at.count == 1 && InVolume(at.block));
            ++m_dataBlocks;
        }
        if (at.step == BlockStep::kData || at.step == BlockStep::kUnwritten)
            m_endLogical = m_next;
    }
    void Agrees(const BlockMapSurvey& survey) const {
        Require(survey.dataBlocks == m_dataBlocks && survey.endLogical == m_endLogical);
    }
    bool InVolume(BlockNo block) const {
        return block > m_geometry.firstDataBlock && block < m_geometry.blocksCount;
    }

private:
    const BlockGeometry& m_geometry;
    std::uint64_t m_end;
    std::uint64_t m_next = 0;
    std::uint64_t m_dataBlocks = 0;
    std::uint64_t m_endLogical = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kRootBytes)
        return 0;
    const ConstBytes input(data, size);
    const ConstBytes blocks = input.subspan(kRootBytes);
    const std::size_t treeBlocks = blocks.size() / kBlockBytes;
    const BlockGeometry geometry{
        kBlockBytes, 1, kFirstTreeBlock + treeBlocks + 1000, {true, false}};
    const std::uint64_t end = EndOf(blocks.subspan(treeBlocks * kBlockBytes));

    InodeRecord record{};
    std::copy_n(data, kRootBytes, record.begin() + 40);
    StepCheck check(geometry, end);
    std::unordered_set<BlockNo> read;
    const ReadMapBlock reader = [&](BlockNo block, MutableBytes out) {
        Require(read.insert(block).second && check.InVolume(block) && out.size() == kBlockBytes);
        if (block - kFirstTreeBlock < treeBlocks)
            std::copy_n(blocks.begin() + (block - kFirstTreeBlock) * kBlockBytes, kBlockBytes,
                        out.begin());
    };
    const FileBlockVisit visit = [&](const FileBlock& at) {
        check.See(at);
        return WalkOn::kGoOn;
    };
    const BlockMapSurvey survey = ExtentWalk(geometry, reader, nullptr).Walk(record, end, visit);
    check.Agrees(survey);
    Require(survey.mapBlocks == read.size() && !survey.stopped && !survey.ended);
    return 0;
}
