#include "volumes/PartitionTableWalk.h"

#include "fixtures/DiskImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/SampleDisks.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::DiskImage;
using fixtures::LogicalPartition;
using fixtures::MemoryFactory;
using fixtures::MemoryMedium;
using fixtures::MixedDisk;
using fixtures::SuperblockFields;
using fixtures::TableEntry;

constexpr char kPath[] = "/test/disk.img";

struct Walked {
    std::unique_ptr<SectorSource> source;
    VolumeLists lists;
    TableListing listing;
};

Walked ListImage(const std::shared_ptr<MemoryMedium>& medium) {
    Walked walked;
    walked.source =
        std::make_unique<SectorSource>(std::vector<DriveInfo>{}, MemoryFactory{kPath, medium});
    EXPECT_TRUE(walked.source->SelectImageFile(kPath).Ok());
    walked.listing = ListVolumesFromTable(*walked.source, kImageDriveId, walked.lists);
    return walked;
}

Walked ListImage(const DiskImage& image) {
    return ListImage(image.ToMedium());
}

// (type, start) of every entry, in list order.
std::vector<std::pair<int, SectorNo>> Shape(const PartitionList& list) {
    std::vector<std::pair<int, SectorNo>> shape;
    for (const PartitionEntry& e : list.entries)
        shape.emplace_back(e.type, e.start);
    return shape;
}

TEST(PartitionTableWalk, ThirdLogicalPartitionOfAChainIsListedAfterThoseBeforeIt) {
    const Walked walked = ListImage(MixedDisk());
    const std::vector<std::pair<int, SectorNo>> expected = {
        {0x83, 10},  {0x82, 30},  {0x07, 50}, {0x05, 100}, // primaries
        {0x83, 102}, {0x05, 132},                          // first record: start relative to it
        {0x82, 134}, {0x05, 164},                          // link relative to the extended base
        {0x83, 168}};
    EXPECT_EQ(Shape(walked.lists.partitions), expected);
    EXPECT_EQ(walked.lists.partitions.entries[0].status, 0x80);
    EXPECT_EQ(walked.lists.partitions.entries[4].size, 30u);
    EXPECT_EQ(walked.listing.linuxFound, 1);
    EXPECT_EQ(walked.lists.partitions.linuxCount, 3u);

    const PartitionList& list = walked.lists.partitions;
    EXPECT_EQ(ListedLinuxPartitions(list), (std::vector<std::size_t>{0, 4, 8}));
    EXPECT_EQ(LabelText(list.entries[8].label), "third");
    EXPECT_EQ(list.entries[8].superblockFound, 1);
    EXPECT_EQ(list.entries[0].superblockFound, 0); // Linux type without a superblock
    EXPECT_EQ(LabelText(list.entries[0].label), "");
}

TEST(PartitionTableWalk, TableSectorsAreParsedWithOrWithoutSignature) {
    DiskImage noMbrSignature = MixedDisk();
    noMbrSignature.Sector(0)[511] = 0;
    const Walked none = ListImage(noMbrSignature);
    EXPECT_TRUE(none.listing.walk.noSignature);
    EXPECT_TRUE(none.lists.partitions.entries.empty());
    EXPECT_EQ(none.listing.linuxFound, 0);

    DiskImage noRecordSignature = MixedDisk();
    noRecordSignature.Sector(132)[510] = 0; // the second extended boot record
    EXPECT_EQ(ListImage(noRecordSignature).lists.partitions.entries.size(), 9u);

    auto unreadableMbr = MixedDisk().ToMedium();
    unreadableMbr->badSectors = {0};
    const Walked unread = ListImage(unreadableMbr);
    EXPECT_FALSE(unread.listing.walk.noSignature); // a failed read is not a missing signature
    EXPECT_TRUE(unread.lists.partitions.entries.empty());
}

TEST(PartitionTableWalk, PrimaryEntryAsLargeAsTheDiskStopsBeforeTheExtendedChain) {
    DiskImage image = MixedDisk();
    image.SetTableEntry(0, 2, {0, 0x07, 50, image.Sectors()});
    const Walked walked = ListImage(image);
    EXPECT_TRUE(walked.listing.walk.implausible);
    EXPECT_EQ(walked.lists.partitions.entries.size(), 4u);
    EXPECT_EQ(walked.lists.partitions.entries[2].size, image.Sectors());
}

