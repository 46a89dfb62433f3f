#include "volumes/GptTable.h"

#include "core/Crc32.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "volumes/PartitionTableWalk.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr char kPath[] = "/test/gpt.img";
constexpr std::uint64_t kDiskSectors = 32768; // 16 MiB

// A 16 MiB disk partitioned by sfdisk: a Linux file system, a basic data partition with a
// name outside ASCII, and an EFI system partition.
std::vector<std::uint8_t> SfdiskGptDisk() {
    fixtures::TempDir dir;
    const std::string image = dir.File("gpt.img");
    const std::string command =
        "truncate -s 16M '" + image + "' && printf '%s\\n' 'label: gpt' " +
        "'start=2048, size=4096, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4, name=\"root\"' " +
        "'start=8192, size=2048, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, "
        "name=\"donn\xC3\xA9\x65s\"' " +
        "'start=12288, size=1024, type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B, name=\"EFI\"' | " +
        "PATH=$PATH:/usr/sbin:/sbin sfdisk --quiet --no-reread --no-tell-kernel '" + image +
        "' >/dev/null";
    EXPECT_EQ(fixtures::RunShell(command), 0);
    return fixtures::ReadFileBytes(image);
}

GptTable Read(const std::vector<std::uint8_t>& bytes) {
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes = bytes;
    SectorSource source({}, fixtures::MemoryFactory{kPath, medium});
    EXPECT_TRUE(source.SelectImageFile(kPath).Ok());
    return ReadGptTable(source, kImageDriveId, bytes.size() / kSectorSize);
}

// Seals the header at `lba` again after its array or its own fields were changed.
void Reseal(std::vector<std::uint8_t>& disk, std::uint64_t lba) {
    const MutableBytes header = MutableBytes(disk).subspan(lba * kSectorSize, kSectorSize);
    const std::uint64_t array = Le64(header, 72);
    const std::size_t bytes = std::size_t{Le32(header, 80)} * Le32(header, 84);
    PutLe32(header, 88, Crc32(ConstBytes(disk).subspan(array * kSectorSize, bytes)));
    PutLe32(header, 16, 0);
    PutLe32(header, 16, Crc32(header.first(Le32(header, 12))));
}

