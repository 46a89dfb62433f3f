#include "CliRunner.h"
#include "core/ByteCodec.h"
#include "fixtures/DiskImageBuilder.h"
#include "fixtures/TempDir.h"
#include "fixtures/TestDisks.h"

#include <fstream>
#include <vector>

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

// A disk with a GUID partition table: its Linux volumes (one in a basic data partition) are
// listed as a master boot record's are, and --all shows the table's own entries.
class GptDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string folder = fixtures::TestDisk("gpt");
        s_image = folder.empty() ? "" : folder + "/disk.img";
    }
    void SetUp() override { ASSERT_FALSE(s_image.empty()) << "could not make the test disk image"; }

    // A copy of the disk with byte `at` (from the end when negative) flipped.
    std::string Damaged(const std::string& name, std::vector<long> offsets) {
        std::vector<std::uint8_t> bytes = fixtures::ReadFileBytes(s_image);
        for (const long at : offsets)
            bytes[at >= 0 ? static_cast<std::size_t>(at) : bytes.size() + at] ^= 0xFF;
        const std::string path = m_dir.File(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    TempDir m_dir;
    static inline std::string s_image;
};

constexpr char kGptRows[] = "row\tstart\tsectors\tlabel\n"
                            "1\t10240\t8192\troot\n"
                            "2\t20480\t8192\tolddata\n";

TEST_F(GptDisk, ListsItsLinuxVolumesAsTheVolumePageNumbersThem) {
    const auto run = RunTwl({"volumes", s_image});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kGptRows);
    EXPECT_EQ(run.err, "");
    const auto tree = RunTwl({"tree", s_image, "--volume", "2", "--format", "tsv"});
    EXPECT_NE(tree.out.find("/docs/readme.txt\t1\t"), std::string::npos) << tree.out;
}

TEST_F(GptDisk, AllShowsEveryEntryOfTheTable) {
    const auto run = RunTwl({"volumes", s_image, "--all"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "row\tindex\ttype\tstart\tsectors\tname\tlabel\n"
              "1\t1\t0FC63DAF-8483-4772-8E79-3D69D8477DE4 (Linux filesystem)\t10240\t8192\troot"
              "\troot\n"
              "2\t2\tEBD0A0A2-B9E5-4433-87C0-68B6B72699C7 (Microsoft basic data)\t20480\t8192\t"
              "data\tolddata\n"
              "-\t3\tC12A7328-F81F-11D2-BA4B-00A0C93EC93B (EFI system)\t30720\t2048\tEFI\t\n");
}

// A damaged primary copy: the backup is listed, and said so. Both damaged: nothing of the
// table is listed, and auto mode's quick scan finds the volumes on their 1 MiB boundaries.
// A hybrid MBR (a real entry beside the protective one) lists the table's view.
TEST_F(GptDisk, DamageFallsBackToTheBackupThenToTheScan) {
    const auto backup = RunTwl({"volumes", Damaged("primary.img", {512 + 8})});
    EXPECT_EQ(backup.status, 0) << backup.err;
    EXPECT_EQ(backup.out, kGptRows);
    EXPECT_NE(backup.err.find("its backup at the disk's last sector was used"), std::string::npos)
        << backup.err;

    const std::string both = Damaged("both.img", {512 + 8, -512 + 8});
    const auto table = RunTwl({"volumes", "--mode", "table", both});
    EXPECT_EQ(table.status, 1);
    EXPECT_NE(table.err.find("both of its copies are damaged"), std::string::npos) << table.err;
    const auto scanned = RunTwl({"volumes", both});
    EXPECT_EQ(scanned.status, 0) << scanned.err;
    EXPECT_EQ(scanned.out, kGptRows);

    // Slot 2 of the master boot record made a Linux entry over the EFI partition.
    std::vector<std::uint8_t> bytes = fixtures::ReadFileBytes(s_image);
    const std::size_t slot = 446 + 16;
    bytes[slot + 4] = 0x83;
    PutLe32(bytes, slot + 8, 30720);
    PutLe32(bytes, slot + 12, 2048);
    const std::string hybrid = m_dir.File("hybrid.img");
    std::ofstream(hybrid, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(RunTwl({"volumes", hybrid}).out, kGptRows);
}

// An ext4 volume is listed, found by the table and by the scan alike, with what it is; opening
// it names the features and reads nothing.
// An ext4 volume is listed as such and read; one with a feature no version reads says which.
TEST(VolumesCommand, AnExt4VolumeIsListedWithWhatItIs) {
    TempDir dir;
    const std::string image = dir.File("ext4.img");
    ASSERT_EQ(fixtures::RunShell("mkdir -p " + dir.File("files") +
                                 " && printf 'label: dos\\n"
                                 "start=2048, size=16384, type=83\\n' >" +
                                 dir.File("layout") + " && " + TWL_MAKE_DISK_IMAGE + " " + image +
                                 " 10 " + dir.File("layout") + " 1:ext4:" + dir.File("files") +
                                 ":four >/dev/null"),
              0);
    const std::string note = "twl: row 1: ext4\n";
    for (const char* mode : {"table", "scan"}) {
        const auto run = RunTwl({"volumes", image, "--mode", mode});
        EXPECT_EQ(run.status, 0) << mode << run.err;
        EXPECT_EQ(run.out, "row\tstart\tsectors\tlabel\n1\t2048\t16384\tfour\n") << mode;
        EXPECT_NE(run.err.find(note), std::string::npos) << mode << run.err;
    }
    const auto tree = RunTwl({"tree", image});
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_NE(tree.out.find("  lost+found/"), std::string::npos) << tree.out;
    // dirdata (0x1000, beside flex_bg's 0x0200 in the same byte) changes what folder records
    // hold: the volume is listed, said, and not opened.
    ASSERT_EQ(fixtures::RunShell("printf '\\022' | dd of=" + image +
                                 " bs=1 seek=$((2048 * 512 + 1024 + 0x61)) conv=notrunc "
                                 "2>/dev/null"),
              0);
    const auto volumes = RunTwl({"volumes", image});
    EXPECT_NE(volumes.err.find("twl: row 1: ext4 volume with features this version cannot read "
                               "(dirdata)\n"),
              std::string::npos)
        << volumes.err;
    const auto refused = RunTwl({"tree", image});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("features this program cannot read (dirdata)"), std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.out, "");
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
