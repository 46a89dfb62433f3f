// What the wizard's drive lists show of a drive: the item's label in MB or GB, and the details
// lines with blanks where the inventory knows nothing.

#include "session/DriveRecords.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

TEST(DriveRecords, LabelShowsMegabytesBelowOneGibibyteAndGigabytesFromIt) {
    const std::pair<ByteCount, std::string> cases[] = {
        {ByteCount{1} << 29, "Disk # 0 (512.00 MB)"},
        {ByteCount{1000} * 1048576 + 1048575, "Disk # 0 (1000.00 MB)"}, // whole megabytes
        {ByteCount{1} << 30, "Disk # 0 (1.00 GB)"},
        {ByteCount{2000398934016}, "Disk # 0 (1863.02 GB)"},
        {0, "Disk # 0 (0.00 MB)"},
    };
    for (const auto& [bytes, label] : cases)
        EXPECT_EQ(DriveLabel("Disk # 0", bytes), label) << bytes;
}

TEST(DriveRecords, DetailsNameEachKnownFieldAndLeaveUnknownOnesBlank) {
    DriveInfo drive;
    drive.mediaType = "Fixed hard disk media: ATA Samsung SSD";
    drive.bus = "ATA";
    drive.firmware = "2B6Q";
    drive.sizeBytes = 1024209543168;
    drive.heads = 255;
    drive.sectorsPerTrack = 63;
    drive.cylinders = 124519;
    drive.mountPoints = {"/", "/home"};
    const DriveRecord record = MakeDriveRecord(drive, 12);
    EXPECT_EQ(record.name, "Disk # 12");
    EXPECT_TRUE(record.ideIcon);
    const std::vector<std::string> expected = {
        "Drive: Disk # 12",
        "",
        "Media Type: Fixed hard disk media: ATA Samsung SSD",
        "",
        "Interface Type: ATA",
        "",
        "Firmware: 2B6Q",
        "",
        "Total Sectors: 2000409264",
        "",
        "Total Cylinders: 124519",
        "",
        "Total Heads: 255",
        "",
        "Device Size: 1024209543168",
        "",
        "", // no serial number known
        "",
        "in use: mounted at /, /home",
    };
    EXPECT_EQ(DriveDetailLines(record), expected);

    drive = {};
    drive.bus = "USB";
    const std::vector<std::string> bare = DriveDetailLines(MakeDriveRecord(drive, 1));
    EXPECT_FALSE(MakeDriveRecord(drive, 1).ideIcon);
    ASSERT_EQ(bare.size(), 17u); // nothing mounted: no in-use line
    EXPECT_EQ(bare[10], "");     // cylinders unknown
    EXPECT_EQ(bare[12], "");     // heads unknown
    EXPECT_EQ(bare[14], "Device Size: 0");
}

} // namespace
} // namespace twl
