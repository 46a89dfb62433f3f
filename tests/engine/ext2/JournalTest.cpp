// The journal reader: descriptor tags in every layout the journal's features give them, and
// a log written block by block into a real ext3 volume's journal, read into its index: copies
// newest first, escaped blocks restored, descriptors near the end naming blocks that wrap to
// the beginning, a damaged descriptor or an open last transaction costing only their own
// copies, and an old transaction cut short where a newer one overwrote it.

#include "ext2/journal/JournalIndex.h"
#include "fixtures/BuiltVolume.h"
#include "fixtures/TempDir.h"

#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr std::uint32_t kBlockSize = 1024;

// Writes a descriptor tag at `at` in the layout of `incompat`.
std::size_t PutTag(MutableBytes block, std::size_t at, std::uint32_t incompat,
                   std::uint64_t fsBlock, std::uint32_t flags) {
    PutBe32(block, at, static_cast<std::uint32_t>(fsBlock));
    if ((incompat & kJournalIncompatCsumV3) != 0) {
        PutBe32(block, at + 4, flags);
        PutBe32(block, at + 8, static_cast<std::uint32_t>(fsBlock >> 32));
    } else {
        PutBe16(block, at + 6, static_cast<std::uint16_t>(flags));
        if ((incompat & kJournalIncompat64Bit) != 0)
            PutBe32(block, at + 8, static_cast<std::uint32_t>(fsBlock >> 32));
    }
    return at + JournalTagBytes(incompat) + ((flags & kTagSameUuid) != 0 ? 0 : 16);
}

void PutHeader(MutableBytes block, JournalBlockType type, std::uint32_t sequence) {
    PutBe32(block, 0, kJournalMagic);
    PutBe32(block, 4, static_cast<std::uint32_t>(type));
    PutBe32(block, 8, sequence);
}

TEST(JournalFormat, TagsAreReadInEveryLayoutAndDamageLosesTheWholeList) {
    struct Case {
        const char* what;
        std::uint32_t incompat;
        std::size_t tagBytes;
    };
    const Case layouts[] = {
        {"32-bit", 0, 8},
        {"64-bit", kJournalIncompat64Bit, 12},
        {"checksum v2", kJournalIncompatCsumV2, 10},
        {"checksum v2, 64-bit", kJournalIncompatCsumV2 | kJournalIncompat64Bit, 14},
        {"checksum v3, 64-bit", kJournalIncompatCsumV3 | kJournalIncompat64Bit, 16},
    };
    for (const Case& c : layouts) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(JournalTagBytes(c.incompat), c.tagBytes);
        std::vector<std::uint8_t> block(kBlockSize, 0);
        PutHeader(block, JournalBlockType::kDescriptor, 7);
        const std::uint64_t high =
            (c.incompat & kJournalIncompat64Bit) != 0 ? std::uint64_t{3} << 32 : 0;
        std::size_t at = PutTag(block, 12, c.incompat, high | 100, kTagEscaped); // UUID follows
        at = PutTag(block, at, c.incompat, 200, kTagSameUuid);
        PutTag(block, at, c.incompat, 300, kTagSameUuid | kTagLast);
        const DescriptorTags tags = DecodeDescriptorTags(block, c.incompat);
        ASSERT_FALSE(tags.damaged);
        ASSERT_EQ(tags.tags.size(), 3u);
        EXPECT_EQ(tags.tags[0].fsBlock, high | 100);
        EXPECT_EQ(tags.tags[0].flags, kTagEscaped);
        EXPECT_EQ(tags.tags[1].fsBlock, 200u);
        EXPECT_EQ(tags.tags[2].fsBlock, 300u);

        std::vector<std::uint8_t> unknownFlag = block;
        PutTag(unknownFlag, 12, c.incompat, 100, 0x40);
        EXPECT_TRUE(DecodeDescriptorTags(unknownFlag, c.incompat).damaged);
        std::vector<std::uint8_t> endless(kBlockSize, 0); // no tag says it is the last
        PutHeader(endless, JournalBlockType::kDescriptor, 7);
        for (std::size_t t = 12; t + c.tagBytes <= kBlockSize;)
            t = PutTag(endless, t, c.incompat, 5, kTagSameUuid);
        const DescriptorTags cut = DecodeDescriptorTags(endless, c.incompat);
        EXPECT_TRUE(cut.damaged);
        EXPECT_TRUE(cut.tags.empty());
    }
}

