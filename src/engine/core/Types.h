#pragma once

// Semantic numbers of the engine. Sectors are 512 bytes everywhere; sector numbers and counts
// are unsigned 32-bit (at most 2^32 sectors, 2 TiB), byte offsets and sizes 64-bit.

#include <cstdint>

namespace twl {

using SectorNo = std::uint32_t;
using SectorCount = std::uint32_t;
using ByteOffset = std::uint64_t;
using ByteCount = std::uint64_t;

// 0 designates the open image file; 0x80 + n designates physical drive n of the inventory.
using DriveId = std::uint32_t;

inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr DriveId kImageDriveId = 0;
inline constexpr DriveId kFirstDriveId = 0x80;

// Byte offset of a sector: the unsigned 64-bit product, so no sector number wraps negative.
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
