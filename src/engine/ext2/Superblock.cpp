#include "ext2/Superblock.h"

namespace twl {

Superblock Superblock::Decode(ConstBytes raw) {
    Superblock sb;
    if (raw.size() < kSuperblockSize)
        return sb;
    sb.s_inodes_count = Le32(raw, 0x00);
    sb.s_blocks_count = Le32(raw, 0x04);
    sb.s_free_blocks_count = Le32(raw, 0x0C);
    sb.s_free_inodes_count = Le32(raw, 0x10);
    sb.s_first_data_block = Le32(raw, 0x14);
    sb.s_log_block_size = Le32(raw, 0x18);
    sb.s_blocks_per_group = Le32(raw, 0x20);
    sb.s_inodes_per_group = Le32(raw, 0x28);
    sb.s_magic = Le16(raw, 0x38);
    sb.s_rev_level = Le32(raw, 0x4C);
    sb.s_first_ino = Le32(raw, 0x54);
    sb.s_inode_size = Le16(raw, 0x58);
    sb.s_block_group_nr = Le16(raw, 0x5A);
    sb.s_feature_incompat = Le32(raw, 0x60);
    sb.s_feature_ro_compat = Le32(raw, 0x64);
    return sb;
}

namespace {

// Inode records are located by s_inode_size on revision 1 volumes, so it must be a power of
// two from 128 up to the block size; anything else is damage, not a layout.
bool InodeSizeUsable(const Superblock& sb) {
    const std::uint32_t size = sb.InodeSize();
    const std::uint32_t blockSize = 1024u << sb.s_log_block_size;
    return size >= kGoodOldInodeSize && size <= blockSize && (size & (size - 1)) == 0;
}

// A file system smaller than one full group keeps the full s_blocks_per_group (8 x block
// size) with fewer blocks in all; its only group is short.
bool SingleGroup(const Superblock& sb) {
    return sb.s_inodes_count == sb.s_inodes_per_group;
}

} // namespace

bool PassesFieldTest(const Superblock& sb) {
    return sb.s_magic == kExt2Magic && sb.s_log_block_size <= 2 && sb.s_inodes_count != 0 &&
           sb.s_blocks_count != 0 && sb.s_inodes_per_group != 0 && sb.s_blocks_per_group != 0 &&
           sb.s_first_ino != 0 && sb.s_inode_size != 0 &&
           sb.s_free_blocks_count <= sb.s_blocks_count &&
           sb.s_free_inodes_count <= sb.s_inodes_count &&
           sb.s_inodes_per_group <= sb.s_inodes_count &&
           (sb.s_blocks_per_group <= sb.s_blocks_count || SingleGroup(sb)) &&
           sb.s_inodes_count % sb.s_inodes_per_group == 0 && InodeSizeUsable(sb);
}

} // namespace twl
