#include "CliRunner.h"
#include "fixtures/FtpServer.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::ReadFileText;
using fixtures::TempDir;
using testing::RunTwl;

using fixtures::FtpServer;

TEST(FtpSave, UploadsTheTreeAndNeverReplacesWhatIsThere) {
    TempDir dir;
    const fs::path source = dir.File("source");
    fs::create_directories(source / "docs/empty");
    std::ofstream(source / "docs/a.txt") << "alpha\n";
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 253);
    std::ofstream(source / "big.bin", std::ios::binary) << big;
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -d " + source.string() + " " +
                                 image + " 2048 >/dev/null 2>&1"),
              0);
    const fs::path served = dir.File("served");
    fs::create_directories(served / "up");
    std::ofstream(served / "up/big.bin") << "already here\n";
    FtpServer server(served.string());
    ASSERT_TRUE(server.Running()) << "python3-pyftpdlib did not start";
    std::ofstream(dir.File("password")) << "secret\n";

    const auto run = RunTwl({"save", image, "--ftp", server.Url("up"), "--password-file",
                             dir.File("password"), "--retries", "0"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFileText(served / "up/docs/a.txt"), "alpha\n");
    EXPECT_TRUE(fs::is_directory(served / "up/docs/empty"));
    EXPECT_EQ(ReadFileText(served / "up/big (2).bin"), big);
    EXPECT_EQ(ReadFileText(served / "up/big.bin"), "already here\n");
    EXPECT_NE(ReadFileText(served / "up/twl-save-report.txt")
                  .find("renamed: ./big.bin was saved as "
                        "./big (2).bin"),
              std::string::npos);

    std::ofstream(dir.File("wrong")) << "guess\n";
    const auto refused = RunTwl({"save", image, "--ftp", server.Url("other"), "--password-file",
                                 dir.File("wrong"), "--retries", "0"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("twl save: cannot open ftp://127.0.0.1"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(served / "other"));
}

} // namespace
} // namespace twl::cli
