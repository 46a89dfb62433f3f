#pragma once

// The open ext2/ext3 volume: where it lies, its superblock and group descriptor table. It
// holds no scratch of the readers, so several readers can work on one volume at once. One
// record per open; opening another volume builds a new record and replaces this one only
// when the open succeeds.

#include "core/Types.h"
#include "ext2/GroupDescriptor.h"
#include "ext2/Inode.h"
#include "ext2/Superblock.h"

#include <array>
#include <cstdint>
#include <vector>

namespace twl {

// The chosen volume entry as the scan information file keeps it: status, type, start, size,
// label (the partition-list layout without its last two fields).
using SelectedVolumeRecord = std::array<std::uint8_t, 26>;

struct Ext2Volume {
    SectorNo start = 0;            // first sector of the file system (its block 0)
    SectorCount size = 0;          // sectors, from the chosen volume entry
    SectorNo superblockSector = 0; // where a scan found the superblock
    RawSuperblock superblock{};
    Superblock sb; // superblock, decoded
    std::uint32_t sectorsPerBlock = 0;
    std::uint32_t groupCount = 0;
    DescriptorLayout layout; // from the superblock
    // The descriptors in group order, each layout.size bytes as on the disk (gathered from
    // the meta groups on meta_bg volumes); empty when none is loaded.
    std::vector<std::uint8_t> descriptorTable;
    SelectedVolumeRecord selectedVolumeRecord{};
    std::uint32_t selectedVolumeNumber = 0; // 1-based row of the volume page

    std::uint32_t BlockSize() const { return sectorsPerBlock * kSectorSize; }
    ByteCount SizeInBytes() const { return static_cast<ByteCount>(size) * kSectorSize; }
    bool HasDescriptorTable() const { return !descriptorTable.empty(); }
    void ReleaseDescriptorTable() { descriptorTable = {}; }
    // The descriptor of the group the superblock belongs to (zeros without a table).
    RawGroupDescriptor OwnDescriptor() const {
        return DescriptorAt(descriptorTable, sb.s_block_group_nr, layout.size);
    }
    // Group g's descriptor, decoded (zeros outside the table).
    GroupDescriptor Group(std::uint32_t g) const {
        return GroupDescriptor::Decode(DescriptorAt(descriptorTable, g, layout.size), layout);
    }

    // Takes raw as the superblock and sets sectors per block and group count from it. The
    // caller has checked s_inodes_per_group and s_log_block_size.
    void SetSuperblock(const RawSuperblock& raw);
};

} // namespace twl
