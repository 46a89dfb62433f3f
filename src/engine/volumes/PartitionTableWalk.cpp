#include "volumes/PartitionTableWalk.h"

#include "core/ByteCodec.h"

#include <array>
#include <limits>
#include <set>

namespace twl {
namespace {

constexpr std::size_t kTableOffset = 0x1BE;
constexpr std::size_t kTableEntrySize = 16;
constexpr std::size_t kSuperblockMagicOffset = 0x38;
constexpr std::size_t kVolumeNameOffset = 0x78;

using SectorBuffer = std::array<std::uint8_t, kSectorSize>;

bool HasBootSignature(const SectorBuffer& sector) {
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

// True when a primary entry lies beyond the disk, which means the table is not to be trusted
// far enough to follow its extended partitions.
bool PrimaryEntriesImplausible(const PartitionList& list, ByteCount sourceSize) {
    const std::uint64_t total = sourceSize / kSectorSize;
    for (const PartitionEntry& entry : list.entries) {
        if (entry.size >= total || entry.start >= total)
            return true;
    }
    return false;
}

SectorNo LastExtendedStart(const PartitionList& list) {
    SectorNo base = 0;
    for (const PartitionEntry& entry : list.entries) {
        if (IsExtendedType(entry.type))
            base = entry.start;
    }
    return base;
}

using SuperblockBytes = std::array<std::uint8_t, 2 * kSectorSize>;

// Reads the superblock of a volume starting at `start` (at start + 2) into `superblock` and
// says whether it carries the ext2 magic. A superblock beyond the last addressable sector
// cannot be read; the sector number does not wrap to 0.
bool ReadVolumeSuperblock(SectorSource& source, DriveId driveId, SectorNo start,
                          SuperblockBytes& superblock) {
    if (start > kLastSector - 2)
        return false;
    return source.ReadSectors(driveId, start + 2, superblock) == 1 &&
           superblock[kSuperblockMagicOffset] == 0x53 &&
           superblock[kSuperblockMagicOffset + 1] == 0xEF;
}

// The GUID partition table's view of the disk, in place of the master boot record's: its
// Linux file-system partitions, and basic data partitions that hold an ext2 superblock (older
// installers used that type), as type-0x83 entries. Entries past the disk are not followed.
void ListGptVolumes(SectorSource& source, DriveId driveId, GptTable& table, PartitionList& list,
                    WalkReport& report) {
    list.entries.clear();
    for (GptEntry& gpt : table.entries) {
        if (!gpt.withinDisk) {
            ++report.gptPastDisk;
            continue;
        }
        const bool linuxType = gpt.type == kLinuxFilesystemType;
        if (!linuxType && gpt.type != kBasicDataType)
            continue;
        const SectorNo start = gpt.firstLba;
        SuperblockBytes superblock{};
        if (!linuxType && !ReadVolumeSuperblock(source, driveId, start, superblock))
            continue;
        if (list.entries.size() >= kMaxPartitionEntries) {
            report.capReached = true;
            break;
        }
        PartitionEntry entry;
        entry.type = kLinuxPartitionType;
        entry.start = start;
        entry.size = gpt.lastLba - gpt.firstLba + 1;
        list.entries.push_back(entry);
        gpt.linuxVolume = true;
    }
    list.gptEntries = std::move(table.entries);
}

} // namespace

bool ParsePartitionSector(SectorSource& source, DriveId driveId, SectorNo tableSector,
                          SectorNo extendedBase, PartitionList& list) {
    SectorBuffer sector{};
    source.ReadSectors(driveId, tableSector, sector);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        const ConstBytes raw =
            ConstBytes(sector).subspan(kTableOffset + slot * kTableEntrySize, kTableEntrySize);
        const std::uint8_t type = Le8(raw, 4);
        if (type == 0)
            continue;
        if (list.entries.size() >= kMaxPartitionEntries)
            return false;
        PartitionEntry entry;
        entry.status = Le8(raw, 0);
        entry.type = type;
        entry.size = Le32(raw, 12);
        // Sector numbers are 32-bit on disk; the sum wraps as the table's own arithmetic does.
        const SectorNo base = IsExtendedType(type) ? extendedBase : tableSector;
        entry.start = static_cast<SectorNo>(Le32(raw, 8) + base);
        list.entries.push_back(entry);
    }
    return true;
}

WalkReport WalkPartitionTable(SectorSource& source, DriveId driveId, PartitionList& list) {
    WalkReport report;
    SectorBuffer mbr{};
    if (source.ReadSectors(driveId, 0, mbr) != 0 && !HasBootSignature(mbr)) {
        report.noSignature = true;
        return report;
    }
    ParsePartitionSector(source, driveId, 0, 0, list);
    if (HasProtectiveEntry(mbr)) {
        report.gpt = true;
        GptTable table = ReadGptTable(source, driveId, source.SourceSize() / kSectorSize);
        report.gptCopy = table.copy;
        report.gptPrimaryDamaged = table.primaryDamaged;
        if (table.copy != GptCopy::kNone) {
            ListGptVolumes(source, driveId, table, list, report);
            return report;
        }
        // Both copies damaged: the master boot record's own entries stand.
    }
    if (PrimaryEntriesImplausible(list, source.SourceSize())) {
        report.implausible = true;
        return report;
    }
    const SectorNo extendedBase = LastExtendedStart(list);
    std::set<SectorNo> parsed{0};
    // Entries appended while walking are visited too: that is how the chain is followed.
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        const PartitionEntry entry = list.entries[i];
        if (!IsExtendedType(entry.type))
            continue;
        if (!parsed.insert(entry.start).second) {
            report.loopStopped = true;
            report.loopSector = entry.start;
            continue;
        }
        if (!ParsePartitionSector(source, driveId, entry.start, extendedBase, list)) {
            report.capReached = true;
            break;
        }
    }
    return report;
}

int CheckLinuxPartitions(SectorSource& source, PartitionList& list) {
    std::size_t count = 0;
    for (PartitionEntry& entry : list.entries) {
        if (entry.type != kLinuxPartitionType)
            continue;
        ++count;
        SuperblockBytes superblock{};
        if (ReadVolumeSuperblock(source, source.CurrentDriveId(), entry.start, superblock)) {
            entry.superblockFound = 1;
            entry.label =
                LabelFromBytes(ConstBytes(superblock).subspan(kVolumeNameOffset, kLabelSize));
        }
    }
    list.linuxCount = count;
    return count > 0 ? 1 : 0;
}

TableListing ListVolumesFromTable(SectorSource& source, DriveId driveId, VolumeLists& lists) {
    TableListing listing;
    lists.FreeBoth();
    if (IsPhysicalDrive(driveId)) {
        ByteCount bytes = 0;
        if (source.GetDriveSize(driveId, bytes).Ok())
            source.SetSourceSize(bytes);
    }
    listing.walk = WalkPartitionTable(source, driveId, lists.partitions);
    lists.walk = listing.walk;
    source.SetCurrentDriveId(driveId);
    listing.linuxFound = CheckLinuxPartitions(source, lists.partitions);
    return listing;
}

} // namespace twl
