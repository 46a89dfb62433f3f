#include "CliRunner.h"
#include "fixtures/FifoRelease.h"
#include "fixtures/TempDir.h"

#include <filesystem>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::CliRun;
using testing::RunTwl;

// Every command that reads a disk, an image or a scan information file returns at once with
// what the path is when handed a FIFO, instead of waiting in open() for a writer.
TEST(SourceKind, AFifoIsRefusedByEveryCommandThatReadsIt) {
    TempDir dir;
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> words;
        int status;
        std::string message;
    };
    const std::string refusal = "neither a disk nor an image file: " + fifo + " (a FIFO)";
    const Case cases[] = {
        {{"volumes", fifo}, 2, "twl volumes: " + refusal},
        {{"tree", fifo}, 2, "twl tree: " + refusal},
        {{"save", fifo, "--out", dir.File("out")}, 2, "twl save: " + refusal},
        {{"scaninfo", "save", fifo, "-o", dir.File("s.ds1")}, 2, "twl scaninfo save: " + refusal},
        {{"image", fifo, "-o", dir.File("copy.img")}, 2, "twl image: " + refusal},
        {{"scaninfo", "show", fifo},
         2,
         "Could not open scan info file: cannot open " + fifo + " (a FIFO)"},
        {{"tree", "--scaninfo", fifo},
         2,
         "Could not open scan info file: cannot open " + fifo + " (a FIFO)"},
    };
    for (const Case& c : cases) {
        const auto run = fixtures::RunReleasingFifo(fifo, [&c] { return RunTwl(c.words); });
        EXPECT_FALSE(run.blocked) << c.words[0] << ' ' << c.words[1];
        EXPECT_EQ(run.result.status, c.status) << run.result.err;
        EXPECT_NE(run.result.err.find(c.message), std::string::npos) << run.result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("copy.img")));
}

} // namespace
} // namespace twl::cli
