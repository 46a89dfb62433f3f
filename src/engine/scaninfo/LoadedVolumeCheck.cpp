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
    if (const std::string features = UnreadableFeatures(sb); !features.empty())
        return "its superblock copy names features this program cannot read (" + features + ")";
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

// The selected volume lies on the source, and its inode tables could: the tables fill a few
// percent of a volume, so a file system may reach past the end of a cut-short image, as the
// open allows, but inode tables larger than the whole source are a count no disk held. This
// also bounds what a walk of the inode tables allocates by the size of the source.
std::string PlacementProblem(const Ext2Volume& volume, ByteCount sourceBytes) {
    if (PartitionFitsSource(volume.start, volume.size, sourceBytes) == 0)
        return "its selected volume (start " + Num(volume.start) + ", " + Num(volume.size) +
               " sectors) lies beyond the end of the source (" + Num(sourceBytes) + " bytes)";
    const std::uint64_t tableBytes =
        std::uint64_t{volume.sb.s_inodes_count} * volume.sb.InodeSize();
    if (tableBytes > sourceBytes)
        return "the inode tables of its superblock copy (" + Num(tableBytes) +
               " bytes) are larger than the source (" + Num(sourceBytes) + " bytes)";
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
    // The descriptors are not held to the descriptor test: a volume found by the scan may have
    // been opened on a table that passes it only together with its backup, and every read by
    // a descriptor is bounded by the source, where a block past its end reads as zeros.
    return PlacementProblem(volume, sourceBytes);
}

} // namespace twl
