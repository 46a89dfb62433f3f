#include "scaninfo/ScanInfoFormat.h"

#include "scaninfo/ScanInfoReader.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

TEST(ScanInfoFormat, VolumeListBlocksTakeTheLeastWholeSectors) {
    struct Case {
        std::size_t partitions;
        std::size_t found;
        std::uint32_t sectors;
    };
    for (const Case c : {Case{16, 0, 1}, Case{17, 0, 2}, Case{0, 15, 2}, Case{0, 0, 1}}) {
        VolumeLists lists;
        lists.partitions.entries.resize(c.partitions, PartitionEntry{0x80, 0x83, 63, 100});
        lists.found.entries.resize(c.found);
        const Bytes block = EncodeVolumeListBlock(lists);
        ASSERT_EQ(block.size(), c.sectors * 512u);
        const VolumeListHead head = DecodeVolumeListHead(block);
        EXPECT_EQ(head.sectors, c.sectors);
        EXPECT_EQ(head.count, c.partitions + c.found);
        EXPECT_EQ(head.kind, c.found != 0 ? 1 : 0);
        if (c.partitions != 0) {
            // Records back to back from byte 9: the second record's start field.
            EXPECT_EQ(Le32(block, 9 + 31 + 2), 63u);
            EXPECT_NE(Le32(block, 9 + 27), 0u);                           // a link to the next
            EXPECT_EQ(Le32(block, 9 + 31 * (c.partitions - 1) + 27), 0u); // the last has none
        }
        const VolumeLists back = DecodeVolumeListBlock(block, head);
        EXPECT_EQ(back.partitions.entries, lists.partitions.entries);
        EXPECT_EQ(back.found.entries, lists.found.entries);
    }
}

TEST(ScanInfoFormat, DescriptorBlockOfThreeGroups) {
    Ext2Volume volume;
    volume.groupCount = 3;
    volume.descriptorTable.assign(512, 0xAB);
    const Bytes block = EncodeDescriptorBlock(volume);
    ASSERT_EQ(block.size(), 512u);
    EXPECT_EQ(Le32(block, 0), 1u);
    EXPECT_EQ(Le32(block, 4), 96u);
    EXPECT_EQ(Le64(block, 8), 0u);
    EXPECT_EQ(block[16 + 95], 0xAB);
    EXPECT_EQ(block[16 + 96], 0); // only the groups' descriptors, zeros after
}

TEST(ScanInfoFormat, HeadSectorAcceptsEitherMagicByteAndOnlyTheExactSignature) {
    const Bytes head = EncodeHeadSector();
    EXPECT_EQ(std::string(head.begin() + 4, head.begin() + 44), kScanInfoSignature);
    EXPECT_EQ(head[44], 0);
    EXPECT_TRUE(IsValidHeadSector(head));
    struct Case {
        std::size_t offset;
        std::uint8_t value;
        bool valid;
    };
    for (const Case c : {Case{1, 0x00, true}, Case{0, 0x00, true}, Case{4, 't', false},
                         Case{44, '!', false}, Case{43, 0, false}}) {
        Bytes changed = head;
        changed[c.offset] = c.value;
        EXPECT_EQ(IsValidHeadSector(changed), c.valid) << "offset " << c.offset;
    }
    Bytes bothWrong = head;
    bothWrong[0] = bothWrong[1] = 0;
    EXPECT_FALSE(IsValidHeadSector(bothWrong));
}

TEST(ScanInfoFormat, NodeRecordsKeepEveryFieldAndOnlyWhetherLinksExist) {
    CatalogNode node;
    node.type = 2;
    node.mode = 040755;
    node.uid = 1000;
    node.gid = 100;
    node.ctime = 0x01020304;
    node.mtime = 0x05060708;
    node.size = 0x1122334455667788ULL;
    node.inode = 4242;
    node.marked = 1;
    node.is_header = 0;
    node.first_child = 17;
    node.next_sibling = kNoNode;
    const auto record = EncodeNodeRecord(node);
    EXPECT_EQ(Le32(record, 0), 0u);
    EXPECT_EQ(record[4], 2);
    EXPECT_EQ(Le64(record, 19), 0x1122334455667788ULL);
    EXPECT_EQ(Le32(record, 27), 4242u);
    EXPECT_EQ(record[31], 1);
    EXPECT_NE(Le32(record, 33), 0u);
    EXPECT_EQ(Le32(record, 37), 0u);
    const CatalogNode back = DecodeNodeRecord(record);
    EXPECT_EQ(back.mode, node.mode);
    EXPECT_EQ(back.uid, node.uid);
    EXPECT_EQ(back.gid, node.gid);
    EXPECT_EQ(back.ctime, node.ctime);
    EXPECT_EQ(back.mtime, node.mtime);
    EXPECT_EQ(back.size, node.size);
    EXPECT_EQ(back.marked, 1);
    EXPECT_EQ(back.first_child, 1u);
    EXPECT_EQ(back.next_sibling, 0u);
}

// A node's flags travel in the name slot readers pass over, behind a mark: a slot another
// writer filled (any four bytes) reads as no flags, and a node without flags leaves it zero.
TEST(ScanInfoFormat, NodeFlagsTravelInTheNameSlotOnlyBehindTheirMark) {
    CatalogNode node;
    node.flags = kNodePossiblyOverwritten;
    auto record = EncodeNodeRecord(node);
    EXPECT_EQ(DecodeNodeRecord(record).flags, kNodePossiblyOverwritten);
    node.flags = 0;
    EXPECT_EQ(Le32(EncodeNodeRecord(node), 0), 0u);
    for (const std::uint32_t slot : {0x00000000u, 0x0804A1B8u, 0xFFFFFFFFu, 0x00FF4654u}) {
        PutLe32(record, 0, slot);
        EXPECT_EQ(DecodeNodeRecord(record).flags, 0) << std::hex << slot;
    }
}

TEST(ScanInfoFormat, DefaultNamesUseTheLocalDateWithSeptForSeptember) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(DefaultScanInfoName(1796464714), // Sat 5 Dec 2026 11:18:34
              "TW Linux Scan Information # Sat, 05-Dec-2026.ds1");
    EXPECT_EQ(DefaultScanInfoName(1789000000), // Thu 10 Sep 2026
              "TW Linux Scan Information # Thu, 10-Sept-2026.ds1");
}

} // namespace
} // namespace twl
