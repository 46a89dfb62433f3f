#include "ext2/VolumeReader.h"

#include <algorithm>

namespace twl {
namespace {

constexpr std::uint64_t kLastSector = std::numeric_limits<SectorNo>::max();

} // namespace

bool VolumeReader::ReadInodeTableSector(std::uint64_t sector, MutableBytes out) {
    const std::uint64_t runStart = sector / kInodeRunSectors * kInodeRunSectors;
    if (runStart != m_inodeRunStart) {
        m_inodeRun.assign(kInodeRunSectors * kSectorSize, 0);
        const std::uint64_t sectors =
            std::min<std::uint64_t>(kInodeRunSectors, kLastSector - runStart + 1);
        const MutableBytes run = MutableBytes(m_inodeRun).first(sectors * kSectorSize);
        m_inodeRunStart = runStart;
        m_inodeRunUnreadable = m_source.ReadSectors(static_cast<SectorNo>(runStart), run) == 0
                                   ? FindUnreadable(run)
                                   : 0;
    }
    const std::size_t offset = (sector - runStart) * kSectorSize;
    std::copy_n(m_inodeRun.begin() + static_cast<std::ptrdiff_t>(offset), kSectorSize, out.begin());
    return (m_inodeRunUnreadable & (1u << (sector - runStart))) == 0;
}

// After a read of the run that failed somewhere: which of its sectors failed. Those read as
// zeros; each such sector is tried once more on its own, without being counted again.
std::uint32_t VolumeReader::FindUnreadable(MutableBytes run) {
    std::uint32_t unreadable = 0;
    for (std::size_t i = 0; i * kSectorSize < run.size(); ++i) {
        const MutableBytes sector = run.subspan(i * kSectorSize, kSectorSize);
        if (std::any_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b != 0; }))
            continue;
        const SectorNo number = static_cast<SectorNo>(m_inodeRunStart + i);
        if (m_source.ReadSectorsOnce(m_source.CurrentDriveId(), number, sector) == 0) {
            std::fill(sector.begin(), sector.end(), std::uint8_t{0});
            unreadable |= 1u << i;
        }
    }
    return unreadable;
}

InodeRead VolumeReader::ReadInode(InodeNo n) {
    const Ext2Volume& v = m_volume;
    InodeRead read;
    const std::uint32_t ipg = v.sb.s_inodes_per_group;
    if (n == 0 || ipg == 0)
        return read;
    const std::uint32_t group = (n - 1) / ipg;
    const std::uint32_t index = (n - 1) % ipg;
    if (group >= v.groupCount)
        return read; // no descriptor for it: the inode reads as zeros
    read.descriptor = DescriptorAt(v.descriptorTable, group);
    const GroupDescriptor gd = GroupDescriptor::Decode(read.descriptor);
    const std::uint64_t byteOffset = static_cast<std::uint64_t>(index) * v.sb.InodeSize();
    const std::uint64_t sector = v.start +
                                 static_cast<std::uint64_t>(gd.bg_inode_table) * v.sectorsPerBlock +
                                 byteOffset / kSectorSize;
    if (sector > kLastSector)
        return read; // beyond what a 32-bit sector number reaches: reads as zeros
    std::array<std::uint8_t, kSectorSize> buffer{};
    read.readable = ReadInodeTableSector(sector, buffer);
    const std::size_t slot = byteOffset % kSectorSize;
    std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(slot), kInodeRecordSize,
                read.record.begin());
    return read;
}

int VolumeReader::ReadBlock(BlockNo block, MutableBytes out) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    const std::uint64_t sector =
        m_volume.start + static_cast<std::uint64_t>(block) * m_volume.sectorsPerBlock;
    if (sector > kLastSector)
        return 0;
    return m_source.ReadSectors(static_cast<SectorNo>(sector), out);
}

BlockMapSurvey VolumeReader::ForEachFileBlock(InodeRecord inode, std::uint64_t end,
                                              const FileBlockVisit& visit, StopControl* stop) {
    const BlockGeometry geometry{m_volume.BlockSize(), m_volume.sb.s_first_data_block,
                                 m_volume.sb.s_blocks_count};
    return WalkFileBlocks(inode, geometry, m_readMapBlock, end, visit, stop);
}

