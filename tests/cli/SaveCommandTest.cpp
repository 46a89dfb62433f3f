#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::ReadFileText;
using fixtures::TempDir;
using testing::RunTwl;

// What a saved tree must reproduce: each item's kind, contents or link target, and mtime.
std::map<std::string, std::string> Describe(const fs::path& root) {
    std::map<std::string, std::string> items;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& path = it->path();
        const std::string relative = fs::relative(path, root).string();
        if (relative.rfind("lost+found", 0) == 0 || relative.rfind("restore-", 0) == 0 ||
            relative.rfind("twl-save-report", 0) == 0)
            continue;
        struct stat st {};
        ::lstat(path.c_str(), &st);
        std::string what;
        if (S_ISLNK(st.st_mode))
            what = "link " + fs::read_symlink(path).string();
        else if (S_ISDIR(st.st_mode))
            what = "folder";
        else if (S_ISREG(st.st_mode))
            what = "file " + ReadFileText(path) + " mtime " + std::to_string(st.st_mtime);
        else
            continue; // FIFOs are only listed
        items[relative] = what;
    }
    return items;
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The folder every truth test saves back: nested folders, an empty file, a file of one
// block, one reaching the double-indirect blocks, a sparse file, links short and long, a
// hard link, names in UTF-8 and with spaces, and a FIFO.
void MakeTruthFolder(const fs::path& root) {
    WriteFile(root / "docs/deep/er/note.txt", "nested\n");
    fs::create_directories(root / "empty folder");
    WriteFile(root / "empty", "");
    WriteFile(root / "one block", std::string(1024, 'b'));
    std::string big(600 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 % 251);
    WriteFile(root / "docs/big.bin", big); // past 268 KiB: double indirect with 1 KiB blocks
    WriteFile(root / "sparse", "");
    fs::resize_file(root / "sparse", 300000);
    std::fstream(root / "sparse", std::ios::in | std::ios::out | std::ios::binary)
        .seekp(150000)
        .write("middle", 6);
    fs::create_symlink("docs/deep/er/note.txt", root / "short link");
    fs::create_symlink(std::string(90, 'x') + "/far", root / "long link");
    fs::create_hard_link(root / "one block", root / "hard link");
    WriteFile(root / "caf\xc3\xa9 \xe2\x82\xac.txt", "utf-8\n");
    ::mkfifo((root / "pipe").c_str(), 0644);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_symlink() && entry.is_regular_file())
            fs::last_write_time(entry.path(),
                                fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
    }
}

class SaveTruth : public ::testing::TestWithParam<const char*> {};

TEST_P(SaveTruth, SaveAllReproducesTheFolderByteForByte) {
    TempDir dir;
    const fs::path source = dir.File("source");
    MakeTruthFolder(source);
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F " +
                                 std::string(GetParam()) + " -d " + source.string() + " " + image +
                                 " 16384 >/dev/null 2>&1"),
              0);
    const std::string out = dir.File("out");
    const auto run = RunTwl({"save", image, "--out", out, "--scripts"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Describe(out), Describe(source));
    EXPECT_NE(
        ReadFileText(fs::path(out) / "twl-save-report.txt").find("not created: ./pipe (FIFO)"),
        std::string::npos);
    // The scripts run, and run again, without a complaint.
    for (const char* script : {"restore-permissions.sh", "restore-ownership.sh"}) {
        EXPECT_EQ(fixtures::RunShell("sh " + out + "/" + script), 0) << script;
        EXPECT_EQ(fixtures::RunShell("sh " + out + "/" + script), 0) << script;
    }
    struct stat sparse {};
    ::stat((fs::path(out) / "sparse").c_str(), &sparse);
    EXPECT_LT(sparse.st_blocks * 512, 300000); // the holes stayed holes
}

INSTANTIATE_TEST_SUITE_P(Volumes, SaveTruth,
                         ::testing::Values("-t ext2 -b 1024", "-t ext3 -b 4096 -I 256"));

