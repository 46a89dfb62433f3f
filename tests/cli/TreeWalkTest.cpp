#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::TempDir;
using testing::RunTwl;

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(TreeWalk, AnEntryWithInodeZeroIsPassedOverAndTheEntriesAfterItAreListed) {
    TempDir dir;
    const fs::path source = dir.File("source");
    for (int i = 0; i < 60; ++i)
        Write(source / "many" / ("entry-with-a-long-name-" + std::to_string(100 + i)), "x");
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -O ^dir_index -d " +
                                 source.string() + " " + image + " 2048 >/dev/null 2>&1"),
              0);
    // Zero the inode number of one entry, as a deletion at the start of a block leaves it.
    std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    const std::size_t name = bytes.find("entry-with-a-long-name-110");
    ASSERT_NE(name, std::string::npos);
    file.seekp(static_cast<std::streamoff>(name - 8));
    file.write("\0\0\0\0", 4);
    file.close();

    const auto run = RunTwl({"tree", image, "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("entry-with-a-long-name-110\t"), std::string::npos);
    for (const int kept : {100, 109, 111, 159})
        EXPECT_NE(run.out.find("/many/entry-with-a-long-name-" + std::to_string(kept) + "\t"),
                  std::string::npos)
            << kept;
}

// Runs mke2fs -d over `source` into a new image of `kib` KiB, then the debugfs commands.
std::string MakeImage(TempDir& dir, const fs::path& source, int kib,
                      const std::string& debugfsCommands = {}) {
    const std::string image = dir.File("fs.img");
    EXPECT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1600000000 mke2fs -q -F -t ext2 -b 1024 "
                                 "-O ^dir_index,large_file -d " +
                                 source.string() + " " + image + " " + std::to_string(kib) +
                                 " >/dev/null 2>&1"),
              0);
    if (!debugfsCommands.empty()) {
        Write(dir.File("commands"), debugfsCommands);
        EXPECT_EQ(fixtures::RunShell("debugfs -w -f " + dir.File("commands") + " " + image +
                                     " >/dev/null 2>&1"),
                  0);
    }
    return image;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(TreeWalk, FoldersEnteredTwicePerLevelAreWalkedOnceAndTheLogSaysSo) {
    constexpr int kDepth = 16;
    TempDir dir;
    const fs::path source = dir.File("source");
    fs::path deepest = source / "top";
    std::string commands;
    std::string level = "/top";
    for (int k = 0; k < kDepth; ++k) {
        deepest /= "x";
        commands += "link " + level + "/x " + level + "/y\n"; // y: a second name of x
        level += "/x";
    }
    fs::create_directories(deepest);
    const std::string image = MakeImage(dir, source, 4096, commands);

    const auto run = RunTwl({"tree", image, "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    // The heading, lost+found, top, and an x and a y per level: linear in depth.
    EXPECT_EQ(Count(run.out, "\n"), 3u + 2 * kDepth);
    EXPECT_EQ(Count(run.out, "/y\t"), std::size_t{kDepth});
    EXPECT_EQ(Count(run.err, "16 folder entries name a folder listed already and were not "
                             "walked again"),
              1u)
        << run.err;
}

TEST(TreeWalk, AFileWithACorruptSizeIsNamedOnStderrAndTheRestIsListed) {
    TempDir dir;
    const fs::path source = dir.File("source");
    Write(source / "dir" / "big", "big");
    Write(source / "dir" / "ok", "ok");
    // i_size_high set: the size is past the volume.
    const std::string image = MakeImage(dir, source, 2048, "sif /dir/big size 0x100000003\n");

    const auto run = RunTwl({"tree", image, "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("/dir/big\t"), std::string::npos);
    EXPECT_NE(run.out.find("/dir/ok\t"), std::string::npos);
    EXPECT_NE(run.err.find("File left out, its size is larger than the volume: D:\\$TW\\dir\\big"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("1 files left out for damage"), std::string::npos) << run.err;
}

TEST(TreeWalk, ADamagedRecordHidesTheRestOfItsBlockOnly) {
    TempDir dir;
    const fs::path source = dir.File("source");
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) {
        names.push_back("entry-with-a-long-name-" + std::to_string(100 + i));
        Write(source / "many" / names.back(), "x");
    }
    const std::string image = MakeImage(dir, source, 2048);
    std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    // A rec_len too small for its name: that record and the rest of its block are damage.
    const std::size_t damaged = bytes.find(names[10]);
    ASSERT_NE(damaged, std::string::npos);
    file.seekp(static_cast<std::streamoff>(damaged - 4));
    file.write("\x09\0", 2);
    file.close();

    const auto run = RunTwl({"tree", image, "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::size_t lost = 0;
    std::set<std::size_t> blocks;
    for (const std::string& name : names) {
        const std::size_t at = bytes.find(name);
        const bool inDamage = at / 1024 == damaged / 1024 && at >= damaged;
        lost += inDamage ? 1 : 0;
        blocks.insert(at / 1024);
        EXPECT_EQ(run.out.find("/many/" + name + "\t") == std::string::npos, inDamage) << name;
    }
    EXPECT_GT(blocks.size(), 1u);
    EXPECT_LT(lost, names.size() / 2);
    EXPECT_NE(run.err.find("Damaged folder records passed over in D:\\$TW\\many"),
              std::string::npos)
        << run.err;
}

} // namespace
} // namespace twl::cli
