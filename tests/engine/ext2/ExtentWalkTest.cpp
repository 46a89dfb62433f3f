#include "ext2/ExtentWalk.h"

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace twl {
namespace {

using S = BlockStep;
using Bytes = std::vector<std::uint8_t>;
using Steps = std::vector<std::tuple<BlockStep, std::uint64_t, std::uint64_t, BlockNo>>;

constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kRoot = 60;    // i_block
constexpr std::size_t kBlock = 1024; // a tree block of the small volume
constexpr std::uint16_t kMagic = 0xF30A;
constexpr std::uint16_t kUnwritten = 32768; // added to a leaf length: uninitialised
constexpr BlockGeometry kSmall{1024, 1, 10000, {true, false}};

struct Ext {
    std::uint32_t logical;
    std::uint16_t length; // as stored
    BlockNo start;
};
struct Idx {
    std::uint32_t logical;
    BlockNo child;
};

// A node of `size` bytes: the header with as much room as the size holds, then the entries.
Bytes NodeOf(std::size_t size, std::uint16_t depth, std::size_t entries) {
    Bytes node(size, 0);
    PutLe16(node, 0, kMagic);
    PutLe16(node, 2, static_cast<std::uint16_t>(entries));
    PutLe16(node, 4, static_cast<std::uint16_t>((size - 12) / 12));
    PutLe16(node, 6, depth);
    PutLe32(node, 8, 0x5A5A5A5A); // generation: not looked at
    return node;
}

MutableBytes EntryOf(Bytes& node, std::size_t n) {
    return MutableBytes(node).subspan(12 + 12 * n, 12);
}

Bytes Leaf(std::size_t size, const std::vector<Ext>& extents) {
    Bytes node = NodeOf(size, 0, extents.size());
    for (std::size_t n = 0; n < extents.size(); ++n) {
        const MutableBytes entry = EntryOf(node, n);
        PutLe32(entry, 0, extents[n].logical);
        PutLe16(entry, 4, extents[n].length);
        PutLe16(entry, 6, static_cast<std::uint16_t>(extents[n].start >> 32));
        PutLe32(entry, 8, static_cast<std::uint32_t>(extents[n].start));
    }
    return node;
}

Bytes Index(std::size_t size, std::uint16_t depth, const std::vector<Idx>& children) {
    Bytes node = NodeOf(size, depth, children.size());
    for (std::size_t n = 0; n < children.size(); ++n) {
        const MutableBytes entry = EntryOf(node, n);
        PutLe32(entry, 0, children[n].logical);
        PutLe32(entry, 4, static_cast<std::uint32_t>(children[n].child));
        PutLe16(entry, 8, static_cast<std::uint16_t>(children[n].child >> 32));
        PutLe16(entry, 10, 0xBEEF); // unused
    }
    return node;
}

// The node with one 16-bit header field (0 magic, 2 entries, 4 room, 6 depth) replaced.
Bytes With(Bytes node, std::size_t field, std::uint16_t value) {
    PutLe16(node, field, value);
    return node;
}

struct Tree {
    Bytes root;
    std::map<BlockNo, Bytes> blocks;
};

// The record holding `root` in i_block, every other byte set so a read outside it shows.
InodeRecord RecordWith(const Bytes& root) {
    InodeRecord record;
    record.fill(0xEE);
    std::copy(root.begin(), root.end(), record.begin() + 40);
    return record;
}

// One step per kData block, as the walk reports them.
Steps Data(std::uint64_t logical, std::uint64_t count, BlockNo block) {
    Steps steps;
    for (std::uint64_t i = 0; i < count; ++i)
        steps.emplace_back(S::kData, logical + i, 1, block + i);
    return steps;
}

Steps operator+(Steps a, const Steps& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Walked {
    Steps steps;
    BlockMapSurvey survey;
    std::vector<BlockNo> reads;
};

// Walks `tree` below `end`; the visitor answers `answer` for each step it is shown.
Walked WalkTree(const Tree& tree, std::uint64_t end, const BlockGeometry& geometry = kSmall,
                StopControl* stop = nullptr,
                const std::function<WalkOn(const FileBlock&)>& answer = {}) {
    Walked walked;
    const ReadMapBlock read = [&](BlockNo block, MutableBytes out) {
        walked.reads.push_back(block);
        const auto found = tree.blocks.find(block);
        if (found != tree.blocks.end())
            std::copy_n(found->second.begin(), std::min(out.size(), found->second.size()),
                        out.begin());
    };
    const FileBlockVisit visit = [&](const FileBlock& at) {
        walked.steps.emplace_back(at.step, at.logical, at.count, at.block);
        return answer ? answer(at) : WalkOn::kGoOn;
    };
    walked.survey = ExtentWalk(geometry, read, stop).Walk(RecordWith(tree.root), end, visit);
    return walked;
}

struct TreeCase {
    const char* name;
    Tree tree;
    std::uint64_t end;
    Steps expected;
    std::vector<BlockNo> reads; // in order
    std::uint64_t outOfRange = 0;
    std::uint64_t pastEnd = 0;
    bool loop = false;
    BlockGeometry geometry = kSmall;
};

// The steps, the blocks read and the survey; the survey is the same without a visitor.
void Check(const TreeCase& c) {
    SCOPED_TRACE(c.name);
    const Walked walked = WalkTree(c.tree, c.end, c.geometry);
    EXPECT_EQ(walked.steps, c.expected);
    EXPECT_EQ(walked.reads, c.reads);
    std::uint64_t data = 0;
    std::uint64_t endLogical = 0;
    for (const auto& [step, logical, count, block] : c.expected) {
        data += step == S::kData ? count : 0;
        if (step == S::kData || step == S::kUnwritten)
            endLogical = logical + count;
    }
    const BlockMapSurvey& survey = walked.survey;
    EXPECT_EQ(survey.dataBlocks, data);
    EXPECT_EQ(survey.endLogical, endLogical);
    EXPECT_EQ(survey.mapBlocks, c.reads.size());
    EXPECT_EQ(survey.outOfRangePointers, c.outOfRange);
    EXPECT_EQ(survey.pointersPastEnd, c.pastEnd);
    EXPECT_EQ(survey.mapLoop, c.loop);
    EXPECT_FALSE(survey.stopped);
    EXPECT_FALSE(survey.ended);

    const ReadMapBlock read = [&](BlockNo block, MutableBytes out) {
        const auto found = c.tree.blocks.find(block);
        if (found != c.tree.blocks.end())
            std::copy_n(found->second.begin(), std::min(out.size(), found->second.size()),
                        out.begin());
    };
    const BlockMapSurvey unseen =
        ExtentWalk(c.geometry, read, nullptr).Walk(RecordWith(c.tree.root), c.end, {});
    EXPECT_EQ(std::tie(unseen.dataBlocks, unseen.endLogical, unseen.mapBlocks,
                       unseen.outOfRangePointers, unseen.pointersPastEnd, unseen.mapLoop),
              std::tie(survey.dataBlocks, survey.endLogical, survey.mapBlocks,
                       survey.outOfRangePointers, survey.pointersPastEnd, survey.mapLoop));
}

// Sound trees: holes between extents as runs, data block by block, uninitialised extents as
// one step, 48-bit block numbers, trees of several levels read each block once in file
// order, and the end cutting an extent and sparing the tree blocks wholly past it.
TEST(ExtentWalk, SoundTreesAreWalkedInFileOrder) {
    const BlockGeometry large{4096, 0, BlockNo{1} << 44, {true, false}};
    const BlockNo high = (BlockNo{1} << 32) | 0x23456789;
    const BlockNo highChild = (BlockNo{2} << 32) | 7;
    const TreeCase cases[] = {
        {"depth 0: a gap before and between two extents",
         {Leaf(kRoot, {{2, 3, 100}, {10, 2, 200}}), {}},
         kAll,
         Steps{{S::kHole, 0, 2, 0}} + Data(2, 3, 100) + Steps{{S::kHole, 5, 5, 0}} +
             Data(10, 2, 200),
         {}},
        {"uninitialised extents, and a length of exactly 32768 that is not one",
         {Leaf(kRoot, {{0, 1, 300},
                       {1, kUnwritten + 4, 400},
                       {5, kUnwritten, 1000},
                       {32773, 0xFFFF, 50000}}),
          {}},
         kAll,
         Data(0, 1, 300) + Steps{{S::kUnwritten, 1, 4, 400}} + Data(5, 32768, 1000) +
             Steps{{S::kUnwritten, 32773, 32767, 50000}},
         {},
         0,
         0,
         false,
         {1024, 1, 100000, {true, false}}},
        {"48-bit child and data block numbers",
         {Index(kRoot, 1, {{0, highChild}}), {{highChild, Leaf(4096, {{0, 2, high}})}}},
         kAll,
         Data(0, 2, high),
         {highChild},
         0,
         0,
         false,
         large},
        {"depth 2: root index, index blocks, leaves",
         {Index(kRoot, 2, {{0, 20}, {100, 21}}),
          {{20, Index(kBlock, 1, {{0, 30}, {50, 31}})},
           {21, Index(kBlock, 1, {{100, 32}})},
           {30, Leaf(kBlock, {{0, 2, 500}})},
           {31, Leaf(kBlock, {{50, 1, 600}, {60, 1, 601}})},
           {32, Leaf(kBlock, {{100, 1, 700}, {120, kUnwritten + 2, 800}})}}},
         kAll,
         Data(0, 2, 500) + Steps{{S::kHole, 2, 48, 0}} + Data(50, 1, 600) +
             Steps{{S::kHole, 51, 9, 0}} + Data(60, 1, 601) + Steps{{S::kHole, 61, 39, 0}} +
             Data(100, 1, 700) + Steps{{S::kHole, 101, 19, 0}, {S::kUnwritten, 120, 2, 800}},
         {20, 30, 31, 21, 32}},
        {"five levels, the deepest a root may have",
         {Index(kRoot, 5, {{0, 20}}),
          {{20, Index(kBlock, 4, {{0, 21}})},
           {21, Index(kBlock, 3, {{0, 22}})},
           {22, Index(kBlock, 2, {{0, 23}})},
           {23, Index(kBlock, 1, {{7, 24}})},
           {24, Leaf(kBlock, {{7, 1, 900}})}}},
         kAll,
         Steps{{S::kHole, 0, 7, 0}} + Data(7, 1, 900),
         {20, 21, 22, 23, 24}},
        {"the end cuts data and uninitialised extents; extents past it are counted",
         {Leaf(kRoot, {{0, 4, 100}, {4, kUnwritten + 4, 200}, {10, 1, 300}, {11, 1, 301}}), {}},
         6,
         Data(0, 4, 100) + Steps{{S::kUnwritten, 4, 2, 200}},
         {},
         0,
         2},
        {"the end falls before an index entry: its leaf is not read",
         {Index(kRoot, 1, {{0, 20}, {8, 21}}),
          {{20, Leaf(kBlock, {{0, 8, 100}})}, {21, Leaf(kBlock, {{8, 1, 200}})}}},
         5,
         Data(0, 5, 100),
         {20},
         0,
         1},
    };
    for (const TreeCase& c : cases)
        Check(c);
}

// Damaged trees: what a damaged node or an entry out of order would cover is reported as one
// step (or skipped and counted), the rest of the tree is still walked, no tree block is read
// twice and no step leaves the volume.
TEST(ExtentWalk, DamagedTreesAreReportedAndPassedOver) {
    const Bytes rootIndex = Index(kRoot, 1, {{0, 20}, {10, 21}});
    const Bytes leaf20 = Leaf(kBlock, {{0, 1, 100}});
    const Bytes leaf21 = Leaf(kBlock, {{10, 1, 500}});
    const Bytes soundRoot = Leaf(kRoot, {{0, 1, 100}});
    const TreeCase cases[] = {
        {"bad magic at the root",
         {With(soundRoot, 0, 0xF30B), {}},
         1000,
         Steps{{S::kBadMap, 0, 1000, 0}},
         {},
         1},
        {"more entries than room at the root",
         {With(With(soundRoot, 2, 3), 4, 2), {}},
         1000,
         Steps{{S::kBadMap, 0, 1000, 0}},
         {},
         1},
        {"more room at the root than the record holds",
         {With(soundRoot, 4, 5), {}},
         1000,
         Steps{{S::kBadMap, 0, 1000, 0}},
         {},
         1},
        {"a root deeper than five levels",
         {With(rootIndex, 6, 6), {{20, leaf20}, {21, leaf21}}},
         1000,
         Steps{{S::kBadMap, 0, 1000, 0}},
         {},
         1},
        {"bad magic in a child: its range up to the next entry",
         {rootIndex, {{20, With(leaf20, 0, 0x0AF3)}, {21, leaf21}}},
         kAll,
         Steps{{S::kBadMap, 0, 10, 20}} + Data(10, 1, 500),
         {20, 21},
         1},
        {"more entries than room in the last child: its range up to the end",
         {rootIndex, {{20, leaf20}, {21, With(leaf21, 2, 85)}}},
         1000,
         Data(0, 1, 100) + Steps{{S::kHole, 1, 9, 0}, {S::kBadMap, 10, 990, 21}},
         {20, 21},
         1},
        {"more room in a child than its block holds",
         {rootIndex, {{20, With(leaf20, 4, 85)}, {21, leaf21}}},
         kAll,
         Steps{{S::kBadMap, 0, 10, 20}} + Data(10, 1, 500),
         {20, 21},
         1},
        {"a child whose depth is not one less than its parent's",
         {Index(kRoot, 2, {{0, 20}}), {{20, leaf20}}},
         1000,
         Steps{{S::kBadMap, 0, 1000, 20}},
         {20},
         1},
        {"the last index entry of an index block: its range ends at its parent's next entry",
         {Index(kRoot, 2, {{0, 20}, {50, 21}}),
          {{20, Index(kBlock, 1, {{0, 30}, {20, 31}})},
           {21, Index(kBlock, 1, {{50, 32}})},
           {30, leaf20},
           {31, With(Leaf(kBlock, {{20, 1, 200}}), 0, 0)},
           {32, Leaf(kBlock, {{50, 1, 300}})}}},
         kAll,
         Data(0, 1, 100) + Steps{{S::kHole, 1, 19, 0}, {S::kBadMap, 20, 30, 31}} + Data(50, 1, 300),
         {20, 30, 31, 21, 32},
         1},
        {"an index entry past its parent's range: the damaged one before it ends at that bound",
         {Index(kRoot, 2, {{0, 20}, {50, 21}}),
          {{20, Index(kBlock, 1, {{0, 30}, {60, 31}})},
           {21, Index(kBlock, 1, {{50, 32}})},
           {30, With(leaf20, 0, 0)},
           {31, Leaf(kBlock, {{60, 1, 200}})},
           {32, Leaf(kBlock, {{50, 1, 300}})}}},
         kAll,
         Steps{{S::kBadMap, 0, 50, 30}} + Data(50, 1, 300),
         {20, 30, 21, 32},
         2},
        {"index children outside the volume, at its first data block and at its end",
         {Index(kRoot, 1, {{0, 20}, {5, 1}, {7, 10000}, {9, 21}}),
          {{20, leaf20}, {21, Leaf(kBlock, {{9, 1, 101}})}}},
         kAll,
         Data(0, 1, 100) +
             Steps{{S::kHole, 1, 4, 0}, {S::kBadMap, 5, 2, 1}, {S::kBadMap, 7, 2, 10000}} +
             Data(9, 1, 101),
         {20, 21},
         2},
        {"index blocks naming each other",
         {Index(kRoot, 3, {{0, 20}}),
          {{20, Index(kBlock, 2, {{0, 21}})}, {21, Index(kBlock, 1, {{0, 20}})}}},
         kAll,
         {},
         {20, 21},
         0,
         0,
         true},
        {"two index entries naming one leaf",
         {Index(kRoot, 1, {{0, 20}, {5, 20}, {9, 21}}),
          {{20, Leaf(kBlock, {{0, 2, 100}})}, {21, leaf21}}},
         kAll,
         Data(0, 2, 100),
         {20},
         0,
         0,
         true},
        {"extents reaching past the volume or starting in its first blocks",
         {Leaf(kRoot, {{0, 2, 100}, {2, 3, 9998}, {5, 1, 1}, {6, 2, 9998}}), {}},
         kAll,
         Data(0, 2, 100) + Steps{{S::kOutside, 2, 3, 9998}, {S::kOutside, 5, 1, 1}} +
             Data(6, 2, 9998),
         {},
         2},
        {"an uninitialised extent outside the volume, cut at the end",
         {Leaf(kRoot, {{0, kUnwritten + 9, 20000}}), {}},
         4,
         Steps{{S::kOutside, 0, 4, 20000}},
         {},
         1},
        {"extents overlapping or before the previous one",
         {Leaf(kRoot, {{10, 5, 100}, {12, 3, 200}, {0, 1, 300}, {20, 1, 400}}), {}},
         kAll,
         Steps{{S::kHole, 0, 10, 0}} + Data(10, 5, 100) + Steps{{S::kHole, 15, 5, 0}} +
             Data(20, 1, 400),
         {},
         2},
        {"an extent of no blocks",
         {Leaf(kRoot, {{0, 0, 100}, {1, 1, 101}}), {}},
         kAll,
         Steps{{S::kHole, 0, 1, 0}} + Data(1, 1, 101),
         {},
         1},
        {"an index entry before the previous one: its leaf is not read",
         {Index(kRoot, 1, {{0, 20}, {10, 21}, {5, 22}}),
          {{20, leaf20}, {21, leaf21}, {22, Leaf(kBlock, {{5, 1, 300}})}}},
         kAll,
         Data(0, 1, 100) + Steps{{S::kHole, 1, 9, 0}} + Data(10, 1, 500),
         {20, 21},
         1},
        {"leaf extents outside their index entry's range are cut or passed over",
         {rootIndex,
          {{20, Leaf(kBlock, {{0, 1, 100}, {8, 4, 200}, {11, 1, 300}})},
           {21, Leaf(kBlock, {{10, 2, 400}})}}},
         kAll,
         Data(0, 1, 100) + Steps{{S::kHole, 1, 7, 0}} + Data(8, 2, 200) + Data(10, 2, 400),
         {20, 21},
         2},
        {"an extent reaching into the next entry's range after the end: cut, not counted",
         {rootIndex, {{20, Leaf(kBlock, {{0, 12, 100}})}, {21, leaf21}}},
         6,
         Data(0, 6, 100),
         {20},
         0,
         1},
    };
    for (const TreeCase& c : cases)
        Check(c);
}

// A stop asked for before the walk reads nothing; one asked for while a leaf is read lets
// that leaf's steps out and ends the walk before the next tree block.
TEST(ExtentWalk, AStopEndsTheWalkBeforeTheNextTreeBlock) {
    const Tree tree{Index(kRoot, 1, {{0, 20}, {10, 21}}),
                    {{20, Leaf(kBlock, {{0, 2, 100}})}, {21, Leaf(kBlock, {{10, 1, 200}})}}};
    for (const bool before : {true, false}) {
        SCOPED_TRACE(before ? "stop before the walk" : "stop while the first leaf is read");
        StopControl stop;
        if (before)
            stop.RequestStop();
        Walked walked;
        const ReadMapBlock read = [&](BlockNo block, MutableBytes out) {
            walked.reads.push_back(block);
            const Bytes& node = tree.blocks.at(block);
            std::copy(node.begin(), node.end(), out.begin());
            stop.RequestStop();
        };
        const FileBlockVisit visit = [&](const FileBlock& at) {
            walked.steps.emplace_back(at.step, at.logical, at.count, at.block);
            return WalkOn::kGoOn;
        };
        const BlockMapSurvey survey =
            ExtentWalk(kSmall, read, &stop).Walk(RecordWith(tree.root), kAll, visit);
        EXPECT_TRUE(survey.stopped);
        EXPECT_EQ(walked.reads, before ? std::vector<BlockNo>{} : std::vector<BlockNo>{20});
        EXPECT_EQ(walked.steps, before ? Steps{} : Data(0, 2, 100));
        EXPECT_EQ(survey.mapBlocks, before ? 0u : 1u);
        EXPECT_EQ(survey.dataBlocks, before ? 0u : 2u);
    }
}

// The visitor ends the walk: at a data block, at a hole (the block after it is neither shown
// nor counted) and at the last step of a leaf (the next leaf is not read).
TEST(ExtentWalk, TheVisitorEndsTheWalkAtAnyStep) {
    const Tree tree{Index(kRoot, 1, {{0, 20}, {10, 21}}),
                    {{20, Leaf(kBlock, {{0, 2, 100}, {5, kUnwritten + 2, 300}})},
                     {21, Leaf(kBlock, {{10, 1, 200}})}}};
    struct Case {
        BlockStep at;
        Steps expected;
        std::uint64_t dataBlocks;
        std::uint64_t endLogical;
    };
    const Case cases[] = {
        {S::kData, Data(0, 1, 100), 1, 1},
        {S::kHole, Data(0, 2, 100) + Steps{{S::kHole, 2, 3, 0}}, 2, 2},
        {S::kUnwritten, Data(0, 2, 100) + Steps{{S::kHole, 2, 3, 0}, {S::kUnwritten, 5, 2, 300}}, 2,
         7},
    };
    for (const Case& c : cases) {
        const Walked walked = WalkTree(tree, kAll, kSmall, nullptr, [&](const FileBlock& at) {
            return at.step == c.at ? WalkOn::kEnd : WalkOn::kGoOn;
        });
        EXPECT_EQ(walked.steps, c.expected);
        EXPECT_EQ(walked.reads, std::vector<BlockNo>{20});
        EXPECT_TRUE(walked.survey.ended);
        EXPECT_EQ(walked.survey.dataBlocks, c.dataBlocks);
        EXPECT_EQ(walked.survey.endLogical, c.endLogical);
    }
}

} // namespace
} // namespace twl
