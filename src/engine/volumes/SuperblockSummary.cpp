#include "volumes/SuperblockSummary.h"

#include <algorithm>

namespace twl {
namespace {

// (superblock offset, width) of each summarised field, in summary order.
struct Field {
    std::size_t offset;
    std::size_t width;
};

constexpr Field kSummaryFields[] = {
    {0x00, 4},  // s_inodes_count
    {0x04, 4},  // s_blocks_count
    {0x08, 4},  // s_r_blocks_count
    {0x14, 4},  // s_first_data_block
    {0x18, 4},  // s_log_block_size
    {0x1C, 4},  // s_log_frag_size
    {0x20, 4},  // s_blocks_per_group
    {0x24, 4},  // s_frags_per_group
    {0x28, 4},  // s_inodes_per_group
    {0x36, 2},  // s_max_mnt_count
    {0x38, 2},  // s_magic
    {0x3C, 2},  // s_errors
    {0x3E, 2},  // s_minor_rev_level
    {0x40, 4},  // s_lastcheck
    {0x44, 4},  // s_checkinterval
    {0x48, 4},  // s_creator_os
    {0x4C, 4},  // s_rev_level
    {0x58, 2},  // s_inode_size
    {0x68, 16}, // s_uuid
    {0x78, 16}, // s_volume_name
    {0x88, 64}, // s_last_mounted
    {0xC8, 4},  // s_algorithm_usage_bitmap
    {0xCC, 1},  // s_prealloc_blocks
    {0xCD, 1},  // s_prealloc_dir_blocks
    {0xCE, 2},  // s_reserved_gdt_blocks
};

constexpr std::size_t SummaryWidth() {
    std::size_t total = 0;
    for (const Field& field : kSummaryFields)
        total += field.width;
    return total;
}
static_assert(SummaryWidth() == kSuperblockSummarySize);

} // namespace

SuperblockSummary SummarizeSuperblock(ConstBytes superblock) {
    SuperblockSummary summary{};
    std::size_t at = 0;
    for (const Field& field : kSummaryFields) {
        if (FitsIn(superblock.size(), field.offset, field.width))
            std::copy_n(superblock.begin() + static_cast<std::ptrdiff_t>(field.offset), field.width,
                        summary.begin() + static_cast<std::ptrdiff_t>(at));
        at += field.width;
    }
    return summary;
}

} // namespace twl