// A deleted file whose entry its folder's records still hold is saved by its old path.
TEST(SaveCommand, DeletedFilesComeBackUnderTheirNames) {
    TempDir dir;
    const fs::path source = dir.File("source");
    WriteFile(source / "keep.txt", "kept\n");
    WriteFile(source / "gone.txt", std::string(5000, 'g'));
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext2 -b 1024 -d " +
                                 source.string() + " " + image +
                                 " 4096 >/dev/null 2>&1 && debugfs -w -R 'rm /gone.txt' " + image +
                                 " >/dev/null 2>&1"),
              0);
    const std::string out = dir.File("out");
    const auto run = RunTwl({"save", image, "--turbo", "--out", out, "/gone.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadFileText(fs::path(out) / "gone.txt") == std::string(5000, 'g'));
    EXPECT_FALSE(fs::exists(fs::path(out) / "keep.txt")); // only what was asked
}

// A sparse file far larger than its volume, with data at both ends and a sound map, is a file:
// listed, and saved with every byte, its holes left as holes.
TEST(SaveCommand, ASparseFileLargerThanTheVolumeIsListedAndSavedWithItsHoles) {
    TempDir dir;
    const fs::path source = dir.File("source");
    fs::create_directories(source);
    const std::uint64_t size = std::uint64_t{64} << 20; // the volume holds 4 MiB
    {
        std::ofstream file(source / "sparse.bin", std::ios::binary);
        file << std::string(3000, 'A');
        file.seekp(static_cast<std::streamoff>(size - 3000));
        file << std::string(3000, 'Z');
    }
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext2 -b 1024 -d " +
                                 source.string() + " " + image + " 4096 >/dev/null 2>&1"),
              0);
    const auto tree = RunTwl({"tree", image, "--format", "tsv"});
    EXPECT_NE(tree.out.find("sparse.bin"), std::string::npos) << tree.out << tree.err;
    EXPECT_EQ(tree.err.find("left out"), std::string::npos) << tree.err;
    const std::string out = dir.File("out");
    const auto run = RunTwl({"save", image, "--out", out});
    EXPECT_EQ(run.status, 0) << run.err;
    const fs::path saved = fs::path(out) / "sparse.bin";
    ASSERT_EQ(fs::file_size(saved), size);
    EXPECT_EQ(fixtures::ReadFileBytes(saved.string()),
              fixtures::ReadFileBytes((source / "sparse.bin").string()));
    struct stat st {};
    ASSERT_EQ(::stat(saved.c_str(), &st), 0);
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, std::uint64_t{1} << 20); // holes
}

// Renames a file of the image in place: the same number of bytes, found by its old name.
void RenameInImage(const std::string& image, const std::string& from, const std::string& to) {
    ASSERT_EQ(from.size(), to.size());
    std::fstream file(image, std::ios::in | std::ios::out | std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    const std::size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    file.seekp(static_cast<std::streamoff>(at));
    file.write(to.data(), static_cast<std::streamsize>(to.size()));
}

TEST(SaveCommand, HostileNamesNeverLeadOutsideTheDestination) {
    TempDir dir;
    const fs::path source = dir.File("source");
    WriteFile(source / "inner/xxxescape", "one\n");
    WriteFile(source / "inner/ayb", "two\n");
    WriteFile(source / "inner/q", "three\n");
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext2 -b 1024 -O "
                                 "^dir_index -d " +
                                 source.string() + " " + image + " 2048 >/dev/null 2>&1"),
              0);
    RenameInImage(image, "xxxescape", "../escape");
    RenameInImage(image, "ayb", "a/b");
    const fs::path out = dir.File("nest/out");
    fs::create_directories(out);
    fs::create_symlink(dir.Path(), out / "inner"); // a link in the destination: not followed
    const auto run = RunTwl({"save", image, "--out", out.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(dir.File("nest/escape")));
    EXPECT_FALSE(fs::exists(dir.File("escape")));
    EXPECT_FALSE(fs::exists(dir.File("b")));
    const fs::path inner = out / "inner (2)";
    EXPECT_EQ(ReadFileText(inner / "..%2Fescape"), "one\n");
    EXPECT_EQ(ReadFileText(inner / "a%2Fb"), "two\n");
    EXPECT_EQ(ReadFileText(inner / "q"), "three\n");
    const std::string report = ReadFileText(out / "twl-save-report.txt");
    EXPECT_NE(report.find("renamed: ./inner was saved as ./inner (2)"), std::string::npos)
        << report;
    EXPECT_NE(report.find("renamed: ./inner (2)/../escape was saved as"), std::string::npos)
        << report;
}

// Names a shell would take apart, each with its own permission bits.
struct HostileName {
    std::string name;
    fs::perms mode;
};

