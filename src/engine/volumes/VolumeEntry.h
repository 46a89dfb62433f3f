#pragma once

// The records of the two volume lists and their packed byte images, which the scan
// information file stores byte for byte: a partition-list entry is 31 bytes, a found-volume
// entry 34. The link field of the image says only whether another entry follows.

#include "core/ByteCodec.h"
#include "core/Types.h"

#include <array>
#include <cstdint>
#include <string>

namespace twl {

inline constexpr std::size_t kLabelSize = 16;
using VolumeLabel = std::array<char, kLabelSize>; // s_volume_name, NUL-padded, maybe unterminated

inline constexpr std::uint8_t kLinuxPartitionType = 0x83;

// 0x05, 0x0F and 0x85 hold a chain of extended boot records.
constexpr bool IsExtendedType(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// The label as text: up to its first NUL, at most 16 bytes.
std::string LabelText(const VolumeLabel& label);
VolumeLabel LabelFromBytes(ConstBytes sixteenBytes);

// Whether a sector number or count fits the 32-bit fields of stored volume records.
constexpr bool FitsStoredSector(std::uint64_t sectors) {
    return sectors <= 0xFFFFFFFFu;
}

struct PartitionEntry {
    std::uint8_t status = 0; // boot indicator, unchanged
    std::uint8_t type = 0;
    SectorNo start = 0; // absolute first sector
    SectorCount size = 0;
    VolumeLabel label{};
    std::uint8_t superblockFound = 0; // 1 when 0x53 0xEF sits at 0x38 of sector start + 2

    static constexpr std::size_t kEncodedSize = 31;
    // The record stores start and size in 32 bits: an entry that is not Storable() (a volume
    // past 2 TiB) is stored cut short, so writers of files check first.
    std::array<std::uint8_t, kEncodedSize> Encode(bool hasNext) const;
    bool Storable() const { return FitsStoredSector(start) && FitsStoredSector(size); }
    // A record shorter than 31 bytes decodes as an empty entry.
    static PartitionEntry Decode(ConstBytes record);
    bool operator==(const PartitionEntry&) const = default;
};

struct FoundVolumeEntry {
    std::uint8_t status = 0;                 // always 0
    std::uint8_t type = kLinuxPartitionType; // always 0x83
    SectorNo start = 0;                      // first sector of the file system
    SectorNo superblockSector = 0;           // where its superblock was found
    SectorCount size = 0;                    // s_blocks_count x sectors per block
    VolumeLabel label{};

    static constexpr std::size_t kEncodedSize = 34;
    // As for a partition entry: sectors are stored in 32 bits, so check Storable() first.
    std::array<std::uint8_t, kEncodedSize> Encode(bool hasNext) const;
    bool Storable() const {
        return FitsStoredSector(start) && FitsStoredSector(superblockSector) &&
               FitsStoredSector(size);
    }
    // A record shorter than 34 bytes decodes as an empty entry.
    static FoundVolumeEntry Decode(ConstBytes record);
    bool operator==(const FoundVolumeEntry&) const = default;
};

} // namespace twl