TEST(JournalFormat, RevokeBlocksNameTheirBlocksInEitherWidth) {
    std::vector<std::uint8_t> block(kBlockSize, 0);
    PutHeader(block, JournalBlockType::kRevoke, 9);
    PutBe32(block, 12, 16 + 3 * 4);
    PutBe32(block, 16, 11);
    PutBe32(block, 20, 12);
    PutBe32(block, 24, 13);
    PutBe32(block, 28, 99); // past the count: not a record
    EXPECT_EQ(DecodeRevokedBlocks(block, 0), (std::vector<std::uint64_t>{11, 12, 13}));
    PutBe32(block, 12, 16 + 8);
    PutBe64(block, 16, (std::uint64_t{1} << 33) | 5);
    EXPECT_EQ(DecodeRevokedBlocks(block, kJournalIncompat64Bit),
              (std::vector<std::uint64_t>{(std::uint64_t{1} << 33) | 5}));
}

// A real ext3 volume whose journal is then written block by block.
class WrittenJournal : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string image = m_dir.File("ext3.img");
        ASSERT_EQ(fixtures::RunShell("E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F -t ext3 -b 1024 "
                                     "-J size=1 " +
                                     image + " 8192 >/dev/null 2>&1"),
                  0);
        m_volume = std::make_unique<fixtures::BuiltVolume>("/test/ext3.img", image);
        ASSERT_TRUE(m_volume->opened);
        const InodeRecord journal = m_volume->reader.ReadInode(8).record;
        m_volume->reader.ForEachMappedBlock(
            journal, 4096, [&](std::uint64_t logical, BlockNo b) { m_map[logical] = b; });
        ASSERT_EQ(m_map.size(), 1024u);
        for (std::uint32_t j = 1; j < 1024; ++j) // a log with nothing in it
            std::fill_n(Block(j).begin(), kBlockSize, std::uint8_t{0});
    }

    MutableBytes Block(std::uint32_t journalBlock) {
        return MutableBytes(m_volume->medium->bytes)
            .subspan(std::size_t{m_map.at(journalBlock)} * kBlockSize, kBlockSize);
    }
    // A descriptor at `at` naming `blocks` (a negative one escaped), then their copies, each
    // filled with its block number, then a commit unless `open`. Returns the next free block.
    std::uint32_t Transaction(std::uint32_t at, std::uint32_t sequence,
                              const std::vector<std::int64_t>& blocks, bool open = false) {
        PutHeader(Block(at), JournalBlockType::kDescriptor, sequence);
        std::size_t tag = 12;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            std::uint32_t flags = i == 0 ? 0 : kTagSameUuid;
            flags |= blocks[i] < 0 ? kTagEscaped : 0;
            flags |= i + 1 == blocks.size() ? kTagLast : 0;
            tag =
                PutTag(Block(at), tag, 0, static_cast<std::uint64_t>(std::llabs(blocks[i])), flags);
        }
        std::uint32_t j = at;
        for (const std::int64_t b : blocks) {
            j = Next(j);
            std::fill_n(Block(j).begin(), kBlockSize, static_cast<std::uint8_t>(std::llabs(b)));
            PutBe32(Block(j), 4, sequence); // which transaction the copy came from
            if (b < 0)
                PutBe32(Block(j), 0, 0); // the escaped copy's magic, as the log stores it
        }
        j = Next(j);
        if (!open)
            PutHeader(Block(j), JournalBlockType::kCommit, sequence);
        return Next(j);
    }
    static std::uint32_t Next(std::uint32_t j) { return j + 1 == 1024 ? 1 : j + 1; }

    // The transactions the copies of `block` came from, newest first.
    std::vector<std::uint32_t> SequencesOf(const JournalIndex& index, std::uint64_t block) {
        std::vector<std::uint32_t> sequences;
        std::vector<std::uint8_t> copy(kBlockSize);
        for (const JournalCopy& c : index.CopiesOf(block)) {
            index.ReadCopy(m_volume->reader, c, copy);
            EXPECT_EQ(copy[8], static_cast<std::uint8_t>(block)); // the copy of that block
            sequences.push_back(Be32(copy, 4));
        }
        return sequences;
    }

    fixtures::TempDir m_dir;
    std::unique_ptr<fixtures::BuiltVolume> m_volume;
    std::map<std::uint64_t, BlockNo> m_map;
};

