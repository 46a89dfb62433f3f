#include "ext2/Ext2Volume.h"

namespace twl {

void Ext2Volume::SetSuperblock(const RawSuperblock& raw) {
    superblock = raw;
    sb = Superblock::Decode(raw);
    layout = DescriptorLayout::Of(sb);
    sectorsPerBlock = sb.s_log_block_size <= 2 ? SectorsPerBlock(sb) : 0;
    groupCount = sb.s_inodes_per_group != 0 ? sb.s_inodes_count / sb.s_inodes_per_group : 0;
}

} // namespace twl
