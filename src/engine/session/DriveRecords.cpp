#include "session/DriveRecords.h"

#include <cstdio>
#include <utility>

namespace twl {
namespace {

std::string Number(const std::optional<std::uint64_t>& value) {
    return value ? std::to_string(*value) : std::string();
}

std::string InUseText(const std::vector<std::string>& mountPoints) {
    if (mountPoints.empty())
        return {};
    std::string text = "in use: mounted at ";
    for (std::size_t i = 0; i < mountPoints.size(); ++i)
        text += (i == 0 ? "" : ", ") + mountPoints[i];
    return text;
}

bool IsIde(const std::string& bus) {
    return bus == "ATA" || bus == "IDE" || bus == "ata" || bus == "ide";
}

} // namespace

std::string DriveLabel(const std::string& name, ByteCount bytes) {
    char size[64];
    const float gib = static_cast<float>(static_cast<double>(bytes) / (1u << 30));
    if (gib < 1.0f)
        std::snprintf(size, sizeof size, " (%.2f MB)", static_cast<double>(bytes / 1048576));
    else
        std::snprintf(size, sizeof size, " (%.2f GB)", static_cast<double>(gib));
    return name + size;
}

DriveRecord MakeDriveRecord(const DriveInfo& drive, std::uint32_t number) {
    DriveRecord record;
    record.name = "Disk # " + std::to_string(number);
    record.mediaType = drive.mediaType;
    record.interfaceType = drive.bus;
    record.firmware = drive.firmware;
    record.totalSectors = std::to_string(drive.sizeBytes / kSectorSize);
    record.totalCylinders = Number(drive.cylinders);
    record.totalHeads = Number(drive.heads);
    record.size = std::to_string(drive.sizeBytes);
    record.serialNumber = drive.serial;
    record.label = DriveLabel(record.name, drive.sizeBytes);
    record.inUse = InUseText(drive.mountPoints);
    record.ideIcon = IsIde(drive.bus);
    return record;
}

std::vector<std::string> DriveDetailLines(const DriveRecord& record) {
    const std::pair<const char*, const std::string*> entries[] = {
        {"Drive: ", &record.name},
        {"Media Type: ", &record.mediaType},
        {"Interface Type: ", &record.interfaceType},
        {"Firmware: ", &record.firmware},
        {"Total Sectors: ", &record.totalSectors},
        {"Total Cylinders: ", &record.totalCylinders},
        {"Total Heads: ", &record.totalHeads},
        {"Device Size: ", &record.size},
        {"Serial Number: ", &record.serialNumber},
    };
    std::vector<std::string> lines;
    for (const auto& [caption, value] : entries) {
        lines.push_back(value->empty() ? std::string() : caption + *value);
        lines.emplace_back();
    }
    if (!record.inUse.empty())
        lines.push_back(record.inUse);
    else
        lines.pop_back();
    return lines;
}

} // namespace twl
