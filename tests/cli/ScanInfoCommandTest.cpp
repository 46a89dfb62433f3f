#include "CliRunner.h"
#include "core/ByteCodec.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

class ScanInfoCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = m_dir.File("src");
        std::filesystem::create_directories(folder + "/notes");
        std::ofstream(folder + "/notes/a.txt") << "a\n";
        std::ofstream(m_dir.File("layout")) << "label: dos\nstart=2048, size=6144, type=83\n";
        m_image = m_dir.File("disk.img");
        ASSERT_EQ(fixtures::RunShell(std::string(TWL_MAKE_DISK_IMAGE) + " " + m_image + " 4 " +
                                     m_dir.File("layout") + " 1:ext2:" + folder +
                                     ":kept >/dev/null"),
                  0);
    }
    TempDir m_dir;
    std::string m_image;
};

TEST_F(ScanInfoCommand, SaveIntoAFolderShowAndPrintTheSameTree) {
    const std::string out = m_dir.File("out");
    std::filesystem::create_directories(out);
    const auto save = RunTwl({"scaninfo", "save", m_image, "--turbo", "-o", out});
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_NE(save.err.find("Saving scan information completed\n"), std::string::npos);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        files.push_back(entry.path().filename().string());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("TW Linux Scan Information # ", 0), 0u);
    EXPECT_EQ(files[0].substr(files[0].size() - 4), ".ds1");
    const std::string saved = out + "/" + files[0];

    const auto show = RunTwl({"scaninfo", "show", saved});
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("source\timage " + m_image + "\n"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("selected volume\tstart 2048\tsectors 6144\tlabel kept\n"),
              std::string::npos)
        << show.out;

    const auto direct = RunTwl({"tree", m_image, "--turbo", "--format", "tsv"});
    const auto loaded = RunTwl({"tree", "--scaninfo", saved, "--format", "tsv"});
    EXPECT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(loaded.out, direct.out);
    EXPECT_NE(loaded.out.find("/notes/a.txt\t1\t"), std::string::npos);
    // Turbo Scan on the loaded catalogue reads the disk again and adds the second set.
    const auto again = RunTwl({"tree", "--scaninfo", saved, "--turbo", "--format", "tsv"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("\n/Lost Folders2\t2\t"), std::string::npos) << again.out;
}

TEST_F(ScanInfoCommand, RefusedFilesSayWhy) {
    const std::string notScanInfo = m_dir.File("plain.ds1");
    std::ofstream(notScanInfo) << std::string(2000, 'x');
    struct Case {
        std::vector<std::string> words;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        // A file that cannot be opened is a source that cannot be opened, as for every command.
        {{"tree", "--scaninfo", m_dir.File("none.ds1")},
         2,
         "Could not open scan info file: cannot open " + m_dir.File("none.ds1") +
             ": No such file or directory\n"},
        {{"scaninfo", "show", m_dir.Path()},
         2,
         "Could not open scan info file: cannot open " + m_dir.Path() + " (a folder)\n"},
        {{"tree", "--scaninfo", notScanInfo},
         1,
         "Not a valid Tarnwell Linux Data Recovery Scan Info File\n"},
        {{"scaninfo", "save", m_image, "-o", m_image}, 1, ""},
        {{"scaninfo", "save", m_image}, 2, "twl scaninfo save: needs -o PATH\n"},
        {{"scaninfo", "list"}, 2, "twl scaninfo: expects save or show\n"},
    };
    for (const Case& c : cases) {
        const auto run = RunTwl(c.words);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (!c.err.empty()) {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
    }
    const auto onSource = RunTwl({"scaninfo", "save", m_image, "-o", m_image});
    EXPECT_NE(onSource.err.find("will not write to the disk or image being recovered from"),
              std::string::npos)
        << onSource.err;
    EXPECT_EQ(onSource.err.find("Saving scan information completed"), std::string::npos);
}

// A file that would read the disk by a hostile superblock, or read a disk that is no longer
// the one it was saved from, is refused with the reason before anything is read or written.
TEST_F(ScanInfoCommand, AHostileFileOrAReplacedImageIsRefusedBeforeAnythingIsRead) {
    const std::string saved = m_dir.File("saved.ds1");
    ASSERT_EQ(RunTwl({"scaninfo", "save", m_image, "-o", saved}).status, 0);
    std::vector<std::uint8_t> hostile = fixtures::ReadFileBytes(saved);
    PutLe16(hostile, 3072 + 0x58, 127); // the superblock copy's s_inode_size
    const std::string hostilePath = m_dir.File("hostile.ds1");
    std::ofstream(hostilePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(hostile.data()),
               static_cast<std::streamsize>(hostile.size()));

    const auto show = RunTwl({"scaninfo", "show", saved});
    const std::size_t at = show.out.find("fingerprint sector\t");
    ASSERT_NE(at, std::string::npos) << show.out;
    const std::uint64_t fingerprint = std::stoull(show.out.substr(at + 19));
    std::vector<std::uint8_t> image = fixtures::ReadFileBytes(m_image);
    image.at(fingerprint * 512 + 5) ^= 0x10;

    struct Case {
        std::vector<std::string> words;
        std::string reason;
    };
    const std::string out = m_dir.File("out");
    const std::vector<Case> cases = {
        {{"save", "--scaninfo", hostilePath, "--out", out},
         "is damaged: its superblock copy gives an inode size of 127 bytes"},
        {{"tree", "--scaninfo", hostilePath, "--turbo"}, "inode size of 127 bytes"},
        {{"save", "--scaninfo", saved, "--out", out},
         "not at its original location: its sector " + std::to_string(fingerprint) +
             " no longer holds what it held"},
        {{"tree", "--scaninfo", saved, "--turbo"}, "not at its original location"},
    };
    std::ofstream(m_image, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    for (const Case& c : cases) {
        const auto run = RunTwl(c.words);
        EXPECT_EQ(run.status, 1) << c.words[0] << " " << c.words[2] << ": " << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

} // namespace
} // namespace twl::cli