const std::vector<HostileName>& HostileNames() {
    static const std::vector<HostileName> names = {
        {"new\nline", fs::perms(0600)},
        {"quo'te", fs::perms(0640)},
        {"back`touch pwned`tick", fs::perms(0604)},
        {"$(touch pwned)", fs::perms(0610)},
        {"back\\slash", fs::perms(0601)},
        {"-rf", fs::perms(0620)},
        {"bad \xff\xfe utf-8", fs::perms(0602)},
        {"tab\there\x1b[0m", fs::perms(0660)},
        {"end in newline\n", fs::perms(0606)},
        {"100%d\\n%s", fs::perms(0666)},
        {"-d\n$(touch pwned)", fs::perms(0700)}, // a folder, holding one of each
    };
    return names;
}

bool AnyFileNamed(const fs::path& root, const std::string& name) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() == name)
            return true;
    }
    return false;
}

TEST(SaveCommand, RestoreScriptsRunNoCommandFromANameAndReachEveryItem) {
    TempDir dir;
    const fs::path source = dir.File("source");
    const fs::path folder = source / HostileNames().back().name;
    fs::create_directories(folder);
    for (const HostileName& item : HostileNames()) {
        for (const fs::path& where : {source, folder}) {
            if (item.name == HostileNames().back().name)
                continue;
            WriteFile(where / item.name, item.name);
            fs::permissions(where / item.name, item.mode);
        }
    }
    fs::permissions(folder, HostileNames().back().mode);
    // A FIFO is only listed, as a comment naming it; a newline must not end that comment.
    ASSERT_EQ(::mkfifo((source / "pipe\ntouch pwned\n#").c_str(), 0644), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(fixtures::RunShell("chown -R 1234:4321 " + source.string()), 0);
    }
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext2 -b 1024 -d " +
                                 source.string() + " " + image + " 2048 >/dev/null 2>&1"),
              0);
    const fs::path out = dir.File("out");
    const auto run = RunTwl({"save", image, "--out", out.string(), "--scripts"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Every line is a comment or one of the script's own commands.
    for (const char* script : {"restore-permissions.sh", "restore-ownership.sh"}) {
        std::istringstream lines(ReadFileText(out / script));
        for (std::string line; std::getline(lines, line);) {
            const bool known = line.rfind("#", 0) == 0 || line.rfind("cd -- ", 0) == 0 ||
                               line == "cd -P .. || exit 1" || line.rfind("cd -P -- ", 0) == 0 ||
                               line.rfind("chmod ", 0) == 0 || line.rfind("chown -h ", 0) == 0 ||
                               line.rfind("p=$(printf '", 0) == 0;
            EXPECT_TRUE(known) << script << ": " << line;
        }
    }
    const fs::path scratch = dir.File("scratch");
    fs::create_directories(scratch);
    for (const char* shell : {"sh", "bash"}) {
        for (const auto& entry : fs::recursive_directory_iterator(out)) {
            if (!entry.is_symlink())
                fs::permissions(entry.path(), fs::perms(0755));
        }
        for (const char* script : {"restore-permissions.sh", "restore-ownership.sh"}) {
            EXPECT_EQ(fixtures::RunShell("cd " + scratch.string() + " && " + shell + " " +
                                         (out / script).string() + " 2>/dev/null"),
                      0)
                << shell << " " << script;
        }
        EXPECT_FALSE(AnyFileNamed(dir.Path(), "pwned")) << shell;
        for (const HostileName& item : HostileNames()) {
            for (const fs::path& where : {out, out / HostileNames().back().name}) {
                struct stat st {};
                ASSERT_EQ(::lstat((where / item.name).c_str(), &st), 0) << item.name;
                EXPECT_EQ(st.st_mode & 07777, static_cast<unsigned>(item.mode))
                    << shell << " " << where << "/" << item.name;
                if (root) {
                    EXPECT_EQ(st.st_uid, 1234u) << item.name;
                    EXPECT_EQ(st.st_gid, 4321u) << item.name;
                }
                if (item.name == HostileNames().back().name)
                    break; // the folder itself, not inside itself
            }
        }
    }
}

TEST(SaveCommand, TheSourceIsNeverADestinationAndPathsMustExist) {
    TempDir dir;
    const fs::path source = dir.File("source");
    WriteFile(source / "a.txt", "a\n");
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -d " + source.string() + " " + image +
                                 " 1024 >/dev/null 2>&1"),
              0);
    const auto onImage = RunTwl({"save", image, "--out", image});
    EXPECT_EQ(onImage.status, 2);
    EXPECT_NE(onImage.err.find("will not save into the image being recovered from"),
              std::string::npos);
    const auto missing = RunTwl({"save", image, "--out", dir.File("out"), "/nothing"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no such path in the catalogue: /nothing"), std::string::npos);
}

} // namespace
} // namespace twl::cli
