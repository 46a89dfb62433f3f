#include "volumes/LogicalVolumeScan.h"

#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "volumes/ScanRange.h"

#include <optional>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::MemoryFactory;
using fixtures::MemoryMedium;
using fixtures::TempDir;

constexpr char kPath[] = "/test/scan.img";

// A real file system made by mke2fs, as bytes. `options` are extra mke2fs words.
std::vector<std::uint8_t> MakeFileSystem(const std::string& options, int kib,
                                         const std::string& label) {
    TempDir dir;
    const std::string path = dir.File("fs.img");
    const std::string command = "E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F " + options + " -L " +
                                label + " " + path + " " + std::to_string(kib) + " >/dev/null 2>&1";
    EXPECT_EQ(fixtures::RunShell(command), 0) << command;
    return fixtures::ReadFileBytes(path);
}

// 4 MiB of ext2 in groups of 1024 blocks, so it has superblock copies in groups 1 and 3.
std::vector<std::uint8_t> GroupedFileSystem(const std::string& label) {
    return MakeFileSystem("-t ext2 -b 1024 -g 1024", 4096, label);
}

struct Disk {
    std::shared_ptr<MemoryMedium> medium = std::make_shared<MemoryMedium>();

    explicit Disk(std::uint32_t sectors) { medium->bytes.resize(std::size_t{sectors} * 512); }
    void Place(SectorNo start, const std::vector<std::uint8_t>& fs) {
        ASSERT_LE(std::size_t{start} * 512 + fs.size(), medium->bytes.size());
        std::copy(fs.begin(), fs.end(), medium->bytes.begin() + std::size_t{start} * 512);
    }
    SectorNo LastSector() const { return static_cast<SectorNo>(medium->bytes.size() / 512 - 1); }
};

class RecordingEvents : public EngineEvents {
public:
    void ScanProgress(std::uint64_t position, std::uint64_t total) override {
        positions.push_back(position);
        totals.push_back(total);
    }
    void Found(const std::string& text) override {
        finds.push_back(text);
        if (stopAfterFinds != 0 && finds.size() == stopAfterFinds)
            stop->RequestStop();
    }
    void Message(MessageIcon, const std::string& text) override { messages.push_back(text); }
    void WorkerDone(WorkerResult result) override { done = result; }

    std::vector<std::uint64_t> positions;
    std::vector<std::uint64_t> totals;
    std::vector<std::string> finds;
    std::vector<std::string> messages;
    std::optional<WorkerResult> done;
    std::size_t stopAfterFinds = 0;
    StopControl* stop = nullptr;
};

struct ScanRun {
    VolumeLists lists;
    RecordingEvents events;
    StopControl stop;
};

void RunScan(const Disk& disk, ScanMode mode, ScanRun& run, SectorNo start = 0,
             std::optional<SectorNo> end = std::nullopt) {
    SectorSource source({}, MemoryFactory{kPath, disk.medium});
    ASSERT_TRUE(source.SelectImageFile(kPath).Ok());
    run.events.stop = &run.stop;
    run.lists.partitions.entries.push_back(PartitionEntry{}); // emptied by the worker
    ScanWorker(source, run.lists, mode, start, end.value_or(disk.LastSector()), run.stop,
               run.events);
}

std::vector<std::pair<SectorNo, SectorNo>> StartsAndSectors(const FoundVolumeList& list) {
    std::vector<std::pair<SectorNo, SectorNo>> found;
    for (const FoundVolumeEntry& entry : list.entries)
        found.emplace_back(entry.start, entry.superblockSector);
    return found;
}

