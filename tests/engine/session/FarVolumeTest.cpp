// A volume past the first 2 TiB of a disk, behind a GUID partition table: listed where it
// lies, opened and read like any other, and refused whole by a scan information file, whose
// 32-bit sector fields cannot hold it.

#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/GptBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "scaninfo/ScanInfoWriter.h"
#include "session/SourceOpening.h"
#include "session/TreeOperations.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr char kPath[] = "/test/large.img";
constexpr std::uint64_t kDiskSectors = std::uint64_t{6} << 31; // 6 TiB
constexpr std::uint64_t kFarStart = std::uint64_t{5} << 30;    // 2.5 TiB in, 1 MiB aligned

// A 6 TiB disk, held sparsely: a small partition at 1 MiB and one at 2.5 TiB, each holding
// an ext2 volume with one file.
std::shared_ptr<fixtures::MemoryMedium> LargeDisk() {
    fixtures::Ext2Options options;
    options.groups = 2;
    fixtures::Ext2Image near(options);
    near.AddFile(2, "near.txt", std::vector<std::uint8_t>(1500, 'n'));
    fixtures::Ext2Image far(options);
    far.AddFile(2, "far.txt", std::vector<std::uint8_t>(3000, 'f'));
    const fixtures::GptEnds gpt = fixtures::BuildGpt(
        kDiskSectors, {{kLinuxFilesystemType, 2048, 2047 + near.Sectors(), "near"},
                       {kLinuxFilesystemType, kFarStart, kFarStart + far.Sectors() - 1, "far"}});
    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->reportedSize = kDiskSectors * kSectorSize;
    medium->bytes = gpt.head;
    medium->farBytes[2048 * kSectorSize] = near.Bytes();
    medium->farBytes[kFarStart * kSectorSize] = far.Bytes();
    medium->farBytes[gpt.tailLba * kSectorSize] = gpt.tail;
    return medium;
}

TEST(FarVolume, IsListedOpenedAndReadButNotCutIntoAScanInformationFile) {
    RecoverySession session({}, fixtures::MemoryFactory{kPath, LargeDisk()});
    EngineEvents quiet;
    const VolumeOpening opening = OpenSourceVolume(
        session, {kImageDriveId, kPath}, VolumeSearch(ProcessingMode::kTable), 1, {}, quiet);
    ASSERT_EQ(opening.outcome, OpenOutcome::kOpened) << opening.text;
    EXPECT_EQ(opening.listing.listed, 2u);
    ASSERT_NE(session.Volume(), nullptr);
    EXPECT_EQ(session.Volume()->start, kFarStart);

    CreateTree(session, quiet);
    const Catalog& catalog = session.Catalogue();
    bool found = false;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        found = found || (catalog.Name(id) == "far.txt" && catalog.Node(id).size == 3000);
    });
    EXPECT_TRUE(found) << "the far volume's file is listed with its size";

    fixtures::TempDir dir;
    const std::string path = dir.File("large.ds1");
    const Status saved = WriteScanInfoFile(session, path, {});
    EXPECT_EQ(saved.code, ErrorCode::kBeyondStorable);
    EXPECT_EQ(Describe(saved), "a scan information file holds sector numbers below 4294967296 "
                               "(2 TiB) and cannot describe the volume at sector 5368709120");
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
} // namespace twl
