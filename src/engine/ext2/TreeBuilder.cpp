#include "ext2/TreeBuilder.h"

#include "core/SizeText.h"
#include "core/TextEscape.h"
#include "core/TimeText.h"
#include "ext2/DirectoryRecords.h"
#include "ext2/ExtentFormat.h"
#include "ext2/FileMapping.h"

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
    // Each open child list, depth first: the next node to look at, and how far ahead its
    // folders have been announced to the disk.
    const NodeId first = m_catalog.Node(parent).first_child;
    std::vector<Lookahead> stack{{first, first}};
    AnnounceFolders(stack.back());
    while (!stack.empty()) {
        if (m_stop.ShouldStop())
            return;
        Lookahead& list = stack.back();
        NodeId& next = list.next;
        while (next != kNoNode && m_catalog.Node(next).type != kTypeFolder)
            next = m_catalog.Node(next).next_sibling;
        if (next == kNoNode) {
            stack.pop_back();
            continue;
        }
        const NodeId folder = next;
        next = m_catalog.Node(folder).next_sibling;
        list.announced -= list.announced > 0 ? 1 : 0;
        AnnounceFolders(list);
        const InodeNo inode = m_catalog.Node(folder).inode;
        if (!walked.insert(inode).second) {
            // Walked already, on this path (a loop) or elsewhere (a second name): listed only.
            if (m_walkedAgain++ == 0)
                m_firstWalkedAgain = ShownPath(m_catalog, folder);
            continue;
        }
        ListFolder(folder, inode);
        const NodeId children = m_catalog.Node(folder).first_child;
        stack.push_back({children, children});
        AnnounceFolders(stack.back());
    }
    m_keptFolders.clear();
}

// Announces the first blocks of a folder that the record alone names: runs of consecutive
// direct blocks of a block map, the extents of an extent root that is a leaf. Each run once.
void TreeBuilder::AnnounceFolderBlocks(const InodeRecord& record, std::uint64_t blockSize) {
    const InodeView view{record};
    const std::uint64_t blocks = std::min<std::uint64_t>(
        CeilDiv(std::min<std::uint64_t>(view.i_size(), kMaxDirectoryBytes), blockSize),
        kDirectBlocks);
    switch (MappingOf(record, MapKindsOf(m_reader.Volume().sb))) {
    case FileMapping::kInline:
        return;
    case FileMapping::kExtents: {
        const ConstBytes root = InlineData(record); // i_block, which holds the root
        const std::optional<ExtentHeader> header = ReadExtentHeader(root);
        for (std::size_t n = 0; header && header->depth == 0 && n < header->entries; ++n) {
            const ConstBytes entry = ExtentEntryAt(root, n);
            if (ExtentFirst(entry) < blocks && !ExtentUnwritten(entry))
                m_reader.WillReadBlocks(ExtentStart(entry),
                                        std::min(ExtentLength(entry), blocks - ExtentFirst(entry)));
        }
        return;
    }
    case FileMapping::kBlockMap:
        break;
    }
    for (std::uint64_t i = 0; i < blocks;) {
        const BlockNo first = view.i_block(i);
        std::uint64_t run = 1;
        while (i + run < blocks && view.i_block(i + run) == first + run)
            ++run;
        if (first != 0)
            m_reader.WillReadBlocks(first, run);
        i += run;
    }
}

// Tells the disk which folder blocks the walk will read next: the first blocks of the next
// kFoldersAhead folders of the list whose inodes were kept. A cold disk then serves them
// together instead of one seek at a time.
void TreeBuilder::AnnounceFolders(Lookahead& list) {
    constexpr std::uint32_t kFoldersAhead = 32;
    if (!m_reader.Source().WantsHints()) {
        // Folders passed over now are not announced later: a disk found slow again hints
        // from the folders ahead of that point.
        list.ahead = list.next;
        list.announced = 0;
        return;
    }
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    while (list.ahead != kNoNode && list.announced < kFoldersAhead) {
        const CatalogNode& node = m_catalog.Node(list.ahead);
        list.ahead = node.next_sibling;
        if (node.type != kTypeFolder)
            continue;
        ++list.announced;
        const auto kept = m_keptFolders.find(node.inode);
        if (kept == m_keptFolders.end())
            continue;
        AnnounceFolderBlocks(kept->second, blockSize);
    }
}

