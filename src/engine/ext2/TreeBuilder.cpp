#include "ext2/TreeBuilder.h"

#include "core/SizeText.h"
#include "core/TextEscape.h"
#include "core/TimeText.h"
#include "ext2/DirectoryRecords.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace twl {
namespace {

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
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
    WalkDirectory(kRootAnchor, kRootInode);
    ReportFindings();
}

void TreeBuilder::WalkDirectory(NodeId parent, InodeNo n, const std::vector<InodeNo>& ancestors) {
    if (m_stop.ShouldStop())
        return;
    std::unordered_set<InodeNo> walked(ancestors.begin(), ancestors.end());
    walked.insert(n);
    ListFolder(parent, n);
    // The next node to look at in each open child list, depth first.
    std::vector<NodeId> stack{m_catalog.Node(parent).first_child};
    while (!stack.empty()) {
        if (m_stop.ShouldStop())
            return;
        NodeId& next = stack.back();
        while (next != kNoNode && m_catalog.Node(next).type != kTypeFolder)
            next = m_catalog.Node(next).next_sibling;
        if (next == kNoNode) {
            stack.pop_back();
            continue;
        }
        const NodeId folder = next;
        next = m_catalog.Node(folder).next_sibling;
        const InodeNo inode = m_catalog.Node(folder).inode;
        if (!walked.insert(inode).second) {
            // Walked already, on this path (a loop) or elsewhere (a second name): listed only.
            if (m_walkedAgain++ == 0)
                m_firstWalkedAgain = ShownPath(m_catalog, folder);
            continue;
        }
        ListFolder(folder, inode);
        stack.push_back(m_catalog.Node(folder).first_child);
    }
}

void TreeBuilder::ListFolder(NodeId folder, InodeNo n) {
    const Ext2Volume& volume = m_reader.Volume();
    const InodeRecord directory = m_reader.ReadInode(n).record;
    if (!IsPlausibleInode(directory, volume.sb.s_blocks_count))
        return;
    const std::uint64_t length = InodeView{directory}.i_size();
    // Blocks past i_size are never listed, so they are not read.
    const std::uint64_t wanted = CeilDiv(std::min(length, kMaxDirectoryBytes), volume.BlockSize());
    const std::vector<std::uint8_t> data = m_reader.ReadDataToFirstHole(directory, wanted);
    if (!data.empty())
        m_catalog.AttachChildList(folder, ListDirectory(folder, data, length));
}

NodeId TreeBuilder::ListDirectory(NodeId folder, ConstBytes data, std::uint64_t length) {
    const FolderOpening opening = ReadFolderOpening(data, m_reader.Volume().sb.s_inodes_count);
    // A first block that does not open a folder is damage that hides that block only.
    Listing listing;
    listing.damaged = !opening.sound;
    return ListAndReport(
        listing, folder, data, length,
        opening.sound ? opening.listingStart : m_reader.Volume().BlockSize(), 2,
        [this, folder](InodeNo inode, std::uint8_t fileType, std::string_view name) {
            return MakeEntryNode(folder, inode, fileType, name);
        });
}

NodeId TreeBuilder::ListEntries(NodeId folder, ConstBytes data, std::uint64_t length,
                                std::uint64_t offset, InodeNo lowest, const EntryMaker& make) {
    Listing listing;
    return ListAndReport(listing, folder, data, length, offset, lowest, make);
}

NodeId TreeBuilder::ListAndReport(Listing& listing, NodeId folder, ConstBytes data,
                                  std::uint64_t length, std::uint64_t offset, InodeNo lowest,
                                  const EntryMaker& make) {
    try {
        ListRecords(listing, data, length, offset, lowest, make);
    } catch (...) {
        // Memory or the catalogue ran out: what was listed so far stays with its folder.
        if (listing.head != kNoNode)
            m_catalog.AttachChildList(folder, listing.head);
        throw;
    }
    if (listing.damaged)
        Log("Damaged folder records passed over in " + ShownPath(m_catalog, folder),
            LogIcon::kError);
    return listing.head;
}

// The records from `offset` on, block by block: damage passes over the rest of its block.
void TreeBuilder::ListRecords(Listing& listing, ConstBytes data, std::uint64_t length,
                              std::uint64_t offset, InodeNo lowest, const EntryMaker& make) {
    const InodeRange range{lowest, m_reader.Volume().sb.s_inodes_count};
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    const std::uint64_t end = std::min<std::uint64_t>(length, data.size());
    const auto visit = [&](const DirectoryRecord& record) {
        return ListRecord(listing, record, make);
    };
    while (offset < end) {
        const std::uint64_t blockStart = offset / blockSize * blockSize;
        const std::uint64_t blockEnd = std::min(end, blockStart + blockSize);
        const ConstBytes block = data.subspan(blockStart, blockEnd - blockStart);
        const RecordsEnd how = ForEachDirectoryRecord(block, offset - blockStart, range, visit);
        if (how == RecordsEnd::kVisitor)
            return;
        listing.damaged = listing.damaged || how == RecordsEnd::kDamage;
        offset = blockEnd;
    }
}

