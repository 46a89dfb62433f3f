#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

// A volume of `blocks` 1 KiB blocks made by mke2fs from dir/src, then changed by `debugfs`
// commands; its path, or "" when either tool failed.
std::string VolumeOf(const TempDir& dir, const std::string& type, int blocks,
                     const std::string& debugfs) {
    std::ofstream(dir.File("commands")) << debugfs;
    const std::string image = dir.File("disk.img");
    const bool made =
        fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F " + type + " -b 1024 -d " +
                           dir.File("src") + " " + image + " " + std::to_string(blocks) +
                           " >/dev/null 2>&1 && debugfs -w -f " + dir.File("commands") + " " +
                           image + " >/dev/null 2>&1") == 0;
    return made ? image : std::string();
}

TEST(TurboCommand, PrintsTheWholeCatalogueWithItsContainers) {
    TempDir dir;
    const std::string folder = dir.File("src");
    std::filesystem::create_directories(folder + "/gone");
    std::ofstream(folder + "/gone/inside.txt") << "in a lost folder\n";
    std::ofstream(folder + "/erased.txt") << "deleted\n";
    const std::string image = dir.File("disk.img");
    const std::string command =
        "E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext2 -b 1024 -d " + folder + " " + image +
        " 2048 >/dev/null 2>&1 && debugfs -w -R 'unlink /gone' " + image +
        " >/dev/null 2>&1 && debugfs -w -R 'rm /erased.txt' " + image + " >/dev/null 2>&1";
    ASSERT_EQ(fixtures::RunShell(command), 0);

    const auto run = RunTwl({"tree", image, "--turbo", "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string row : {"\n/Lost Folders1\t2\t0\t0\t0\t", "/inside.txt\t1\t",
                                  "\n/Deleted Files1\t2\t0\t", "\n/Lost Files1\t2\t0\t"})
        EXPECT_NE(run.out.find(row), std::string::npos) << row << " in\n" << run.out;
    // The deleted file is back in its folder under its name, which the folder's records kept.
    EXPECT_NE(run.out.find("\n/erased.txt\t1\t"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\n/Deleted Files1/Inode"), std::string::npos) << run.out;
    for (const std::string text :
         {"Tree Creation Completed\n", "Search for Lost file(s) and folder(s): Process started... ",
          "Search for Lost file(s) and folder(s): Process completed... ",
          " Folders\nTurbo Scan Completed\n"})
        EXPECT_NE(run.err.find(text), std::string::npos) << text << " in\n" << run.err;
}

// Deleted the old way (debugfs keeps the map and merges the entry into the one before it):
// files come back under their names in their folders, several from one folder block, an
// empty one too; a file beginning with a hole is found; one whose blocks a later file took is
// flagged as possibly overwritten in the listing and the save report; and the journal of an
// ext3 volume (an inode of the file system's own) is not taken for a lost file.
TEST(TurboCommand, HoleFirstFilesAreFoundReusedBlocksFlaggedAndTheJournalLeftOut) {
    TempDir dir;
    const std::string folder = dir.File("src");
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/a.txt") << std::string(1000, 'a');
    std::ofstream(folder + "/gone.txt") << std::string(3000, 'g');
    std::ofstream(folder + "/keep.txt") << "keep\n";
    std::ofstream(folder + "/empty.txt").close();
    std::filesystem::create_directories(folder + "/docs");
    for (const char* name : {"x.txt", "y.txt", "z.txt"})
        std::ofstream(folder + "/docs/" + name) << std::string(700, name[0]);
    {
        std::ofstream sparse(folder + "/sparse.bin");
        sparse.seekp(20480);
        sparse << std::string(3000, 's');
    }
    std::ofstream(dir.File("new.bin")) << std::string(5000, 'n');
    const std::string image = VolumeOf(dir, "-t ext3", 4096,
                                       "rm a.txt\nrm gone.txt\nwrite " + dir.File("new.bin") +
                                           " new.bin\nrm sparse.bin\nrm docs/x.txt\n"
                                           "rm docs/y.txt\nrm empty.txt\n");
    ASSERT_FALSE(image.empty());

    const auto run = RunTwl({"tree", image, "--turbo", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto row = [&](const std::string& path) {
        const std::size_t at = run.out.find("{\"path\": \"" + path + "\"");
        return at == std::string::npos ? std::string()
                                       : run.out.substr(at, run.out.find('}', at) - at);
    };
    // Both are back under their names, which the root folder's records still held.
    const std::string gone = row("/gone.txt");
    const std::string sparse = row("/sparse.bin");
    EXPECT_NE(gone.find("\"deleted\": true, \"possiblyOverwritten\": true"), std::string::npos)
        << run.out;
    EXPECT_NE(sparse.find("\"size\": 23480,"), std::string::npos) << run.out;
    EXPECT_NE(sparse.find("\"deleted\": true"), std::string::npos) << run.out;
    // Two deletions in one block of a folder below the root: both names back in that folder.
    for (const char* path : {"/docs/x.txt", "/docs/y.txt"})
        EXPECT_NE(row(path).find("\"size\": 700, "), std::string::npos) << path << run.out;
    EXPECT_EQ(row("/docs/z.txt").find("deleted"), std::string::npos);
    // An empty file has no block to be found by, but its name brings it back, of 0 bytes.
    EXPECT_NE(row("/empty.txt").find("\"size\": 0, "), std::string::npos) << run.out;
    EXPECT_NE(row("/empty.txt").find("\"deleted\": true"), std::string::npos) << run.out;
    EXPECT_EQ(sparse.find("possiblyOverwritten"), std::string::npos);
    EXPECT_EQ(run.out.find("/Inode8\""), std::string::npos) << "the journal is not a lost file";

    const std::string out = dir.File("out");
    RunTwl({"save", image, "--turbo", "--out", out});
    std::ifstream report(out + "/twl-save-report.txt");
    const std::string text((std::istreambuf_iterator<char>(report)), {});
    EXPECT_NE(text.find("possibly overwritten: ./gone.txt "), std::string::npos) << text;
    std::ifstream saved(out + "/sparse.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_TRUE(bytes == std::string(20480, '\0') + std::string(3000, 's')) << bytes.size();
}

// A lost folder whose ".." names a folder the tree walk reached says where it came from.
TEST(TurboCommand, ALostFolderSaysWhichFolderOfTheTreeItCameFrom) {
    TempDir dir;
    const std::string folder = dir.File("src");
    std::filesystem::create_directories(folder + "/home/docs");
    std::ofstream(folder + "/home/docs/a.txt") << "a\n";
    const std::string image = dir.File("disk.img");
    ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext2 -b 1024 -d " +
                                 folder + " " + image +
                                 " 2048 >/dev/null 2>&1 && debugfs -w -R 'unlink /home/docs' " +
                                 image + " >/dev/null 2>&1"),
              0);
    const auto json = RunTwl({"tree", image, "--turbo", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const std::size_t lost = json.out.find("{\"path\": \"/Lost Folders1/Lost Folder");
    ASSERT_NE(lost, std::string::npos) << json.out;
    const std::string row = json.out.substr(lost, json.out.find('}', lost) - lost);
    EXPECT_NE(row.find("\"origin\": \"/home\""), std::string::npos) << row;
    EXPECT_EQ(json.out.find("\"origin\"", lost + row.size()), std::string::npos)
        << "only the lost folder has an origin";
    const auto text = RunTwl({"tree", image, "--turbo"});
    EXPECT_NE(text.out.find("  origin: /home\n"), std::string::npos) << text.out;
    const auto tsv = RunTwl({"tree", image, "--turbo", "--format", "tsv"});
    EXPECT_NE(tsv.out.find("\t-\t/home\n"), std::string::npos) << tsv.out;
}

// A deleted folder whose blocks are intact and whose entry its parent's records still hold
// goes back to its place under its name, with its content; an unlinked one stays lost.
TEST(TurboCommand, ADeletedFolderGoesBackWithItsContent) {
    TempDir dir;
    const std::string folder = dir.File("src");
    std::filesystem::create_directories(folder + "/docs/sub");
    std::filesystem::create_directories(folder + "/kept");
    std::ofstream(folder + "/docs/a.txt") << "a\n";
    std::ofstream(folder + "/docs/sub/b.txt") << "b\n";
    std::ofstream(folder + "/kept/c.txt") << "c\n";
    const std::string image =
        VolumeOf(dir, "-t ext2", 2048, "kill_file /docs\nunlink /docs\nunlink /kept\n");
    ASSERT_FALSE(image.empty());
    const auto run = RunTwl({"tree", image, "--turbo", "--format", "json"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string row : {"{\"path\": \"/docs\", \"type\": 2,",
                                  "{\"path\": \"/docs/a.txt\"", "{\"path\": \"/docs/sub/b.txt\""})
        EXPECT_NE(run.out.find(row), std::string::npos) << row << run.out;
    const std::size_t docs = run.out.find("{\"path\": \"/docs\",");
    EXPECT_NE(run.out.substr(docs, run.out.find('}', docs) - docs).find("\"deleted\": true"),
              std::string::npos);
    EXPECT_NE(run.out.find("/c.txt\""), std::string::npos);
    EXPECT_EQ(run.out.find("{\"path\": \"/kept\""), std::string::npos) << "unlinked, not deleted";
}

// A deleted folder whose only name left lies in its own records (a link to itself, unlinked;
// the entry its parent held was taken by a new one) is not put inside itself: it stays a
// lost folder, and the listing ends.
TEST(TurboCommand, ADeletedFolderNamedOnlyInsideItselfStaysLost) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("src") + "/d");
    std::ofstream(dir.File("src") + "/d/a.txt") << "a\n";
    const std::string image =
        VolumeOf(dir, "-t ext2", 2048,
                 "link /d /d/self\nunlink /d/self\nkill_file /d\nunlink /d\nlink <13> /other\n");
    ASSERT_FALSE(image.empty());
    const auto run = RunTwl({"tree", image, "--turbo", "--format", "tsv"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\n/Lost Folders1/Lost Folder"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("/a.txt\t1\t"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("/self"), std::string::npos) << run.out;
}

// One inode named in the records of two folders gets the newest name: a file the one in the
// folder changed at or after its deletion (the other name is a rename's leftover), a folder
// the one in the folder its own ".." names, whatever the folders' times say.
TEST(TurboCommand, OfSeveralNamesForOneInodeTheNewestWins) {
    TempDir dir;
    const std::string src = dir.File("src");
    std::filesystem::create_directories(src + "/first");
    std::filesystem::create_directories(src + "/second");
    std::ofstream(src + "/second/old-name.txt") << "renamed, then deleted\n";
    std::filesystem::create_directories(src + "/one/d");
    std::filesystem::create_directories(src + "/two");
    std::ofstream(src + "/one/d/a.txt") << "a\n";
    const std::string image = VolumeOf(dir, "-t ext2", 2048,
                                       "link second/old-name.txt first/new-name.txt\n"
                                       "unlink second/old-name.txt\nrm first/new-name.txt\n"
                                       "sif second mtime 1000\nsif first mtime 4000000000\n"
                                       "link one/d two/d\nunlink two/d\nkill_file one/d\n"
                                       "unlink one/d\nsif one mtime 1000\n"
                                       "sif two mtime 4000000000\n");
    ASSERT_FALSE(image.empty());
    const auto run = RunTwl({"tree", image, "--turbo", "--format", "tsv"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* row : {"\n/first/new-name.txt\t1\t", "\n/one/d\t2\t", "\n/one/d/a.txt\t1\t"})
        EXPECT_NE(run.out.find(row), std::string::npos) << row << run.out;
    // The state column tells the name given back is a deleted file's.
    const std::size_t row = run.out.find("\n/first/new-name.txt\t");
    EXPECT_EQ(run.out.substr(run.out.find('\n', row + 1) - 10, 10), "\tdeleted\t-") << run.out;
    for (const char* stale : {"old-name.txt", "/two/d"})
        EXPECT_EQ(run.out.find(stale), std::string::npos) << stale << run.out;
}

// A lost file keeps its inode, so the block bitmap still marks its blocks: one whose block a
// file of the tree now names too is flagged possibly overwritten; another lost file is not.
TEST(TurboCommand, ALostFileSharingABlockWithTheTreeIsFlagged) {
    TempDir dir;
    const std::string src = dir.File("src");
    std::filesystem::create_directories(src);
    std::ofstream(src + "/a.txt") << std::string(900, 'a');
    std::ofstream(src + "/b.txt") << std::string(900, 'b');
    std::ofstream(src + "/c.txt") << std::string(800, 'c');
    const std::string image = VolumeOf(dir, "-t ext2", 2048, "");
    ASSERT_FALSE(image.empty());
    ASSERT_EQ(fixtures::RunShell("block=$(debugfs -R 'bmap /a.txt 0' " + image +
                                 " 2>/dev/null) && debugfs -w -R \"sif /b.txt block[0] $block\" " +
                                 image +
                                 " >/dev/null 2>&1 && printf 'unlink /b.txt\\nunlink "
                                 "/c.txt\\n' | debugfs -w -f - " +
                                 image + " >/dev/null 2>&1"),
              0);
    const auto run = RunTwl({"tree", image, "--turbo", "--format", "tsv"});
    ASSERT_EQ(run.status, 0) << run.err;
    // The state and origin columns of the lost file of `size` bytes (inode numbers follow the
    // order mke2fs read the folder in).
    const auto state = [&](const std::string& size) {
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("/Lost Files1/Inode") &&
                line.find("\t" + size + "\t") != std::string::npos)
                return line.substr(line.rfind('\t', line.rfind('\t') - 1) + 1);
        }
        return std::string("missing");
    };
    EXPECT_EQ(state("900"), "possibly overwritten\t-") << run.out;
    EXPECT_EQ(state("800"), "-\t-") << run.out;
    EXPECT_NE(run.err.find("1 lost files possibly overwritten"), std::string::npos) << run.err;
}

} // namespace
} // namespace twl::cli
