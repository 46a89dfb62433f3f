#pragma once

// The scan information file (.ds1), section by section: head sector, source block, volume
// list block, selected volume sector, superblock copy, group descriptor block, and the tree
// of 41-byte node records. Every section but the tree occupies whole 512-byte sectors.

#include "core/ByteCodec.h"
#include "core/Types.h"
#include "ext2/Catalog.h"
#include "ext2/Ext2Volume.h"
#include "volumes/VolumeLists.h"

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twl {

inline constexpr std::string_view kScanInfoSignature = "TW-Linux 2006 Tarnwell scan information.";
inline constexpr std::size_t kSourceBlockSize = 1536;
inline constexpr std::size_t kPathFieldSize = 260; // at most 259 characters and a NUL
inline constexpr std::size_t kNodeRecordSize = 41;

using Bytes = std::vector<std::uint8_t>;

// Sectors needed for `bytes` bytes, and those bytes rounded up to them.
inline std::size_t SectorsFor(std::size_t bytes) {
    return (bytes + 511) / 512;
}

Bytes EncodeHeadSector();
// Whether a head sector is accepted: either magic byte right, and the NUL-terminated text at
// offset 4 (looked for only inside the sector) exactly the signature.
bool IsValidHeadSector(ConstBytes sector);

struct SourceBlock {
    DriveId driveId = 0;
    ByteCount sourceSize = 0;
    SectorNo fingerprintSector = 0;
    std::string imageFolder; // image sources only
    std::string imageName;
    std::array<std::uint8_t, kSectorSize> fingerprint{};
};
Bytes EncodeSourceBlock(const SourceBlock& block); // names must fit their fields
SourceBlock DecodeSourceBlock(ConstBytes block);   // block.size() >= 1536

// The volume list block: the partition list as kind 0, the found-volume list as kind 1, or
// (neither list exists) an empty block of kind 0.
Bytes EncodeVolumeListBlock(const VolumeLists& lists);
struct VolumeListHead {
    std::uint32_t sectors = 0;
    std::uint32_t count = 0;
    std::uint8_t kind = 0;
};
VolumeListHead DecodeVolumeListHead(ConstBytes sector);
// Rebuilds the list a whole block holds (kind 0 or 1 with records); other blocks give none.
VolumeLists DecodeVolumeListBlock(ConstBytes block, const VolumeListHead& head);

Bytes EncodeSelectedVolumeSector(const SelectedVolumeRecord& record);
SelectedVolumeRecord DecodeSelectedVolumeSector(ConstBytes sector);

// The group descriptor block: length in sectors, L = group count x 32, then the table.
Bytes EncodeDescriptorBlock(const Ext2Volume& volume);
struct DescriptorBlockHead {
    std::uint32_t sectors = 0;
    std::uint32_t tableBytes = 0;
};
DescriptorBlockHead DecodeDescriptorBlockHead(ConstBytes sector);

// The 41-byte record of a node: links stored as 1 when present, the name slot as 0.
std::array<std::uint8_t, kNodeRecordSize> EncodeNodeRecord(const CatalogNode& node);
// The node's fields; first_child and next_sibling come back as 1 when the record says there
// is a child list or a following sibling, 0 otherwise.
CatalogNode DecodeNodeRecord(ConstBytes record);

// "TW Linux Scan Information # Sat, 05-Dec-2026.ds1" for the local date of `when`, with
// "Sept" for September.
std::string DefaultScanInfoName(std::time_t when);

} // namespace twl
