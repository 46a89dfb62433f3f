#include "clone/RescueMap.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

using S = SectorState;

TEST(RescueMap, RunsSplitJoinAndKeepTheirCounts) {
    RescueMap map(100);
    map.Set(10, 5, S::kFinished);
    map.Set(15, 5, S::kFinished); // joins the run before it
    map.Set(12, 2, S::kBad);      // splits it
    EXPECT_EQ(map.Runs(), (std::vector<MapRun>{{0, 10, S::kUntried},
                                               {10, 2, S::kFinished},
                                               {12, 2, S::kBad},
                                               {14, 6, S::kFinished},
                                               {20, 80, S::kUntried}}));
    EXPECT_EQ(map.Count(S::kFinished), 8u);
    EXPECT_EQ(map.Count(S::kUntried), 90u);
    EXPECT_EQ(map.CountRuns(S::kFinished), 2u);
    EXPECT_EQ(map.RunAt(13), (MapRun{12, 2, S::kBad}));
    EXPECT_EQ(map.NextRun(11, S::kFinished), (MapRun{11, 1, S::kFinished}));
    EXPECT_EQ(map.NextRun(12, S::kFinished), (MapRun{14, 6, S::kFinished}));
    EXPECT_EQ(map.NextRun(20, S::kFinished), std::nullopt);
    map.Set(12, 2, S::kFinished); // joins both sides
    EXPECT_EQ(map.RunAt(10), (MapRun{10, 10, S::kFinished}));
    map.Set(50, 1000, S::kBad); // cut at the end of the map
    EXPECT_EQ(map.Count(S::kBad), 50u);
    map.Set(0, 100, S::kFinished);
    EXPECT_EQ(map.Runs(), (std::vector<MapRun>{{0, 100, S::kFinished}}));
    EXPECT_EQ(map.Count(S::kUntried) + map.Count(S::kBad), 0u);
}

// A map as GNU ddrescue writes it: comments, the status line, a run per line, in bytes.
constexpr char kDdrescueMap[] = "# Mapfile. Created by GNU ddrescue version 1.27\n"
                                "# Command line: ddrescue /dev/sdb disk.img disk.map\n"
                                "# current_pos  current_status  current_pass\n"
                                "0x00010000     *               1\n"
                                "#      pos        size  status\n"
                                "0x00000000  0x00010000  +\n"
                                "0x00010000  0x00000200  -\n"
                                "0x00010200  0x00000400  /\n"
                                "0x00010600  0x0000FA00  ?\n";

TEST(RescueMap, ReadsDdrescueMapsAndWritesWhatItReads) {
    const ParsedMap parsed = ParseMapText(kDdrescueMap, 256);
    ASSERT_TRUE(parsed.map) << parsed.error;
    const std::vector<MapRun> runs = {{0, 128, S::kFinished},
                                      {128, 1, S::kBad},
                                      {129, 2, S::kUnscraped},
                                      {131, 125, S::kUntried}};
    EXPECT_EQ(parsed.map->Runs(), runs);
    EXPECT_EQ(parsed.map->position, 128u);
    EXPECT_EQ(parsed.map->phase, RescuePhase::kTrim);
    EXPECT_TRUE(parsed.source.identity.empty());

    const std::string text =
        MapText(*parsed.map, {"/dev/sdb", "DISK MODEL\nX 123", "/srv/copy.img"});
    EXPECT_NE(text.find("\n0x00010000     *               1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n0x00010000  0x00000200  -\n"), std::string::npos) << text;
    const ParsedMap again = ParseMapText(text, 256);
    ASSERT_TRUE(again.map) << again.error;
    EXPECT_EQ(again.map->Runs(), runs);
    EXPECT_EQ(again.source.name, "/dev/sdb");
    EXPECT_EQ(again.source.identity, "DISK MODEL\\nX 123"); // a name never ends a line
    EXPECT_EQ(again.source.destination, "/srv/copy.img");
    // What a hand-made map holds unescaped is escaped as it is read: it is shown in messages.
    const ParsedMap handMade = ParseMapText("# Source: /dev/\x1b[2Jsdb\n# Source identity: A\tB\n"
                                            "0x00000000  ?  1\n0x00000000  0x00020000  ?\n",
                                            256);
    ASSERT_TRUE(handMade.map) << handMade.error;
    EXPECT_EQ(handMade.source.name, "/dev/\\x1b[2Jsdb");
    EXPECT_EQ(handMade.source.identity, "A\\tB");
    EXPECT_EQ(ParseMapText("0x00000000  ?  \x1b\n", 256).error, "line 1: not a pass number: \\x1b");

    // The older form has no pass; an empty map is a new one.
    const ParsedMap older = ParseMapText("0x00000000     ?\n0x00000000  0x00020000  ?\n", 256);
    ASSERT_TRUE(older.map) << older.error;
    EXPECT_EQ(older.map->pass, 1u);
    const ParsedMap empty = ParseMapText("# nothing yet\n", 256);
    ASSERT_TRUE(empty.map);
    EXPECT_EQ(empty.map->Count(S::kUntried), 256u);
}

TEST(RescueMap, DamagedMapsAndMapsOfAnotherSizeAreRefused) {
    const std::string status = "0x00000000  ?  1\n";
    const struct {
        const char* name;
        std::string text;
        const char* error;
    } cases[] = {
        {"no status line", "0x00000000  0x00020000  +\n", "line 1: not a status line"},
        {"an unknown status", status + "0x00000000  0x00020000  x\n", "line 2: not a run"},
        {"half a sector", status + "0x00000000  0x00000100  +\n", "line 2: not a run"},
        {"a run of nothing", status + "0x00000000  0x00000000  +\n", "line 2: not a run"},
        {"a number too large", status + "0x00000000  0xFFFFFFFFFFFFFFFFFF  +\n",
         "line 2: not a run"},
        {"a gap", status + "0x00000000  0x00010000  +\n0x00010200  0x00000200  ?\n",
         "line 3: a run that does not begin where"},
        {"an overlap", status + "0x00000000  0x00010000  +\n0x0000FE00  0x00010200  ?\n",
         "line 3: a run that does not begin where"},
        {"past the end", status + "0x00000000  0x00020200  +\n", "line 2: a run past the end"},
        {"a smaller source", status + "0x00000000  0x00010000  +\n",
         "the map covers 128 sectors, the source has 256"},
        {"a pass that is not a number", "0x00000000  ?  x\n", "line 1: not a pass number"},
    };
    for (const auto& c : cases) {
        const ParsedMap parsed = ParseMapText(c.text, 256);
        EXPECT_FALSE(parsed.map) << c.name;
        EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << c.name << ": " << parsed.error;
    }
}

} // namespace
} // namespace twl
