#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

TEST(DrivesCommand, TwlDrivesStandsInForTheInventory) {
    TempDir dir;
    ASSERT_TRUE(fixtures::WriteFileBytes(dir.File("a.img"), std::vector<std::uint8_t>(2048)));
    ASSERT_TRUE(fixtures::WriteFileBytes(dir.File("b.img"), std::vector<std::uint8_t>(512)));
    const auto run = RunTwl({"drives"}, dir.File("a.img") + ":" + dir.File("b.img"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "drive\tdevice\tmodel\tserial\tfirmware\tbus\tmedia\tbytes\tsectors\n"
                       "disk:0\t" +
                           dir.File("a.img") +
                           "\tImage file\t\t\t\tfixed\t2048\t4\n"
                           "disk:1\t" +
                           dir.File("b.img") + "\tImage file\t\t\t\tfixed\t512\t1\n");
    EXPECT_EQ(RunTwl({"drives", "extra"}).status, 2);
}

// Finding no disk is finding nothing: said on stderr, exit 1, no table.
TEST(DrivesCommand, NoDiskIsNothingFound) {
    const auto run = RunTwl({"drives"}, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "twl drives: no disks found\n");
}

} // namespace
} // namespace twl::cli
