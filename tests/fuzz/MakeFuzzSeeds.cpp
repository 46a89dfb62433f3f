// Writes the fuzzers' seed corpora: FOLDER/partition_walk holds the fixture disks and a disk
// with a GUID partition table, FOLDER/scaninfo_reader a small scan information file, both it
// and FOLDER/scaninfo_use the scan information of the fuzz volume after a tree walk and Turbo
// Scan, FOLDER/ext2_image small volumes and FOLDER/extent_walk an extent tree.

#include "FuzzVolume.h"
#include "core/Crc32.h"
#include "ext2/TreeBuilder.h"
#include "ext2/TurboScan.h"
#include "ext2/journal/JournalFormat.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/GptBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/SampleDisks.h"
#include "scaninfo/ScanInfoWriter.h"
#include "volumes/GptTable.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The fuzz volume `medium` opened by hand in `session` (it fills its image from sector 0), as
// a volume open leaves it; false when its image cannot be chosen.
bool OpenFuzzVolume(twl::RecoverySession& session, const twl::fixtures::MemoryMedium& medium) {
    using namespace twl;
    if (!session.Source().SelectImageFile(fuzz::kFuzzImagePath).Ok())
        return false;
    const std::vector<std::uint8_t>& head = medium.bytes;
    auto volume = std::make_unique<Ext2Volume>();
    RawSuperblock raw{};
    std::copy_n(head.begin() + 1024, raw.size(), raw.begin());
    volume->SetSuperblock(raw);
    const auto table = head.begin() + 2 * volume->BlockSize();
    volume->descriptorTable.assign(table, table + DescriptorTableBytes(volume->groupCount));
    volume->size = static_cast<SectorCount>(head.size() / kSectorSize);
    PutLe32(volume->selectedVolumeRecord, 6, volume->size);
    session.SetVolume(std::move(volume));
    return true;
}

// A small catalogue made by hand (a folder, a file, and a header named by its folder's path)
// over the fuzz volume, with a partition listed: a file for the reader fuzzer.
bool WriteScanInfoSeed(const std::string& path) {
    using namespace twl;
    const auto medium = fuzz::FuzzVolumeMedium();
    RecoverySession session({}, fixtures::MemoryFactory{fuzz::kFuzzImagePath, medium});
    if (!OpenFuzzVolume(session, *medium))
        return false;
    session.Lists().partitions.entries.push_back(PartitionEntry{0x80, 0x83, 10, 20});
    Catalog& catalog = session.Catalogue();
    const NodeId folder = catalog.AddNode("folder");
    catalog.Node(folder).type = 2;
    catalog.AttachChildList(kRootAnchor, folder);
    catalog.LinkSibling(folder, catalog.AddNode("file"));
    catalog.AttachChildList(folder, catalog.AddNode("D:\\$TW\\folder"));
    return WriteScanInfoFile(session, path, {}).Ok();
}

