#include "ext2/TreeBuilder.h"

#include "core/SizeText.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace twl {
namespace {

constexpr std::size_t kDirentHeader = 8; // inode u32, rec_len u16, name_len u8, file_type u8

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

// The checks on the first two entries of a directory ("." and ".."): where the listing
// starts, or 0 when the data is not a directory the walk trusts.
std::uint64_t ListingStart(ConstBytes data, std::uint64_t length, std::uint32_t inodesCount) {
    if (data.size() < 22)
        return 0;
    const std::uint64_t start = 12 + Le16(data, 16);
    if (start >= length)
        return 0;
    if (data[8] != '.' || data[20] != '.' || data[21] != '.')
        return 0;
    const std::uint32_t self = Le32(data, 0);
    if (self < 2 || self > inodesCount)
        return 0;
    return start;
}

} // namespace

std::string EntriesFoundText(const TreeCounters& counters) {
    return std::to_string(counters.entriesFound) + " Entries Found";
}

std::string SizeLineText(const TreeCounters& counters) {
    return SizeLine(counters.bytes, counters.files, counters.folders);
}

void TreeBuilder::BuildTree() {
    m_catalog.Clear();
    WalkDirectory(kRootAnchor, kRootPath, kRootInode);
}

void TreeBuilder::WalkDirectory(NodeId parent, std::string path, InodeNo n) {
    WalkDirectory(parent, std::move(path), n, {});
}

void TreeBuilder::WalkDirectory(NodeId parent, std::string path, InodeNo n,
                                const std::vector<InodeNo>& ancestors) {
    struct Frame {
        NodeId nextChild;
        std::size_t pathLength;
        InodeNo inode;
    };
    if (m_stop.ShouldStop())
        return;
    ListFolder(parent, path, n);
    if (m_stop.ShouldStop())
        return;
    std::vector<Frame> stack{{m_catalog.Node(parent).first_child, path.size(), n}};
    std::unordered_set<InodeNo> onPath(ancestors.begin(), ancestors.end());
    onPath.insert(n);
    while (!stack.empty()) {
        Frame& top = stack.back();
        NodeId child = top.nextChild;
        while (child != kNoNode && m_catalog.Node(child).type != kTypeFolder)
            child = m_catalog.Node(child).next_sibling;
        if (child == kNoNode) {
            onPath.erase(top.inode);
            stack.pop_back();
            continue;
        }
        top.nextChild = m_catalog.Node(child).next_sibling;
        path.resize(top.pathLength);
        path += '\\';
        path += m_catalog.Name(child);
        const InodeNo inode = m_catalog.Node(child).inode;
        if (onPath.count(inode) != 0)
            continue; // leads back to an ancestor: listed, but not walked again
        if (m_stop.ShouldStop())
            return;
        ListFolder(child, path, inode);
        if (m_stop.ShouldStop())
            return;
        stack.push_back({m_catalog.Node(child).first_child, path.size(), inode});
        onPath.insert(inode);
    }
}

void TreeBuilder::ListFolder(NodeId parent, const std::string& path, InodeNo n) {
    Ext2Volume& volume = m_reader.Volume();
    m_reader.ReadInode(n);
    if (!IsPlausibleInode(volume.currentInode, volume.sb.s_blocks_count))
        return;
    const InodeRecord directory = volume.currentInode;
    const std::uint64_t length = InodeView{directory}.i_size();
    // Blocks past i_size are never listed, so they are not read.
    const std::uint64_t wanted = CeilDiv(std::min(length, kMaxDirectoryBytes), volume.BlockSize());
    const BlockList blocks = m_reader.BuildBlockList(directory, wanted);
    const std::vector<std::uint8_t> data = m_reader.ReadBlockData(blocks);
    if (!data.empty())
        m_catalog.AttachChildList(parent, ListDirectory(path, data, length));
}

NodeId TreeBuilder::ListDirectory(const std::string& path, ConstBytes data, std::uint64_t length) {
    const std::uint64_t start = ListingStart(data, length, m_reader.Volume().sb.s_inodes_count);
    if (start == 0)
        return kNoNode;
    return ListEntries(path, data, length, start, 2,
                       [this](InodeNo inode, std::uint8_t fileType, std::string_view name) {
                           return MakeEntryNode(inode, fileType, name);
                       });
}

NodeId TreeBuilder::ListEntries(const std::string& path, ConstBytes data, std::uint64_t length,
                                std::uint64_t offset, InodeNo lowest, const EntryMaker& make) {
    const std::uint32_t inodesCount = m_reader.Volume().sb.s_inodes_count;
    const std::uint64_t end = std::min<std::uint64_t>(length, data.size());
    NodeId head = kNoNode;
    NodeId tail = kNoNode;
    while (FitsIn(end, offset, kDirentHeader)) {
        const InodeNo inode = Le32(data, offset);
        const std::uint16_t recLen = Le16(data, offset + 4);
        const std::uint8_t nameLen = data[offset + 6];
        // A record that cannot hold its header and name, or runs past the data, is damage:
        // the listing ends there.
        if (recLen < kDirentHeader + nameLen || offset + recLen > end)
            break;
        if (inode != 0) { // inode 0 is a deleted entry: passed over, not the end
            if (inode < lowest || inode > inodesCount)
                break;
            if (head == kNoNode) {
                head = tail = m_catalog.AddNode(path);
                m_catalog.Node(head).is_header = 1;
                if (m_stop.ShouldStop())
                    break;
            }
            const std::string_view name(
                reinterpret_cast<const char*>(data.data() + offset + kDirentHeader), nameLen);
            const NodeId node = make(inode, data[offset + 7], name);
            if (node != kNoNode) {
                m_catalog.LinkSibling(tail, node);
                tail = node;
            }
        }
        offset += recLen;
        if (offset >= length || m_stop.ShouldStop())
            break;
    }
    return head;
}

