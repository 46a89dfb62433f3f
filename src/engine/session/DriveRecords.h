#pragma once

// A drive as the wizard's drive lists show it: its name, the label of its item, and the lines
// of its details, made from what the inventory knows of it.

#include "platform/DriveInventory.h"

#include <cstdint>
#include <string>
#include <vector>

namespace twl {

struct DriveRecord {
    std::string name; // "Disk # 3"
    std::string mediaType;
    std::string interfaceType;
    std::string firmware;
    std::string totalSectors;
    std::string totalCylinders; // "" when the legacy geometry is unknown
    std::string totalHeads;
    std::string size; // the byte count in decimal
    std::string serialNumber;
    std::string label;    // "Disk # 0 (512.00 MB)", "Disk # 1 (1.00 GB)"
    std::string inUse;    // "in use: mounted at /, /home"; "" when nothing of it is mounted
    bool ideIcon = false; // an ATA/IDE disk, drawn with its own icon
};

// The record of physical drive `number` (drive id 0x80 + number).
DriveRecord MakeDriveRecord(const DriveInfo& drive, std::uint32_t number);

// The item label: the name and the size, in MB below 1 GiB, else in GB.
std::string DriveLabel(const std::string& name, ByteCount bytes);

// The details list, an entry on every second line: "Drive: Disk # 3", "Media Type: ...", ...,
// "Serial Number: ..."; an entry without a value is a blank line. The in-use text follows
// when there is one.
std::vector<std::string> DriveDetailLines(const DriveRecord& record);

} // namespace twl
