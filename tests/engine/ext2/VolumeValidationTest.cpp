#include "ext2/SuperblockValidation.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "fixtures/TestDisks.h"
#include "session/ListedVolumes.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr char kPath[] = "/test/volume.img";
constexpr std::size_t kBlock = 1024;

// A real ext2 volume of 4 groups of 1024 blocks (superblock copies in groups 1 and 3),
// made once, then damaged byte by byte per case.
const std::vector<std::uint8_t>& CleanVolume() {
    static const std::vector<std::uint8_t> bytes = [] {
        const std::string folder = fixtures::TestDisk("grouped-volume");
        EXPECT_FALSE(folder.empty());
        return folder.empty() ? std::vector<std::uint8_t>{}
                              : fixtures::ReadFileBytes(folder + "/fs.img");
    }();
    return bytes;
}

// Byte offsets of the structures a case damages.
constexpr std::size_t kPrimary = 1024;
constexpr std::size_t Copy(int group) {
    return (1 + group * 1024) * kBlock;
}
constexpr std::size_t kPrimaryTable = 2 * kBlock;

struct Opened {
    OpenOutcome outcome;
    std::uint16_t group = 0; // s_block_group_nr of the superblock taken
    bool asked = false;
};

// Opens the (damaged) volume as listed partition 1 at `start`, answering the backup question
// with `search`.
Opened Open(const std::vector<std::uint8_t>& volume, SectorNo start = 0, bool search = true) {
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes.assign(std::size_t{start} * 512, 0);
    medium->bytes.insert(medium->bytes.end(), volume.begin(), volume.end());
    RecoverySession session({}, fixtures::MemoryFactory{kPath, medium});
    session.Source().SelectImageFile(kPath);
    session.SetMode(ProcessingMode::kTable);
    session.Lists().partitions.entries.push_back(
        PartitionEntry{0, 0x83, start, static_cast<SectorCount>(volume.size() / 512)});
    Opened opened{};
    opened.outcome = OpenListedVolume(session, 0, [&] {
        opened.asked = true;
        return search;
    });
    if (session.Volume() != nullptr)
        opened.group = session.Volume()->sb.s_block_group_nr;
    return opened;
}

std::uint32_t InodeTableBlock(const std::vector<std::uint8_t>& volume, int group) {
    return Le32(volume, kPrimaryTable + 32 * group + 8);
}

// Damage, the place the volume is listed at and the answer to the backup question decide which
// superblock is taken, if any.
TEST(VolumeValidation, DamageDecidesWhichSuperblockIsTaken) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        OpenOutcome outcome;
        std::uint16_t group;
        SectorNo start = 0; // where the volume lies and is listed
        bool search = true; // the answer to the backup question
    };
    const std::uint32_t table0 = InodeTableBlock(CleanVolume(), 0);
    const std::uint32_t bitmap0 = Le32(CleanVolume(), kPrimaryTable + 4);
    const auto fakeMagicBefore = [](std::vector<std::uint8_t>& v, int group) {
        const std::size_t copySector = Copy(group) / 512;
        const std::size_t first = copySector / 63 * 63; // the window the copy lies in
        ASSERT_LT(first, copySector);
        v[first * 512 + 0x38] = 0x53;
        v[first * 512 + 0x39] = 0xEF;
    };
    const Case cases[] = {
        {"clean", [](auto&) {}, OpenOutcome::kOpened, 0},
        {"block size 3 in the primary", [](auto& v) { PutLe32(v, kPrimary + 0x18, 3); },
         OpenOutcome::kOpened, 1},
        {"block size 3 everywhere",
         [](auto& v) {
             for (const std::size_t at : {kPrimary, Copy(1), Copy(3)})
                 PutLe32(v, at + 0x18, 3);
         },
         OpenOutcome::kNoValidSuperblock, 0},
        {"inodes not a multiple of inodes per group",
         [](auto& v) { PutLe32(v, kPrimary + 0x00, Le32(v, kPrimary) + 1); }, OpenOutcome::kOpened,
         1},
        {"no inode table for group 2", [](auto& v) { PutLe32(v, kPrimaryTable + 64 + 8, 0); },
         OpenOutcome::kOpened, 1},
        {"a reserved word set", [](auto& v) { PutLe32(v, kPrimaryTable + 32 + 0x18, 7); },
         OpenOutcome::kOpened, 1},
        {"an unknown group flag", [](auto& v) { PutLe16(v, kPrimaryTable + 0x12, 0x0008); },
         OpenOutcome::kOpened, 1},
        {"the known group flags", [](auto& v) { PutLe16(v, kPrimaryTable + 0x12, 0x0007); },
         OpenOutcome::kOpened, 0},
        {"inode 1 with a size", [=](auto& v) { PutLe32(v, table0 * kBlock + 4, 1); },
         OpenOutcome::kOpened, 1},
        {"no inode of group 0 in use", [=](auto& v) { v[bitmap0 * kBlock] = 0; },
         OpenOutcome::kOpened, 1},
        {"group number past the groups", [](auto& v) { PutLe16(v, kPrimary + 0x5A, 4); },
         OpenOutcome::kOpened, 1},
        {"a magic sector ahead of group 1's copy",
         [=](auto& v) {
             PutLe32(v, kPrimary + 0x18, 3);
             fakeMagicBefore(v, 1);
         },
         OpenOutcome::kOpened, 3},
        {"an unused inode of group 1 that is not empty",
         [=](auto& v) {
             PutLe32(v, kPrimary + 0x18, 3);
             const std::size_t inodeSize = Le16(v, kPrimary + 0x58);       // 256 here
             v[InodeTableBlock(v, 1) * kBlock + 5 * inodeSize + 0x20] = 1; // its i_flags
         },
         OpenOutcome::kOpened, 3},
        {"magic sectors ahead of both copies",
         [=](auto& v) {
             PutLe32(v, kPrimary + 0x18, 3);
             fakeMagicBefore(v, 1);
             fakeMagicBefore(v, 3);
         },
         OpenOutcome::kNoValidSuperblock, 0},
        {"asking no opens nothing", [](auto& v) { PutLe32(v, kPrimary + 0x18, 3); },
         OpenOutcome::kBackupDeclined, 0, 0, false},
        // The copies imply a start one sector earlier than the entry: none is taken.
        {"listed one sector late",
         [](auto& v) {
             PutLe32(v, kPrimary + 0x18, 3);
             v.insert(v.begin(), 512, 0);
             v.resize(v.size() - 512);
         },
         OpenOutcome::kNoValidSuperblock, 0},
        {"clean, listed at sector 126", [](auto&) {}, OpenOutcome::kOpened, 0, 126},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> volume = CleanVolume();
        c.damage(volume);
        const Opened opened = Open(volume, c.start, c.search);
        EXPECT_EQ(opened.outcome, c.outcome) << c.name;
        EXPECT_EQ(opened.group, c.group) << c.name;
        EXPECT_EQ(opened.asked, c.group != 0 || c.outcome != OpenOutcome::kOpened) << c.name;
    }
}

