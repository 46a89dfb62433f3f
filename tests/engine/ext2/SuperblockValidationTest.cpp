#include "ext2/SuperblockValidation.h"

#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"

#include <functional>

#include <gtest/gtest.h>

namespace twl {
namespace {

namespace ext2 = fixtures::ext2;
using fixtures::Ext2Image;
using fixtures::Ext2Options;

constexpr char kPath[] = "/test/ext2.img";

// A sector source over the volume placed at sector `start` of an otherwise empty medium.
class Placed {
public:
    Placed(const Ext2Image& image, SectorNo start)
        : m_start(start), m_sectors(image.Sectors()),
          m_source({}, fixtures::MemoryFactory{kPath, image.ToMedium(start)}) {
        EXPECT_TRUE(m_source.SelectImageFile(kPath).Ok());
        volume.start = start;
        volume.size = m_sectors;
    }

    int ValidatePrimary() {
        ReadPrimarySuperblock(m_source, volume, m_start + 2);
        return ValidatePrimarySuperblock(m_source, volume, m_start + 2);
    }
    // Validates the copy at `sector` for a volume taken to start at `assumedStart`.
    int ValidateBackup(SectorNo sector, SectorNo assumedStart) {
        volume.start = assumedStart;
        ReadPrimarySuperblock(m_source, volume, sector);
        return ValidateBackupSuperblock(m_source, volume, sector);
    }
    int Search() { return SearchBackupSuperblock(m_source, volume, m_start, m_sectors); }
    int ValidateScan(SectorNo sector) {
        Ext2Volume scratch;
        ReadPrimarySuperblock(m_source, scratch, sector);
        return ValidateScanSuperblock(m_source, scratch, sector);
    }
    int Load(SectorNo sector) { return LoadSuperblockAt(m_source, volume, m_start, sector); }

