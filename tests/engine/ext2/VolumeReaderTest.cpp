#include "ext2/VolumeReader.h"

#include "ext2/SuperblockValidation.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"

#include <numeric>
#include <tuple>

#include <gtest/gtest.h>

namespace twl {
namespace {

namespace ext2 = fixtures::ext2;
using fixtures::Ext2Image;
using fixtures::Ext2Options;
using fixtures::InodeFields;

constexpr char kPath[] = "/test/ext2.img";
constexpr SectorNo kStart = 63;

// The volume opened at sector kStart of a medium, with a reader over it.
class Opened {
public:
    explicit Opened(const Ext2Image& image)
        : medium(image.ToMedium(kStart)), source({}, fixtures::MemoryFactory{kPath, medium}) {
        EXPECT_TRUE(source.SelectImageFile(kPath).Ok());
        volume.start = kStart;
        volume.size = image.Sectors();
        ReadPrimarySuperblock(source, volume, kStart + 2);
        EXPECT_EQ(ValidatePrimarySuperblock(source, volume, kStart + 2), 1);
    }

    std::shared_ptr<fixtures::MemoryMedium> medium;
    SectorSource source;
    Ext2Volume volume;
    VolumeReader reader{source, volume};
};

// One group of 1 KiB blocks with room for maps and data.
Ext2Image Roomy() {
    Ext2Options options;
    options.blocksPerGroup = 8192;
    options.blocksCount = 1024;
    return Ext2Image(options);
}

InodeRecord RecordOf(Ext2Image& image, InodeNo n) {
    InodeRecord record{};
    std::copy_n(image.Inode(n).begin(), record.size(), record.begin());
    return record;
}

// Block numbers as the image builder writes them (32-bit pointers).
std::vector<fixtures::BlockNumber> Narrow(const std::vector<BlockNo>& blocks) {
    return {blocks.begin(), blocks.end()};
}

std::vector<BlockNo> Range(BlockNo first, std::size_t count) {
    std::vector<BlockNo> blocks(count);
    std::iota(blocks.begin(), blocks.end(), first);
    return blocks;
}

TEST(VolumeReader, ReadInodeFindsTheRecordByGroupIndexAndRecordSize) {
    struct Case {
        std::uint32_t inodesPerGroup;
        std::uint16_t inodeSize;
        InodeNo inode;
        std::uint32_t group;
        std::size_t tableByte; // of the record inside its group's inode table
    };
    const Case cases[] = {
        {2048, 128, 2048, 0, 511 * 512 + 3 * 128}, // sector 511, slot 3
        {2048, 128, 2049, 1, 0},
        {2048, 128, 2047, 0, 511 * 512 + 2 * 128},
        {32, 256, 13, 0, 12 * 256},
        {32, 256, 34, 1, 256},
    };
    for (const Case& c : cases) {
        Ext2Options options;
        options.groups = 2;
        options.blocksPerGroup = 512;
        options.inodesPerGroup = c.inodesPerGroup;
        options.inodeSize = c.inodeSize;
        Ext2Image image(options);
        // Every record around the one asked for carries its own number.
        for (InodeNo n = c.inode - 1; n <= c.inode + 1; ++n)
            PutLe32(image.Inode(n), ext2::i_size, 0x10000 + n);
        const std::size_t expectedAt = std::size_t{image.InodeTableBlock(c.group)} * 1024;
        ASSERT_EQ(image.InodeOffset(c.inode), expectedAt + c.tableByte);
        Opened opened(image);
        const InodeRead read = opened.reader.ReadInode(c.inode);
        EXPECT_EQ(InodeView{read.record}.i_size(), 0x10000 + c.inode) << c.inode;
        const GroupDescriptor gd = GroupDescriptor::Decode(read.descriptor);
        EXPECT_EQ(gd.bg_inode_table, image.InodeTableBlock(c.group)) << c.inode;
    }
}

TEST(VolumeReader, AnInodeOutsideTheGroupsReadsAsZeros) {
    Ext2Options options;
    options.groups = 2;
    Ext2Image image(options);
    // The table block's unused slot after the two descriptors names group 0's inode table.
    PutLe32(image.DescriptorTable().subspan(64), ext2::bg_inode_table, image.InodeTableBlock(0));
    Opened opened(image);
    ASSERT_NE(InodeView{opened.reader.ReadInode(2).record}.i_mode(), 0);
    for (const InodeNo n : {InodeNo{0}, InodeNo{66}, InodeNo{0xFFFFFFFF}})
        EXPECT_EQ(opened.reader.ReadInode(n).record, InodeRecord{}) << n;
}

TEST(VolumeReader, TwoReadersOnOneVolumeEachKeepTheInodeTheyRead) {
    Ext2Options options;
    options.groups = 2;
    options.blocksPerGroup = 512;
    Ext2Image image(options);
    const InodeNo inodes[] = {12, 30, 40, 60}; // groups 0, 0, 1, 1 of 32 inodes each
    for (const InodeNo n : inodes)
        PutLe32(image.Inode(n), ext2::i_size, 0x10000 + n);
    Opened opened(image);
    VolumeReader other(opened.source, opened.volume);
    // Interleaved: each read by one reader comes between two of the other's.
    const InodeRead first = opened.reader.ReadInode(inodes[0]);
    const InodeRead second = other.ReadInode(inodes[2]);
    const InodeRead third = opened.reader.ReadInode(inodes[1]);
    const InodeRead fourth = other.ReadInode(inodes[3]);
    const InodeRead* reads[] = {&first, &third, &second, &fourth};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(InodeView{reads[i]->record}.i_size(), 0x10000 + inodes[i]) << inodes[i];
        const std::uint32_t group = (inodes[i] - 1) / 32;
        EXPECT_EQ(GroupDescriptor::Decode(reads[i]->descriptor).bg_inode_table,
                  image.InodeTableBlock(group))
            << inodes[i];
    }
}

// Two groups of 512 inodes of 256 bytes: tables of 256 sectors, more than one 64 KiB run.
Ext2Image LargeTables() {
    Ext2Options options;
    options.groups = 2;
    options.blocksPerGroup = 1024;
    options.inodesPerGroup = 512;
    options.inodeSize = 256;
    return Ext2Image(options);
}

// Inodes read in ascending order: the table sectors they need are read once each, ascending,
// in runs of at most 64 KiB that pass over gaps of up to eight sectors and read nothing else.
TEST(VolumeReader, InodesReadInOrderTakeTheirTableSectorsOnceInLargeAscendingRuns) {
    Ext2Image image = LargeTables();
    std::vector<InodeNo> wanted{0};    // no such inode: zeros, nothing read
    for (InodeNo n = 20; n <= 99; ++n) // table sectors 9 to 49
        wanted.push_back(n);
    wanted.push_back(110);               // sector 54: a gap of 4 read through
    for (InodeNo n = 200; n <= 480; ++n) // sectors 99 to 239: a gap of 44 is not
        wanted.push_back(n);
    wanted.insert(wanted.end(), {518, 518, 600}); // group 1, sectors 2 and 43; 518 twice
    wanted.push_back(5000);                       // past the inode count: zeros
    for (const InodeNo n : wanted)
        if (n != 0 && n <= 1024)
            PutLe32(image.Inode(n), ext2::i_size, 0x10000 + n);
    Opened opened(image);
    opened.medium->readOffsets.clear();
    opened.medium->readLengths.clear();

    std::vector<std::size_t> visited;
    opened.reader.ReadInodesInOrder(wanted, [&](std::size_t k, const InodeRead& read) {
        visited.push_back(k);
        const InodeNo n = wanted[k];
        EXPECT_EQ(InodeView{read.record}.i_size(), n == 0 || n > 1024 ? 0 : 0x10000 + n) << n;
        EXPECT_TRUE(read.readable) << n;
        return true;
    });
    EXPECT_EQ(visited.size(), wanted.size());
    const auto table = [&](std::uint32_t group, std::uint64_t sector) {
        return SectorOffset(kStart + image.InodeTableBlock(group) * 2 + sector);
    };
    using Read = std::pair<ByteOffset, std::size_t>;
    std::vector<Read> reads;
    for (std::size_t i = 0; i < opened.medium->readOffsets.size(); ++i)
        reads.emplace_back(opened.medium->readOffsets[i], opened.medium->readLengths[i]);
    EXPECT_EQ(reads, (std::vector<Read>{{table(0, 9), 46 * kSectorSize},
                                        {table(0, 99), 128 * kSectorSize},
                                        {table(0, 227), 13 * kSectorSize},
                                        {table(1, 2), kSectorSize},
                                        {table(1, 43), kSectorSize}}));

    // A visit that returns false ends the reading.
    visited.clear();
    opened.reader.ReadInodesInOrder(wanted, [&](std::size_t k, const InodeRead&) {
        visited.push_back(k);
        return k < 2;
    });
    EXPECT_EQ(visited, (std::vector<std::size_t>{0, 1, 2}));
}

// A sector of a run that cannot be read costs only the inodes in it: they read as zeros and
// unreadable, their neighbours in the same run as they are.
TEST(VolumeReader, AnUnreadableSectorInARunLosesOnlyItsOwnInodes) {
    Ext2Image image = LargeTables();
    std::vector<InodeNo> wanted;
    for (InodeNo n = 20; n <= 99; ++n) {
        wanted.push_back(n);
        PutLe32(image.Inode(n), ext2::i_size, 0x10000 + n);
    }
    Opened opened(image);
    opened.medium->badSectors.insert(kStart + image.InodeTableBlock(0) * 2 + 30); // 61, 62
    std::vector<InodeNo> lost;
    opened.reader.ReadInodesInOrder(wanted, [&](std::size_t k, const InodeRead& read) {
        const std::uint32_t size = InodeView{read.record}.i_size();
        if (!read.readable) {
            lost.push_back(wanted[k]);
            EXPECT_EQ(size, 0u);
        } else {
            EXPECT_EQ(size, 0x10000 + wanted[k]);
        }
        return true;
    });
    EXPECT_EQ(lost, (std::vector<InodeNo>{61, 62}));
}

TEST(VolumeReader, BlockListFollowsTheMapLevelsInFileOrder) {
    const std::vector<BlockNo> direct = Range(100, 12);
    struct Case {
        const char* name;
        // Writes the map blocks, fills i_block and returns the whole list the map holds.
        std::function<std::vector<BlockNo>(Ext2Image&, InodeFields&)> build;
        std::size_t maxBlocks = std::numeric_limits<std::size_t>::max();
    };
    const auto single = [](Ext2Image& image, std::vector<BlockNo> pointers) {
        const BlockNo block = image.AllocateBlock();
        image.WritePointers(block, Narrow(pointers));
        return block;
    };
    const auto fullSingleThenDouble = [=](Ext2Image& image, InodeFields& f) {
        std::copy(direct.begin(), direct.end(), f.i_block.begin());
        f.i_block[12] = single(image, Range(1000, 256));
        f.i_block[13] = single(image, {single(image, {2000, 2001})});
        std::vector<BlockNo> expected = direct;
        for (const BlockNo b : Range(1000, 256))
            expected.push_back(b);
        expected.insert(expected.end(), {2000, 2001});
        return expected;
    };
    const Case cases[] = {
        {"a direct hole ends the list",
         [=](Ext2Image& image, InodeFields& f) {
             std::copy(direct.begin(), direct.end(), f.i_block.begin());
             f.i_block[3] = 0;
             f.i_block[12] = single(image, {500, 501});
             f.i_block[13] = single(image, {single(image, {600})});
             return std::vector<BlockNo>{100, 101, 102};
         }},
        {"no single indirect, then double indirect",
         [=](Ext2Image& image, InodeFields& f) {
             std::copy(direct.begin(), direct.end(), f.i_block.begin());
             f.i_block[13] = single(image, {single(image, {600, 601, 602})});
             std::vector<BlockNo> expected = direct;
             expected.insert(expected.end(), {600, 601, 602});
             return expected;
         }},
        {"256 from the single indirect, then the double", fullSingleThenDouble},
        {"triple indirect behind two empty levels",
         [=](Ext2Image& image, InodeFields& f) {
             std::copy(direct.begin(), direct.end(), f.i_block.begin());
             f.i_block[14] = single(image, {single(image, {single(image, {700, 701})})});
             std::vector<BlockNo> expected = direct;
             expected.insert(expected.end(), {700, 701});
             return expected;
         }},
        {"limit inside the direct blocks", fullSingleThenDouble, 5},
        {"limit one short of the map", fullSingleThenDouble, 269},
        {"limit exactly the map", fullSingleThenDouble, 270},
    };
    for (const Case& c : cases) {
        Ext2Image image = Roomy();
        InodeFields fields;
        fields.i_mode = 0x81A4;
        std::vector<BlockNo> expected = c.build(image, fields);
        const bool capped = expected.size() > c.maxBlocks;
        if (capped)
            expected.resize(c.maxBlocks);
        image.WriteInode(20, fields);
        Opened opened(image);
        const BlockList list = opened.reader.BuildBlockList(RecordOf(image, 20), c.maxBlocks);
        EXPECT_EQ(list.blocks, expected) << c.name;
        EXPECT_EQ(list.capped, capped) << c.name;
    }
}

TEST(VolumeReader, BlockDataComesInListOrder) {
    Ext2Image image = Roomy();
    std::vector<BlockNo> blocks;
    for (int i = 0; i < 6; ++i) {
        blocks.push_back(image.AllocateBlock());
        const MutableBytes bytes = image.Block(blocks.back());
        std::fill(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(0xA0 + i));
    }
    Opened opened(image);
    // A backward jump, a run of neighbours, a gap and a block named twice.
    const std::vector<int> order = {4, 0, 1, 2, 5, 5, 3};
    BlockList list;
    std::vector<std::uint8_t> expected;
    for (const int i : order) {
        list.blocks.push_back(blocks[i]);
        expected.insert(expected.end(), 1024, static_cast<std::uint8_t>(0xA0 + i));
    }
    EXPECT_EQ(opened.reader.ReadBlockData(list), expected);
    EXPECT_TRUE(opened.reader.ReadBlockData({}).empty());
}

TEST(VolumeReader, SurveyPassesOverHolesWhereTheBlockListStops) {
    Ext2Image image = Roomy();
    InodeFields f;
    f.i_mode = 0x81A4;
    f.i_block[0] = 50;
    f.i_block[2] = 52;
    const BlockNo single = image.AllocateBlock();
    image.WritePointers(single, {0, 60, 0, 61});
    const BlockNo inner = image.AllocateBlock();
    image.WritePointers(inner, {70, 5000}); // the second lies beyond the volume's 1024 blocks
    const BlockNo outer = image.AllocateBlock();
    image.WritePointers(outer, {0, static_cast<fixtures::BlockNumber>(inner)});
    f.i_block[12] = single;
    f.i_block[13] = outer;
    image.WriteInode(20, f);
    Opened opened(image);
    const InodeRecord record = RecordOf(image, 20);

    const BlockMapSurvey survey = opened.reader.SurveyBlockMap(record);
    EXPECT_EQ(survey.dataBlocks, 5u); // 50, 52, 60, 61, 70
    EXPECT_EQ(survey.mapBlocks, 3u);
    EXPECT_EQ(survey.endLogical, 12u + 256 + 256 + 1); // 70 is the first of inner's span
    EXPECT_EQ(survey.outOfRangePointers, 1u);
    EXPECT_EQ(opened.reader.BuildBlockList(record).blocks, std::vector<BlockNo>{50});
}

// Every step of the file block walk over a map with holes, an unused level and pointers
// outside the volume, with runs of holes taken together: the whole walk, a walk cut at an
// end, one the visitor ends at the first hole, and a short link whose record holds its data.
TEST(VolumeReader, FileBlockWalkReportsEveryStepInFileOrder) {
    using S = BlockStep;
    using Steps = std::vector<std::tuple<BlockStep, std::uint64_t, std::uint64_t, BlockNo>>;
    constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        const char* name;
        std::uint16_t mode;
        std::uint64_t end;
        bool endAtHole;
        Steps expected;
        std::size_t mapReads;
    };
    const Steps head{
        {S::kData, 0, 1, 50}, {S::kHole, 1, 1, 0}, {S::kOutside, 2, 1, 5000}, {S::kHole, 3, 9, 0}};
    Steps whole = head;
    whole.insert(whole.end(), {{S::kData, 12, 1, 60},
                               {S::kHole, 13, 1, 0},
                               {S::kData, 14, 1, 61},
                               {S::kHole, 15, 253, 0},
                               {S::kUnmapped, 268, 65536, 0},
                               {S::kBadMap, 65804, 16777216, 9999999}});
    Steps cut = head;
    cut.push_back({S::kData, 12, 1, 60});
    const Case cases[] = {
        {"whole walk", 0x81A4, kAll, false, whole, 1},
        {"cut at logical block 13", 0x81A4, 13, false, cut, 1},
        {"ended by the visitor at the first hole", 0x81A4, kAll, true,
         Steps(head.begin(), head.begin() + 2), 0},
        {"a short link's target held in the record", 0xA1FF, kAll, false, {}, 0},
    };
    for (const Case& c : cases) {
        Ext2Image image = Roomy();
        InodeFields f;
        f.i_mode = c.mode;
        f.i_block[0] = 50;
        f.i_block[2] = 5000; // past the volume's 1024 blocks
        f.i_block[12] = image.AllocateBlock();
        image.WritePointers(f.i_block[12], {60, 0, 61});
        f.i_block[14] = 9999999;
        image.WriteInode(20, f);
        Opened opened(image);
        opened.medium->readOffsets.clear();
        Steps steps;
        const BlockMapSurvey survey =
            opened.reader.ForEachFileBlock(RecordOf(image, 20), c.end, [&](const FileBlock& at) {
                if (!steps.empty() && at.step == S::kHole && std::get<0>(steps.back()) == S::kHole)
                    std::get<2>(steps.back()) += at.count;
                else
                    steps.emplace_back(at.step, at.logical, at.count, at.block);
                return c.endAtHole && at.step == S::kHole ? WalkOn::kEnd : WalkOn::kGoOn;
            });
        EXPECT_EQ(steps, c.expected) << c.name;
        EXPECT_EQ(opened.medium->readOffsets.size(), c.mapReads) << c.name;
        EXPECT_EQ(survey.ended, c.endAtHole) << c.name;
    }
}

