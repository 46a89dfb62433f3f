#include "ext2/journal/JournalInodes.h"

#include "ext2/BlockBitmaps.h"
#include "ext2/FileMapping.h"
#include "ext2/GroupDescriptor.h"

#include <algorithm>

namespace twl {
namespace {

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
    return a / b + (a % b != 0 ? 1 : 0);
}

InodeRecord RecordAt(ConstBytes block, std::size_t offset) {
    InodeRecord record{};
    if (FitsIn(block.size(), offset, kInodeRecordSize))
        std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(offset), kInodeRecordSize,
                    record.begin());
    return record;
}

// Follows the map of a live version: false when it names a block outside the volume or a map
// block twice. Counts its data blocks and those given out again since.
bool CheckMap(BlockBitmaps& bitmaps, JournalInode& found, StopControl* stop) {
    const BlockBitmaps::Count count = bitmaps.CountInUse(found.record, stop);
    found.dataBlocks = count.dataBlocks;
    found.blocksInUse = count.inUse;
    return count.sound;
}

// An inode of a table block the journal has copies of, and what a copy of it must hold to
// be a deleted file: a live version, and for an inode in use now one of another generation
// (a file that held the inode before the one that holds it now).
struct Slot {
    InodeNo inode = 0;
    std::size_t offset = 0; // of its record in the block
    bool inUse = false;
    std::uint32_t generation = 0; // of the file in it now

    bool Takes(const InodeRecord& record, MapKinds kinds) const {
        return IsLiveVersion(record, kinds) &&
               (!inUse || InodeView{record}.i_generation() != generation);
    }
};

} // namespace

bool InodeInUse(const InodeRecord& record) {
    const InodeView view{record};
    return view.i_links_count() != 0 && view.i_dtime() == 0 && view.i_mode() != 0;
}

bool IsLiveVersion(const InodeRecord& record, MapKinds kinds) {
    if (!InodeInUse(record))
        return false;
    const InodeView view{record};
    const std::uint16_t type = view.FileType();
    if (type != kModeRegular && type != kModeDirectory && type != kModeSymlink)
        return false;
    return MapsAnyBlock(record, kinds) ||
           (type == kModeRegular && view.i_size() == 0 && view.i_dir_acl() == 0);
}

InodeTableBlocks::InodeTableBlocks(const Ext2Volume& volume)
    : m_inodeSize(volume.sb.InodeSize()), m_blockSize(volume.BlockSize()),
      m_inodesPerGroup(volume.sb.s_inodes_per_group), m_inodesCount(volume.sb.s_inodes_count) {
    if (m_inodeSize == 0 || m_blockSize < m_inodeSize || !volume.HasDescriptorTable())
        return;
    m_perBlock = m_blockSize / m_inodeSize;
    const std::uint64_t tableBlocks =
        CeilDiv(std::uint64_t{m_inodesPerGroup} * m_inodeSize, m_blockSize);
    for (std::uint32_t g = 0; g < volume.groupCount; ++g) {
        const std::uint64_t start = volume.Group(g).bg_inode_table;
        m_groupTables.push_back(start);
        if (start != 0 && start < volume.sb.s_blocks_count)
            m_tables.push_back({start, tableBlocks, g * m_inodesPerGroup + 1});
    }
    std::sort(m_tables.begin(), m_tables.end(),
              [](const Table& a, const Table& b) { return a.start < b.start; });
}

InodeNo InodeTableBlocks::FirstInodeOf(std::uint64_t block) const {
    auto it = std::upper_bound(m_tables.begin(), m_tables.end(), block,
                               [](std::uint64_t b, const Table& t) { return b < t.start; });
    if (it == m_tables.begin())
        return 0;
    --it;
    if (block >= it->start + it->blocks)
        return 0;
    return static_cast<InodeNo>(it->firstInode + (block - it->start) * m_perBlock);
}

