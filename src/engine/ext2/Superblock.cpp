#include "ext2/Superblock.h"

#include <cstdio>
#include <string_view>

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
    sb.s_feature_compat = Le32(raw, 0x5C);
    sb.s_feature_incompat = Le32(raw, 0x60);
    sb.s_feature_ro_compat = Le32(raw, 0x64);
    sb.s_desc_size = Le16(raw, 0xFE);
    sb.s_first_meta_bg = Le32(raw, 0x104);
    sb.s_backup_bgs = {Le32(raw, 0x24C), Le32(raw, 0x250)};
    if (sb.HasIncompat(kIncompat64Bit)) {
        sb.s_blocks_count |= std::uint64_t{Le32(raw, 0x150)} << 32;
        sb.s_free_blocks_count |= std::uint64_t{Le32(raw, 0x158)} << 32;
    }
    return sb;
}

std::uint32_t Superblock::DescriptorSize() const {
    if (!HasIncompat(kIncompat64Bit))
        return 32;
    const std::uint32_t size = s_desc_size;
    const bool usable = size >= 64 && size <= 1024 && (size & (size - 1)) == 0;
    return usable ? size : 0;
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

struct FeatureName {
    std::uint32_t bit;
    std::string_view name;
};

constexpr FeatureName kIncompatNames[] = {
    {0x0001, "compression"}, {0x0002, "filetype"},    {0x0004, "needs_recovery"},
    {0x0008, "journal_dev"}, {0x0010, "meta_bg"},     {0x0040, "extents"},
    {0x0080, "64bit"},       {0x0100, "mmp"},         {0x0200, "flex_bg"},
    {0x0400, "ea_inode"},    {0x1000, "dirdata"},     {0x2000, "metadata_csum_seed"},
    {0x4000, "large_dir"},   {0x8000, "inline_data"}, {0x10000, "encrypt"},
    {0x20000, "casefold"},
};

constexpr FeatureName kRoCompatNames[] = {
    {0x0001, "sparse_super"}, {0x0002, "large_file"},      {0x0004, "btree_dir"},
    {0x0008, "huge_file"},    {0x0010, "uninit_bg"},       {0x0020, "dir_nlink"},
    {0x0040, "extra_isize"},  {0x0080, "has_snapshot"},    {0x0100, "quota"},
    {0x0200, "bigalloc"},     {0x0400, "metadata_csum"},   {0x0800, "replica"},
    {0x1000, "read-only"},    {0x2000, "project"},         {0x4000, "shared_blocks"},
    {0x8000, "verity"},       {0x10000, "orphan_present"},
};

// The set bits of `bits`, lowest first, by name where one is known, joined by ", ".
template <std::size_t N>
std::string FeatureList(std::uint32_t bits, const FeatureName (&names)[N]) {
    std::string list;
    for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
        if ((bits & bit) == 0)
            continue;
        std::string name;
        for (const FeatureName& known : names) {
            if (known.bit == bit)
                name = known.name;
        }
        if (name.empty()) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", bit);
            name = hex;
        }
        list += (list.empty() ? "" : ", ") + name;
    }
    return list;
}

} // namespace

std::string UnreadableFeatures(const Superblock& sb) {
    if (sb.s_rev_level == kGoodOldRev)
        return {};
    return FeatureList(sb.s_feature_incompat & ~kUnderstoodIncompat, kIncompatNames);
}

std::string UnreadableVolumeNote(const Superblock& sb) {
    const std::string features = UnreadableFeatures(sb);
    if (features.empty())
        return {};
    return FileSystemKind(sb) + " volume with features this version cannot read (" + features + ")";
}

std::string UnknownReadOnlyFeatures(const Superblock& sb) {
    if (sb.s_rev_level == kGoodOldRev)
        return {};
    return FeatureList(sb.s_feature_ro_compat & ~kUnderstoodRoCompat, kRoCompatNames);
}

std::string ShownAsStoredFeatures(const Superblock& sb) {
    if (sb.s_rev_level == kGoodOldRev)
        return {};
    std::string incompat =
        FeatureList(sb.s_feature_incompat & kIncompatShownAsStored, kIncompatNames);
    const std::string roCompat =
        FeatureList(sb.s_feature_ro_compat & kRoCompatShownAsStored, kRoCompatNames);
    if (!incompat.empty() && !roCompat.empty())
        incompat += ", ";
    return incompat + roCompat;
}

std::string FileSystemKind(const Superblock& sb) {
    if (sb.HasIncompat(kExt4Incompat))
        return "ext4";
    constexpr std::uint32_t kCompatHasJournal = 0x0004;
    const bool journal =
        sb.s_rev_level != kGoodOldRev && (sb.s_feature_compat & kCompatHasJournal) != 0;
    return journal ? "ext3" : "ext2";
}

bool PassesFieldTest(const Superblock& sb) {
    return sb.s_magic == kExt2Magic && sb.s_log_block_size <= 2 && sb.s_inodes_count != 0 &&
           sb.s_blocks_count != 0 && sb.s_inodes_per_group != 0 && sb.s_blocks_per_group != 0 &&
           sb.s_first_ino != 0 && sb.s_inode_size != 0 &&
           sb.s_free_blocks_count <= sb.s_blocks_count &&
           sb.s_free_inodes_count <= sb.s_inodes_count &&
           sb.s_inodes_per_group <= sb.s_inodes_count &&
           (sb.s_blocks_per_group <= sb.s_blocks_count || SingleGroup(sb)) &&
           sb.s_inodes_count % sb.s_inodes_per_group == 0 && InodeSizeUsable(sb) &&
           sb.DescriptorSize() != 0;
}

} // namespace twl
