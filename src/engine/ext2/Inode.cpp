#include "ext2/Inode.h"

#include "ext2/FileMapping.h"

namespace twl {

bool IsEmptyInode(const InodeRecord& inode) {
    const InodeView v{inode};
    return v.l_i_frag() == 0 && v.l_i_fsize() == 0 && v.i_atime() == 0 && v.i_blocks() == 0 &&
           v.i_ctime() == 0 && v.i_dtime() == 0 && v.i_dir_acl() == 0 && v.i_file_acl() == 0 &&
           v.i_flags() == 0 && v.i_faddr() == 0 && v.i_generation() == 0 &&
           v.l_i_reserved2() == 0 && v.i_mtime() == 0 && v.osd1() == 0 && v.i_block(0) == 0 &&
           v.i_size() == 0 && v.i_mode() == 0 && v.i_gid() == 0 && v.l_i_gid_high() == 0 &&
           v.l_i_uid_high() == 0 && v.i_links_count() == 0 && v.i_pad1() == 0 && v.i_uid() == 0;
}

bool IsPlausibleInode(const InodeRecord& inode, std::uint32_t blocksCount) {
    const InodeView v{inode};
    if (v.i_ctime() == 0 || v.i_mtime() == 0 || v.i_pad1() != 0 || v.l_i_reserved2() != 0)
        return false;
    return MapPlausible(inode, blocksCount);
}

std::uint64_t InodeFileSize(const InodeRecord& inode, bool largeFileVolume) {
    const InodeView v{inode};
    std::uint64_t size = v.i_size();
    if (largeFileVolume && v.FileType() == kModeRegular)
        size |= static_cast<std::uint64_t>(v.i_dir_acl()) << 32;
    return size;
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
