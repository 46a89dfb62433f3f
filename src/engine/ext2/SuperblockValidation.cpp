#include "ext2/SuperblockValidation.h"

#include "ext2/DescriptorTable.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace twl {
namespace {

constexpr SectorCount kWindowSectors = 63;
constexpr std::size_t kMagicOffset = 0x38;

using Sector = std::array<std::uint8_t, kSectorSize>;

// Reads one sector; one past the last addressable sector reads as zeros.
Sector ReadSectorAt(SectorSource& source, std::uint64_t sector) {
    Sector buffer{};
    if (sector <= kLastSector)
        source.ReadSectors(static_cast<SectorNo>(sector), buffer);
    return buffer;
}

bool HasMagic(ConstBytes sector) {
    return sector[kMagicOffset] == 0x53 && sector[kMagicOffset + 1] == 0xEF;
}

void ReadSuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s) {
    RawSuperblock raw{};
    source.ReadSectors(s, raw);
    volume.SetSuperblock(raw);
}

// The table of the superblock copy at `tableSector` (less one block), the descriptor blocks
// of a meta_bg volume taken from the same copy: the first group's of each meta group for the
// primary superblock, the second's for a backup.
int LoadDescriptorTable(SectorSource& source, Ext2Volume& volume, std::uint64_t tableSector,
                        bool backup) {
    int result = 0;
    volume.descriptorTable =
        ReadDescriptors(source, volume, tableSector, volume.start, backup, &result);
    return tableSector > kLastSector ? 0 : result;
}

// Field test, descriptor table read from tableSector, descriptor test, own descriptor. On
// false no table is held.
bool LoadCheckedTable(SectorSource& source, Ext2Volume& volume, std::uint64_t tableSector,
                      bool backup) {
    const Superblock& sb = volume.sb;
    if (!PassesFieldTest(sb) || !GroupLayoutPossible(sb, volume.groupCount) ||
        sb.s_block_group_nr >= volume.groupCount)
        return false;
    LoadDescriptorTable(source, volume, tableSector, backup);
    if (!PassesDescriptorTest(volume.descriptorTable, volume.groupCount, volume.layout)) {
        volume.ReleaseDescriptorTable();
        return false;
    }
    return true;
}

GroupDescriptor OwnDescriptorOf(const Ext2Volume& volume) {
    return GroupDescriptor::Decode(volume.OwnDescriptor());
}

int Reject(Ext2Volume& volume) {
    volume.ReleaseDescriptorTable();
    return 0;
}

} // namespace

bool GroupLayoutPossible(const Superblock& sb, std::uint32_t groupCount) {
    const std::uint64_t bitsPerBitmap =
        std::uint64_t{8} * (1024u << std::min(sb.s_log_block_size, 2u));
    if (sb.s_blocks_per_group == 0 || sb.s_blocks_per_group > bitsPerBitmap ||
        sb.s_inodes_per_group > bitsPerBitmap || sb.s_blocks_count <= sb.s_first_data_block)
        return false;
    const std::uint64_t blockGroups =
        (std::uint64_t{sb.s_blocks_count} - sb.s_first_data_block + sb.s_blocks_per_group - 1) /
        sb.s_blocks_per_group;
    return groupCount <= blockGroups;
}

std::optional<std::uint64_t> DerivedVolumeStart(const Ext2Volume& volume, SectorNo s) {
    const Superblock& sb = volume.sb;
    const std::uint64_t spb = volume.sectorsPerBlock;
    const std::uint64_t back =
        sb.s_block_group_nr == 0
            ? 2
            : std::uint64_t{sb.s_block_group_nr} * sb.s_blocks_per_group * spb +
                  std::uint64_t{sb.s_first_data_block} * spb;
    if (back > s)
        return std::nullopt;
    return s - back;
}

bool PassesGroupZeroTest(SectorSource& source, const Ext2Volume& volume, const GroupDescriptor& gd,
                         std::uint64_t start) {
    const std::uint64_t spb = volume.sectorsPerBlock;
    const Sector bitmap = ReadSectorAt(source, start + gd.bg_inode_bitmap * spb);
    if (bitmap[0] == 0)
        return false;
    Sector table = ReadSectorAt(source, start + gd.bg_inode_table * spb);
    // With metadata checksums the record carries its checksum's low half at 0x7C.
    if (volume.sb.HasRoCompat(kRoCompatMetadataCsum))
        PutLe16(table, 0x7C, 0);
    const auto zero = [](std::uint8_t b) { return b == 0; };
    return std::all_of(table.begin(), table.begin() + 8, zero) &&
           std::all_of(table.begin() + 32, table.begin() + kInodeRecordSize, zero);
}

