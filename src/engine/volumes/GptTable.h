#pragma once

// GUID partition tables: a protective entry (type 0xEE) in the master boot record, the
// header at sector 1 and its entry array, each checked by its CRC32; when the primary copy
// fails a check, the backup header at the disk's last sector and the array it names.

#include "core/ByteCodec.h"
#include "core/Types.h"
#include "sector/SectorSource.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace twl {

// A GUID as stored: the first three fields little-endian, the last two as bytes.
struct Guid {
    std::array<std::uint8_t, 16> bytes{};

    // "0FC63DAF-8483-4772-8E79-3D69D8477DE4"
    std::string Text() const;
    bool IsZero() const;
    bool operator==(const Guid&) const = default;
    // From the text form; all zeros when `text` is not one.
    static Guid FromText(std::string_view text);
};

// The partition types the program knows by name.
inline const Guid kLinuxFilesystemType = Guid::FromText("0FC63DAF-8483-4772-8E79-3D69D8477DE4");
inline const Guid kBasicDataType = Guid::FromText("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
// The name of a known type ("Linux filesystem", "Microsoft basic data", ...), or "".
std::string GuidTypeName(const Guid& type);

struct GptEntry {
    std::uint32_t index = 0; // 1-based place in the entry array
    Guid type;
    Guid unique;
    std::uint64_t firstLba = 0;
    std::uint64_t lastLba = 0; // inclusive
    std::uint64_t attributes = 0;
    std::string name;         // the UTF-16LE name as UTF-8, up to its first NUL
    bool withinDisk = true;   // first <= last < the disk's sector count; else damaged
    bool linuxVolume = false; // made a Linux volume entry of the partition list
};

enum class GptCopy : std::uint8_t {
    kNone,    // no sound header and array: no table
    kPrimary, // sector 1 and its array
    kBackup,  // the last sector and its array, the primary being damaged
};

struct GptTable {
    GptCopy copy = GptCopy::kNone;
    bool primaryDamaged = false;   // the primary header or array failed a check
    std::vector<GptEntry> entries; // the used entries (type not zero), in array order
};

// Whether a master boot record sector holds a protective entry (type 0xEE) among its four:
// alone, or beside real entries (a hybrid MBR).
bool HasProtectiveEntry(ConstBytes mbr);

// The most entries an array may declare, and the largest entry: what no real table passes.
inline constexpr std::uint32_t kMostGptEntries = 4096;
inline constexpr std::uint32_t kLargestGptEntry = 4096;

// Reads the table of `driveId`, a disk of `diskSectors` sectors.
GptTable ReadGptTable(SectorSource& source, DriveId driveId, std::uint64_t diskSectors);

// The checks of one header sector read from `lba`: signature "EFI PART", a header size from
// 92 bytes to the sector, its CRC32, its own LBA, an entry count and size within bounds, and
// an array inside the disk. Exposed for tests.
struct GptHeader {
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t entrySize = 0;
    std::uint32_t entriesCrc = 0;
};
bool ReadGptHeader(ConstBytes sector, std::uint64_t lba, std::uint64_t diskSectors,
                   GptHeader& header);

// One entry of an array as stored (at least 128 bytes).
GptEntry DecodeGptEntry(ConstBytes record, std::uint32_t index, std::uint64_t diskSectors);

} // namespace twl