// One record: a node for a live entry, after the header that opens the list. Ends the
// listing when a stop is asked for.
WalkOn TreeBuilder::ListRecord(Listing& listing, const DirectoryRecord& record,
                               const EntryMaker& make) {
    if (record.inode != 0) { // inode 0 is a deleted entry: passed over, not the end
        if (listing.head == kNoNode) {
            listing.head = listing.tail = m_catalog.AddPathHeader();
            if (m_stop.ShouldStop())
                return WalkOn::kEnd;
        }
        const NodeId node = make(record.inode, record.fileType, record.NameText());
        if (node != kNoNode) {
            m_catalog.LinkSibling(listing.tail, node);
            listing.tail = node;
        }
    }
    return m_stop.ShouldStop() ? WalkOn::kEnd : WalkOn::kGoOn;
}

void TreeBuilder::Log(const std::string& description, LogIcon icon) {
    m_events.LogRow({0, m_logProcess, description, CurrentTimeText()}, icon);
}

void TreeBuilder::ReportFindings() {
    if (m_walkedAgain != 0)
        Log(std::to_string(m_walkedAgain) +
                " folder entries name a folder listed already and were not walked again; the "
                "first: " +
                m_firstWalkedAgain,
            LogIcon::kInformation);
    if (m_leftOut != 0)
        Log(std::to_string(m_leftOut) + " files left out for damage", LogIcon::kError);
    m_walkedAgain = m_leftOut = 0;
    m_firstWalkedAgain.clear();
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
// right: larger than the volume, or larger than its blocks can hold. A file left out is
// counted and named in the process log.
NodeId TreeBuilder::MakeEntryNode(NodeId folder, InodeNo inode, std::uint8_t fileType,
                                  std::string_view name) {
    const Ext2Volume& volume = m_reader.Volume();
    const InodeRecord record = m_reader.ReadInode(inode).record;
    const std::uint64_t size = InodeFileSize(record, volume.sb.HasLargeFile());
    const char* why = nullptr;
    if (!SizeFitsBlocks(record, size))
        why = size > volume.SizeInBytes() ? "its size is larger than the volume"
                                          : "its size is larger than its blocks hold";
    if (why != nullptr) {
        ++m_leftOut;
        Log("File left out, " + std::string(why) + ": " + ShownPath(m_catalog, folder) + "\\" +
                EscapeBytes(name),
            LogIcon::kError);
        return kNoNode;
    }
    const NodeId id = AddEntryNode(name, inode, fileType, record, size);
    CountEntry(m_catalog.Node(id));
    return id;
}

NodeId TreeBuilder::AddEntryNode(std::string_view name, InodeNo inode, std::uint8_t fileType,
                                 const InodeRecord& record, std::uint64_t size) {
    const NodeId id = m_catalog.AddNode(name);
    CatalogNode& node = m_catalog.Node(id);
    node.inode = inode;
    node.type = EntryType(fileType, record);
    if (node.type == kTypeFile && m_candidates != nullptr)
        m_candidates->MarkFound(inode);
    if (IsPlausibleInode(record, m_reader.Volume().sb.s_blocks_count))
        CopyInodeAttributes(node, record, size);
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
    // Larger than the volume: only a sparse file whose whole map is sound and whose last block
    // holds data is that. A size grown past the map by damage (a high word set) ends in a hole.
    if (size > m_reader.Volume().SizeInBytes())
        return HealthySparse(inode, size, /*lastBlockMapped=*/true);
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    const BlockCount list = m_reader.CountBlockList(inode, CeilDiv(size, blockSize));
    const std::uint64_t k = list.blocks;
    // A map that loops names blocks without end: too few of them is not what it says.
    if (k == 0 || list.looped || size <= k * blockSize)
        return true;
    return HealthySparse(inode, size, false);
}

bool TreeBuilder::HealthySparse(const InodeRecord& inode, std::uint64_t size,
                                bool lastBlockMapped) {
    // Past what the direct, indirect, double and triple indirect pointers can reach, a size
    // is damage however sound the map.
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    const std::uint64_t p = blockSize / 4;
    if (CeilDiv(size, blockSize) > 12 + p + p * p + p * p * p)
        return false;
    const std::uint64_t needed = CeilDiv(size, blockSize);
    // The walk stops at the size: a pointer for a block past it is damage, not followed.
    bool last = false;
    const BlockMapSurvey survey = m_reader.ForEachMappedBlock(
        inode, needed,
        [&](std::uint64_t logical, BlockNo) { last = last || logical + 1 == needed; }, &m_stop,
        /*capAtVolume=*/false);
    if (lastBlockMapped && !last)
        return false;
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
    const std::string failure = RunWithinCatalogLimits([&] { builder.BuildTree(); });
    events.Progress(100);
    if (!failure.empty()) {
        builder.ReportFindings();
        events.Message(MessageIcon::kError,
                       "Tree Creation Ended Early: " + failure + "; the tree built so far is kept");
        events.WorkerDone(WorkerResult::kAborted);
    } else if (stop.StopRequested()) {
        events.Message(MessageIcon::kError, "Tree Creation Aborted");
        events.WorkerDone(WorkerResult::kAborted);
    } else {
        events.Message(MessageIcon::kInformation, "Tree Creation Completed");
        events.WorkerDone(WorkerResult::kCompleted);
    }
}

} // namespace twl