void CopyInodeAttributes(CatalogNode& node, const InodeRecord& inode, std::uint64_t size) {
    const InodeView view{inode};
    node.ctime = view.i_ctime();
    node.mtime = view.i_mtime();
    node.size = size;
    node.mode = view.i_mode();
    node.uid = view.i_uid();
    node.gid = view.i_gid();
}

} // namespace twl

namespace twl {

// A node for one directory entry, or kNoNode when its inode claims a size that cannot be
// right: larger than the volume, or larger than its blocks can hold.
NodeId TreeBuilder::MakeEntryNode(InodeNo inode, std::uint8_t fileType, std::string_view name) {
    Ext2Volume& volume = m_reader.Volume();
    m_reader.ReadInode(inode);
    const InodeRecord record = volume.currentInode;
    const std::uint64_t size = InodeFileSize(record, volume.sb.HasLargeFile());
    if (size > volume.SizeInBytes() || !SizeFitsBlocks(record, size))
        return kNoNode;
    const bool plausible = IsPlausibleInode(record, volume.sb.s_blocks_count);
    const NodeId id = m_catalog.AddNode(name);
    CatalogNode& node = m_catalog.Node(id);
    node.inode = inode;
    node.type = EntryType(fileType, record);
    if (node.type == kTypeFile && m_candidates != nullptr)
        m_candidates->MarkFound(inode);
    if (plausible)
        CopyInodeAttributes(node, record, size);
    CountEntry(node);
    return id;
}

// The block-count check: a size beyond what the listed blocks hold means a damaged inode,
// unless the file is sparse. A hole ends the block list, so a sparse file is told from damage
// by its whole map: every pointer inside the volume, no data past the size, and i_blocks
// agreeing exactly with the data and map blocks found (plus an extended-attribute block).
std::uint8_t TreeBuilder::EntryType(std::uint8_t fileType, const InodeRecord& inode) const {
    const Ext2Volume& volume = m_reader.Volume();
    // Without the file-type feature every entry's type byte is 0: the inode's mode tells.
    if (volume.sb.HasFiletype())
        return fileType;
    if (!IsPlausibleInode(inode, volume.sb.s_blocks_count))
        return kTypeUnknown;
    return EntryTypeOfMode(InodeView{inode}.i_mode());
}

bool TreeBuilder::SizeFitsBlocks(const InodeRecord& inode, std::uint64_t size) {
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    const std::uint64_t needed = CeilDiv(size, blockSize);
    const BlockList list = m_reader.BuildBlockList(inode, needed);
    const std::uint64_t k = list.blocks.size();
    if (k == 0 || size <= k * blockSize)
        return true;
    // The walk stops at the size: a pointer for a block past it is damage, not followed.
    const BlockMapSurvey survey = m_reader.ForEachMappedBlock(inode, needed, {}, &m_stop);
    const InodeView view{inode};
    const std::uint64_t blocks =
        survey.dataBlocks + survey.mapBlocks + (view.i_file_acl() != 0 ? 1 : 0);
    return survey.outOfRangePointers == 0 && survey.pointersPastEnd == 0 && !survey.mapLoop &&
           !survey.stopped && blocks * m_reader.Volume().sectorsPerBlock == view.i_blocks();
}

void TreeBuilder::CountEntry(const CatalogNode& node) {
    ++m_counters.entriesFound;
    if (node.type == kTypeFolder) {
        ++m_counters.folders;
    } else {
        ++m_counters.files;
        m_counters.bytes += node.size;
    }
    m_events.TreeProgress(m_counters, Percent());
}

int TreeBuilder::Percent() const {
    const Superblock& sb = m_reader.Volume().sb;
    const std::uint64_t divisor = sb.s_block_group_nr == 0
                                      ? std::uint64_t{sb.s_inodes_count} - sb.s_free_inodes_count
                                      : sb.s_inodes_count;
    if (divisor == 0)
        return 0;
    return static_cast<int>(
        std::min<std::uint64_t>(100, std::uint64_t{m_counters.entriesFound} * 100 / divisor));
}

void RunTreeCreation(TreeBuilder& builder, StopControl& stop, EngineEvents& events) {
    builder.BuildTree();
    events.Progress(100);
    if (stop.StopRequested()) {
        events.Message(MessageIcon::kError, "Tree Creation Aborted");
        events.WorkerDone(-9);
    } else {
        events.Message(MessageIcon::kInformation, "Tree Creation Completed");
        events.WorkerDone(0);
    }
}

} // namespace twl