// The fuzz volume walked, Turbo-Scanned and saved: a file the use fuzzer's source check lets
// through.
bool WriteScanInfoUseSeed(const std::string& path) {
    using namespace twl;
    const auto medium = fuzz::FuzzVolumeMedium();
    RecoverySession session({}, fixtures::MemoryFactory{fuzz::kFuzzImagePath, medium});
    if (!OpenFuzzVolume(session, *medium))
        return false;
    VolumeReader reader(session.Source(), *session.Volume());
    EngineEvents events;
    TreeBuilder builder(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    builder.BuildTree();
    TurboScan scan(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    RunTurboScan(scan, session.Catalogue(), session.Stop(), events);
    return session.Catalogue().NodeCount() > 4 && WriteScanInfoFile(session, path, {}).Ok();
}

bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A volume with a journal whose one committed transaction holds the inode-table block and the
// root folder block from before a file was deleted the way a current kernel deletes it (map
// and size zeroed): the journal pass has a file to bring back, and the fuzzer a sound log to
// start from.
std::vector<std::uint8_t> JournalSeed() {
    using namespace twl;
    using namespace twl::fixtures;
    Ext2Options options;
    options.inodesPerGroup = 16;
    Ext2Image volume(options);
    const InodeNumber gone = volume.AddFile(2, "gone.txt", std::vector<std::uint8_t>(2000, 'g'));
    const BlockNumber table = static_cast<BlockNumber>(volume.InodeOffset(gone) / 1024);
    const BlockNumber root = volume.ReadInode(2).i_block[0];
    constexpr std::uint32_t kLogBlocks = 8;
    std::vector<std::uint8_t> log(kLogBlocks * 1024, 0);
    const auto block = [&](std::uint32_t j) { return MutableBytes(log).subspan(j * 1024, 1024); };
    const auto header = [&](std::uint32_t j, std::uint32_t type, std::uint32_t sequence) {
        PutBe32(block(j), 0, kJournalMagic);
        PutBe32(block(j), 4, type);
        PutBe32(block(j), 8, sequence);
    };
    header(0, 4, 1); // version 2 superblock: block size, length, first block, next sequence
    PutBe32(block(0), 12, 1024);
    PutBe32(block(0), 16, kLogBlocks);
    PutBe32(block(0), 20, 1);
    PutBe32(block(0), 24, 4);
    header(1, 1, 3); // a descriptor naming the two blocks, then their copies, then the commit
    PutBe32(block(1), 12, table);
    PutBe16(block(1), 18, kTagSameUuid);
    PutBe32(block(1), 20, root);
    PutBe16(block(1), 26, kTagSameUuid | kTagLast);
    std::copy_n(volume.Block(table).begin(), 1024, block(2).begin());
    std::copy_n(volume.Block(root).begin(), 1024, block(3).begin());
    header(4, 2, 3);
    InodeFields deleted = volume.ReadInode(gone);
    deleted.i_size = 0;
    deleted.i_blocks = 0;
    deleted.i_block = {};
    deleted.i_links_count = 0;
    deleted.i_dtime = kBuildTime;
    volume.WriteInode(gone, deleted);
    volume.WriteDirectory(2, {{2, ".", 2, {}, {}}, {2, "..", 2, {}, {}}}); // its entry wiped
    const InodeNumber journal = volume.AddFile(2, "journal", log);
    PutLe32(volume.Superblock(), 0x5C, Le32(volume.Superblock(), 0x5C) | 0x4);
    PutLe32(volume.Superblock(), 0xE0, journal);
    return volume.Bytes();
}

// Small volumes with something for every pass to find: folders, files, a file of several map
// levels, a deleted file whose name the root folder's records still hold (merged into the
// entry before it, as older kernels delete), an unlinked folder, and (in the second) a damaged
// primary superblock with group 1's copy to fall back on.
bool WriteExt2Seeds(const std::string& folder) {
    using namespace twl::fixtures;
    Ext2Options options;
    options.blocksPerGroup = 160;
    Ext2Image small(options);
    const auto folderA = small.AddDirectory(2, "A");
    small.AddFile(folderA, "a.txt", std::vector<std::uint8_t>(300, 'a'));
    small.AddFile(2, "mapped.bin", std::vector<std::uint8_t>(40 * 1024, 'm'));
    const auto lost = small.AddDirectory(2, "lost");
    small.AddFile(lost, "l.txt", std::vector<std::uint8_t>(10, 'l'));
    InodeFields deleted;
    deleted.i_mode = 0x81A4;
    deleted.i_size = 700;
    deleted.i_dtime = kBuildTime;
    deleted.i_blocks = 2;
    deleted.i_block[0] = small.AllocateBlock();
    const InodeNumber gone = small.AllocateInode();
    small.WriteInode(gone, deleted);
    small.WriteDirectory(2, {{2, ".", 2, {}, {}},
                             {2, "..", 2, {}, {}},
                             {folderA, "A", 2, {}, {}},
                             {gone, "old.txt", 1, {}, {}}});
    // "A" (at 24) takes over the record of old.txt after it, to the block's end.
    twl::PutLe16(small.Block(small.ReadInode(2).i_block[0]), 24 + 4, 1000);

    options.groups = 2;
    options.blocksPerGroup = 128;
    Ext2Image backed(options);
    backed.AddFile(2, "b.txt", std::vector<std::uint8_t>(2000, 'b'));
    backed.WriteBackup(1);
    backed.Superblock()[0] ^= 0xFF;
    return WriteBytes(folder + "/small.img", small.Bytes()) &&
           WriteBytes(folder + "/backup.img", backed.Bytes()) &&
           WriteBytes(folder + "/journal.img", JournalSeed());
}

// A small disk with a GUID partition table whose checks pass: a protective entry, both
// headers and arrays, a Linux entry and a basic data one. The fuzzer starts from sound
// checksums, which it could hardly find on its own.
std::vector<std::uint8_t> GptSeed() {
    using namespace twl;
    return fixtures::GptDisk(
        64, {{kLinuxFilesystemType, 10, 40, "v"}, {kBasicDataType, 41, 50, "v"}}, 4);
}

// A sound extent tree of depth 1 as the extent walk fuzzer reads it: the root (two index
// entries), the two leaf blocks they name (numbered from 2), then an end of 112 blocks that
// cuts the last extent. Holes, an uninitialised extent and a cut give each check a step.
std::vector<std::uint8_t> ExtentTreeSeed() {
    using namespace twl;
    constexpr std::size_t kRoot = 60;
    constexpr std::size_t kBlock = 1024;
    std::vector<std::uint8_t> bytes(kRoot + 2 * kBlock + 4, 0);
    const auto node = [&](std::size_t offset, std::size_t size, std::uint16_t entries,
                          std::uint16_t depth) {
        const MutableBytes at = MutableBytes(bytes).subspan(offset, size);
        PutLe16(at, 0, 0xF30A);
        PutLe16(at, 2, entries);
        PutLe16(at, 4, static_cast<std::uint16_t>((size - 12) / 12));
        PutLe16(at, 6, depth);
        return at;
    };
    const auto index = [](MutableBytes at, std::size_t n, std::uint32_t logical,
                          std::uint32_t child) {
        PutLe32(at, 12 + 12 * n, logical);
        PutLe32(at, 16 + 12 * n, child);
    };
    const auto extent = [](MutableBytes at, std::size_t n, std::uint32_t logical,
                           std::uint16_t length, std::uint32_t start) {
        PutLe32(at, 12 + 12 * n, logical);
        PutLe16(at, 16 + 12 * n, length);
        PutLe32(at, 20 + 12 * n, start);
    };
    const MutableBytes root = node(0, kRoot, 2, 1);
    index(root, 0, 0, 2);
    index(root, 1, 100, 3);
    const MutableBytes first = node(kRoot, kBlock, 2, 0);
    extent(first, 0, 0, 10, 50);
    extent(first, 1, 20, 32768 + 5, 80); // uninitialised
    const MutableBytes second = node(kRoot + kBlock, kBlock, 2, 0);
    extent(second, 0, 100, 4, 200);
    extent(second, 1, 110, 8, 300);
    PutLe32(bytes, kRoot + 2 * kBlock, 112);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder + "/partition_walk");
    std::filesystem::create_directories(folder + "/scaninfo_reader");
    std::filesystem::create_directories(folder + "/scaninfo_use");
    std::filesystem::create_directories(folder + "/ext2_image");
    std::filesystem::create_directories(folder + "/extent_walk");
    const bool ok =
        twl::fixtures::MixedDisk().SaveTo(folder + "/partition_walk/mixed.img") &&
        twl::fixtures::LoopingChainDisk().SaveTo(folder + "/partition_walk/looping.img") &&
        WriteBytes(folder + "/partition_walk/gpt.img", GptSeed()) &&
        WriteScanInfoSeed(folder + "/scaninfo_reader/small.ds1") &&
        WriteScanInfoUseSeed(folder + "/scaninfo_reader/volume.ds1") &&
        WriteScanInfoUseSeed(folder + "/scaninfo_use/volume.ds1") &&
        WriteExt2Seeds(folder + "/ext2_image") &&
        WriteBytes(folder + "/extent_walk/depth1.bin", ExtentTreeSeed());
    return ok ? 0 : 1;
}
