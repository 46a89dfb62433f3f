#include "scaninfo/LoadedVolumeCheck.h"

#include "ext2/SuperblockValidation.h"
#include "ext2/VolumeOpen.h"

namespace twl {
namespace {

std::string Num(std::uint64_t value) {
    return std::to_string(value);
}

bool InodeSizeFits(std::uint32_t inodeSize, std::uint32_t blockSize) {
    return inodeSize >= kGoodOldInodeSize && inodeSize <= blockSize &&
           (inodeSize & (inodeSize - 1)) == 0;
}

// The superblock on its own: the field test and the group layout, with the reason of the
// first rule it breaks.
std::string SuperblockProblem(const Superblock& sb) {
    if (sb.s_magic != kExt2Magic)
        return "its superblock copy has no ext2/ext3 magic number";
    if (sb.s_log_block_size > 2)
        return "its superblock copy gives block size code " + Num(sb.s_log_block_size) +
               " where 0 to 2 (1024 to 4096 bytes) are known";
    const std::uint32_t blockSize = 1024u << sb.s_log_block_size;
    if (!InodeSizeFits(sb.InodeSize(), blockSize))
        return "its superblock copy gives an inode size of " + Num(sb.InodeSize()) +
               " bytes where a power of two from 128 to the block size (" + Num(blockSize) +
               ") is needed";
    const std::string counts = Num(sb.s_inodes_count) + " inodes, " + Num(sb.s_inodes_per_group) +
                               " per group, " + Num(sb.s_blocks_count) + " blocks, " +
                               Num(sb.s_blocks_per_group) + " per group";
    if (!PassesFieldTest(sb))
        return "the counts of its superblock copy do not agree (" + counts + ")";
    if (!GroupLayoutPossible(sb, sb.s_inodes_count / sb.s_inodes_per_group))
        return "its superblock copy lays out groups its blocks and bitmaps cannot hold (" + counts +
               ")";
    return {};
}

// Every inode table together is no larger than the file system: a real volume holds them all.
bool InodesFitBlocks(const Superblock& sb, std::uint32_t blockSize) {
    return std::uint64_t{sb.s_inodes_count} * sb.InodeSize() <=
           std::uint64_t{sb.s_blocks_count} * blockSize;
}

// The descriptor test, and every bitmap and inode table inside the file system's blocks.
std::string DescriptorProblem(const Ext2Volume& volume) {
    const Superblock& sb = volume.sb;
    const std::uint64_t tableBlocks =
        (std::uint64_t{sb.s_inodes_per_group} * sb.InodeSize() + volume.BlockSize() - 1) /
        volume.BlockSize();
    const auto inside = [&](std::uint64_t first, std::uint64_t count) {
        return first >= sb.s_first_data_block && first + count <= sb.s_blocks_count;
    };
    for (std::uint32_t g = 0; g < volume.groupCount; ++g) {
        const GroupDescriptor gd = GroupDescriptor::Decode(DescriptorAt(volume.descriptorTable, g));
        const std::string group = "the descriptor of group " + Num(g);
        for (const DescriptorCriterion criterion : kDescriptorCriteria) {
            if (!MeetsCriterion(gd, criterion))
                return group + " fails the descriptor test";
        }
        if (!inside(gd.bg_block_bitmap, 1) || !inside(gd.bg_inode_bitmap, 1) ||
            !inside(gd.bg_inode_table, tableBlocks))
            return group + " places its bitmaps or inode table outside the volume's " +
                   Num(sb.s_blocks_count) + " blocks";
    }
    return {};
}

// The selected volume and the file system on it lie on the source.
std::string PlacementProblem(const Ext2Volume& volume, ByteCount sourceBytes) {
    if (PartitionFitsSource(volume.start, volume.size, sourceBytes) == 0)
        return "its selected volume (start " + Num(volume.start) + ", " + Num(volume.size) +
               " sectors) lies beyond the end of the source (" + Num(sourceBytes) + " bytes)";
    const std::uint64_t end = (std::uint64_t{volume.start} +
                               std::uint64_t{volume.sb.s_blocks_count} * volume.sectorsPerBlock) *
                              kSectorSize;
    if (end > sourceBytes)
        return "its file system of " + Num(volume.sb.s_blocks_count) +
               " blocks reaches past the end of the source (" + Num(sourceBytes) + " bytes)";
    return {};
}

} // namespace

std::string LoadedVolumeProblem(const Ext2Volume& volume, ByteCount sourceBytes) {
    const Superblock& sb = volume.sb;
    if (std::string problem = SuperblockProblem(sb); !problem.empty())
        return problem;
    const std::uint32_t groups = sb.s_inodes_count / sb.s_inodes_per_group;
    if (volume.groupCount != groups)
        return "its descriptor block holds " + Num(volume.groupCount) +
               " groups where its superblock copy gives " + Num(groups);
    if (sb.s_block_group_nr >= groups)
        return "its superblock copy calls itself the copy of group " + Num(sb.s_block_group_nr) +
               " of " + Num(groups);
    if (!InodesFitBlocks(sb, volume.BlockSize()))
        return "the inode tables of its superblock copy (" + Num(sb.s_inodes_count) +
               " inodes) are larger than its " + Num(sb.s_blocks_count) + " blocks";
    if (std::string problem = PlacementProblem(volume, sourceBytes); !problem.empty())
        return problem;
    return DescriptorProblem(volume);
}

} // namespace twl