TEST(LogicalVolumeScan, QuickScanFindsCylinderAlignedVolumesAndSkipsPastThem) {
    Disk disk(20000);
    disk.Place(63, GroupedFileSystem("first"));
    disk.Place(63 * 200, MakeFileSystem("-t ext3 -b 1024 -I 256", 2048, "second"));
    ScanRun run;
    RunScan(disk, ScanMode::kQuick, run);
    EXPECT_EQ(run.events.finds,
              (std::vector<std::string>{"Unique Logical Drive Super block found at sector 65",
                                        "Unique Logical Drive Super block found at sector 12602"}));
    EXPECT_EQ(StartsAndSectors(run.lists.found),
              (std::vector<std::pair<SectorNo, SectorNo>>{{63, 65}, {12600, 12602}}));
    EXPECT_TRUE(run.lists.partitions.entries.empty());
    EXPECT_EQ(LabelText(run.lists.found.entries[0].label), "first");
    EXPECT_EQ(run.lists.found.entries[0].size, 8192u);
    // After the first find the sweep jumps to the window holding the volume's end.
    const auto jump = std::adjacent_find(run.events.positions.begin(), run.events.positions.end(),
                                         [](auto a, auto b) { return b - a > 63; });
    ASSERT_NE(jump, run.events.positions.end());
    EXPECT_EQ(*jump, 64u); // the window at 63, reported 1-based
    EXPECT_EQ(*(jump + 1), (63 + 8192) / 63 * 63 + 63 + 1);
    EXPECT_EQ(run.events.totals.front(), disk.LastSector() + 1u);
    EXPECT_EQ(run.events.messages.back(), "Logical Volume Scan Completed");
    EXPECT_EQ(run.events.done, WorkerResult::kCompleted);
}

// The quick scan takes volumes on 63-sector tracks and on 1 MiB boundaries (2048 sectors),
// as partitioning tools place them; a volume elsewhere is found by the thorough scan only.
TEST(LogicalVolumeScan, TheQuickScanFindsVolumesOnMebibyteBoundariesAndOnlyOnce) {
    struct Case {
        SectorNo start;
        bool quickFinds;
    };
    for (const Case c : {Case{2048, true}, Case{3000, false}}) {
        Disk disk(12000);
        disk.Place(c.start, GroupedFileSystem("aligned"));
        ScanRun quick;
        RunScan(disk, ScanMode::kQuick, quick);
        EXPECT_EQ(quick.events.done, WorkerResult::kCompleted);
        using Extents = std::vector<std::pair<SectorNo, SectorNo>>;
        const Extents found{{c.start, c.start + 2}}; // start, superblock sector
        EXPECT_EQ(StartsAndSectors(quick.lists.found), c.quickFinds ? found : Extents{}) << c.start;

        ScanRun thorough;
        RunScan(disk, ScanMode::kThorough, thorough);
        // The copies in groups 1 and 3 carry the primary's summary: one find, one volume.
        EXPECT_EQ(thorough.events.finds.size(), 1u) << c.start;
        EXPECT_EQ(StartsAndSectors(thorough.lists.found), found) << c.start;
    }
}

TEST(LogicalVolumeScan, ABackupWithAnotherLastCheckFillsASlotButNotTheList) {
    Disk disk(12000);
    auto fs = GroupedFileSystem("aligned");
    const std::size_t backup = 1024 * (1 + 1024); // group 1's copy: block 1025
    ASSERT_EQ(fs[backup + 0x38], 0x53);
    fs[backup + 0x40] ^= 0xFF; // s_lastcheck
    disk.Place(2048, fs);
    ScanRun run;
    RunScan(disk, ScanMode::kThorough, run);
    // Group 1's copy differs from the last accepted superblock, and then group 3's copy
    // differs from group 1's: three finds. Group 3's shares the primary's summary and goes
    // in the post-processing; group 1's entry has the first entry's start and size.
    ASSERT_EQ(run.events.finds.size(), 3u);
    EXPECT_EQ(run.events.finds[1], "Unique Logical Drive Super block found at sector 4098");
    EXPECT_EQ(StartsAndSectors(run.lists.found),
              (std::vector<std::pair<SectorNo, SectorNo>>{{2048, 2050}}));
}

TEST(LogicalVolumeScan, StopAfterTwoFindsKeepsBothVolumes) {
    Disk disk(30000);
    for (int n = 0; n < 3; ++n)
        disk.Place(63 * (1 + 150 * n), GroupedFileSystem("vol" + std::to_string(n)));
    ScanRun run;
    run.events.stopAfterFinds = 2;
    RunScan(disk, ScanMode::kQuick, run);
    EXPECT_EQ(run.lists.found.entries.size(), 2u);
    EXPECT_EQ(run.events.messages.back(), "Logical Volume Scan Aborted");
    EXPECT_EQ(run.events.done, WorkerResult::kAborted);
}

