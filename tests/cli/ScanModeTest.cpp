#include "CliRunner.h"
#include "fixtures/TempDir.h"
#include "fixtures/TestDisks.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

// A disk without a partition table holding one ext2 file system at sector 63, made with a
// file in it.
class UnpartitionedDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string folder = fixtures::TestDisk("unpartitioned");
        s_image = folder.empty() ? "" : folder + "/disk.img";
    }
    void SetUp() override { ASSERT_FALSE(s_image.empty()); }

    static inline std::string s_image;
};

TEST_F(UnpartitionedDisk, AutoModeSweepsWhenTheTablesHoldNoLinuxPartition) {
    for (const auto& words : {std::vector<std::string>{"volumes", s_image},
                              std::vector<std::string>{"volumes", s_image, "--mode", "scan"}}) {
        const auto run = RunTwl(words);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "row\tstart\tsectors\tlabel\n1\t63\t4096\tswept\n");
        EXPECT_NE(run.err.find("Unique Logical Drive Super block found at sector 65\n"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("Logical Volume Scan Completed\n"), std::string::npos);
    }
    const auto table = RunTwl({"volumes", s_image, "--mode", "table"});
    EXPECT_EQ(table.status, 1);
    EXPECT_EQ(table.out, "");
}

TEST_F(UnpartitionedDisk, AFoundVolumeOpensWithItsTree) {
    const auto run = RunTwl({"tree", s_image, "--mode", "scan", "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("/note.txt\t1\t"), std::string::npos) << run.out;
    const auto thorough = RunTwl(
        {"tree", s_image, "--mode", "scan", "--thorough", "--start", "60", "--format", "tsv"});
    EXPECT_EQ(thorough.out, run.out);
}

TEST_F(UnpartitionedDisk, AThoroughRangeIsCheckedAgainstTheSource) {
    struct Case {
        std::vector<std::string> range;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--start", "8192"}, " Invalid value for start Sector"},
        {{"--end", "8192"}, "Invalid value for end Sector"},
        {{"--start", "500", "--end", "500"}, "End Sector should be greater then start sector"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = {"volumes", s_image, "--mode", "scan", "--thorough"};
        words.insert(words.end(), c.range.begin(), c.range.end());
        const auto run = RunTwl(words);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "twl volumes: " + c.message + "\n");
    }
    const auto last = RunTwl({"volumes", s_image, "--mode", "scan", "--thorough", "--end", "8191"});
    EXPECT_EQ(last.status, 0) << last.err;
}

// --start and --end take whole sector numbers and set the range of --thorough only: anything
// else is a command-line mistake, refused before the source is read.
TEST_F(UnpartitionedDisk, ARangeNeedsThoroughAndWholeSectorNumbers) {
    const std::string needsThorough =
        "--start and --end set the range of --thorough and go only with it";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--thorough", "--start", "-5"}, "--start takes a sector number (0 or more): -5"},
        {{"--thorough", "--end", "9x"}, "--end takes a sector number (0 or more): 9x"},
        {{"--thorough", "--start", " 7"}, "--start takes a sector number (0 or more):  7"},
        {{"--start", "60"}, needsThorough},
        {{"--end", "100"}, needsThorough},
    };
    const TempDir dir;
    const std::string never = dir.File("never.ds1");
    const std::vector<std::string> commands[] = {
        {"volumes", s_image}, {"tree", s_image}, {"scaninfo", "save", s_image, "-o", never}};
    for (const std::vector<std::string>& command : commands) {
        for (const auto& [range, message] : cases) {
            std::vector<std::string> words = command;
            words.insert(words.end(), {"--mode", "scan"});
            words.insert(words.end(), range.begin(), range.end());
            const auto run = RunTwl(words);
            EXPECT_EQ(run.status, 2) << command[0] << ' ' << message;
            EXPECT_NE(run.err.find(": " + message + "\n"), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(never));
}

} // namespace
} // namespace twl::cli
