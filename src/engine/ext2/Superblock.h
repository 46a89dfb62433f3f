#pragma once

// The ext2/ext3 superblock: the 1024 raw bytes and the fields the engine reads, decoded by
// their kernel names at their byte offsets.

#include "core/ByteCodec.h"

#include <array>
#include <cstdint>
#include <string>

namespace twl {

inline constexpr std::size_t kSuperblockSize = 1024;
inline constexpr std::uint16_t kExt2Magic = 0xEF53;
inline constexpr std::uint32_t kIncompatFiletype = 0x0002;  // directory entries carry a type
inline constexpr std::uint32_t kRoCompatLargeFile = 0x0002; // regular files of 4 GiB and more
inline constexpr std::uint32_t kIncompatRecover = 0x0004;   // the journal holds unreplayed work
// The feature bits this engine reads a volume by. Incompatible: entry types, a journal left
// to replay (the file system is read as it stands on the disk), and ext4's meta_bg, extents,
// 64bit, mmp, flex_bg, ea_inode, metadata_csum_seed, large_dir and inline_data; encrypt and
// casefold are read as the bytes stored (kShownAsStored). Read-only compatible: sparse
// superblock copies, large files, the never-used btree_dir bit, and ext4's huge_file,
// uninit_bg, dir_nlink, extra_isize, quota, bigalloc (as stored), metadata_csum, read-only,
// project, verity and orphan_present: none changes what the engine reads. An external
// journal (journal_dev) holds no files, and compression and dirdata change bytes the engine
// would misread: none of those is among them.
inline constexpr std::uint32_t kIncompatEncrypt = 0x10000;
inline constexpr std::uint32_t kIncompatCasefold = 0x20000;
inline constexpr std::uint32_t kRoCompatBigalloc = 0x0200;
inline constexpr std::uint32_t kUnderstoodIncompat =
    kIncompatFiletype | kIncompatRecover | 0x0010 | 0x0040 | 0x0080 | 0x0100 | 0x0200 | 0x0400 |
    0x2000 | 0x4000 | 0x8000 | kIncompatEncrypt | kIncompatCasefold;
inline constexpr std::uint32_t kUnderstoodRoCompat =
    0x0001 | kRoCompatLargeFile | 0x0004 | 0x0008 | 0x0010 | 0x0020 | 0x0040 | 0x0100 |
    kRoCompatBigalloc | 0x0400 | 0x1000 | 0x2000 | 0x8000 | 0x10000;
// Features whose bytes are read as they are stored, without what they mean: encrypted names
// and contents, case-insensitive names (read as written), and clusters of blocks.
inline constexpr std::uint32_t kIncompatShownAsStored = kIncompatEncrypt | kIncompatCasefold;
inline constexpr std::uint32_t kRoCompatShownAsStored = kRoCompatBigalloc;
// The features that make a volume ext4 rather than ext3 when any is set.
inline constexpr std::uint32_t kExt4Incompat = 0x0010 | 0x0040 | 0x0080 | 0x0200 | 0x8000;
inline constexpr std::uint32_t kGoodOldRev = 0;
inline constexpr std::uint16_t kGoodOldInodeSize = 128;

using RawSuperblock = std::array<std::uint8_t, kSuperblockSize>;

inline constexpr std::uint32_t kCompatSparseSuper2 = 0x0200; // backups in two chosen groups
inline constexpr std::uint32_t kIncompatMetaBg = 0x0010;     // descriptors spread over groups
inline constexpr std::uint32_t kIncompatExtents = 0x0040;
inline constexpr std::uint32_t kIncompat64Bit = 0x0080;      // 48-bit blocks, wide descriptors
inline constexpr std::uint32_t kIncompatInlineData = 0x8000; // small files kept in the inode
inline constexpr std::uint32_t kRoCompatSparseSuper = 0x0001;
inline constexpr std::uint32_t kRoCompatHugeFile = 0x0008;     // i_blocks in blocks when flagged
inline constexpr std::uint32_t kRoCompatGdtCsum = 0x0010;      // group flags and unused counts
inline constexpr std::uint32_t kRoCompatMetadataCsum = 0x0400; // the same, with checksums

struct Superblock {
    std::uint32_t s_inodes_count = 0; // 0x00
    // 0x04, with the high word at 0x150 on 64bit volumes: every block count and block number
    // of the engine is 64-bit.
    std::uint64_t s_blocks_count = 0;
    std::uint64_t s_free_blocks_count = 0;       // 0x0C, high word at 0x158 on 64bit volumes
    std::uint32_t s_free_inodes_count = 0;       // 0x10
    std::uint32_t s_first_data_block = 0;        // 0x14
    std::uint32_t s_log_block_size = 0;          // 0x18
    std::uint32_t s_blocks_per_group = 0;        // 0x20
    std::uint32_t s_inodes_per_group = 0;        // 0x28
    std::uint16_t s_magic = 0;                   // 0x38
    std::uint32_t s_rev_level = 0;               // 0x4C
    std::uint32_t s_first_ino = 0;               // 0x54
    std::uint16_t s_inode_size = 0;              // 0x58
    std::uint16_t s_block_group_nr = 0;          // 0x5A
    std::uint32_t s_feature_compat = 0;          // 0x5C
    std::uint32_t s_feature_incompat = 0;        // 0x60
    std::uint32_t s_feature_ro_compat = 0;       // 0x64
    std::uint16_t s_desc_size = 0;               // 0xFE: group descriptor size on 64bit volumes
    std::uint32_t s_first_meta_bg = 0;           // 0x104
    std::array<std::uint32_t, 2> s_backup_bgs{}; // 0x24C: the groups with copies (sparse_super2)

