#include "ext2/Inode.h"

#include "ext2/FileMapping.h"

namespace twl {

bool IsEmptyInode(const InodeRecord& inode, const Superblock& sb) {
    const InodeView v{inode};
    if (sb.HasRoCompat(kRoCompatMetadataCsum) && (v.l_i_reserved2() & 0xFFFF) != 0) {
        InodeRecord unsummed = inode; // a never-used record still carries its checksum
        PutLe16(unsummed, 0x7C, 0);
        return IsEmptyInode(unsummed, sb);
    }
    return v.l_i_frag() == 0 && v.l_i_fsize() == 0 && v.i_atime() == 0 && v.i_blocks() == 0 &&
           v.i_ctime() == 0 && v.i_dtime() == 0 && v.i_dir_acl() == 0 && v.i_file_acl() == 0 &&
           v.i_flags() == 0 && v.i_faddr() == 0 && v.i_generation() == 0 &&
           v.l_i_reserved2() == 0 && v.i_mtime() == 0 && v.osd1() == 0 && v.i_block(0) == 0 &&
           v.i_size() == 0 && v.i_mode() == 0 && v.i_gid() == 0 && v.l_i_gid_high() == 0 &&
           v.l_i_uid_high() == 0 && v.i_links_count() == 0 && v.i_pad1() == 0 && v.i_uid() == 0;
}

bool PaddingClear(const InodeRecord& inode, const Superblock& sb) {
    const InodeView v{inode};
    const std::uint32_t reserved =
        sb.HasRoCompat(kRoCompatMetadataCsum) ? v.l_i_reserved2() & 0xFFFF0000u : v.l_i_reserved2();
    return reserved == 0 && (v.i_pad1() == 0 || sb.HasIncompat(kIncompat64Bit));
}

bool IsPlausibleInode(const InodeRecord& inode, const Superblock& sb) {
    const InodeView v{inode};
    if (v.i_ctime() == 0 || v.i_mtime() == 0 || !PaddingClear(inode, sb))
        return false;
    return MapPlausible(inode, sb);
}

std::uint64_t InodeFileSize(const InodeRecord& inode, bool largeFileVolume) {
    const InodeView v{inode};
    std::uint64_t size = v.i_size();
    if (largeFileVolume && v.FileType() == kModeRegular)
        size |= static_cast<std::uint64_t>(v.i_dir_acl()) << 32;
    return size;
}

std::uint64_t InodeSectors(const InodeRecord& inode, const Superblock& sb) {
    const InodeView v{inode};
    if (!sb.HasRoCompat(kRoCompatHugeFile))
        return v.i_blocks();
    constexpr std::uint32_t kHugeFileFlag = 0x00040000;
    const std::uint64_t count = std::uint64_t{v.l_i_blocks_hi()} << 32 | v.i_blocks();
    return (v.i_flags() & kHugeFileFlag) != 0 ? count * SectorsPerBlock(sb) : count;
}

std::uint8_t EntryTypeOfMode(std::uint16_t mode) {
    switch (mode & kModeTypeMask) {
    case kModeRegular:
        return 1;
    case kModeDirectory:
        return 2;
    case kModeCharDevice:
        return 3;
    case kModeBlockDevice:
        return 4;
    case kModeFifo:
        return 5;
    case kModeSocket:
        return 6;
    case kModeSymlink:
        return 7;
    default:
        return 0;
    }
}

} // namespace twl
