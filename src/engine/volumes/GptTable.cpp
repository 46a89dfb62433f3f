#include "volumes/GptTable.h"

#include "core/Crc32.h"

#include <cstdio>

namespace twl {
namespace {

constexpr std::uint8_t kProtectiveType = 0xEE;
constexpr std::size_t kHeaderCrcField = 16;
constexpr std::uint32_t kSmallestHeader = 92;
constexpr std::size_t kNameOffset = 56;
constexpr std::size_t kNameUnits = 36;

void AppendUtf8(std::string& text, std::uint32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16LE units up to the first NUL, as UTF-8; a lone surrogate becomes U+FFFD.
std::string NameText(ConstBytes units) {
    std::string text;
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        const std::uint32_t unit = Le16(units, i);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < units.size()) {
            const std::uint32_t low = Le16(units, i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return text;
}

// Reads `sectors` sectors from `lba`; false when they lie past what a sector number reaches.
bool ReadAt(SectorSource& source, DriveId driveId, std::uint64_t lba, std::uint64_t sectors,
            std::vector<std::uint8_t>& out) {
    out.assign(sectors * kSectorSize, 0);
    if (lba > kLastSector - sectors)
        return false;
    return source.ReadSectors(driveId, lba, out) == 1;
}

// The header at `lba` and its array, when both pass their checks.
bool ReadCopy(SectorSource& source, DriveId driveId, std::uint64_t lba, std::uint64_t diskSectors,
              std::vector<GptEntry>& entries) {
    std::vector<std::uint8_t> sector;
    GptHeader header;
    if (!ReadAt(source, driveId, lba, 1, sector) ||
        !ReadGptHeader(sector, lba, diskSectors, header))
        return false;
    const std::uint64_t bytes = std::uint64_t{header.entryCount} * header.entrySize;
    std::vector<std::uint8_t> array;
    if (!ReadAt(source, driveId, header.entriesLba, (bytes + kSectorSize - 1) / kSectorSize, array))
        return false;
    const ConstBytes used = ConstBytes(array).first(bytes);
    if (Crc32(used) != header.entriesCrc)
        return false;
    entries.clear();
    for (std::uint32_t i = 0; i < header.entryCount; ++i) {
        GptEntry entry = DecodeGptEntry(
            used.subspan(std::size_t{i} * header.entrySize, header.entrySize), i + 1, diskSectors);
        if (!entry.type.IsZero())
            entries.push_back(std::move(entry));
    }
    return true;
}

} // namespace

std::string Guid::Text() const {
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  Le32(bytes, 0), Le16(bytes, 4), Le16(bytes, 6), bytes[8], bytes[9], bytes[10],
                  bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

bool Guid::IsZero() const {
    for (const std::uint8_t b : bytes)
        if (b != 0)
            return false;
    return true;
}

Guid Guid::FromText(std::string_view text) {
    Guid guid;
    // The 32 hex digits in text order, dashes at 8, 13, 18 and 23.
    std::array<std::uint8_t, 16> digits{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return {};
            continue;
        }
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        if (value < 0 || n >= 32)
            return {};
        digits[n / 2] = static_cast<std::uint8_t>(digits[n / 2] << 4 | value);
        ++n;
    }
    if (n != 32 || text.size() != 36)
        return {};
    // The first three fields are stored little-endian.
    constexpr std::array<std::size_t, 16> kStored = {3, 2, 1,  0,  5,  4,  7,  6,
                                                     8, 9, 10, 11, 12, 13, 14, 15};
    for (std::size_t i = 0; i < 16; ++i)
        guid.bytes[i] = digits[kStored[i]];
    return guid;
}

std::string GuidTypeName(const Guid& type) {
    struct Known {
        const char* guid;
        const char* name;
    };
    static constexpr Known kKnown[] = {
        {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
        {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data"},
        {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI system"},
        {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
        {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
        {"A19D880F-05FC-4D3B-A006-743F0F84911E", "Linux RAID"},
        {"933AC7E1-2EB4-4F13-B844-0E14E2AEF915", "Linux home"},
        {"4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709", "Linux root (x86-64)"},
        {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
        {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
    };
    const std::string text = type.Text();
    for (const Known& known : kKnown)
        if (text == known.guid)
            return known.name;
    return {};
}

bool HasProtectiveEntry(ConstBytes mbr) {
    if (mbr.size() < kSectorSize || mbr[510] != 0x55 || mbr[511] != 0xAA)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (mbr[446 + 16 * i + 4] == kProtectiveType)
            return true;
    return false;
}

bool ReadGptHeader(ConstBytes sector, std::uint64_t lba, std::uint64_t diskSectors,
                   GptHeader& header) {
    constexpr std::string_view kSignature = "EFI PART";
    if (sector.size() < kSectorSize ||
        !std::equal(kSignature.begin(), kSignature.end(), sector.begin()))
        return false;
    const std::uint32_t size = Le32(sector, 12);
    if (size < kSmallestHeader || size > kSectorSize)
        return false;
    std::array<std::uint8_t, kSectorSize> copy{};
    std::copy_n(sector.begin(), size, copy.begin());
    PutLe32(copy, kHeaderCrcField, 0);
    if (Crc32(ConstBytes(copy).first(size)) != Le32(sector, kHeaderCrcField))
        return false;
    if (Le64(sector, 24) != lba)
        return false;
    header.entriesLba = Le64(sector, 72);
    header.entryCount = Le32(sector, 80);
    header.entrySize = Le32(sector, 84);
    header.entriesCrc = Le32(sector, 88);
    if (header.entryCount == 0 || header.entryCount > kMostGptEntries || header.entrySize < 128 ||
        header.entrySize > kLargestGptEntry || header.entrySize % 8 != 0)
        return false;
    const std::uint64_t sectors =
        (std::uint64_t{header.entryCount} * header.entrySize + kSectorSize - 1) / kSectorSize;
    // The array lies inside the disk and is not the header itself.
    return header.entriesLba >= 1 && header.entriesLba < diskSectors &&
           sectors <= diskSectors - header.entriesLba &&
           (lba < header.entriesLba || lba >= header.entriesLba + sectors);
}

GptEntry DecodeGptEntry(ConstBytes record, std::uint32_t index, std::uint64_t diskSectors) {
    GptEntry entry;
    entry.index = index;
    std::copy_n(record.begin(), 16, entry.type.bytes.begin());
    std::copy_n(record.begin() + 16, 16, entry.unique.bytes.begin());
    entry.firstLba = Le64(record, 32);
    entry.lastLba = Le64(record, 40);
    entry.attributes = Le64(record, 48);
    entry.name = NameText(record.subspan(kNameOffset, 2 * kNameUnits));
    entry.withinDisk = entry.firstLba <= entry.lastLba && entry.lastLba < diskSectors;
    return entry;
}

GptTable ReadGptTable(SectorSource& source, DriveId driveId, std::uint64_t diskSectors) {
    GptTable table;
    if (diskSectors < 3)
        return table;
    if (ReadCopy(source, driveId, 1, diskSectors, table.entries)) {
        table.copy = GptCopy::kPrimary;
        return table;
    }
    table.primaryDamaged = true;
    if (ReadCopy(source, driveId, diskSectors - 1, diskSectors, table.entries))
        table.copy = GptCopy::kBackup;
    return table;
}

} // namespace twl