TEST(LogicalVolumeScan, AnEmptyDiskCompletesWithNoVolumeAndASecondScanStartsEmpty) {
    Disk disk(4000);
    disk.Place(63, MakeFileSystem("-t ext2 -b 1024", 1024, "once"));
    SectorSource source({}, MemoryFactory{kPath, disk.medium});
    ASSERT_TRUE(source.SelectImageFile(kPath).Ok());
    StopControl stop;
    RecordingEvents events;
    LogicalVolumeScan scan(source, stop, events);
    scan.QuickScan(0, disk.LastSector());
    EXPECT_TRUE(scan.Slots()[0].inUse);

    std::fill(disk.medium->bytes.begin(), disk.medium->bytes.end(), std::uint8_t{0});
    scan.QuickScan(0, disk.LastSector());
    EXPECT_TRUE(std::none_of(scan.Slots().begin(), scan.Slots().end(),
                             [](const FoundSlot& slot) { return slot.inUse; }));
    FoundVolumeList list;
    scan.PostProcess(list);
    EXPECT_TRUE(list.entries.empty());
}

TEST(LogicalVolumeScan, TheHundredAndFirstVolumeStopsTheSweepAndSaysSo) {
    const auto fs = MakeFileSystem("-t ext2 -b 1024 -N 16", 128, "many");
    ASSERT_EQ(fs.size(), 128u * 1024);
    const SectorNo stride = 63 * 5; // 315 sectors: room for 256 and a gap
    Disk disk(stride * 102 + 64);
    for (int n = 0; n < 101; ++n) {
        auto copy = fs;
        copy[1024 + 0x78] = static_cast<std::uint8_t>('A' + n % 26); // another label: another
        copy[1024 + 0x79] = static_cast<std::uint8_t>('A' + n / 26); // file system
        disk.Place(stride * (n + 1), copy);
    }
    ScanRun run;
    RunScan(disk, ScanMode::kQuick, run);
    EXPECT_EQ(run.events.finds.size(), 100u);
    EXPECT_EQ(run.lists.found.entries.size(), 100u);
    ASSERT_GE(run.events.messages.size(), 2u);
    EXPECT_EQ(run.events.messages[0],
              "The scan keeps at most 100 super blocks; it stopped at sector " +
                  std::to_string(stride * 101 + 2));
    EXPECT_EQ(run.events.messages.back(), "Logical Volume Scan Completed");
}

TEST(SuperblockSummary, CoversTheSharedFieldsAndNothingElse) {
    const auto fs = MakeFileSystem("-t ext2 -b 1024", 1024, "summary");
    const ConstBytes sb = ConstBytes(fs).subspan(1024, 1024);
    const SuperblockSummary summary = SummarizeSuperblock(sb);
    EXPECT_EQ(std::vector<std::uint8_t>(summary.begin(), summary.begin() + 8),
              std::vector<std::uint8_t>(sb.begin(), sb.begin() + 8)); // inodes, blocks
    EXPECT_EQ(std::string(summary.begin() + 78, summary.begin() + 85), "summary");
    struct Case {
        std::size_t offset;
        bool counts;
    };
    for (const Case c :
         {Case{0x0C, false}, Case{0x2C, false}, Case{0x5A, false}, Case{0x60, false},
          Case{0x40, true}, Case{0x68, true}, Case{0xCE, true}, Case{0x88 + 63, true}}) {
        std::vector<std::uint8_t> changed(sb.begin(), sb.end());
        changed[c.offset] ^= 0x01;
        EXPECT_EQ(SummarizeSuperblock(changed) != summary, c.counts) << "offset " << c.offset;
    }
}

// The progress of a scan past sector 2^31 (1 TiB) is shown as the sector it is, never as a
// negative number.
TEST(ScanProgress, SectorsAreShownWholeOnLargeDisks) {
    EXPECT_EQ(ScanProgressText(1, 101), "Reading sector 1 of 100");
    EXPECT_EQ(ScanProgressText(3000000000u, 4000000001u),
              "Reading sector 3000000000 of 4000000000");
    EXPECT_EQ(ScanPercent(3000000000u, 4000000001u), 74);
}

} // namespace
} // namespace twl