    Ext2Volume volume;

private:
    SectorNo m_start;
    SectorCount m_sectors;
    SectorSource m_source;
};

// Groups of 256 blocks (1 KiB unless told) with a file in groups 0 and 1, the copies of every
// group from 1 on written.
Ext2Image TwoGroups(std::uint32_t groups = 2, std::uint16_t inodeSize = 128,
                    std::uint32_t blockSize = 1024) {
    Ext2Options options;
    options.groups = groups;
    options.inodeSize = inodeSize;
    options.blockSize = blockSize;
    Ext2Image image(options);
    const std::vector<std::uint8_t> data(3000, 0x5A);
    image.AddFile(2, "first", data);
    image.AddFile(2, "second", data, {.inodeGroup = 1});
    for (std::uint32_t g = 1; g < groups; ++g)
        image.WriteBackup(g);
    return image;
}

// Sector of group g's superblock copy, for a volume at `start`.
SectorNo CopySector(const Ext2Image& image, std::uint32_t group, SectorNo start) {
    return start + static_cast<SectorNo>(image.SuperblockOffset(group) / kSectorSize);
}

void ZeroPrimary(Ext2Image& image) {
    std::fill(image.Superblock().begin(), image.Superblock().end(), std::uint8_t{0});
    std::fill(image.DescriptorTable().begin(), image.DescriptorTable().end(), std::uint8_t{0});
}

struct DamageCase {
    const char* name;
    std::function<void(Ext2Image&)> damage;
    int expected;
};

TEST(SuperblockValidation, PrimaryIsJudgedByItsFieldsDescriptorsAndGroupZero) {
    const auto descriptorWord = [](std::uint32_t group, std::size_t field, std::uint32_t value) {
        return [=](Ext2Image& image) { PutLe32(image.Descriptor(group), field, value); };
    };
    const auto flags = [](std::uint16_t value) {
        return [=](Ext2Image& image) { PutLe16(image.Descriptor(1), ext2::bg_flags, value); };
    };
    const DamageCase cases[] = {
        {"healthy", [](Ext2Image&) {}, 1},
        {"s_log_block_size 3",
         [](Ext2Image& i) { PutLe32(i.Superblock(), ext2::s_log_block_size, 3); }, 0},
        {"s_inodes_count not a multiple of s_inodes_per_group",
         [](Ext2Image& i) { PutLe32(i.Superblock(), ext2::s_inodes_count, 65); }, 0},
        {"bad magic", [](Ext2Image& i) { PutLe16(i.Superblock(), ext2::s_magic, 0xEF52); }, 0},
        {"group 0 bg_inode_table 0", descriptorWord(0, ext2::bg_inode_table, 0), 0},
        {"group 1 bg_inode_table 0", descriptorWord(1, ext2::bg_inode_table, 0), 0},
        {"group 1 bg_block_bitmap 0", descriptorWord(1, ext2::bg_block_bitmap, 0), 0},
        {"group 1 bg_inode_bitmap 0", descriptorWord(1, ext2::bg_inode_bitmap, 0), 0},
        {"bg_reserved[0] set", descriptorWord(1, ext2::bg_reserved, 1), 0},
        {"bg_reserved[1] set", descriptorWord(1, ext2::bg_reserved + 4, 0x100), 0},
        {"bg_reserved[2] set", descriptorWord(1, ext2::bg_reserved + 8, 0x80000000), 0},
        {"bg_flags 0x0001", flags(0x0001), 1},
        {"bg_flags 0x0002", flags(0x0002), 1},
        {"bg_flags 0x0004", flags(0x0004), 1},
        {"bg_flags 0x0007", flags(0x0007), 1},
        {"bg_flags 0x0008", flags(0x0008), 0},
        {"bg_flags 0x8000", flags(0x8000), 0},
        {"s_block_group_nr 2 of 2 groups",
         [](Ext2Image& i) { PutLe16(i.Superblock(), ext2::s_block_group_nr, 2); }, 0},
        {"inode 1 with an i_size", [](Ext2Image& i) { PutLe32(i.Inode(1), ext2::i_size, 1); }, 0},
        {"inode 1 with an i_mode", [](Ext2Image& i) { PutLe16(i.Inode(1), ext2::i_mode, 0x8000); },
         0},
        {"inode 1 with a block", [](Ext2Image& i) { PutLe32(i.Inode(1), ext2::i_block, 40); }, 0},
        {"inode 1 with times, as mke2fs writes it",
         [](Ext2Image& i) {
             PutLe32(i.Inode(1), ext2::i_atime, fixtures::kBuildTime);
             PutLe32(i.Inode(1), ext2::i_ctime, fixtures::kBuildTime);
             PutLe32(i.Inode(1), ext2::i_mtime, fixtures::kBuildTime);
         },
         1},
        {"group 0 inode bitmap starting with a zero byte",
         [](Ext2Image& i) { i.Block(i.InodeBitmapBlock(0))[0] = 0; }, 0},
    };
    for (const DamageCase& c : cases) {
        Ext2Image image = TwoGroups();
        c.damage(image);
        Placed placed(image, 0);
        EXPECT_EQ(placed.ValidatePrimary(), c.expected) << c.name;
        EXPECT_EQ(placed.volume.HasDescriptorTable(), c.expected == 1) << c.name;
    }
}

TEST(SuperblockValidation, PrimaryOfAnotherGroupSkipsTheGroupZeroTestButNotTheGroupCount) {
    // Far enough into the medium that a group 1 or 2 superblock at start + 2 implies a start.
    constexpr SectorNo kStart = 2000;
    struct Case {
        std::uint16_t groupNr;
        bool emptyBitmap; // group 0's inode bitmap starts with a zero byte
        int expected;
    };
    const Case cases[] = {{0, false, 1}, {0, true, 0}, {1, true, 1}, {2, false, 0}};
    for (const Case& c : cases) {
        Ext2Image image = TwoGroups();
        PutLe16(image.Superblock(), ext2::s_block_group_nr, c.groupNr);
        if (c.emptyBitmap)
            image.Block(image.InodeBitmapBlock(0))[0] = 0;
        Placed placed(image, kStart);
        EXPECT_EQ(placed.ValidatePrimary(), c.expected)
            << "s_block_group_nr " << c.groupNr << ", empty bitmap " << c.emptyBitmap;
    }
}

TEST(SuperblockValidation, ASingleGroupSmallerThanAFullGroupIsAVolume) {
    Ext2Options options;
    options.blocksPerGroup = 8192; // as mke2fs leaves it for a 300 KiB volume
    options.blocksCount = 300;
    Ext2Image single(options);
    EXPECT_TRUE(PassesFieldTest(Superblock::Decode(single.Superblock())));
    EXPECT_EQ(Placed(single, 0).ValidatePrimary(), 1);

    // The allowance is for one group only: two groups cannot both be short of a full one.
    Ext2Image twoClaimed(options);
    PutLe32(twoClaimed.Superblock(), ext2::s_inodes_count, 2 * 32);
    EXPECT_FALSE(PassesFieldTest(Superblock::Decode(twoClaimed.Superblock())));
}

TEST(SuperblockValidation, BlockSizeCodeThreeIsRefusedOnEveryPath) {
    for (const bool damaged : {false, true}) {
        Ext2Image image = TwoGroups();
        if (damaged) {
            PutLe32(image.Superblock(0), ext2::s_log_block_size, 3);
            PutLe32(image.Superblock(1), ext2::s_log_block_size, 3);
        }
        const int expected = damaged ? 0 : 1;
        const SectorNo copy = CopySector(image, 1, 0);
        EXPECT_EQ(PassesFieldTest(Superblock::Decode(image.Superblock(1))), !damaged);
        Placed placed(image, 0);
        EXPECT_EQ(placed.ValidatePrimary(), expected) << damaged;
        EXPECT_EQ(placed.ValidateBackup(copy, 0), expected) << damaged;
        EXPECT_EQ(placed.ValidateScan(2), expected) << damaged;
        EXPECT_EQ(placed.ValidateScan(copy), expected) << damaged;
        EXPECT_EQ(placed.Load(2), expected) << damaged;
        EXPECT_EQ(placed.volume.HasDescriptorTable(), !damaged);
    }
}

TEST(SuperblockValidation, SearchLoadsGroupOnesCopyWithItsOwnTable) {
    constexpr SectorNo kStart = 100; // not a multiple of 63
    for (const std::uint32_t blockSize : {1024u, 2048u, 4096u}) {
        Ext2Image image = TwoGroups(2, 128, blockSize);
        ZeroPrimary(image);
        Placed placed(image, kStart);
        ASSERT_EQ(placed.Search(), 1) << blockSize;
        const Ext2Volume& v = placed.volume;
        EXPECT_EQ(v.sb.s_block_group_nr, 1);
        EXPECT_EQ(v.BlockSize(), blockSize);
        const MutableBytes copy = image.Superblock(1);
        EXPECT_TRUE(std::equal(copy.begin(), copy.end(), v.superblock.begin())) << blockSize;
        const MutableBytes table = image.DescriptorTable(1).first(DescriptorTableBytes(2));
        EXPECT_EQ(v.descriptorTable, std::vector<std::uint8_t>(table.begin(), table.end()))
            << blockSize;
        const MutableBytes own = image.DescriptorTable(1).subspan(32, 32);
        EXPECT_TRUE(std::equal(own.begin(), own.end(), v.OwnDescriptor().begin())) << blockSize;
        EXPECT_EQ(v.start, kStart);
    }
}

TEST(SuperblockValidation, OnlyTheFirstMagicSectorOfAWindowIsTried) {
    constexpr SectorNo kStart = 100;
    struct Case {
        std::uint32_t groups; // copies in every group from 1 on
        int expected;
        std::uint16_t groupNr; // of the copy taken
    };
    for (const Case c : {Case{2, 0, 0}, Case{3, 1, 2}}) {
        Ext2Image image = TwoGroups(c.groups);
        ZeroPrimary(image);
        // Windows are aligned to multiples of 63 of the whole medium, not of the volume.
        const SectorNo copy = CopySector(image, 1, kStart);
        const SectorNo window = copy / 63 * 63;
        ASSERT_LT(window, copy);
        ASSERT_GT(window, kStart + 63);
        const MutableBytes decoy =
            MutableBytes(image.Bytes()).subspan((window - kStart) * kSectorSize, kSectorSize);
        PutLe16(decoy, ext2::s_magic, 0xEF53);
        Placed placed(image, kStart);
        EXPECT_EQ(placed.Search(), c.expected) << c.groups << " groups";
        EXPECT_EQ(placed.volume.HasDescriptorTable(), c.expected == 1);
        if (c.expected == 1) {
            EXPECT_EQ(placed.volume.sb.s_block_group_nr, c.groupNr);
        }
    }
}

TEST(SuperblockValidation, ACopyImplyingAnotherVolumeStartIsRefused) {
    constexpr SectorNo kStart = 100;
    Ext2Image image = TwoGroups();
    ZeroPrimary(image);
    const SectorNo copy = CopySector(image, 1, kStart);
    for (const SectorNo assumed : {kStart - 1, kStart, kStart + 1}) {
        Placed placed(image, kStart);
        EXPECT_EQ(placed.ValidateBackup(copy, assumed), assumed == kStart ? 1 : 0) << assumed;
        EXPECT_EQ(placed.volume.HasDescriptorTable(), assumed == kStart);
    }
}

TEST(SuperblockValidation, FirstInodesAreReadByTheRecordSize) {
    const std::uint32_t firstOfGroup1 = 33; // 32 inodes per group
    const DamageCase cases[] = {
        {"healthy", [](Ext2Image&) {}, 1},
        {"unused inode at index 5 not empty",
         [&](Ext2Image& i) { PutLe32(i.Inode(firstOfGroup1 + 5), ext2::i_flags, 1); }, 0},
        {"live inode without i_ctime",
         [&](Ext2Image& i) { PutLe32(i.Inode(firstOfGroup1), ext2::i_ctime, 0); }, 0},
    };
    for (const DamageCase& c : cases) {
        Ext2Image image = TwoGroups(2, 256);
        ASSERT_EQ(image.Block(image.InodeBitmapBlock(1))[0], 1) << "group 1 holds a live inode";
        ASSERT_EQ(image.InodeOffset(firstOfGroup1 + 5) - image.InodeOffset(firstOfGroup1),
                  5u * 256);
        c.damage(image);
        image.WriteBackup(1);
        ZeroPrimary(image);
        Placed placed(image, 0);
        EXPECT_EQ(placed.Search(), c.expected) << c.name;
    }
}

} // namespace
} // namespace twl
