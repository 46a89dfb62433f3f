#include "recover/RestoreScripts.h"

#include "fixtures/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl {
namespace {

CatalogNode NodeWithMode(std::uint16_t mode) {
    CatalogNode node{};
    node.mode = mode;
    return node;
}

// Folders nested so deep, with names so long, that no path to the bottom fits in a command.
TEST(RestoreScripts, DeepTreesOfLongNamesAreReachedAndTheScriptGrowsWithTheNames) {
    constexpr int kDepth = 60;
    const std::string name(200, 'n');
    fixtures::TempDir dir;
    RestoreScripts scripts;
    int folder = RestoreScripts::kTop;
    int fd = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < kDepth; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int inner = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = inner;
        folder =
            scripts.AddFolder(folder, name, NodeWithMode(040700 | (level % 2 ? 050 : 0)), true);
    }
    ::close(::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644));
    scripts.AddFile(folder, "bottom", NodeWithMode(0100600));
    ::close(fd);
    const std::string text = scripts.PermissionScript();
    // A line to step into each folder and one to change it: not a path per item.
    EXPECT_LT(text.size(), 2u * kDepth * (name.size() + 40) + 400);
    ASSERT_TRUE(fixtures::WriteFileBytes(
        dir.File("restore.sh"), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}));
    // Calls visit(folder descriptor, level) for the top folder and each below it; returns
    // how many it reached.
    const auto walk = [&](const auto& visit) {
        int at = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
        int level = 0;
        for (; level <= kDepth && at >= 0; ++level) {
            visit(at, level);
            const int inner = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(at);
            at = inner;
        }
        return level;
    };
    for (const char* shell : {"sh", "bash"}) {
        ASSERT_EQ(walk([&](int at, int level) {
                      ::fchmodat(at, level < kDepth ? name.c_str() : "bottom", 0755, 0);
                  }),
                  kDepth + 1);
        ASSERT_EQ(
            fixtures::RunShell(std::string("cd / && ") + shell + " " + dir.File("restore.sh")), 0);
        const int reached = walk([&](int at, int level) {
            struct stat st {};
            ASSERT_EQ(::fstatat(at, level < kDepth ? name.c_str() : "bottom", &st, 0), 0);
            const unsigned expected = level == kDepth ? 0600u : level % 2 ? 0750u : 0700u;
            EXPECT_EQ(st.st_mode & 07777, expected) << shell << " " << level;
        });
        EXPECT_EQ(reached, kDepth + 1);
    }
}

} // namespace
} // namespace twl
