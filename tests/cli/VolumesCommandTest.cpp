#include "CliRunner.h"
#include "fixtures/DiskImageBuilder.h"
#include "fixtures/TempDir.h"
#include "fixtures/TestDisks.h"

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::DiskImage;
using fixtures::TempDir;
using testing::RunTwl;

constexpr char kNoLogicalDrives[] = "No Logical Drives found\nPlease use Scan for logical Drives\n";

// A real disk made by sfdisk and mke2fs: ext3 and swap primaries, an extended partition with
// ext2, NTFS-typed and ext2 logical partitions (the last in the third record of the chain).
class RealDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string folder = fixtures::TestDisk("partitioned");
        s_image = folder.empty() ? "" : folder + "/disk.img";
    }
    void SetUp() override { ASSERT_FALSE(s_image.empty()) << "could not make the test disk image"; }

    static inline std::string s_image;
};

TEST_F(RealDisk, ListsTheLinuxVolumesAsTheVolumePageNumbersThem) {
    const auto run = RunTwl({"volumes", s_image});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "row\tstart\tsectors\tlabel\n"
                       "1\t2048\t8192\troot\n"
                       "2\t14336\t2048\tfirst\n"
                       "3\t22528\t2048\tthird-logical\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(RealDisk, AllShowsEveryEntryWithStatusAndType) {
    const auto run = RunTwl({"volumes", "--mode", "table", s_image, "--all"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "row\tstatus\ttype\tstart\tsectors\tlabel\n"
                       "1\t0x00\t0x83\t2048\t8192\troot\n"
                       "-\t0x00\t0x82\t10240\t2048\t\n"
                       "-\t0x00\t0x05\t12288\t14336\t\n"
                       "2\t0x00\t0x83\t14336\t2048\tfirst\n"
                       "-\t0x00\t0x05\t16384\t4096\t\n"
                       "-\t0x00\t0x07\t18432\t2048\t\n"
                       "-\t0x00\t0x05\t20480\t4096\t\n"
                       "3\t0x00\t0x83\t22528\t2048\tthird-logical\n");
}

TEST_F(RealDisk, ADriveOfTheInventoryReadsLikeTheImage) {
    const auto run = RunTwl({"volumes", "disk:1"}, "/nonexistent.img:" + s_image);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, RunTwl({"volumes", s_image}).out);
}

TEST(VolumesCommand, NoLinuxVolumeIsReportedWithStatusOne) {
    TempDir dir;
    DiskImage image(64);
    image.SetTableEntry(0, 0, {0, 0x07, 2, 20});
    image.SetTableEntry(0, 1, {0, 0x83, 30, 0}); // Linux, but empty: not listed
    image.SetBootSignature(0);
    ASSERT_TRUE(image.SaveTo(dir.File("ntfs.img")));
    const auto run = RunTwl({"volumes", dir.File("ntfs.img")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, kNoLogicalDrives);
}

TEST(VolumesCommand, LabelsAreEscapedAndLoopsAreReported) {
    TempDir dir;
    DiskImage image(200);
    image.SetTableEntry(0, 0, {0, 0x05, 100, 50});
    image.SetBootSignature(0);
    image.SetTableEntry(100, 0, {0, 0x83, 10, 30});
    image.SetTableEntry(100, 1, {0, 0x05, 0, 50}); // the record points at itself
    fixtures::SuperblockFields fields;
    fields.s_volume_name = "a\tb\\c\xff";
    image.WriteSuperblock(110, fields);
    ASSERT_TRUE(image.SaveTo(dir.File("loop.img")));
    const auto run = RunTwl({"volumes", dir.File("loop.img")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "row\tstart\tsectors\tlabel\n1\t110\t30\ta\\tb\\\\c\\xff\n");
    EXPECT_EQ(run.err, "twl: the chain of extended partitions leads back to sector 100; the "
                       "walk stopped there\n");
}

TEST(VolumesCommand, BadInputGivesOneLineAndStatusTwo) {
    TempDir dir;
    struct Case {
        std::vector<std::string> words;
        std::optional<std::string> drives;
        std::string firstLine;
    };
    const std::string missing = dir.File("missing.img");
    const std::vector<Case> cases = {
        {{"volumes", missing},
         {},
         "twl volumes: cannot open " + missing + ": No such file or directory\n"},
        {{"volumes", "disk:0"},
         missing,
         "twl volumes: cannot open " + missing + ": No such file or directory\n"},
        {{"volumes", "disk:2"}, missing, "twl volumes: no such drive disk:2\n"},
        {{"volumes", "disk:x"}, missing, "twl volumes: no such drive disk:x\n"},
        {{"volumes", missing, "--fast"}, {}, "twl volumes: unknown option --fast\n"},
        {{"volumes", missing, "--mode", "guess"},
         {},
         "twl volumes: unknown mode 'guess' (table, scan or auto)\n"},
        {{"volumes"}, {}, "twl volumes: expects one SOURCE\n"},
        {{"vols"}, {}, "twl: unknown command 'vols'\n"},
    };
    for (const Case& c : cases) {
        const auto run = RunTwl(c.words, c.drives);
        EXPECT_EQ(run.status, 2) << c.firstLine;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), c.firstLine);
        EXPECT_EQ(run.out, "");
    }
}

} // namespace
} // namespace twl::cli
