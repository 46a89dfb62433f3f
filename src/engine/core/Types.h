#pragma once

// Semantic numbers of the engine. Sectors are 512 bytes everywhere; sector numbers and counts,
// byte offsets and sizes are unsigned 64-bit, so disks past 2 TiB read like any other. Files
// and tables that store sectors in 32 bits narrow them only through a checked conversion.

#include <cstdint>

namespace twl {

using SectorNo = std::uint64_t;
using SectorCount = std::uint64_t;
using ByteOffset = std::uint64_t;
using ByteCount = std::uint64_t;

// 0 designates the open image file; 0x80 + n designates physical drive n of the inventory.
using DriveId = std::uint32_t;

inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr DriveId kImageDriveId = 0;
inline constexpr DriveId kFirstDriveId = 0x80;
// The last sector whose byte offset a 64-bit offset holds. A sector number from the disk
// (a table entry, a block number times its sectors) is read only up to here, never wrapped.
inline constexpr SectorNo kLastSector = ~ByteOffset{0} / kSectorSize;

// Byte offset of a sector; exact for every sector up to kLastSector.
constexpr ByteOffset SectorOffset(SectorNo sector) {
    return static_cast<ByteOffset>(sector) * kSectorSize;
}

constexpr bool IsPhysicalDrive(DriveId id) {
    return id >= kFirstDriveId;
}
constexpr std::uint32_t DriveIndex(DriveId id) {
    return id - kFirstDriveId;
}
constexpr DriveId DriveIdOf(std::uint32_t index) {
    return kFirstDriveId + index;
}

} // namespace twl
