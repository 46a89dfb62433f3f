#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>

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

} // namespace
} // namespace twl::cli
