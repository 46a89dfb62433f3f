// Opening a source and a listed volume through the session, the way the front ends and the
// desktop program's tests do: which search lists what, what opens, and what is left when
// nothing can.

#include "session/SourceOpening.h"

#include "fixtures/DiskImageBuilder.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"

#include <optional>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::DiskImage;
using fixtures::Ext2Image;
using fixtures::MemoryMedium;

constexpr char kPath[] = "/test/disk.img";
constexpr SectorNo kPartitionStart = 63;

// A disk holding one ext2 volume: at sector 63 behind a partition table entry of `type`, or
// (bare) alone from sector 0 with no table.
std::shared_ptr<MemoryMedium> Disk(bool bare, std::uint8_t type = 0x83) {
    fixtures::Ext2Options options;
    options.groups = 2;
    Ext2Image image(options);
    image.AddFile(2, "notes.txt", std::vector<std::uint8_t>(2500, 'n'));
    const SectorNo start = bare ? 0 : kPartitionStart;
    DiskImage disk(start + image.Sectors());
    if (!bare) {
        disk.SetTableEntry(
            0, 0, {0x80, type, kPartitionStart, static_cast<std::uint32_t>(image.Sectors())});
        disk.SetBootSignature(0);
    }
    image.PlaceIn(disk, start);
    return disk.ToMedium();
}

// A disk whose one partition is not a Linux one and holds no file system.
std::shared_ptr<MemoryMedium> DiskWithoutLinux() {
    DiskImage disk(4096);
    disk.SetTableEntry(0, 0, {0x80, 0x07, kPartitionStart, 4096 - kPartitionStart});
    disk.SetBootSignature(0);
    return disk.ToMedium();
}

TEST(SourceOpening, TheFirstVolumeOpensOnlyWhereTheModeListsOne) {
    struct Case {
        const char* what;
        std::shared_ptr<MemoryMedium> medium;
        ProcessingMode mode;
        std::optional<bool> noSignature; // what the table walk reported; empty: no walk
        std::size_t listed;
        std::optional<SectorNo> opened; // the open volume's start; empty: none opened
    };
    const Case cases[] = {
        {"a Linux partition, by its table", Disk(false), ProcessingMode::kTable, false, 1,
         kPartitionStart},
        {"a bare volume, by the sweep after the tables", Disk(true), ProcessingMode::kAuto, true, 1,
         0},
        {"a bare volume, by the sweep alone", Disk(true), ProcessingMode::kScan, std::nullopt, 1,
         0},
        {"a bare volume, by tables only", Disk(true), ProcessingMode::kTable, true, 0,
         std::nullopt},
        {"a volume in a non-Linux partition, by the sweep", Disk(false, 0x07),
         ProcessingMode::kAuto, false, 1, kPartitionStart},
        {"no Linux volume at all", DiskWithoutLinux(), ProcessingMode::kAuto, false, 0,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecoverySession session({}, fixtures::MemoryFactory{kPath, c.medium});
        std::optional<bool> noSignature;
        VolumeSearch search(c.mode);
        search.walked = [&](const WalkReport& walk) { noSignature = walk.noSignature; };
        EngineEvents quiet;
        const VolumeOpening opening =
            OpenSourceVolume(session, {kImageDriveId, kPath}, search, 0, {}, quiet);
        EXPECT_TRUE(opening.source.Ok());
        EXPECT_EQ(noSignature, c.noSignature);
        EXPECT_EQ(session.Mode(), c.mode);
        EXPECT_EQ(opening.listing.listed, c.listed);
        EXPECT_EQ(opening.outcome, c.opened ? OpenOutcome::kOpened : OpenOutcome::kNoSuchVolume);
        ASSERT_EQ(session.Volume() != nullptr, c.opened.has_value());
        if (c.opened)
            EXPECT_EQ(session.Volume()->start, *c.opened);
        else
            EXPECT_EQ(opening.text, "No volume is listed in that row");
    }
}

TEST(SourceOpening, ASourceThatCannotBeOpenedIsNotSearched) {
    RecoverySession session({}, fixtures::MemoryFactory{kPath, Disk(false)});
    bool walked = false;
    VolumeSearch search;
    search.walked = [&](const WalkReport&) { walked = true; };
    EngineEvents quiet;
    const VolumeOpening opening =
        OpenSourceVolume(session, {kImageDriveId, "/test/other.img"}, search, 0, {}, quiet);
    EXPECT_FALSE(opening.source.Ok());
    EXPECT_FALSE(walked);
    EXPECT_EQ(opening.outcome, OpenOutcome::kNoSuchVolume);
    EXPECT_EQ(session.Volume(), nullptr);
}

// A sweep whose range does not fit the source sweeps nothing and says why.
TEST(SourceOpening, ASweepRangeThatDoesNotFitIsRefused) {
    struct Case {
        const char* what;
        std::size_t bytes;
        std::optional<std::uint64_t> start;
        const char* error;
    };
    const Case cases[] = {
        {"a source smaller than a sector", 100, std::nullopt,
         "the source holds no sectors to scan"},
        {"a start past the end", 2048 * 512, 2048, " Invalid value for start Sector"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto medium = Disk(true);
        medium->bytes.resize(c.bytes);
        RecoverySession session({}, fixtures::MemoryFactory{kPath, medium});
        ASSERT_TRUE(OpenSource(session, {kImageDriveId, kPath}).Ok());
        VolumeSearch search(ProcessingMode::kScan, ScanMode::kThorough);
        search.start = c.start;
        EngineEvents quiet;
        const VolumeListing listing = FindVolumes(session, search, quiet);
        EXPECT_EQ(listing.rangeError, c.error);
        EXPECT_EQ(listing.listed, 0u);
        EXPECT_TRUE(session.Lists().found.entries.empty());
    }
}

} // namespace
} // namespace twl