    static Superblock Decode(ConstBytes raw); // raw.size() >= 1024

    // Size of an inode record in the inode table: 128 on revision 0 volumes, else
    // s_inode_size.
    std::uint32_t InodeSize() const {
        return s_rev_level == kGoodOldRev ? kGoodOldInodeSize : s_inode_size;
    }
    // Revision 0 superblocks have no feature words: whatever those bytes hold means nothing.
    bool HasFiletype() const {
        return s_rev_level != kGoodOldRev && (s_feature_incompat & kIncompatFiletype) != 0;
    }
    bool HasLargeFile() const {
        return s_rev_level != kGoodOldRev && (s_feature_ro_compat & kRoCompatLargeFile) != 0;
    }
    bool HasIncompat(std::uint32_t bit) const {
        return s_rev_level != kGoodOldRev && (s_feature_incompat & bit) != 0;
    }
    bool HasRoCompat(std::uint32_t bit) const {
        return s_rev_level != kGoodOldRev && (s_feature_ro_compat & bit) != 0;
    }
    // Whether bg_flags and bg_itable_unused mean something: the kernel keeps them only on
    // volumes whose descriptors carry checksums.
    bool HasGroupChecksums() const {
        return HasRoCompat(kRoCompatGdtCsum) || HasRoCompat(kRoCompatMetadataCsum);
    }
    // Bytes of one group descriptor: s_desc_size on 64bit volumes (a power of two from 64 up to
    // 1024), else 32. 0 for a 64bit volume whose s_desc_size is none of those: damage.
    std::uint32_t DescriptorSize() const;
};

// The superblock field test: magic, block size 1 to 4 KiB, counts that agree with each other,
// and an inode size that can be laid out in the inode table.
bool PassesFieldTest(const Superblock& sb);

// The incompatible features of `sb` this engine cannot read, by name ("extents, 64bit"), an
// unnamed bit as hex (0x00400000); "" when there are none. Revision 0 superblocks have no
// feature words: always "".
std::string UnreadableFeatures(const Superblock& sb);
// What a listing says of a volume with such features: "ext4 volume: this version reads ext2
// and ext3 only (extents, 64bit)" when it carries ext4's, else the features named; "" when
// the engine reads it.
std::string UnreadableVolumeNote(const Superblock& sb);
// The same for read-only compatible features beyond the understood ones; such a volume can
// still be read, since the engine never writes.
std::string UnknownReadOnlyFeatures(const Superblock& sb);
// The features the volume uses whose bytes are shown as stored (encrypt, casefold,
// bigalloc), by name; "" when none.
std::string ShownAsStoredFeatures(const Superblock& sb);
// "ext2", "ext3" (a journal) or "ext4" (any of ext4's incompatible features).
std::string FileSystemKind(const Superblock& sb);

// The first inode of an ordinary file: those below it belong to the file system itself (the
// journal, the resize inode). 11 on revision 0 volumes, and where s_first_ino is out of reach.
inline std::uint32_t FirstOrdinaryInode(const Superblock& sb) {
    if (sb.s_rev_level == kGoodOldRev || sb.s_first_ino == 0 || sb.s_first_ino > sb.s_inodes_count)
        return 11;
    return sb.s_first_ino;
}

// 2, 4 or 8 for a superblock that passed the field test.
inline std::uint32_t SectorsPerBlock(const Superblock& sb) {
    return 2u << sb.s_log_block_size;
}

} // namespace twl
