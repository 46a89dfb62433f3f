#pragma once

// Block group descriptors: 32 bytes each, descriptor g at byte 32 x g of the table.

#include "core/ByteCodec.h"

#include <array>
#include <cstdint>

namespace twl {

inline constexpr std::size_t kGroupDescriptorSize = 32;
using RawGroupDescriptor = std::array<std::uint8_t, kGroupDescriptorSize>;

// bg_flags bits that current mke2fs sets: inode table not initialised, block bitmap not
// initialised, inode table known to be zeroed.
inline constexpr std::uint16_t kKnownGroupFlags = 0x0001 | 0x0002 | 0x0004;

struct GroupDescriptor {
    std::uint32_t bg_block_bitmap = 0;          // 0x00
    std::uint32_t bg_inode_bitmap = 0;          // 0x04
    std::uint32_t bg_inode_table = 0;           // 0x08
    std::uint16_t bg_flags = 0;                 // 0x12, bg_pad on old volumes
    std::array<std::uint32_t, 3> bg_reserved{}; // 0x14, 0x18, 0x1C

    static GroupDescriptor Decode(ConstBytes raw); // raw.size() >= 32
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

// Descriptor g of a table, or an all-zero descriptor when g lies outside it.
RawGroupDescriptor DescriptorAt(ConstBytes table, std::uint32_t group);

// The descriptor test: for every group, the bitmaps and inode table are placed, the reserved
// words are zero and bg_flags holds no bit beyond the known ones.
bool PassesDescriptorTest(ConstBytes table, std::uint32_t groupCount);

// Bytes of a descriptor table for groupCount groups: whole sectors, 16 descriptors each.
inline std::size_t DescriptorTableBytes(std::uint32_t groupCount) {
    return (static_cast<std::size_t>(groupCount) + 15) / 16 * 512;
}

} // namespace twl