TEST(VolumeValidation, AFailedOpenLeavesTheOpenVolumeAlone) {
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes = CleanVolume();
    std::vector<std::uint8_t> broken = CleanVolume();
    for (const std::size_t at : {kPrimary, Copy(1), Copy(3)})
        PutLe32(broken, at + 0x18, 3);
    medium->bytes.insert(medium->bytes.end(), broken.begin(), broken.end());
    RecoverySession session({}, fixtures::MemoryFactory{kPath, medium});
    session.Source().SelectImageFile(kPath);
    session.SetMode(ProcessingMode::kTable);
    const auto sectors = static_cast<SectorCount>(CleanVolume().size() / 512);
    session.Lists().partitions.entries = {PartitionEntry{0, 0x83, 0, sectors},
                                          PartitionEntry{0, 0x83, sectors, sectors}};
    ASSERT_EQ(OpenListedVolume(session, 0, {}), OpenOutcome::kOpened);
    const Ext2Volume* first = session.Volume();
    const std::vector<std::uint8_t> table = first->descriptorTable;
    EXPECT_EQ(OpenListedVolume(session, 1, [] { return true; }), OpenOutcome::kNoValidSuperblock);
    EXPECT_EQ(session.Volume(), first);
    EXPECT_EQ(session.Volume()->start, 0u);
    EXPECT_EQ(session.Volume()->descriptorTable, table);
    EXPECT_EQ(OpenListedVolume(session, 2, {}), OpenOutcome::kNoSuchVolume);

    // A scan entry whose superblock can no longer be laid out is refused, not divided by.
    session.SetMode(ProcessingMode::kScan);
    PutLe32(medium->bytes, kPrimary + 0x28, 0);
    session.Lists().found.entries = {FoundVolumeEntry{0, 0x83, 0, 2, sectors}};
    EXPECT_EQ(OpenListedVolume(session, 0, {}), OpenOutcome::kUnusableScanEntry);
    EXPECT_EQ(session.Volume(), first);
}

TEST(VolumeValidation, APartitionEndingAtTheLastSectorFitsAndOneSectorMoreDoesNot) {
    EXPECT_EQ(PartitionFitsSource(10, 90, 100 * 512), 1);
    EXPECT_EQ(PartitionFitsSource(10, 91, 100 * 512), 0);
    EXPECT_EQ(PartitionFitsSource(101, 0, 100 * 512), 0);
    EXPECT_EQ(PartitionFitsSource(0xFFFFFFFF, 0xFFFFFFFF, 100 * 512), 0); // no wrapping
}

} // namespace
} // namespace twl
