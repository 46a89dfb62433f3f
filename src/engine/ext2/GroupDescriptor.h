#pragma once

// Block group descriptors: descriptor g at byte size x g of the table, 32 bytes on ext2, ext3
// and ext4 without 64bit, s_desc_size (64 or more) on 64bit volumes, whose second half holds
// the high words of the block numbers.

#include "core/ByteCodec.h"
#include "ext2/Superblock.h"

#include <array>
#include <cstdint>

namespace twl {

inline constexpr std::size_t kGroupDescriptorSize = 32;
// The bytes of a descriptor the engine reads: the high words end within the first 64.
inline constexpr std::size_t kWideDescriptorSize = 64;
using RawGroupDescriptor = std::array<std::uint8_t, kWideDescriptorSize>;

// bg_flags bits that current mke2fs sets: inode table not initialised, block bitmap not
// initialised, inode table known to be zeroed.
inline constexpr std::uint16_t kGroupInodeUninit = 0x0001;
inline constexpr std::uint16_t kKnownGroupFlags = 0x0001 | 0x0002 | 0x0004;

// How a volume's descriptors are laid out and what their words mean.
struct DescriptorLayout {
    std::uint32_t size = kGroupDescriptorSize;
    // Group checksums: bg_flags and bg_itable_unused are kept, and the words ext2 reserves
    // hold checksums and counts.
    bool checksums = false;

    static DescriptorLayout Of(const Superblock& sb) {
        return {sb.DescriptorSize(), sb.HasGroupChecksums()};
    }
};

struct GroupDescriptor {
    std::uint64_t bg_block_bitmap = 0;  // 0x00, high word 0x20
    std::uint64_t bg_inode_bitmap = 0;  // 0x04, high word 0x24
    std::uint64_t bg_inode_table = 0;   // 0x08, high word 0x28
    std::uint16_t bg_flags = 0;         // 0x12, bg_pad on old volumes
    std::uint32_t bg_itable_unused = 0; // 0x1C, high half 0x32: with group checksums only
    // 0x14, 0x18, 0x1C: reserved on volumes without group checksums, taken as zero on others.
    std::array<std::uint32_t, 3> bg_reserved{};

    static GroupDescriptor Decode(ConstBytes raw, DescriptorLayout layout = {});
};

// The three things the descriptor test asks of each descriptor.
enum class DescriptorCriterion {
    kPlaced,       // block bitmap, inode bitmap and inode table are nonzero
    kReservedZero, // the three bg_reserved words are zero
    kFlagsKnown,   // bg_flags holds no bit beyond kKnownGroupFlags
};
inline constexpr DescriptorCriterion kDescriptorCriteria[] = {DescriptorCriterion::kPlaced,
                                                              DescriptorCriterion::kReservedZero,
                                                              DescriptorCriterion::kFlagsKnown};

bool MeetsCriterion(const GroupDescriptor& gd, DescriptorCriterion criterion);

// Descriptor g of a table of `size`-byte descriptors (its first 64 bytes), or an all-zero
// descriptor when g lies outside it.
RawGroupDescriptor DescriptorAt(ConstBytes table, std::uint32_t group,
                                std::uint32_t size = kGroupDescriptorSize);

// The descriptor test: for every group, the bitmaps and inode table are placed, the reserved
// words are zero and bg_flags holds no bit beyond the known ones.
bool PassesDescriptorTest(ConstBytes table, std::uint32_t groupCount, DescriptorLayout layout = {});

// Bytes of a descriptor table for groupCount groups of `size`-byte descriptors, in whole
// sectors.
inline std::size_t DescriptorTableBytes(std::uint32_t groupCount,
                                        std::uint32_t size = kGroupDescriptorSize) {
    return (std::size_t{groupCount} * size + 511) / 512 * 512;
}

} // namespace twl
