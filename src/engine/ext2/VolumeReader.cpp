#include "ext2/VolumeReader.h"

#include "ext2/FileMapping.h"
#include "ext2/InlineData.h"

#include <algorithm>

namespace twl {
namespace {

// A single inode is read with the 4 KiB of its table around it.
constexpr std::uint64_t kAlignSectors = 8;

} // namespace

std::uint32_t UsedRecords(const GroupDescriptor& gd, const Ext2Volume& volume) {
    const std::uint32_t ipg = volume.sb.s_inodes_per_group;
    if (!volume.layout.checksums)
        return ipg;
    if ((gd.bg_flags & kGroupInodeUninit) != 0)
        return 0;
    return gd.bg_itable_unused <= ipg ? ipg - gd.bg_itable_unused : ipg;
}

VolumeReader::InodePlace VolumeReader::PlaceOf(InodeNo n) const {
    const Ext2Volume& v = m_volume;
    InodePlace place;
    const std::uint32_t ipg = v.sb.s_inodes_per_group;
    if (n == 0 || ipg == 0)
        return place;
    const std::uint32_t group = (n - 1) / ipg;
    const std::uint32_t index = (n - 1) % ipg;
    if (group >= v.groupCount)
        return place; // no descriptor for it: the inode reads as zeros
    place.descriptor = DescriptorAt(v.descriptorTable, group, v.layout.size);
    const GroupDescriptor gd = GroupDescriptor::Decode(place.descriptor, v.layout);
    const std::uint64_t inodeSize = v.sb.InodeSize();
    const std::uint64_t byteOffset = index * inodeSize;
    place.table = v.start + gd.bg_inode_table * v.sectorsPerBlock;
    place.tableSectors = (ipg * inodeSize + kSectorSize - 1) / kSectorSize;
    place.sector = place.table + byteOffset / kSectorSize;
    // Inode sizes are powers of two from 128 bytes on: a record never crosses a sector.
    place.offset = byteOffset % kSectorSize;
    // Beyond what a sector number reaches, the inode reads as zeros; so does one in table space
    // the group's descriptor says was never initialised or used.
    place.inTable = place.sector <= kLastSector && index < UsedRecords(gd, v);
    return place;
}

// A run of the table of `place` for reading it: from `start`, `sectors` long.
struct VolumeReader::TableRun {
    std::uint64_t start = 0;
    std::uint64_t sectors = 0;
};

// The record at `place`, from the cache, or from `run` (which holds it) read first. A run is
// cut short where a held one begins, so held sectors are not read again.
InodeRead VolumeReader::ReadAt(const InodePlace& place, const TableRun& run) {
    InodeRead read;
    read.descriptor = place.descriptor;
    if (!place.inTable)
        return read;
    std::optional<InodeTableCache::SectorView> sector = m_inodeTables.Find(place.sector);
    if (!sector) {
        const std::uint64_t end =
            std::min(run.start + run.sectors, m_inodeTables.NextHeldStart(run.start));
        m_inodeTables.Load(run.start, std::max(end, place.sector + 1) - run.start);
        sector = m_inodeTables.Find(place.sector);
    }
    if (!sector) { // cannot happen for a sector in reach; read as a failed sector would be
        read.readable = false;
        return read;
    }
    read.readable = sector->readable;
    std::copy_n(sector->bytes + place.offset, kInodeRecordSize, read.record.begin());
    return read;
}

// A single inode is read with the 4 KiB of its table around it: its neighbours are often
// read next.
InodeRead VolumeReader::ReadInode(InodeNo n) {
    const InodePlace place = PlaceOf(n);
    const std::uint64_t start =
        place.table + (place.sector - place.table) / kAlignSectors * kAlignSectors;
    const std::uint64_t end = std::min(start + kAlignSectors, place.table + place.tableSectors);
    return ReadAt(place, {start, end - start});
}

// The run to read for inode ascending[k]: from its sector to the sector of the last following
// inode of the same table that lies close enough after the one before it, no longer than the
// cache's largest run. Only sectors the inodes need, and short gaps between them, are read.
VolumeReader::TableRun VolumeReader::RunFor(std::span<const InodeNo> ascending, std::size_t k,
                                            const InodePlace& place) const {
    constexpr std::uint64_t kMostGapSectors = 8;
    std::uint64_t last = place.sector;
    for (std::size_t j = k + 1; j < ascending.size(); ++j) {
        const InodePlace next = PlaceOf(ascending[j]);
        if (!next.inTable || next.table != place.table || next.sector < last ||
            next.sector - last > kMostGapSectors + 1 ||
            next.sector - place.sector >= InodeTableCache::kMostRunSectors)
            break;
        last = next.sector;
    }
    return {place.sector, last - place.sector + 1};
}

void VolumeReader::WillReadBlocks(BlockNo first, std::uint64_t count) {
    const std::uint64_t blocks = m_volume.sb.s_blocks_count;
    if (first >= blocks)
        return;
    count = std::min<std::uint64_t>(count, blocks - first);
    const std::uint64_t sector = m_volume.start + std::uint64_t{first} * m_volume.sectorsPerBlock;
    if (sector <= kLastSector)
        m_source.WillRead(static_cast<SectorNo>(sector), count * m_volume.sectorsPerBlock);
}

// Hints every run after the first that the reading of `ascending` will make, so that a cold
// disk serves them together; the first is read at once anyway.
void VolumeReader::HintInodeRuns(std::span<const InodeNo> ascending) {
    if (!m_source.WantsHints())
        return;
    bool first = true;
    for (std::size_t k = 0; k < ascending.size();) {
        const InodePlace place = PlaceOf(ascending[k]);
        if (!place.inTable || m_inodeTables.Find(place.sector)) {
            ++k;
            continue;
        }
        const TableRun run = RunFor(ascending, k, place);
        if (!first)
            m_source.WillRead(static_cast<SectorNo>(run.start), run.sectors);
        first = false;
        // On to the first inode past the run.
        while (k < ascending.size()) {
            const InodePlace next = PlaceOf(ascending[k]);
            if (next.inTable && next.table == place.table && next.sector >= run.start &&
                next.sector < run.start + run.sectors)
                ++k;
            else
                break;
        }
    }
}

void VolumeReader::ReadInodesInOrder(std::span<const InodeNo> ascending, const InodeVisit& visit) {
    HintInodeRuns(ascending);
    for (std::size_t k = 0; k < ascending.size(); ++k) {
        const InodePlace place = PlaceOf(ascending[k]);
        const TableRun run = place.inTable && !m_inodeTables.Find(place.sector)
                                 ? RunFor(ascending, k, place)
                                 : TableRun{place.sector, 1};
        if (!visit(k, ReadAt(place, run)))
            return;
    }
}

int VolumeReader::ReadBlock(BlockNo block, MutableBytes out) {
    const std::uint64_t sector =
        m_volume.start + static_cast<std::uint64_t>(block) * m_volume.sectorsPerBlock;
    if (sector > kLastSector) {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        return 0;
    }
    return m_source.ReadSectorsCleared(static_cast<SectorNo>(sector), out);
}

BlockMapSurvey VolumeReader::ForEachFileBlock(InodeRecord inode, std::uint64_t end,
                                              const FileBlockVisit& visit, StopControl* stop) {
    const BlockGeometry geometry{m_volume.BlockSize(), m_volume.sb.s_first_data_block,
                                 m_volume.sb.s_blocks_count, MapKindsOf(m_volume.sb)};
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
        case BlockStep::kUnwritten:
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

FolderData VolumeReader::ReadFolderData(InodeNo n, const InodeRecord& inode,
                                        std::uint64_t maxBytes) {
    FolderData folder;
    if (MappingOf(inode, MapKindsOf(m_volume.sb)) == FileMapping::kInline) {
        folder.bytes =
            InlineFolderBlock(InlineDataBytes(ReadInodeBody(n)), n, m_volume.BlockSize());
        folder.length = folder.bytes.size();
        return folder;
    }
    folder.length = InodeView{inode}.i_size();
    // Blocks past i_size are never listed, so they are not read.
    const std::uint64_t blockSize = m_volume.BlockSize();
    folder.bytes = ReadDataToFirstHole(
        inode,
        static_cast<std::size_t>((std::min(folder.length, maxBytes) + blockSize - 1) / blockSize));
    return folder;
}

std::vector<std::uint8_t> VolumeReader::ReadInodeBody(InodeNo n) {
    const std::uint64_t size = m_volume.sb.InodeSize();
    std::vector<std::uint8_t> body(size, 0);
    const InodePlace place = PlaceOf(n);
    if (!place.inTable)
        return body;
    const std::uint64_t sectors = (place.offset + size + kSectorSize - 1) / kSectorSize;
    if (place.sector + sectors - 1 > kLastSector)
        return body;
    std::vector<std::uint8_t> span(sectors * kSectorSize, 0);
    m_source.ReadSectors(static_cast<SectorNo>(place.sector), span);
    std::copy_n(span.begin() + static_cast<std::ptrdiff_t>(place.offset), size, body.begin());
    return body;
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