namespace twl {
namespace {

// A wizard looks in a blank session over the drives as they are now; the session that adopts
// what it opened takes its source, lists and volume, and keeps its own when nothing is adopted.
TEST(SourceOpening, ABlankSessionSeesTheDrivesOfNowAndItsFindsAreAdoptedWhole) {
    const auto medium = Disk(false);
    std::vector<DriveInfo> drives(1);
    drives[0].devicePath = kPath;
    RecoverySession session({}, fixtures::MemoryFactory{kPath, medium});
    EXPECT_TRUE(session.Blank()->Source().Inventory().empty()); // no loader: the same drives
    session.SetInventoryLoader([&drives] { return drives; });
    const std::unique_ptr<RecoverySession> blank = session.Blank();
    ASSERT_EQ(blank->Source().Inventory().size(), 1u);
    EngineEvents quiet;
    const VolumeOpening opening = OpenSourceVolume(
        *blank, {DriveIdOf(0), {}}, VolumeSearch(ProcessingMode::kTable), 0, {}, quiet);
    ASSERT_EQ(opening.outcome, OpenOutcome::kOpened);
    // Until it is adopted, the session is untouched.
    EXPECT_EQ(session.Volume(), nullptr);
    EXPECT_TRUE(session.Lists().partitions.entries.empty());
    session.SetScanInfoLoaded(true);
    session.AdoptSource(*blank);
    ASSERT_NE(session.Volume(), nullptr);
    EXPECT_EQ(session.Volume()->start, kPartitionStart);
    EXPECT_EQ(session.Source().CurrentDriveId(), DriveIdOf(0));
    EXPECT_EQ(session.Lists().partitions.entries.size(), 1u);
    EXPECT_EQ(session.Mode(), ProcessingMode::kTable);
    EXPECT_FALSE(session.ScanInfoLoaded());
    EXPECT_EQ(session.Blank()->Source().Inventory().size(), 1u); // the loader goes along
}

} // namespace
} // namespace twl
