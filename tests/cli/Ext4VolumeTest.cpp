// ext4 volumes made by mke2fs from a folder, in the layouts users meet: the listing equals the
// folder, every saved byte equals its file, and Turbo Scan finds what an extent tree keeps.

#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::TempDir;
using testing::RunTwl;

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Files of many shapes: small ones (inline on volumes with inline data, the 100-byte one
// continued in the inode's attribute area), a file of 400 one-block pieces between holes (a
// two-level extent tree on 1 KiB blocks), a file with a hole in its middle, nested folders, a
// folder of many entries and links.
void MakeSource(const fs::path& src) {
    fs::create_directories(src / "docs/deep/deeper");
    fs::create_directories(src / "many");
    WriteFile(src / "tiny.txt", "tiny\n");
    WriteFile(src / "hundred.txt", std::string(100, 'h'));
    WriteFile(src / "docs/a.txt", std::string(5000, 'a'));
    WriteFile(src / "docs/deep/deeper/b.bin", std::string(300000, 'b'));
    std::string pieces;
    for (int i = 0; i <= 800; ++i) // ends with data: a trailing hole is not what is tested
        pieces += i % 2 == 0 ? std::string(1024, static_cast<char>('A' + i % 26))
                             : std::string(1024, '\0');
    WriteFile(src / "pieces.bin", pieces);
    WriteFile(src / "holed.bin",
              std::string(102400, 'x') + std::string(102400, '\0') + std::string(102400, 'y'));
    for (int i = 0; i < 120; ++i)
        WriteFile(src / "many" / ("entry-" + std::to_string(i)), std::to_string(i));
    fs::create_symlink("docs/a.txt", src / "short-link");
    fs::create_symlink(std::string(90, 'l'), src / "long-link");
}

// path -> "type size" for every item under `root` but lost+found, as `twl tree` lists them.
std::map<std::string, std::string> SourceListing(const fs::path& root) {
    std::map<std::string, std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string path = "/" + entry.path().lexically_relative(root).string();
        if (entry.is_symlink())
            items[path] = "7 " + std::to_string(fs::read_symlink(entry.path()).string().size());
        else if (entry.is_directory())
            items[path] = "2";
        else
            items[path] = "1 " + std::to_string(entry.file_size());
    }
    return items;
}

std::map<std::string, std::string> TwlListing(const std::string& tsv) {
    std::map<std::string, std::string> items;
    std::istringstream lines(tsv);
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() < 4 || f[0] == "/lost+found" || f[0].starts_with("/lost+found/"))
            continue;
        items[f[0]] = f[1] == "2" ? "2" : f[1] + " " + f[3];
    }
    return items;
}

// The volume of `kind` made with `options` at 1 MiB of a disk with one partition, changed by
// the `debugfs` commands when given; its path, or "" when a tool failed.
std::string DiskWith(const TempDir& dir, const std::string& options, int megabytes,
                     const std::string& debugfs = {}, const std::string& kind = "ext4") {
    const std::string volume = dir.File("volume.img");
    const std::string disk = dir.File("disk.img");
    std::ofstream(dir.File("commands")) << debugfs;
    const std::string size = std::to_string(megabytes) + "M";
    const std::string command =
        "E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t " + kind + " " + options + " -d " +
        dir.File("src") + " " + volume + " " + size + " >/dev/null 2>&1 && " +
        (debugfs.empty()
             ? std::string()
             : "debugfs -w -f " + dir.File("commands") + " " + volume + " >/dev/null 2>&1 && ") +
        "truncate -s " + std::to_string(megabytes + 2) + "M " + disk +
        " && echo 'start=2048, type=83' | sfdisk -q " + disk +
        " >/dev/null 2>&1 && dd if=" + volume + " of=" + disk +
        " bs=1M seek=1 conv=notrunc,sparse status=none";
    return fixtures::RunShell(command) == 0 ? disk : std::string();
}

// Every regular file and link of `src` saved in `out` with the same bytes or target.
void ExpectSavedAsSource(const fs::path& src, const fs::path& out, const std::string& layout) {
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const fs::path saved = out / entry.path().lexically_relative(src);
        if (entry.is_symlink()) {
            EXPECT_EQ(fs::read_symlink(saved), fs::read_symlink(entry.path())) << layout;
        } else if (entry.is_regular_file()) {
            EXPECT_TRUE(fixtures::ReadFileBytes(saved.string()) ==
                        fixtures::ReadFileBytes(entry.path().string()))
                << layout << ": " << saved;
        }
    }
}

TEST(Ext4Volume, EveryLayoutListsAndSavesLikeItsSourceFolder) {
    struct Layout {
        const char* name;
        std::string options;
        int megabytes;
    };
    const Layout layouts[] = {
        {"default features, 4 KiB blocks", "", 64},
        {"1 KiB blocks", "-b 1024", 32},
        // 20 groups of 64-byte descriptors, 16 to a 1 KiB block: two meta groups.
        {"64bit and meta_bg", "-b 1024 -O 64bit,meta_bg,^resize_inode", 160},
        {"inline data", "-O inline_data", 32},
        {"one sparse_super2 backup, flex_bg of 4",
         "-b 1024 -G 4 -O sparse_super2 -E num_backup_sb=1", 32},
        {"group checksums of the older kind, 32-byte descriptors",
         "-O ^64bit,^metadata_csum,uninit_bg", 32},
    };
    for (const Layout& layout : layouts) {
        TempDir dir;
        MakeSource(dir.File("src"));
        const std::string disk = DiskWith(dir, layout.options, layout.megabytes);
        ASSERT_FALSE(disk.empty()) << layout.name;
        const auto tree = RunTwl({"tree", disk, "--format", "tsv"});
        ASSERT_EQ(tree.status, 0) << layout.name << tree.err;
        EXPECT_EQ(tree.err.find("left out"), std::string::npos) << layout.name << tree.err;
        EXPECT_EQ(tree.err.find("Damage:"), std::string::npos) << layout.name << tree.err;
        EXPECT_EQ(TwlListing(tree.out), SourceListing(dir.File("src"))) << layout.name;
        const std::string out = dir.File("out");
        const auto save = RunTwl({"save", disk, "--out", out});
        EXPECT_EQ(save.status, 0) << layout.name << save.err;
        EXPECT_NE(save.err.find("0 partial, 0 failed"), std::string::npos) << save.err;
        ExpectSavedAsSource(dir.File("src"), out, layout.name);
    }
}