TEST(VolumeReader, AHostileMapIsWalkedWithEachMapBlockReadAtMostOnce) {
    constexpr BlockNo kBlocksCount = 100000;
    const auto named = [](Ext2Image& image, BlockNo block, BlockNo pointer) {
        image.WritePointers(block, Narrow(std::vector<BlockNo>(256, pointer)));
    };
    struct Case {
        const char* name;
        // Writes the map and fills i_block; returns the map blocks the walk may read.
        std::function<std::uint64_t(Ext2Image&, InodeFields&)> build;
        bool loop;
        std::uint64_t outOfRange;
    };
    const Case cases[] = {
        {"double indirect naming itself",
         [=](Ext2Image& image, InodeFields& f) {
             f.i_block[13] = image.AllocateBlock();
             named(image, f.i_block[13], f.i_block[13]);
             return 1;
         },
         true, 0},
        {"triple indirect naming itself",
         [=](Ext2Image& image, InodeFields& f) {
             f.i_block[14] = image.AllocateBlock();
             named(image, f.i_block[14], f.i_block[14]);
             return 1;
         },
         true, 0},
        {"triple and double indirect naming each other",
         [=](Ext2Image& image, InodeFields& f) {
             const BlockNo other = image.AllocateBlock();
             f.i_block[14] = image.AllocateBlock();
             named(image, f.i_block[14], other);
             named(image, other, f.i_block[14]);
             return 2;
         },
         true, 0},
        {"double indirect naming one single indirect 256 times",
         [=](Ext2Image& image, InodeFields& f) {
             const BlockNo single = image.AllocateBlock();
             image.WritePointers(single, {50, 51});
             f.i_block[13] = image.AllocateBlock();
             named(image, f.i_block[13], single);
             return 2;
         },
         true, 0},
        {"map pointers to the superblock, the block after the last and past the volume",
         [](Ext2Image&, InodeFields& f) {
             f.i_block[12] = 1;
             f.i_block[13] = kBlocksCount;
             f.i_block[14] = 0xFFFFFFFF;
             return 0;
         },
         false, 3},
    };
    for (const Case& c : cases) {
        Ext2Image image = Roomy();
        InodeFields fields;
        fields.i_mode = 0x81A4;
        const std::uint64_t mapBlocks = c.build(image, fields);
        image.WriteInode(20, fields);
        Opened opened(image);
        // The record claims a volume large enough for a triple indirect map to be walked.
        opened.volume.sb.s_blocks_count = kBlocksCount;
        opened.medium->readOffsets.clear();
        const BlockMapSurvey survey = opened.reader.SurveyBlockMap(RecordOf(image, 20));
        EXPECT_EQ(opened.medium->readOffsets.size(), mapBlocks) << c.name;
        EXPECT_EQ(survey.mapBlocks, mapBlocks) << c.name;
        EXPECT_EQ(survey.mapLoop, c.loop) << c.name;
        EXPECT_EQ(survey.outOfRangePointers, c.outOfRange) << c.name;
    }
}

