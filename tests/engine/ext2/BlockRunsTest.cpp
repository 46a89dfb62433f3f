// Runs of blocks: merging what was added out of order, and which parts of a range they meet.

#include "ext2/TreeBlockClaims.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace twl {
namespace {

using Runs = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

BlockRuns Sealed(const Runs& added) {
    BlockRuns runs;
    for (const auto& [first, count] : added)
        runs.Add(first, count);
    runs.Seal();
    return runs;
}

TEST(BlockRuns, SealMergesOverlappingAndAdjoiningRunsInOrder) {
    EXPECT_EQ(Sealed({{50, 5}, {10, 3}, {12, 4}, {16, 2}, {40, 1}, {0, 0}, {52, 1}}).Runs(),
              (Runs{{10, 8}, {40, 1}, {50, 5}}));
    EXPECT_TRUE(Sealed({}).Empty());
}

TEST(BlockRuns, MeetsAndOverlapsAtTheEdgesOfRuns) {
    const BlockRuns runs = Sealed({{10, 5}, {20, 5}}); // 10..14 and 20..24
    struct Case {
        std::uint64_t first, count;
        bool meets;
        Runs overlap;
    };
    for (const Case& c :
         {Case{0, 10, false, {}}, Case{0, 11, true, {{10, 1}}}, Case{14, 1, true, {{14, 1}}},
          Case{15, 5, false, {}}, Case{12, 10, true, {{12, 3}, {20, 2}}},
          Case{24, 100, true, {{24, 1}}}, Case{25, 100, false, {}}, Case{12, 0, false, {}}}) {
        EXPECT_EQ(runs.Meets(c.first, c.count), c.meets) << c.first << "+" << c.count;
        BlockRuns out;
        runs.AddOverlap(c.first, c.count, out);
        out.Seal();
        EXPECT_EQ(out.Runs(), c.overlap) << c.first << "+" << c.count;
    }
}

} // namespace
} // namespace twl