void TreeBuilder::ListFolder(NodeId folder, InodeNo n) {
    const Ext2Volume& volume = m_reader.Volume();
    InodeRecord directory;
    if (const auto kept = m_keptFolders.find(n); kept != m_keptFolders.end()) {
        directory = kept->second;
        m_keptFolders.erase(kept);
    } else {
        directory = m_reader.ReadInode(n).record;
    }
    if (!IsPlausibleInode(directory, volume.sb))
        return;
    const FolderData data = m_reader.ReadFolderData(n, directory, kMaxDirectoryBytes);
    if (!data.bytes.empty())
        m_catalog.AttachChildList(folder, ListDirectory(folder, data.bytes, data.length));
}

NodeId TreeBuilder::ListDirectory(NodeId folder, ConstBytes data, std::uint64_t length) {
    const FolderOpening opening = ReadFolderOpening(data, m_reader.Volume().sb.s_inodes_count);
    // A first block that does not open a folder is damage that hides that block only.
    Listing listing;
    listing.damaged = !opening.sound;
    const EntryRules rules{
        [this](InodeNo inode, const InodeRead& read) { return JudgeEntryInode(inode, read); },
        [this, folder](const ListedEntry& entry, const EntryInode& judged) {
            return MakeEntryNode(folder, entry, judged);
        }};
    return ListAndReport(listing, folder, data, length,
                         opening.sound ? opening.listingStart : m_reader.Volume().BlockSize(), 2,
                         rules);
}

NodeId TreeBuilder::ListEntries(NodeId folder, ConstBytes data, std::uint64_t length,
                                std::uint64_t offset, InodeNo lowest, const EntryRules& rules) {
    Listing listing;
    return ListAndReport(listing, folder, data, length, offset, lowest, rules);
}