// Blocks given to a file but never written (fallocate into its hole) read as zeros; an
// unlinked folder comes back as a lost folder through its extents, and a deleted file whose
// extent tree survived (debugfs keeps it) under its name; the journal is not a lost file.
TEST(Ext4Volume, UnwrittenBlocksReadAsZerosAndTurboScanFindsWhatExtentsKeep) {
    TempDir dir;
    MakeSource(dir.File("src"));
    const std::string disk = DiskWith(dir, "-b 1024", 32,
                                      "fallocate /holed.bin 120 160\nunlink /docs\n"
                                      "rm /pieces.bin\n");
    ASSERT_FALSE(disk.empty());
    const std::string out = dir.File("out");
    const auto save = RunTwl({"save", disk, "--turbo", "--out", out});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_TRUE(fixtures::ReadFileBytes(out + "/holed.bin") ==
                fixtures::ReadFileBytes(dir.File("src") + "/holed.bin"));
    EXPECT_TRUE(fixtures::ReadFileBytes(out + "/pieces.bin") ==
                fixtures::ReadFileBytes(dir.File("src") + "/pieces.bin"))
        << "the deleted file, back under its name";
    const auto tree = RunTwl({"tree", disk, "--turbo", "--format", "tsv"});
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_NE(tree.out.find("\n/pieces.bin\t1\t"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("/deep/deeper/b.bin\t1\t"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("\n/Lost Folders1/Lost Folder"), std::string::npos) << tree.out;
    EXPECT_EQ(tree.out.find("/Inode8\t"), std::string::npos) << "the journal";
}

// On ext2 and ext3 the flags of ext4's extents and inline data are stray bits of a damaged
// record: its i_block is still read as the block map the volume's files have, so files
// carrying them list and save whole, before and after Turbo Scan.
TEST(Ext4Volume, ExtentAndInlineFlagsOnAnExt3VolumeAreDamageNotMaps) {
    TempDir dir;
    MakeSource(dir.File("src"));
    const std::string disk = DiskWith(dir, "-b 1024", 32,
                                      "set_inode_field /pieces.bin flags 0x80000\n"
                                      "set_inode_field /docs/deep/deeper/b.bin flags 0x10000000\n"
                                      "set_inode_field /docs flags 0x80000\n",
                                      "ext3");
    ASSERT_FALSE(disk.empty());
    const auto tree = RunTwl({"tree", disk, "--format", "tsv"});
    ASSERT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(TwlListing(tree.out), SourceListing(dir.File("src")));
    const std::string out = dir.File("out");
    const auto save = RunTwl({"save", disk, "--turbo", "--out", out});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_NE(save.err.find("0 partial, 0 failed"), std::string::npos) << save.err;
    ExpectSavedAsSource(dir.File("src"), out, "ext3");
}

// Checksums that do not match are told as damage, and the volume is read as it stands: a
// changed label breaks the superblock's checksum (metadata_csum only), a changed free count
// group 1's descriptor checksum (metadata_csum's CRC32C, gdt_csum's CRC16).
TEST(Ext4Volume, ChecksumsThatDoNotMatchAreToldAndTheVolumeStillRead) {
    struct Case {
        const char* options;
        std::size_t descriptorSize;
        const char* note;
    };
    const Case cases[] = {
        {"-b 1024", 64,
         "Damage: the superblock's checksum does not match its bytes; 1 group descriptor "
         "checksums do not match (the first: group 1). What they describe is read as it stands"},
        {"-b 1024 -O ^64bit,^metadata_csum,uninit_bg", 32,
         "Damage: 1 group descriptor checksums do not match (the first: group 1). What they "
         "describe is read as it stands"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        MakeSource(dir.File("src"));
        const std::string disk = DiskWith(dir, c.options, 32);
        ASSERT_FALSE(disk.empty()) << c.options;
        const std::string volume = std::to_string(1 << 20);
        const std::string descriptor = std::to_string(2048 + c.descriptorSize + 0x0C);
        ASSERT_EQ(fixtures::RunShell("printf 'X' | dd of=" + disk + " bs=1 seek=$((" + volume +
                                     " + 1024 + 0x78)) conv=notrunc 2>/dev/null && printf 'Y' | "
                                     "dd of=" +
                                     disk + " bs=1 seek=$((" + volume + " + " + descriptor +
                                     ")) conv=notrunc 2>/dev/null"),
                  0);
        const auto tree = RunTwl({"tree", disk, "--format", "tsv"});
        ASSERT_EQ(tree.status, 0) << tree.err;
        EXPECT_NE(tree.err.find(c.note), std::string::npos) << c.options << tree.err;
        EXPECT_EQ(TwlListing(tree.out), SourceListing(dir.File("src"))) << c.options;
    }
}

} // namespace
} // namespace twl::cli
