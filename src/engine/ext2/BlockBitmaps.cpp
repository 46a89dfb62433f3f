#include "ext2/BlockBitmaps.h"

#include "ext2/GroupDescriptor.h"

namespace twl {
bool BlockBitmaps::InUse(std::uint64_t block) {
    const Superblock& sb = m_reader.Volume().sb;
    if (block < sb.s_first_data_block || block >= sb.s_blocks_count || sb.s_blocks_per_group == 0)
        return false;
    const std::uint64_t relative = block - sb.s_first_data_block;
    const auto group = static_cast<std::uint32_t>(relative / sb.s_blocks_per_group);
    const std::uint64_t bit = relative % sb.s_blocks_per_group;
    const std::vector<std::uint8_t>& bits = BitmapOf(group);
    return bit / 8 < bits.size() && ((bits[bit / 8] >> (bit % 8)) & 1) != 0;
}

BlockBitmaps::Count BlockBitmaps::CountInUse(const InodeRecord& record, StopControl* stop) {
    const Ext2Volume& volume = m_reader.Volume();
    const std::uint64_t size = InodeFileSize(record, volume.sb.HasLargeFile());
    const std::uint64_t blockSize = volume.BlockSize();
    Count count;
    const BlockMapSurvey survey = m_reader.ForEachFileBlock(
        record, size / blockSize + (size % blockSize != 0 ? 1 : 0),
        [&](const FileBlock& step) {
            if (step.step == BlockStep::kOutside || step.step == BlockStep::kBadMap) {
                count.sound = false;
                return WalkOn::kEnd;
            }
            if (step.step == BlockStep::kData) {
                for (std::uint64_t i = 0; i < step.count; ++i) {
                    ++count.dataBlocks;
                    count.inUse += InUse(step.block + i) ? 1 : 0;
                }
            }
            return WalkOn::kGoOn;
        },
        stop);
    count.sound = count.sound && !survey.mapLoop && !survey.stopped;
    return count;
}

const std::vector<std::uint8_t>& BlockBitmaps::BitmapOf(std::uint32_t group) {
    auto it = m_bitmaps.find(group);
    if (it != m_bitmaps.end())
        return it->second;
    std::vector<std::uint8_t>& bits = m_bitmaps[group];
    const Ext2Volume& volume = m_reader.Volume();
    if (group >= volume.groupCount)
        return bits;
    const BlockNo at = volume.Group(group).bg_block_bitmap;
    if (at == 0 || at >= volume.sb.s_blocks_count)
        return bits;
    bits.assign(volume.BlockSize(), 0);
    m_reader.ReadBlock(at, bits);
    return bits;
}

} // namespace twl