NodeId TreeBuilder::ListAndReport(Listing& listing, NodeId folder, ConstBytes data,
                                  std::uint64_t length, std::uint64_t offset, InodeNo lowest,
                                  const EntryRules& rules) {
    listing.folder = folder;
    // "." and "..", not listed, may also have had later entries merged into them; but in a
    // hashed folder ".." reaches over the index's root (a zero word at 24, its length 8 at
    // 29), whose bytes are not entries.
    const ConstBytes opening =
        data.first(std::min<std::uint64_t>({offset, data.size(), m_reader.Volume().BlockSize()}));
    const bool indexRoot = opening.size() >= 32 && Le32(opening, 24) == 0 && opening[29] == 8;
    if (!indexRoot)
        ForEachDirectoryRecord(opening, 0, InodeRange{1, m_reader.Volume().sb.s_inodes_count},
                               [&](const DirectoryRecord& record) {
                                   NoteSlackNames(folder, opening, record);
                                   return WalkOn::kGoOn;
                               });
    try {
        ListRecords(listing, data, length, offset, lowest, rules);
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

namespace {

// Entries judged together: their inodes are read in one ascending pass. Bounds the memory a
// huge folder takes while it is listed (about 60 bytes an entry).
constexpr std::size_t kEntriesJudgedTogether = std::size_t{1} << 18;

} // namespace

// The records from `offset` on, block by block: damage passes over the rest of its block. The
// live entries are gathered, then judged and made into nodes a batch at a time.
void TreeBuilder::ListRecords(Listing& listing, ConstBytes data, std::uint64_t length,
                              std::uint64_t offset, InodeNo lowest, const EntryRules& rules) {
    const InodeRange range{lowest, m_reader.Volume().sb.s_inodes_count};
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    const std::uint64_t end = std::min<std::uint64_t>(length, data.size());
    ConstBytes block;
    const auto gather = [&](const DirectoryRecord& record) {
        // inode 0 is a deleted entry: passed over, not the end
        if (record.inode != 0)
            listing.pending.push_back({record.inode, record.fileType, record.NameText()});
        NoteSlackNames(listing.folder, block, record);
        return WalkOn::kGoOn;
    };
    while (offset < end) {
        const std::uint64_t blockStart = offset / blockSize * blockSize;
        const std::uint64_t blockEnd = std::min(end, blockStart + blockSize);
        block = data.subspan(blockStart, blockEnd - blockStart);
        if (ForEachDirectoryRecord(block, offset - blockStart, range, gather) ==
                RecordsEnd::kDamage &&
            listing.firstDamage == kNoDamage)
            listing.firstDamage = listing.made + listing.pending.size();
        offset = blockEnd;
        if (listing.pending.size() >= kEntriesJudgedTogether && !MakePending(listing, rules))
            return;
    }
    if (MakePending(listing, rules))
        listing.damaged = listing.damaged || listing.firstDamage != kNoDamage;
}

// What a record leaves after its name may hold entries a deletion merged into it: their
// names are kept for Turbo Scan. (A record of no name and no inode spanning a block is an
// index block of a hashed folder, whose bytes are not entries.)
void TreeBuilder::NoteSlackNames(NodeId folder, ConstBytes block, const DirectoryRecord& record) {
    if (record.slack <= kDirentHeader + 3 || (record.inode == 0 && record.nameLen == 0))
        return;
    ForEachSlackEntry(
        block, record.offset + kDirentHeader + record.nameLen, record.offset + record.recLen,
        InodeRange{1, m_reader.Volume().sb.s_inodes_count}, [&](const DirectoryRecord& old) {
            m_catalog.AddSlackName(
                {old.inode, folder, old.fileType, false, std::string(old.NameText())});
        });
}

// Judges the pending entries and makes their nodes in listing order. False when a stop ended
// the listing; the damage met before the entry it ended at is still told.
bool TreeBuilder::MakePending(Listing& listing, const EntryRules& rules) {
    const std::vector<EntryInode> judged = JudgeInInodeOrder(listing.pending, rules);
    const bool judgedAll = judged.size() == listing.pending.size();
    for (std::size_t i = 0; i < listing.pending.size(); ++i) {
        if (!judgedAll ||
            ListEntry(listing, listing.pending[i], judged[i], rules) == WalkOn::kEnd) {
            listing.damaged = listing.damaged || listing.firstDamage <= listing.made + i;
            return false;
        }
    }
    listing.made += listing.pending.size();
    listing.pending.clear();
    return true;
}

namespace {

// The entries as (inode << 32 | index), sorted: by inode, and in listing order among entries
// naming the same inode. A folder's inodes usually lie close together, so they are counted
// into place; entries spread wide are sorted.
std::vector<std::uint64_t> InodeOrder(const std::vector<ListedEntry>& entries) {
    std::vector<std::uint64_t> order(entries.size());
    if (entries.empty())
        return order;
    const auto [low, high] = std::minmax_element(
        entries.begin(), entries.end(),
        [](const ListedEntry& a, const ListedEntry& b) { return a.inode < b.inode; });
    const std::uint64_t span = std::uint64_t{high->inode} - low->inode + 1;
    if (span > 4 * entries.size()) {
        for (std::size_t i = 0; i < entries.size(); ++i)
            order[i] = std::uint64_t{entries[i].inode} << 32 | i;
        std::sort(order.begin(), order.end());
        return order;
    }
    std::vector<std::uint32_t> starts(span + 1, 0);
    for (const ListedEntry& entry : entries)
        ++starts[entry.inode - low->inode + 1];
    for (std::size_t i = 1; i < starts.size(); ++i)
        starts[i] += starts[i - 1];
    for (std::size_t i = 0; i < entries.size(); ++i)
        order[starts[entries[i].inode - low->inode]++] = std::uint64_t{entries[i].inode} << 32 | i;
    return order;
}

} // namespace

// The judgement of each entry, read in ascending inode order (an inode named twice is read
// once). Shorter than `entries` when a stop came first.
std::vector<EntryInode> TreeBuilder::JudgeInInodeOrder(const std::vector<ListedEntry>& entries,
                                                       const EntryRules& rules) {
    const std::vector<std::uint64_t> order = InodeOrder(entries);
    std::vector<InodeNo> inodes(order.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        inodes[k] = static_cast<InodeNo>(order[k] >> 32);
    std::vector<EntryInode> judged(entries.size());
    bool stopped = false;
    constexpr std::size_t kStopCheck = 1024;
    m_reader.ReadInodesInOrder(inodes, [&](std::size_t k, const InodeRead& read) {
        if (k % kStopCheck == kStopCheck - 1 && m_stop.ShouldStop()) {
            stopped = true;
            return false;
        }
        const std::size_t at = order[k] & 0xFFFFFFFF;
        // An inode named twice is judged once.
        judged[at] = k > 0 && inodes[k - 1] == inodes[k] ? judged[order[k - 1] & 0xFFFFFFFF]
                                                         : rules.judge(inodes[k], read);
        return true;
    });
    if (stopped)
        judged.clear();
    return judged;
}

// One entry: its node, after the header that opens the list. Ends the listing when a stop is
// asked for.
WalkOn TreeBuilder::ListEntry(Listing& listing, const ListedEntry& entry, const EntryInode& judged,
                              const EntryRules& rules) {
    if (listing.head == kNoNode) {
        listing.head = listing.tail = m_catalog.AddPathHeader();
        if (m_stop.ShouldStop())
            return WalkOn::kEnd;
    }
    const NodeId node = rules.make(entry, judged);
    if (node != kNoNode) {
        m_catalog.LinkSibling(listing.tail, node);
        listing.tail = node;
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

EntryInode InodeAttributes(const InodeRecord& inode, const Superblock& sb) {
    const InodeView view{inode};
    EntryInode judged;
    judged.recordedSize = judged.size = InodeFileSize(inode, sb.HasLargeFile());
    judged.ctime = view.i_ctime();
    judged.mtime = view.i_mtime();
    judged.mode = view.i_mode();
    judged.uid = view.i_uid();
    judged.gid = view.i_gid();
    judged.plausible = IsPlausibleInode(inode, sb);
    return judged;
}

void CopyInodeAttributes(CatalogNode& node, const EntryInode& inode) {
    node.ctime = inode.ctime;
    node.mtime = inode.mtime;
    node.size = inode.size;
    node.mode = inode.mode;
    node.uid = inode.uid;
    node.gid = inode.gid;
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

// The tree walk's judgement of an entry's inode: its attributes, and whether its size is one
// its blocks can hold.
EntryInode TreeBuilder::JudgeEntryInode(InodeNo inode, const InodeRead& read) {
    const InodeRecord& record = read.record;
    const Superblock& sb = m_reader.Volume().sb;
    EntryInode judged = InodeAttributes(record, sb);
    judged.sizeHolds = SizeFitsBlocks(record, judged.size);
    judged.quiet = read.readable && InodeView{record}.i_dtime() == 0;
    // A record that could not be read is read again when its folder is listed.
    if (read.readable && InodeView{record}.FileType() == kModeDirectory &&
        m_keptFolders.size() < kMostKeptFolders)
        m_keptFolders.emplace(inode, record);
    return judged;
}

// A node for one directory entry, or kNoNode when its inode claims a size that cannot be
// right: larger than the volume, or larger than its blocks can hold. A file left out is
// counted and named in the process log.
NodeId TreeBuilder::MakeEntryNode(NodeId folder, const ListedEntry& entry,
                                  const EntryInode& judged) {
    if (!judged.sizeHolds) {
        const char* why = judged.size > m_reader.Volume().SizeInBytes()
                              ? "its size is larger than the volume"
                              : "its size is larger than its blocks hold";
        ++m_leftOut;
        Log("File left out, " + std::string(why) + ": " + ShownPath(m_catalog, folder) + "\\" +
                EscapeBytes(entry.name),
            LogIcon::kError);
        return kNoNode;
    }
    const NodeId id = AddEntryNode(entry, judged);
    if (judged.quiet)
        m_catalog.MarkQuiet(entry.inode, m_reader.Volume().sb.s_inodes_count);
    CountEntry(m_catalog.Node(id));
    return id;
}

NodeId TreeBuilder::AddEntryNode(const ListedEntry& entry, const EntryInode& judged) {
    const NodeId id = m_catalog.AddNode(entry.name);
    CatalogNode& node = m_catalog.Node(id);
    node.inode = entry.inode;
    node.type = EntryType(entry.fileType, judged);
    if (node.type == kTypeFile && m_candidates != nullptr)
        m_candidates->MarkFound(entry.inode);
    if (judged.plausible)
        CopyInodeAttributes(node, judged);
    return id;
}

// The block-count check: a size beyond what the listed blocks hold means a damaged inode,
// unless the file is sparse. A hole ends the block list, so a sparse file is told from damage
// by its whole map: every pointer inside the volume, no data past the size, and i_blocks
// agreeing exactly with the data and map blocks found (plus an extended-attribute block).
std::uint8_t TreeBuilder::EntryType(std::uint8_t fileType, const EntryInode& inode) const {
    // Without the file-type feature every entry's type byte is 0: the inode's mode tells.
    if (m_reader.Volume().sb.HasFiletype())
        return fileType;
    if (!inode.plausible)
        return kTypeUnknown;
    return EntryTypeOfMode(inode.mode);
}

bool TreeBuilder::SizeFitsBlocks(const InodeRecord& inode, std::uint64_t size) {
    // Larger than the volume: only a sparse file whose whole map is sound and whose last block
    // holds data is that. A size grown past the map by damage (a high word set) ends in a hole.
    if (size > m_reader.Volume().SizeInBytes())
        return HealthySparse(inode, size, /*lastBlockMapped=*/true);
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    // One block or none: a list of one block holds it, and an empty list is kept.
    if (size <= blockSize)
        return true;
    const BlockCount list = m_reader.CountBlockList(inode, CeilDiv(size, blockSize));
    const std::uint64_t k = list.blocks;
    // A map that loops names blocks without end: too few of them is not what it says.
    if (k == 0 || list.looped || size <= k * blockSize)
        return true;
    return HealthySparse(inode, size, false);
}

bool TreeBuilder::HealthySparse(const InodeRecord& inode, std::uint64_t size,
                                bool lastBlockMapped) {
    // Past what the direct, indirect, double and triple indirect pointers (or an extent's
    // 32-bit logical block numbers) can reach, a size is damage however sound the map.
    const Ext2Volume& volume = m_reader.Volume();
    const std::uint64_t blockSize = volume.BlockSize();
    const std::uint64_t p = blockSize / 4;
    const std::uint64_t reach = MappingOf(inode, MapKindsOf(volume.sb)) == FileMapping::kExtents
                                    ? std::uint64_t{1} << 32
                                    : 12 + p + p * p + p * p * p;
    if (CeilDiv(size, blockSize) > reach)
        return false;
    const std::uint64_t needed = CeilDiv(size, blockSize);
    // The walk stops at the size: a pointer for a block past it is damage, not followed.
    // Blocks given but never written (ext4's uninitialised extents) are the file's too.
    bool last = false;
    std::uint64_t unwritten = 0;
    const BlockMapSurvey survey = m_reader.ForEachFileBlock(
        inode, needed,
        [&](const FileBlock& step) {
            if (step.step == BlockStep::kData || step.step == BlockStep::kUnwritten)
                last = last || step.logical + step.count == needed;
            if (step.step == BlockStep::kUnwritten)
                unwritten += step.count;
            return WalkOn::kGoOn;
        },
        &m_stop);
    if (lastBlockMapped && !last)
        return false;
    const InodeView view{inode};
    const std::uint64_t blocks =
        survey.dataBlocks + unwritten + survey.mapBlocks + (view.i_file_acl() != 0 ? 1 : 0);
    return survey.outOfRangePointers == 0 && survey.pointersPastEnd == 0 && !survey.mapLoop &&
           !survey.stopped && blocks * volume.sectorsPerBlock == InodeSectors(inode, volume.sb);
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