TEST(PartitionTableWalk, TwoExtendedEntriesAreWalkedWithTheLaterOnesBase) {
    DiskImage image(600);
    image.SetTableEntry(0, 0, {0, 0x05, 100, 100});
    image.SetTableEntry(0, 1, {0, 0x0F, 300, 200});
    image.SetBootSignature(0);
    image.SetTableEntry(100, 0, {0, 0x83, 5, 10});  // logical: relative to its record
    image.SetTableEntry(100, 1, {0, 0x85, 50, 50}); // link: relative to X = 300
    image.SetBootSignature(100);
    image.SetTableEntry(300, 0, {0, 0x83, 7, 10});
    image.SetBootSignature(300);
    image.SetTableEntry(350, 0, {0, 0x83, 9, 10});
    const std::vector<std::pair<int, SectorNo>> expected = {{0x05, 100}, {0x0F, 300}, {0x83, 105},
                                                            {0x85, 350}, {0x83, 307}, {0x83, 359}};
    EXPECT_EQ(Shape(ListImage(image).lists.partitions), expected);
}

TEST(PartitionTableWalk, ChainsThatLoopEnd) {
    struct Case {
        const char* name;
        std::uint32_t linkTarget; // relative to the extended base 100
    };
    for (const Case& c : {Case{"self", 0}, Case{"back to the first record", 0},
                          Case{"back to the second record", 40}}) {
        DiskImage image(300);
        image.SetTableEntry(0, 0, {0, 0x05, 100, 150});
        image.SetBootSignature(0);
        image.WriteLogicalChain(100, {{0x83, 1, 39}, {0x83, 1, 39}});
        image.SetTableEntry(140, 1, {0, 0x05, c.linkTarget, 40}); // second record loops
        if (std::string(c.name) == "self")
            image.SetTableEntry(100, 1, {0, 0x05, 0, 40}); // first record points at itself
        const Walked walked = ListImage(image);
        EXPECT_TRUE(walked.listing.walk.loopStopped) << c.name;
        EXPECT_EQ(walked.listing.walk.loopSector, 100 + c.linkTarget) << c.name;
        EXPECT_LE(walked.lists.partitions.entries.size(), 6u) << c.name;
    }
}

TEST(PartitionTableWalk, AnEndlessChainOfDistinctRecordsIsCapped) {
    std::vector<LogicalPartition> parts(200, LogicalPartition{0x83, 1, 1});
    DiskImage image(500);
    image.SetTableEntry(0, 0, {0, 0x05, 50, 400});
    image.SetBootSignature(0);
    image.WriteLogicalChain(50, parts);
    const Walked walked = ListImage(image);
    EXPECT_TRUE(walked.listing.walk.capReached);
    EXPECT_EQ(walked.lists.partitions.entries.size(), kMaxPartitionEntries);
}

TEST(PartitionTableWalk, ASuperblockPastTheLastSectorIsNotReadFromSectorOne) {
    DiskImage image(8);
    // Where start + 2 would wrap to: a superblock at sector 1.
    const auto superblock = fixtures::EncodeSuperblock(SuperblockFields{});
    std::copy(superblock.begin(), superblock.end(), image.Bytes().begin() + 512);
    Walked walked;
    walked.source = std::make_unique<SectorSource>(std::vector<DriveInfo>{},
                                                   MemoryFactory{kPath, image.ToMedium()});
    walked.source->SelectImageFile(kPath);
    PartitionList list;
    PartitionEntry far;
    far.type = 0x83;
    far.start = 0xFFFFFFFF;
    far.size = 1;
    list.entries.push_back(far);
    EXPECT_EQ(CheckLinuxPartitions(*walked.source, list), 1);
    EXPECT_EQ(list.entries[0].superblockFound, 0);
}

TEST(PartitionTableWalk, FreeingEmptiesBothLists) {
    Walked walked = ListImage(MixedDisk());
    walked.lists.found.entries.push_back(FoundVolumeEntry{});
    walked.lists.FreeBoth();
    EXPECT_TRUE(walked.lists.partitions.entries.empty());
    EXPECT_EQ(walked.lists.partitions.linuxCount, 0u);
    EXPECT_TRUE(walked.lists.found.entries.empty());
}

} // namespace
} // namespace twl