TEST(Crc32, EveryKindMatchesItsStandardCheckValues) {
    const std::string text = "123456789";
    const ConstBytes bytes{reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
    EXPECT_EQ(Crc32(bytes), 0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
    // CRC-32C is kept without its final inversion, as ext4 stores it.
    EXPECT_EQ(~Crc32c(0xFFFFFFFFu, bytes), 0xE3069283u);
    EXPECT_EQ(Crc32c(0x1234u, {}), 0x1234u);
    EXPECT_EQ(Crc16(0, bytes), 0xBB3Du);      // CRC-16/ARC
    EXPECT_EQ(Crc16(0xFFFF, bytes), 0x4B37u); // CRC-16/MODBUS, started as gdt_csum starts it
}

TEST(GptTable, GuidsReadAsTheyAreWrittenAndKnownTypesByName) {
    const Guid linux = Guid::FromText("0FC63DAF-8483-4772-8E79-3D69D8477DE4");
    EXPECT_EQ(linux.bytes[0], 0xAF); // the first field little-endian
    EXPECT_EQ(linux.bytes[8], 0x8E); // the fourth as written
    EXPECT_EQ(linux.Text(), "0FC63DAF-8483-4772-8E79-3D69D8477DE4");
    EXPECT_EQ(Guid::FromText("0fc63daf-8483-4772-8e79-3d69d8477de4"), linux);
    EXPECT_EQ(GuidTypeName(linux), "Linux filesystem");
    EXPECT_EQ(GuidTypeName(Guid::FromText("00000000-0000-0000-0000-000000000001")), "");
    for (const char* bad :
         {"", "0FC63DAF-8483-4772-8E79-3D69D8477DE", "0FC63DAF+8483-4772-8E79-3D69D8477DE4",
          "0FC63DAF-8483-4772-8E79-3D69D8477DEG"})
        EXPECT_TRUE(Guid::FromText(bad).IsZero()) << bad;
}

TEST(GptTable, ASoundTableListsEveryUsedEntryFromThePrimaryCopy) {
    const std::vector<std::uint8_t> disk = SfdiskGptDisk();
    ASSERT_EQ(disk.size(), kDiskSectors * kSectorSize);
    EXPECT_TRUE(HasProtectiveEntry(ConstBytes(disk).first(kSectorSize)));
    const GptTable table = Read(disk);
    EXPECT_EQ(table.copy, GptCopy::kPrimary);
    EXPECT_FALSE(table.primaryDamaged);
    ASSERT_EQ(table.entries.size(), 3u);
    const GptEntry& root = table.entries[0];
    EXPECT_EQ(root.index, 1u);
    EXPECT_EQ(root.type, kLinuxFilesystemType);
    EXPECT_EQ(root.firstLba, 2048u);
    EXPECT_EQ(root.lastLba, 2048u + 4096 - 1);
    EXPECT_EQ(root.name, "root");
    EXPECT_TRUE(root.withinDisk);
    EXPECT_EQ(table.entries[1].type, kBasicDataType);
    EXPECT_EQ(table.entries[1].name, "donn\xC3\xA9\x65s");
    EXPECT_EQ(GuidTypeName(table.entries[2].type), "EFI system");
    EXPECT_EQ(table.entries[2].index, 3u);
}

// Damage to the primary header or its array falls back to the backup at the last sector;
// damage to both leaves no table.
TEST(GptTable, ADamagedPrimaryFallsBackToTheBackupAndBothDamagedToNone) {
    const std::vector<std::uint8_t> sound = SfdiskGptDisk();
    const std::size_t last = (kDiskSectors - 1) * kSectorSize;
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        GptCopy copy;
    };
    const Case cases[] = {
        {"primary header", [](auto& d) { d[kSectorSize + 40] ^= 1; }, GptCopy::kBackup},
        {"primary array", [](auto& d) { d[2 * kSectorSize + 60] ^= 1; }, GptCopy::kBackup},
        {"primary signature", [](auto& d) { d[kSectorSize] = 'X'; }, GptCopy::kBackup},
        {"both headers",
         [last](auto& d) {
             d[kSectorSize + 40] ^= 1;
             d[last + 40] ^= 1;
         },
         GptCopy::kNone},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> disk = sound;
        c.damage(disk);
        const GptTable table = Read(disk);
        EXPECT_EQ(table.copy, c.copy) << c.what;
        EXPECT_TRUE(table.primaryDamaged) << c.what;
        EXPECT_EQ(table.entries.size(), c.copy == GptCopy::kNone ? 0u : 3u) << c.what;
    }
}

TEST(GptTable, AnEntryPastTheDiskIsListedAsDamaged) {
    std::vector<std::uint8_t> disk = SfdiskGptDisk();
    const std::size_t third = 2 * kSectorSize + 2 * 128;
    PutLe64(disk, third + 40, kDiskSectors + 100); // ends past the disk
    Reseal(disk, 1);
    const GptTable table = Read(disk);
    ASSERT_EQ(table.copy, GptCopy::kPrimary);
    ASSERT_EQ(table.entries.size(), 3u);
    EXPECT_TRUE(table.entries[1].withinDisk);
    EXPECT_FALSE(table.entries[2].withinDisk);
}

// The walk lists the table's Linux file systems as type-0x83 entries: a basic data partition
// only when it holds an ext2 superblock, and no entry that lies past the disk.
TEST(GptTable, TheWalkListsLinuxEntriesAndFollowsNoneOutsideTheDisk) {
    std::vector<std::uint8_t> disk = SfdiskGptDisk();
    PutLe64(disk, 2 * kSectorSize + 40, kDiskSectors + 100); // the Linux entry ends past it
    Reseal(disk, 1);
    for (const bool withFileSystem : {false, true}) {
        auto medium = std::make_shared<fixtures::MemoryMedium>();
        medium->bytes = disk;
        if (withFileSystem) { // a basic data partition that holds an ext2 superblock, within the
                              // disk
            PutLe64(medium->bytes, 2 * kSectorSize + 40, 2048 + 4096 - 1);
            Reseal(medium->bytes, 1);
            medium->bytes[(8192 + 2) * kSectorSize + 0x38] = 0x53;
            medium->bytes[(8192 + 2) * kSectorSize + 0x39] = 0xEF;
        }
        SectorSource source({}, fixtures::MemoryFactory{kPath, medium});
        ASSERT_TRUE(source.SelectImageFile(kPath).Ok());
        VolumeLists lists;
        const TableListing listing = ListVolumesFromTable(source, kImageDriveId, lists);
        EXPECT_TRUE(listing.walk.gpt);
        EXPECT_EQ(listing.walk.gptCopy, GptCopy::kPrimary);
        ASSERT_EQ(lists.partitions.gptEntries.size(), 3u);
        std::vector<SectorNo> starts;
        for (const PartitionEntry& entry : lists.partitions.entries) {
            EXPECT_EQ(entry.type, kLinuxPartitionType);
            starts.push_back(entry.start);
        }
        if (!withFileSystem) {
            EXPECT_EQ(listing.walk.gptPastDisk, 1u);
            EXPECT_TRUE(starts.empty()); // the basic data partition holds no file system
            EXPECT_EQ(listing.linuxFound, 0);
        } else {
            EXPECT_EQ(listing.walk.gptPastDisk, 0u);
            EXPECT_EQ(starts, (std::vector<SectorNo>{2048, 8192}));
            EXPECT_EQ(lists.partitions.entries[0].size, 4096u);
            EXPECT_TRUE(lists.partitions.gptEntries[1].linuxVolume);
            EXPECT_FALSE(lists.partitions.gptEntries[2].linuxVolume);
        }
    }
}

// Each field a header is checked on, set out of bounds in a header sealed again.
TEST(GptTable, AHeaderOutsideItsBoundsIsRefused) {
    const std::vector<std::uint8_t> sound = SfdiskGptDisk();
    struct Case {
        const char* what;
        std::size_t offset;
        std::uint64_t value;
        int width;
    };
    const Case cases[] = {
        {"header size 91", 12, 91, 4},
        {"header size 513", 12, 513, 4},
        {"its own LBA", 24, 2, 8},
        {"no entries", 80, 0, 4},
        {"4097 entries", 80, 4097, 4},
        {"entries of 64 bytes", 84, 64, 4},
        {"entries of 4104 bytes", 84, 4104, 4},
        {"array at the header", 72, 1, 8},
        {"array past the disk", 72, kDiskSectors - 10, 8},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> disk = sound;
        const MutableBytes header = MutableBytes(disk).subspan(kSectorSize, kSectorSize);
        if (c.width == 4)
            PutLe32(header, c.offset, static_cast<std::uint32_t>(c.value));
        else
            PutLe64(header, c.offset, c.value);
        PutLe32(header, 16, 0);
        const std::uint32_t size = std::min<std::uint32_t>(Le32(header, 12), kSectorSize);
        PutLe32(header, 16, Crc32(header.first(size)));
        GptHeader read;
        EXPECT_FALSE(ReadGptHeader(header, 1, kDiskSectors, read)) << c.what;
    }
    GptHeader read;
    EXPECT_TRUE(
        ReadGptHeader(ConstBytes(sound).subspan(kSectorSize, kSectorSize), 1, kDiskSectors, read));
    EXPECT_EQ(read.entriesLba, 2u);
    EXPECT_EQ(read.entryCount, 128u);
    EXPECT_EQ(read.entrySize, 128u);
}

TEST(GptTable, OnlyAProtectiveEntryMarksAGuidDisk) {
    std::vector<std::uint8_t> mbr(kSectorSize, 0);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    EXPECT_FALSE(HasProtectiveEntry(mbr));
    mbr[446 + 4] = 0x83;
    mbr[446 + 16 + 4] = 0xEE; // a hybrid: a real entry beside the protective one
    EXPECT_TRUE(HasProtectiveEntry(mbr));
    mbr[511] = 0;
    EXPECT_FALSE(HasProtectiveEntry(mbr));
}

} // namespace
} // namespace twl
