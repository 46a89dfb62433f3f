// Entries a deletion merged into the record before them, read back from that record's slack:
// what is taken as an older entry, byte for byte, and what is refused.

#include "ext2/DirectoryRecords.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr InodeRange kRange{1, 1000};

// Writes an entry at `at`: inode, record length, name length, type, name.
void PutEntry(std::vector<std::uint8_t>& block, std::size_t at, std::uint32_t inode,
              std::uint16_t recLen, std::uint8_t nameLen, const std::string& name) {
    PutLe32(block, at, inode);
    PutLe16(block, at + 4, recLen);
    block[at + 6] = nameLen;
    block[at + 7] = 1;
    std::copy(name.begin(), name.end(), block.begin() + static_cast<std::ptrdiff_t>(at + 8));
}

std::vector<std::string> Found(const std::vector<std::uint8_t>& block, std::size_t from,
                               std::size_t to) {
    std::vector<std::string> names;
    ForEachSlackEntry(block, from, to, kRange, [&](const DirectoryRecord& r) {
        names.push_back(std::to_string(r.inode) + ":" + std::string(r.NameText()));
    });
    return names;
}

// A live record at 0 ("keep", 4 bytes of name) reaching to 64 over two deleted ones.
TEST(SlackEntries, MergedEntriesAreFoundInOrderAndDamagedOnesRefused) {
    std::vector<std::uint8_t> block(64, 0);
    PutEntry(block, 0, 12, 64, 4, "keep");
    PutEntry(block, 12, 13, 20, 7, "old.txt");  // merged into keep's record
    PutEntry(block, 32, 14, 32, 8, "data.bin"); // merged after it
    EXPECT_EQ(Found(block, 12, 64), (std::vector<std::string>{"13:old.txt", "14:data.bin"}));

    struct Case {
        const char* what;
        std::uint32_t inode;
        std::uint16_t recLen;
        std::uint8_t nameLen;
        std::string name;
    };
    const Case refused[] = {
        {"a name longer than its record", 13, 12, 7, "old.txt"},
        {"a record past the gap", 13, 56, 7, "old.txt"},
        {"a NUL in the name", 13, 20, 7, std::string("ol\0.txt", 7)},
        {"a slash in the name", 13, 20, 7, "ol/.txt"},
        {"a length not a multiple of 4", 13, 18, 7, "old.txt"},
        {"no inode", 0, 20, 7, "old.txt"},
        {"an inode past the volume", 5000, 20, 7, "old.txt"},
        {"no name", 13, 20, 0, ""},
    };
    for (const Case& c : refused) {
        std::vector<std::uint8_t> gap(64, 0);
        PutEntry(gap, 0, 12, 64, 4, "keep");
        PutEntry(gap, 12, c.inode, c.recLen, c.nameLen, c.name);
        EXPECT_TRUE(Found(gap, 12, 44).empty()) << c.what;
    }
}

} // namespace
} // namespace twl