BlockList VolumeReader::BuildBlockList(const InodeRecord& inode, std::size_t maxBlocks) {
    BlockList list;
    const BlockCount count = WalkBlockList(inode, maxBlocks, &list.blocks);
    list.capped = count.capped;
    list.looped = count.looped;
    return list;
}

BlockCount VolumeReader::CountBlockList(const InodeRecord& inode, std::size_t maxBlocks) {
    return WalkBlockList(inode, maxBlocks, nullptr);
}

// The walk behind the block list: data blocks, in or outside the volume, until a hole or a
// map block that cannot be followed; an indirect level the record does not use is passed over.
BlockCount VolumeReader::WalkBlockList(const InodeRecord& inode, std::size_t maxBlocks,
                                       std::vector<BlockNo>* blocks) {
    struct State {
        BlockCount count;
        std::size_t maxBlocks;
        std::vector<BlockNo>* blocks;
    } state{{}, maxBlocks, blocks};
    // One captured pointer: the visitor fits in the function object without an allocation.
    const FileBlockVisit visit = [&state](const FileBlock& at) {
        switch (at.step) {
        case BlockStep::kUnmapped:
            return WalkOn::kGoOn;
        case BlockStep::kData:
        case BlockStep::kOutside:
            if (state.count.blocks >= state.maxBlocks) {
                state.count.capped = true;
                return WalkOn::kEnd;
            }
            ++state.count.blocks;
            if (state.blocks == nullptr) // only counted: no need to look past the limit
                return state.count.blocks < state.maxBlocks ? WalkOn::kGoOn : WalkOn::kEnd;
            state.blocks->push_back(at.block);
            return WalkOn::kGoOn;
        case BlockStep::kHole:
        case BlockStep::kBadMap:
            break;
        }
        return WalkOn::kEnd;
    };
    state.count.looped =
        ForEachFileBlock(inode, std::numeric_limits<std::uint64_t>::max(), visit).mapLoop;
    return state.count;
}

std::vector<std::uint8_t> VolumeReader::ReadBlockData(const BlockList& list) {
    const std::size_t blockSize = m_volume.BlockSize();
    std::vector<std::uint8_t> data(list.blocks.size() * blockSize);
    // Consecutive blocks are read in one request; the bytes are the same as block by block.
    constexpr std::size_t kMaxRun = 256;
    for (std::size_t k = 0; k < list.blocks.size();) {
        std::size_t run = 1;
        while (k + run < list.blocks.size() && run < kMaxRun &&
               list.blocks[k + run] == list.blocks[k] + run)
            ++run;
        ReadBlock(list.blocks[k], MutableBytes(data).subspan(k * blockSize, run * blockSize));
        k += run;
    }
    return data;
}

std::vector<std::uint8_t> VolumeReader::ReadDataToFirstHole(const InodeRecord& inode,
                                                            std::size_t maxBlocks) {
    return ReadBlockData(BuildBlockList(inode, maxBlocks));
}

BlockMapSurvey VolumeReader::SurveyBlockMap(const InodeRecord& inode, StopControl* stop) {
    return ForEachMappedBlock(inode, std::numeric_limits<std::uint64_t>::max(), {}, stop);
}

std::uint64_t VolumeReader::VolumeBlockLimit() const {
    const std::uint64_t spb = std::max<std::uint32_t>(m_volume.sectorsPerBlock, 1);
    return std::max<std::uint64_t>(m_volume.sb.s_blocks_count, (m_volume.size + spb - 1) / spb);
}

BlockMapSurvey VolumeReader::ForEachMappedBlock(const InodeRecord& inode, std::uint64_t endLogical,
                                                const BlockVisit& visit, StopControl* stop,
                                                bool capAtVolume) {
    return ForEachFileBlock(
        inode, capAtVolume ? std::min(endLogical, VolumeBlockLimit()) : endLogical,
        [&visit](const FileBlock& at) {
            if (at.step == BlockStep::kData && visit)
                visit(at.logical, at.block);
            return WalkOn::kGoOn;
        },
        stop);
}

} // namespace twl