bool PassesFirstInodesTest(SectorSource& source, const Ext2Volume& volume,
                           const GroupDescriptor& gd, std::uint64_t start) {
    const std::uint64_t spb = volume.sectorsPerBlock;
    const std::uint32_t count = std::min<std::uint32_t>(8, volume.sb.s_inodes_per_group);
    const std::uint8_t inUse = ReadSectorAt(source, start + gd.bg_inode_bitmap * spb)[0];
    const std::uint64_t table = start + gd.bg_inode_table * spb;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t byteOffset = std::uint64_t{i} * volume.sb.InodeSize();
        const Sector sector = ReadSectorAt(source, table + byteOffset / kSectorSize);
        InodeRecord inode{};
        std::copy_n(sector.begin() + static_cast<std::ptrdiff_t>(byteOffset % kSectorSize),
                    kInodeRecordSize, inode.begin());
        if (!IsEmptyInode(inode, volume.sb) && (inUse == 0 || !IsPlausibleInode(inode, volume.sb)))
            return false;
    }
    return true;
}

int ReadPrimarySuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s) {
    RawSuperblock raw{};
    const int result = source.ReadSectors(s, raw);
    volume.SetSuperblock(raw);
    return result;
}

int ValidatePrimarySuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s) {
    const std::uint64_t tableSector =
        std::uint64_t{volume.start} +
        (std::uint64_t{volume.sb.s_first_data_block} + 1) * volume.sectorsPerBlock;
    if (!LoadCheckedTable(source, volume, tableSector, false))
        return 0;
    const std::optional<std::uint64_t> start = DerivedVolumeStart(volume, s);
    if (!start)
        return Reject(volume);
    if (volume.sb.s_block_group_nr == 0 &&
        !PassesGroupZeroTest(source, volume, OwnDescriptorOf(volume), *start))
        return Reject(volume);
    return 1;
}

int ValidateBackupSuperblock(SectorSource& source, Ext2Volume& volume, SectorNo s) {
    if (!LoadCheckedTable(source, volume, std::uint64_t{s} + volume.sectorsPerBlock, true))
        return 0;
    const std::optional<std::uint64_t> start = DerivedVolumeStart(volume, s);
    if (!start || *start != volume.start)
        return Reject(volume); // a copy of another file system is never taken
    const GroupDescriptor own = OwnDescriptorOf(volume);
    if (volume.sb.s_block_group_nr == 0 && !PassesGroupZeroTest(source, volume, own, *start))
        return Reject(volume);
    if (!PassesFirstInodesTest(source, volume, own, *start))
        return Reject(volume);
    return 1;
}

int SearchBackupSuperblock(SectorSource& source, Ext2Volume& volume, SectorNo p, SectorCount n) {
    const std::uint64_t boundary = (std::uint64_t{p} / kWindowSectors + 1) * kWindowSectors;
    const auto tryAt = [&](std::uint64_t s) {
        ReadSuperblock(source, volume, static_cast<SectorNo>(s));
        return ValidateBackupSuperblock(source, volume, static_cast<SectorNo>(s)) == 1;
    };
    for (std::uint64_t s = p; s < boundary && s <= kLastSector; ++s) {
        if (HasMagic(ReadSectorAt(source, s)) && tryAt(s))
            return 1;
    }
    // Windows are read many at a time; each is still judged on its own first magic sector.
    constexpr std::uint64_t kWindowsPerRead = 32;
    const std::uint64_t end = std::min(std::uint64_t{p} + n, kLastSector + 1);
    std::vector<std::uint8_t> span(kWindowsPerRead * kWindowSectors * kSectorSize);
    for (std::uint64_t w = boundary; w + 2 < end;) {
        std::fill(span.begin(), span.end(), std::uint8_t{0});
        const std::uint64_t sectors =
            std::min<std::uint64_t>(kWindowsPerRead * kWindowSectors, kLastSector + 1 - w);
        source.ReadSectors(static_cast<SectorNo>(w), MutableBytes(span).first(sectors * 512));
        for (std::uint64_t window = 0; window < kWindowsPerRead && w + 2 < end; ++window) {
            for (std::uint64_t i = 0; i < kWindowSectors; ++i) {
                const std::size_t at = (window * kWindowSectors + i) * kSectorSize;
                if (at >= sectors * kSectorSize || !HasMagic(ConstBytes(span).subspan(at, 512)))
                    continue;
                if (tryAt(w + i))
                    return 1;
                break; // only a window's first magic-bearing sector is tried
            }
            w += kWindowSectors;
        }
    }
    return 0;
}

