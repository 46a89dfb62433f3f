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
// The feature bits this engine reads a volume by. Incompatible: entry types, and a journal
// left to replay (the file system is read as it stands on the disk). Read-only compatible:
// sparse superblock copies, large files and the never-used btree_dir bit. An external
// journal (journal_dev) holds no files and is not among them.
inline constexpr std::uint32_t kUnderstoodIncompat = kIncompatFiletype | kIncompatRecover;
inline constexpr std::uint32_t kUnderstoodRoCompat = 0x0001 | kRoCompatLargeFile | 0x0004;
inline constexpr std::uint32_t kGoodOldRev = 0;
inline constexpr std::uint16_t kGoodOldInodeSize = 128;

using RawSuperblock = std::array<std::uint8_t, kSuperblockSize>;

struct Superblock {
    std::uint32_t s_inodes_count = 0;      // 0x00
    std::uint32_t s_blocks_count = 0;      // 0x04
    std::uint32_t s_free_blocks_count = 0; // 0x0C
    std::uint32_t s_free_inodes_count = 0; // 0x10
    std::uint32_t s_first_data_block = 0;  // 0x14
    std::uint32_t s_log_block_size = 0;    // 0x18
    std::uint32_t s_blocks_per_group = 0;  // 0x20
    std::uint32_t s_inodes_per_group = 0;  // 0x28
    std::uint16_t s_magic = 0;             // 0x38
    std::uint32_t s_rev_level = 0;         // 0x4C
    std::uint32_t s_first_ino = 0;         // 0x54
    std::uint16_t s_inode_size = 0;        // 0x58
    std::uint16_t s_block_group_nr = 0;    // 0x5A
    std::uint32_t s_feature_incompat = 0;  // 0x60
    std::uint32_t s_feature_ro_compat = 0; // 0x64

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
