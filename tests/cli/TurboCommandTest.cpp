#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

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
    EXPECT_NE(run.out.find("\n/Deleted Files1/Inode"), std::string::npos);
    for (const std::string text :
         {"Tree Creation Completed\n", "Search for Lost file(s) and folder(s): Process started... ",
          "Search for Lost file(s) and folder(s): Process completed... ",
          " Folders\nTurbo Scan Completed\n"})
        EXPECT_NE(run.err.find(text), std::string::npos) << text << " in\n" << run.err;
}

} // namespace
} // namespace twl::cli
