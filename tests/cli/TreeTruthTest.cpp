#include "CliRunner.h"
#include "TextEscape.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::TempDir;
using testing::RunTwl;

struct Volume {
    const char* name;
    const char* fsType;
    const char* mkfsOptions;
    int kib;
    bool bigFolder;   // a folder of 5,000 files: an indexed directory
    bool zeroPrimary; // the primary superblock wiped after making
};

void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void MakeFolder(const fs::path& root, bool bigFolder) {
    Write(root / "home/ada/letters/grace.txt", "Dear Grace\n");
    Write(root / "home/ada/empty.txt", "");
    Write(root / "with space/tab\there", "tab\n");
    Write(root / "caf\xc3\xa9", std::string(70000, 'c'));
    fs::create_directories(root / "empty folder");
    fs::create_symlink("home/ada", root / "ada link");
    if (bigFolder) {
        for (int i = 0; i < 5000; ++i)
            Write(root / "big" / ("file-" + std::to_string(i)), std::to_string(i));
    }
}

// "path type size mtime" of every item below root, as twl tree prints paths and types;
// folders without a size, since theirs is a count of blocks on disk.
std::set<std::string> Expected(const fs::path& root) {
    std::set<std::string> rows;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        std::string path;
        for (const auto& part : entry.path().lexically_relative(root))
            path += "/" + EscapeField(part.string());
        const int type = S_ISDIR(st.st_mode) ? 2 : S_ISLNK(st.st_mode) ? 7 : 1;
        const std::string size = type == 2 ? "-" : std::to_string(st.st_size);
        rows.insert(path + " " + std::to_string(type) + " " + size + " " +
                    std::to_string(st.st_mtime));
    }
    return rows;
}

std::set<std::string> Listed(const std::string& tsv, std::vector<std::string>& order) {
    std::set<std::string> rows;
    std::istringstream lines(tsv);
    std::string line;
    std::getline(lines, line); // the header
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() != 9 || f[0].rfind("/lost+found", 0) == 0)
            continue;
        order.push_back(f[0]);
        rows.insert(f[0] + " " + f[1] + " " + (f[1] == "2" ? "-" : f[3]) + " " + f[8]);
    }
    return rows;
}

class TreeTruth : public ::testing::TestWithParam<Volume> {};

TEST_P(TreeTruth, ListsExactlyTheFolderItWasMadeFrom) {
    const Volume& v = GetParam();
    TempDir dir;
    const fs::path source = dir.File("source");
    MakeFolder(source, v.bigFolder);
    // One Linux partition at sector 2048 of a disk with an MBR.
    const std::string image = dir.File("disk.img");
    std::ofstream(dir.File("layout"))
        << "label: dos\nstart=2048, size=" << v.kib * 2 << ", type=83\n";
    std::string command = std::string(TWL_MAKE_DISK_IMAGE) + " " + image + " " +
                          std::to_string(v.kib / 1024 + 2) + " " + dir.File("layout") +
                          " '1:" + v.fsType + ":" + source.string() + "::" + v.mkfsOptions +
                          "' >/dev/null";
    if (v.zeroPrimary)
        command += " && dd if=/dev/zero of=" + image +
                   " bs=1024 seek=1025 count=1 "
                   "conv=notrunc status=none";
    ASSERT_EQ(fixtures::RunShell(command), 0) << command;

    const auto run = RunTwl({"tree", image, "--format", "tsv"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> order;
    EXPECT_EQ(Listed(run.out, order), Expected(source));
    // Catalogue order: every folder comes before what it holds.
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::size_t slash = order[i].rfind('/');
        if (slash == 0)
            continue;
        const auto parent = std::find(order.begin(), order.end(), order[i].substr(0, slash));
        EXPECT_LT(parent - order.begin(), static_cast<std::ptrdiff_t>(i)) << order[i];
    }
    EXPECT_EQ(run.err.find("Primary Super block damaged") != std::string::npos, v.zeroPrimary);
    if (v.zeroPrimary) {
        const auto declined = RunTwl({"tree", image, "--no-backup-search", "--format", "tsv"});
        EXPECT_EQ(declined.status, 1);
        EXPECT_EQ(declined.out, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, TreeTruth,
    ::testing::Values(
        Volume{"Ext2OneKiBBlocks", "ext2", "-b 1024", 4096, false, false},
        Volume{"Ext3FourKiBBlocks256ByteInodes", "ext3", "-b 4096 -I 256", 65536, true, false},
        Volume{"WithoutFileTypes", "ext2", "-b 1024 -O ^filetype", 4096, false, false},
        Volume{"PrimarySuperblockZeroed", "ext2", "-b 1024 -g 1024", 4096, false, true}),
    [](const ::testing::TestParamInfo<Volume>& param) { return std::string(param.param.name); });

} // namespace
} // namespace twl::cli

namespace twl::cli {
namespace {

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

} // namespace
} // namespace twl::cli