TEST(VolumeReader, MapWalkEndsAtTheGivenEndAndAtAStop) {
    Ext2Image image = Roomy();
    InodeFields f;
    f.i_mode = 0x81A4;
    std::vector<BlockNo> data;
    for (int i = 0; i < 300; ++i)
        data.push_back(image.AllocateBlock());
    image.MapBlocks(f, Narrow(data));
    image.WriteInode(20, f);
    Opened opened(image);
    const InodeRecord record = RecordOf(image, 20);

    opened.medium->readOffsets.clear();
    std::vector<BlockNo> visited;
    BlockMapSurvey survey = opened.reader.ForEachMappedBlock(
        record, 12, [&](std::uint64_t, BlockNo block) { visited.push_back(block); });
    EXPECT_EQ(visited, std::vector<BlockNo>(data.begin(), data.begin() + 12));
    EXPECT_TRUE(opened.medium->readOffsets.empty()); // the indirect blocks lie past the end
    EXPECT_EQ(survey.pointersPastEnd, 2u);

    StopControl stop;
    stop.RequestStop();
    survey = opened.reader.ForEachMappedBlock(record, 300, {}, &stop);
    EXPECT_TRUE(survey.stopped);
    EXPECT_EQ(survey.dataBlocks, 12u);
    EXPECT_EQ(survey.mapBlocks, 0u);
}

} // namespace
} // namespace twl