std::optional<std::pair<std::uint64_t, std::size_t>> InodeTableBlocks::PlaceOf(InodeNo n) const {
    if (n == 0 || n > m_inodesCount || m_inodesPerGroup == 0)
        return std::nullopt;
    const std::uint32_t group = (n - 1) / m_inodesPerGroup;
    if (group >= m_groupTables.size() || m_groupTables[group] == 0)
        return std::nullopt;
    const std::uint64_t byte = std::uint64_t{(n - 1) % m_inodesPerGroup} * m_inodeSize;
    return std::pair{m_groupTables[group] + byte / m_blockSize,
                     static_cast<std::size_t>(byte % m_blockSize)};
}

JournalInodes JournalInodes::Find(VolumeReader& reader, const JournalIndex& index,
                                  const std::function<bool(InodeNo)>& known, StopControl* stop) {
    JournalInodes result;
    const Ext2Volume& volume = reader.Volume();
    const InodeTableBlocks tables(volume);
    BlockBitmaps bitmaps(reader);
    const InodeNo firstOrdinary = FirstOrdinaryInode(volume.sb);
    const std::uint32_t inodeSize = volume.sb.InodeSize();
    std::vector<std::uint8_t> current(volume.BlockSize()), copy(volume.BlockSize());
    for (const std::uint64_t block : index.Blocks()) {
        if (stop != nullptr && stop->ShouldStop())
            break;
        const InodeNo first = tables.FirstInodeOf(block);
        if (first == 0)
            continue;
        std::fill(current.begin(), current.end(), std::uint8_t{0});
        reader.ReadBlock(static_cast<BlockNo>(block), current);
        std::vector<Slot> slots;
        for (std::uint32_t k = 0; k < tables.PerBlock(); ++k) {
            const InodeNo n = first + k;
            if (n > volume.sb.s_inodes_count)
                break;
            const std::size_t offset = std::size_t{k} * inodeSize;
            const InodeRecord now = RecordAt(current, offset);
            if (n < firstOrdinary)
                continue;
            if (InodeInUse(now))
                slots.push_back({n, offset, true, InodeView{now}.i_generation()});
            else if (!known(n))
                slots.push_back({n, offset, false, 0});
        }
        for (const JournalCopy& c : index.CopiesOf(block)) {
            if (slots.empty())
                break;
            index.ReadCopy(reader, c, copy);
            std::erase_if(slots, [&](const Slot& slot) {
                JournalInode found{slot.inode, RecordAt(copy, slot.offset), c.age};
                found.reused = slot.inUse;
                if (!slot.Takes(found.record, MapKindsOf(volume.sb)) ||
                    !CheckMap(bitmaps, found, stop))
                    return false; // an older copy may still hold a sound version
                result.m_found.emplace(found.inode, found);
                return true;
            });
        }
    }
    return result;
}

JournalVersionFinder::JournalVersionFinder(VolumeReader& reader, StopControl* stop)
    : m_reader(reader), m_index(JournalIndex::Read(reader, stop)), m_tables(reader.Volume()),
      m_bitmaps(reader), m_copy(reader.Volume().BlockSize()) {}

std::optional<JournalInode> JournalVersionFinder::Find(InodeNo inode, std::uint32_t ctime,
                                                       std::uint32_t mtime) {
    const auto place = m_tables.PlaceOf(inode);
    if (!place)
        return std::nullopt;
    const InodeRecord now = m_reader.ReadInode(inode).record;
    const Slot slot{inode, place->second, InodeInUse(now), InodeView{now}.i_generation()};
    for (const JournalCopy& c : m_index.CopiesOf(place->first)) {
        m_index.ReadCopy(m_reader, c, m_copy);
        JournalInode found{inode, RecordAt(m_copy, place->second), c.age};
        found.reused = slot.inUse;
        const InodeView view{found.record};
        if (slot.Takes(found.record, MapKindsOf(m_reader.Volume().sb)) && view.i_ctime() == ctime &&
            view.i_mtime() == mtime && CheckMap(m_bitmaps, found, nullptr))
            return found;
    }
    return std::nullopt;
}

const JournalInode* JournalInodes::Of(InodeNo inode) const {
    const auto it = m_found.find(inode);
    return it == m_found.end() ? nullptr : &it->second;
}

} // namespace twl
