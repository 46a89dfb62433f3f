#pragma once

// The first 128 bytes of an inode record, which every test and node attribute reads, and the
// two inode tests: empty (never used) and plausible (a live inode, not noise).

#include "core/ByteCodec.h"
#include "ext2/Superblock.h"

#include <array>
#include <cstdint>

namespace twl {

using InodeNo = std::uint32_t;
using BlockNo = std::uint64_t; // 48 bits on ext4 volumes with the 64bit feature

inline constexpr std::size_t kInodeRecordSize = 128;
inline constexpr InodeNo kRootInode = 2;
inline constexpr std::size_t kDirectBlocks = 12;
inline constexpr std::size_t kBlockPointers = 15;

using InodeRecord = std::array<std::uint8_t, kInodeRecordSize>;

// File types of i_mode bits 12-15.
inline constexpr std::uint16_t kModeTypeMask = 0xF000;
inline constexpr std::uint16_t kModeFifo = 0x1000;
inline constexpr std::uint16_t kModeCharDevice = 0x2000;
inline constexpr std::uint16_t kModeDirectory = 0x4000;
inline constexpr std::uint16_t kModeBlockDevice = 0x6000;
inline constexpr std::uint16_t kModeRegular = 0x8000;
inline constexpr std::uint16_t kModeSymlink = 0xA000;
inline constexpr std::uint16_t kModeSocket = 0xC000;

// Field access by kernel name.
struct InodeView {
    ConstBytes raw; // 128 bytes

    std::uint16_t i_mode() const { return Le16(raw, 0x00); }
    std::uint16_t i_uid() const { return Le16(raw, 0x02); }
    std::uint32_t i_size() const { return Le32(raw, 0x04); }
    std::uint32_t i_atime() const { return Le32(raw, 0x08); }
    std::uint32_t i_ctime() const { return Le32(raw, 0x0C); }
    std::uint32_t i_mtime() const { return Le32(raw, 0x10); }
    std::uint32_t i_dtime() const { return Le32(raw, 0x14); }
    std::uint16_t i_gid() const { return Le16(raw, 0x18); }
    std::uint16_t i_links_count() const { return Le16(raw, 0x1A); }
    std::uint32_t i_blocks() const { return Le32(raw, 0x1C); }
    std::uint32_t i_flags() const { return Le32(raw, 0x20); }
    std::uint32_t osd1() const { return Le32(raw, 0x24); }
    std::uint32_t i_block(std::size_t n) const { return Le32(raw, 0x28 + 4 * n); }
    std::uint32_t i_generation() const { return Le32(raw, 0x64); }
    std::uint32_t i_file_acl() const { return Le32(raw, 0x68); }
    std::uint32_t i_dir_acl() const { return Le32(raw, 0x6C); } // i_size_high of files
    std::uint32_t i_faddr() const { return Le32(raw, 0x70); }
    std::uint8_t l_i_frag() const { return Le8(raw, 0x74); }
    std::uint8_t l_i_fsize() const { return Le8(raw, 0x75); }
    std::uint16_t i_pad1() const { return Le16(raw, 0x76); }
    std::uint16_t l_i_uid_high() const { return Le16(raw, 0x78); }
    std::uint16_t l_i_gid_high() const { return Le16(raw, 0x7A); }
    std::uint32_t l_i_reserved2() const { return Le32(raw, 0x7C); }
    std::uint16_t l_i_blocks_hi() const { return Le16(raw, 0x74); } // ext4, huge_file

    std::uint16_t FileType() const { return i_mode() & kModeTypeMask; }
};

// Every field of a never-used inode is zero (of the block map, only the first entry counts),
// but for the record's checksum on volumes with metadata checksums.
bool IsEmptyInode(const InodeRecord& inode, const Superblock& sb);

// Whether the words the volume's kind reserves are zero: on ext2 and ext3 i_pad1 and
// l_i_reserved2; on ext4 the first is the high word of i_file_acl on 64bit volumes, and half
// of the second the record's checksum on volumes with metadata checksums.
bool PaddingClear(const InodeRecord& inode, const Superblock& sb);

// A live inode: both times set, the padding words zero, and a map that could belong to the
// volume (FileMapping.h: a short symbolic link's target held in the record always can).
bool IsPlausibleInode(const InodeRecord& inode, const Superblock& sb);

// The file size: i_size, plus i_size_high x 2^32 for a regular file on a volume with large
// files.
std::uint64_t InodeFileSize(const InodeRecord& inode, bool largeFileVolume);

// The 512-byte sectors the inode's blocks take (i_blocks): on ext4 volumes with huge_file,
// with its high word, and counted in blocks when the inode's flag says so.
std::uint64_t InodeSectors(const InodeRecord& inode, const Superblock& sb);

// The directory-entry type code (1 file, 2 folder, 3 char device, 4 block device, 5 FIFO,
// 6 socket, 7 symbolic link) of an i_mode, or 0 when its type bits name none of them.
std::uint8_t EntryTypeOfMode(std::uint16_t mode);

} // namespace twl