namespace {

std::vector<std::uint8_t> ReadTableAt(SectorSource& source, const Ext2Volume& scratch,
                                      std::optional<std::uint64_t> sector, std::uint64_t start,
                                      bool backup) {
    if (!sector)
        return std::vector<std::uint8_t>(
            DescriptorTableBytes(scratch.groupCount, scratch.layout.size), 0);
    return ReadDescriptors(source, scratch, *sector, start, backup);
}

// Each criterion must hold in table A or, failing that, in table B. Returns false when one
// holds in neither; sets usedB when B was needed.
bool PassesWithFallback(ConstBytes a, ConstBytes b, std::uint32_t groupCount,
                        DescriptorLayout layout, bool& usedB) {
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        const GroupDescriptor gdA =
            GroupDescriptor::Decode(DescriptorAt(a, g, layout.size), layout);
        const GroupDescriptor gdB =
            GroupDescriptor::Decode(DescriptorAt(b, g, layout.size), layout);
        for (const DescriptorCriterion criterion : kDescriptorCriteria) {
            if (MeetsCriterion(gdA, criterion))
                continue;
            if (!MeetsCriterion(gdB, criterion))
                return false;
            usedB = true;
        }
    }
    return true;
}

} // namespace

int ValidateScanSuperblock(SectorSource& source, Ext2Volume& scratch, SectorNo s) {
    const Superblock& sb = scratch.sb;
    if (!PassesFieldTest(sb) || !GroupLayoutPossible(sb, scratch.groupCount) ||
        sb.s_block_group_nr >= scratch.groupCount)
        return 0;
    // A file system with features this engine cannot read keeps descriptors and inodes the
    // ext2 tests would call damage. It is listed on its fields alone, so that opening it
    // names those features instead of the scan finding nothing.
    if (!UnreadableFeatures(sb).empty())
        return DerivedVolumeStart(scratch, s) ? 1 : 0;
    const std::uint64_t spb = scratch.sectorsPerBlock;
    std::optional<std::uint64_t> primaryPosition;
    if (s >= 2)
        primaryPosition = std::uint64_t{s} - 2 + (std::uint64_t{sb.s_first_data_block} + 1) * spb;
    const std::optional<std::uint64_t> start = DerivedVolumeStart(scratch, s);
    if (!start)
        return 0;
    const auto tableA = ReadTableAt(source, scratch, primaryPosition, *start, false);
    const auto tableB = ReadTableAt(source, scratch, std::uint64_t{s} + spb, *start, true);
    bool usedB = false;
    if (!PassesWithFallback(tableA, tableB, scratch.groupCount, scratch.layout, usedB))
        return 0;
    const GroupDescriptor own = GroupDescriptor::Decode(
        DescriptorAt(usedB ? tableB : tableA, sb.s_block_group_nr, scratch.layout.size),
        scratch.layout);
    if (sb.s_block_group_nr == 0 && !PassesGroupZeroTest(source, scratch, own, *start))
        return 0;
    return PassesFirstInodesTest(source, scratch, own, *start) ? 1 : 0;
}

int LoadSuperblockAt(SectorSource& source, Ext2Volume& volume, SectorNo p, SectorNo s) {
    ReadSuperblock(source, volume, s);
    const Superblock& sb = volume.sb;
    if (sb.s_inodes_per_group == 0 || sb.s_log_block_size > 2 ||
        !GroupLayoutPossible(sb, volume.groupCount)) {
        volume.ReleaseDescriptorTable();
        return 0;
    }
    const bool primary = s == std::uint64_t{p} + 2;
    const std::uint64_t tableSector =
        primary
            ? std::uint64_t{p} + (std::uint64_t{sb.s_first_data_block} + 1) * volume.sectorsPerBlock
            : std::uint64_t{s} + volume.sectorsPerBlock;
    return LoadDescriptorTable(source, volume, tableSector, !primary);
}

} // namespace twl