TEST_F(WrittenJournal, EveryTransactionOfTheLogIsIndexedNewestFirst) {
    // An old transaction near the log's end whose copies wrapped to its beginning, where the
    // newer ones below were written over them: only the copies before that are still its own.
    Transaction(1020, 0xFFFFFF00, {105, 106, 107, 108});
    // Sequences run past 2^32 - 1 and start again at 0: 0 is the newest.
    std::uint32_t j = Transaction(1, 0xFFFFFFFE, {100, -101});
    j = Transaction(j, 0xFFFFFFFF, {100, 102});
    // A descriptor whose tags cannot be read: its copy of 103 is not taken, its transaction's
    // later descriptor and the transactions after it are.
    const std::uint32_t damaged = j;
    j = Transaction(j, 0, {103});
    PutBe16(Block(damaged), 12 + 6, 0x40);
    j = Transaction(j, 0, {104});
    // The newest transaction has no commit: its copies may be incomplete.
    Transaction(j, 1, {100}, /*open=*/true);

    const JournalIndex index = JournalIndex::Read(m_volume->reader);
    const JournalReport& report = index.Report();
    EXPECT_EQ(report.unavailable, "");
    EXPECT_EQ(report.length, 1024u);
    EXPECT_EQ(report.damagedDescriptors, 1u);
    EXPECT_EQ(report.uncommitted, 1u);
    EXPECT_EQ(SequencesOf(index, 100), (std::vector<std::uint32_t>{0xFFFFFFFF, 0xFFFFFFFE}));
    EXPECT_EQ(SequencesOf(index, 102), (std::vector<std::uint32_t>{0xFFFFFFFF}));
    EXPECT_EQ(SequencesOf(index, 103), (std::vector<std::uint32_t>{}));
    EXPECT_EQ(SequencesOf(index, 104), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(SequencesOf(index, 105), (std::vector<std::uint32_t>{0xFFFFFF00}));
    EXPECT_EQ(SequencesOf(index, 106), (std::vector<std::uint32_t>{0xFFFFFF00}));
    EXPECT_EQ(SequencesOf(index, 107), (std::vector<std::uint32_t>{0xFFFFFF00}));
    EXPECT_TRUE(SequencesOf(index, 108).empty()); // block 1 holds the first descriptor now

    // The escaped copy gets its magic back.
    std::vector<std::uint8_t> copy(kBlockSize);
    ASSERT_EQ(index.CopiesOf(101).size(), 1u);
    index.ReadCopy(m_volume->reader, index.CopiesOf(101)[0], copy);
    EXPECT_EQ(Be32(copy, 0), kJournalMagic);
    EXPECT_EQ(index.Blocks(), (std::vector<std::uint64_t>{100, 101, 102, 104, 105, 106, 107}));
}

TEST_F(WrittenJournal, AJournalThatCannotBeReadSaysWhy) {
    PutBe32(Block(0), 0x0C, 4096); // a block size that is not the volume's
    EXPECT_EQ(JournalIndex::Read(m_volume->reader).Report().unavailable,
              "the journal's superblock is damaged");
    Ext2Volume& volume = m_volume->volume;
    PutLe32(volume.superblock, 0xE0, 0);
    PutLe32(volume.superblock, 0xE4, 0x0801);
    EXPECT_EQ(JournalIndex::Read(m_volume->reader).Report().unavailable,
              "the journal is on another device, which is not read");
    PutLe32(volume.superblock, 0x5C, Le32(volume.superblock, 0x5C) & ~0x4u);
    const JournalIndex none = JournalIndex::Read(m_volume->reader);
    EXPECT_EQ(none.Report().unavailable, "the volume has no journal");
    EXPECT_TRUE(none.Empty());
}

} // namespace
} // namespace twl
