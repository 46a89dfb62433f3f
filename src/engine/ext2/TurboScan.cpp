#include "ext2/TurboScan.h"

#include "core/SizeText.h"
#include "core/TimeText.h"
#include "ext2/FileMapping.h"
#include "ext2/MarkedTotals.h"
#include "ext2/TreeBlockClaims.h"
#include "ext2/journal/JournalRecovery.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_set>

namespace twl {
namespace {

constexpr std::uint64_t kRunSectors = 63;
constexpr std::uint64_t kChunkSectors = 16 * kRunSectors;
// Status panes are cleared with blanks: 18 for pane 0, 16 for pane 1.
std::string Blanks(std::size_t count) {
    return std::string(count, ' ');
}

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

// The candidate test: an ordinary inode (not one of the file system's own, such as the
// journal) of a regular file with a size and some block (a sparse file may begin with a
// hole), or of a directory with a size and a first block.
bool IsCandidate(InodeNo inode, const InodeRecord& record, const Superblock& sb) {
    const InodeView v{record};
    if (inode <= 2 || inode < FirstOrdinaryInode(sb) || v.i_ctime() == 0 || v.i_mtime() == 0 ||
        !PaddingClear(record, sb) || !MapPlausible(record, sb) || v.i_size() == 0)
        return false;
    if (v.FileType() == kModeDirectory)
        return MapsFirstBlock(record, MapKindsOf(sb));
    return v.FileType() == kModeRegular && MapsAnyBlock(record, MapKindsOf(sb));
}

// "." and ".." where a healthy directory has them, naming the directory itself, and a listing
// that starts inside i_size.
bool LooksLikeOwnDirectory(ConstBytes data, InodeNo inode, std::uint32_t inodesCount,
                           std::uint64_t size) {
    const FolderOpening opening = ReadFolderOpening(data, inodesCount);
    return opening.sound && opening.self == inode && opening.listingStart < size;
}

// How many nodes of the root anchor's child list have a name beginning with `word`, as an
// 8-bit count, plus one.
int ContainerNumber(const Catalog& catalog, const std::string& word) {
    std::uint8_t count = 0;
    for (NodeId id = catalog.Node(kRootAnchor).first_child; id != kNoNode;
         id = catalog.Node(id).next_sibling) {
        if (catalog.Name(id).substr(0, word.size()) == word)
            ++count;
    }
    return count + 1;
}

} // namespace

TurboScan::TurboScan(VolumeReader& reader, Catalog& catalog, TreeCounters& counters,
                     StopControl& stop, EngineEvents& events)
    : m_reader(reader), m_catalog(catalog), m_stop(stop), m_events(events),
      m_builder(reader, catalog, counters, stop, events), m_bitmaps(reader),
      m_chunk(kChunkSectors * kSectorSize) {
    m_builder.SetCandidates(&m_candidates);
    m_builder.SetLogProcess(kTurboScanProcess);
}

bool TurboScan::FindInodeInCatalogue(InodeNo inode) const {
    const bool found =
        m_index ? m_index->Contains(inode) : twl::FindInodeInCatalogue(m_catalog, inode);
    if (m_lookupObserver)
        m_lookupObserver(inode, found);
    return found;
}

NodeId TurboScan::AppendToRoot(NodeId node) {
    if (m_rootTail == kNoNode) {
        m_catalog.AttachChildList(kRootAnchor, node);
    } else {
        m_catalog.LinkSibling(m_rootTail, node);
    }
    m_rootTail = node;
    return node;
}

void TurboScan::AppendChild(NodeId container, NodeId& tail, NodeId node) {
    if (tail == kNoNode)
        m_catalog.AttachChildList(container, node);
    else
        m_catalog.LinkSibling(tail, node);
    tail = node;
}

// A container at the end of the root anchor's list, with its header as its only child.
NodeId TurboScan::AppendContainer(const std::string& word) {
    const std::string name = word + std::to_string(ContainerNumber(m_catalog, word));
    const NodeId container = AppendToRoot(m_catalog.AddNode(name));
    m_catalog.Node(container).type = kTypeFolder;
    m_catalog.AttachChildList(container, m_catalog.AddPathHeader());
    return container;
}

int TurboScan::SearchLostFolders() {
    // The root list's tail, and a header for an empty root list.
    m_rootTail = kNoNode;
    for (NodeId id = m_catalog.Node(kRootAnchor).first_child; id != kNoNode;
         id = m_catalog.Node(id).next_sibling)
        m_rootTail = id;
    if (m_rootTail == kNoNode)
        AppendToRoot(m_catalog.AddPathHeader());
    m_lostFolders = AppendContainer("Lost Folders");
    m_lostFoldersTail = m_catalog.Node(m_lostFolders).first_child;
    m_deletedFiles = AppendContainer("Deleted Files");
    m_deletedFilesTail = m_catalog.Node(m_deletedFiles).first_child;
    m_foldersInContainer.clear();
    m_deletedFolders.clear();
    m_index.emplace(m_catalog, m_reader.Volume().sb.s_inodes_count);

    const std::uint32_t groups = m_reader.Volume().groupCount;
    for (std::uint32_t g = 0; g < groups; ++g) {
        if (!ScanGroup(g) || m_stop.ShouldStop()) {
            m_index.reset();
            m_builder.ReportFindings();
            return 0;
        }
    }
    Prune();
    PlaceNamedDeletedFiles();
    m_index.reset();
    m_builder.ReportFindings();
    m_events.StatusText(0, Blanks(18));
    return 1;
}

// Gives the deleted files this pass found the names their folders' records left of them:
// each moves from the Deleted Files container to its old folder under that name, marked as
// deleted. The others stay "InodeN". A deleted folder found with its blocks intact goes back
// too, with its content, and a deleted empty file, which no block makes a candidate, is
// listed when such a name is left for it.
void TurboScan::PlaceNamedDeletedFiles() {
    std::vector<Catalog::SlackName>& names = m_catalog.SlackNames();
    if (names.empty())
        return;
    std::unordered_map<InodeNo, std::vector<std::size_t>> namesOf;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!names[i].given)
            namesOf[names[i].inode].push_back(i);
    const NameTimes times = ReadNameTimes(namesOf);
    // A name goes only into a folder the catalogue shows (a lost folder merged into another
    // or pruned is not), and a folder never into itself or a folder below it.
    std::unordered_set<NodeId> shown{kRootAnchor};
    m_catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        if (m_catalog.Node(id).type == kTypeFolder)
            shown.insert(id);
    });
    const auto placeable = [&](NodeId id, std::size_t name) {
        const NodeId folder = names[name].folder;
        if (!shown.contains(folder))
            return false;
        std::size_t steps = 0;
        for (NodeId at = folder; at != kRootAnchor && steps < m_catalog.NodeCount();
             at = m_catalog.Node(at).parent, ++steps)
            if (at == id)
                return false;
        return true;
    };
    // Of the names left for node `id` (kNoNode for a file not in the catalogue), the newest
    // it can take.
    const auto choose = [&](NodeId id, InodeNo inode) -> std::optional<std::size_t> {
        const auto it = namesOf.find(inode);
        if (it == namesOf.end())
            return std::nullopt;
        const auto parent = m_catalog.LostFolderParents().find(id);
        NameRanking ranking{names, times, m_catalog,
                            parent == m_catalog.LostFolderParents().end() ? 0 : parent->second};
        std::optional<std::size_t> best;
        for (const std::size_t name : it->second)
            if (placeable(id, name) && (!best || ranking.Newer(name, *best, inode)))
                best = name;
        return best;
    };
    std::unordered_map<NodeId, NodeId> tails;
    // `found` (a copy) under name `index` in its old folder; a folder takes `content` along.
    const auto place = [&](const CatalogNode& found, std::size_t index, NodeId content = kNoNode) {
        Catalog::SlackName& name = names[index];
        name.given = true;
        const NodeId placed = m_catalog.AddNode(name.name);
        CatalogNode& node = m_catalog.Node(placed);
        CopyItemAttributes(node, found);
        node.type = found.type;
        node.size = found.size;
        node.inode = found.inode;
        node.flags = found.flags | kNodeDeleted;
        auto [tail, fresh] = tails.try_emplace(name.folder, kNoNode);
        if (fresh)
            tail->second = ChildListTail(name.folder);
        node.next_sibling = m_catalog.Node(tail->second).next_sibling; // inserted, not appended
        m_catalog.LinkSibling(tail->second, placed);
        tail->second = placed;
        if (content != kNoNode)
            m_catalog.AttachChildList(placed, content);
        namesOf.erase(found.inode);
    };
    std::optional<std::size_t> chosen; // the name `wanted` chose for the node `take` gets
    TakeOut(
        m_deletedFiles, m_deletedFilesTail,
        [&](NodeId id) { return (chosen = choose(id, m_catalog.Node(id).inode)).has_value(); },
        [&](const CatalogNode& node) { place(node, *chosen); });
    // Deleted folders found with their blocks intact go back with their content.
    TakeOut(
        m_lostFolders, m_lostFoldersTail,
        [&](NodeId id) {
            const InodeNo inode = m_catalog.Node(id).inode;
            return m_deletedFolders.contains(inode) && (chosen = choose(id, inode)).has_value();
        },
        [&](const CatalogNode& node) { place(node, *chosen, node.first_child); });
    PlaceNamedEmptyFiles(namesOf, [&](const CatalogNode& found) {
        if (const std::optional<std::size_t> name = choose(kNoNode, found.inode))
            place(found, *name);
    });
}

// When names in different folders are left for one inode, the inode's deletion time and the
// folders' times tell which is newest: the root folder's time and the deletion time of each
// such inode are read here, in one pass in inode order.
TurboScan::NameTimes
TurboScan::ReadNameTimes(const std::unordered_map<InodeNo, std::vector<std::size_t>>& namesOf) {
    const std::vector<Catalog::SlackName>& names = m_catalog.SlackNames();
    std::vector<InodeNo> contested;
    for (const auto& entry : namesOf) {
        const std::vector<std::size_t>& list = entry.second;
        if (std::any_of(list.begin(), list.end(), [&](std::size_t i) {
                return names[i].folder != names[list.front()].folder;
            }))
            contested.push_back(entry.first);
    }
    NameTimes times;
    if (contested.empty())
        return times;
    contested.push_back(kRootInode);
    std::sort(contested.begin(), contested.end());
    m_reader.ReadInodesInOrder(contested, [&](std::size_t k, const InodeRead& read) {
        const InodeView view{read.record};
        if (contested[k] == kRootInode)
            times.rootChanged = view.i_mtime();
        else
            times.deleted[contested[k]] = view.i_dtime();
        return !m_stop.ShouldStop();
    });
    return times;
}

// Whether name a is newer than name b for `inode`. A folder's own ".." names the folder it
// was in last. Otherwise removing a name changes its folder, so the folder changed at the
// inode's deletion, or nearest after it, held the last name; one changed only before it held
// an older one (a rename's). Between names of one folder, the later listed wins.
bool TurboScan::NameRanking::Newer(std::size_t a, std::size_t b, InodeNo inode) const {
    const auto deleted = times.deleted.find(inode);
    const std::uint32_t at = deleted == times.deleted.end() ? 0 : deleted->second;
    const auto rank = [&](std::size_t name) {
        const NodeId folder = names[name].folder;
        const InodeNo folderInode = folder == kRootAnchor ? kRootInode : catalog.Node(folder).inode;
        const std::uint32_t changed =
            folder == kRootAnchor ? times.rootChanged : catalog.Node(folder).mtime;
        const bool after = changed >= at;
        const std::uint32_t distance = after ? changed - at : at - changed;
        return std::tuple{parent != 0 && folderInode == parent, after,
                          std::numeric_limits<std::uint32_t>::max() - distance, name};
    };
    return rank(a) > rank(b);
}

// Takes the nodes `wanted` accepts (by id) out of `container`'s list (`tail` its last node),
// each handed to `take` as a copy.
template <typename Wanted, typename Take>
void TurboScan::TakeOut(NodeId container, NodeId& tail, const Wanted& wanted, const Take& take) {
    NodeId previous = m_catalog.Node(container).first_child; // the header stays
    for (NodeId id = m_catalog.Node(previous).next_sibling; id != kNoNode;) {
        const NodeId next = m_catalog.Node(id).next_sibling;
        const CatalogNode node = m_catalog.Node(id);
        if (wanted(id)) {
            m_catalog.Node(previous).next_sibling = next;
            if (tail == id)
                tail = previous;
            take(node);
        } else {
            previous = id;
        }
        id = next;
    }
}

// The inodes of names left over that are deleted empty regular files, not in the catalogue.
template <typename Place>
void TurboScan::PlaceNamedEmptyFiles(
    const std::unordered_map<InodeNo, std::vector<std::size_t>>& namesOf, const Place& place) {
    const Superblock& sb = m_reader.Volume().sb;
    std::vector<InodeNo> rest;
    for (const auto& [inode, list] : namesOf)
        if (inode >= FirstOrdinaryInode(sb) && inode <= sb.s_inodes_count &&
            !FindInodeInCatalogue(inode))
            rest.push_back(inode);
    std::sort(rest.begin(), rest.end());
    m_reader.ReadInodesInOrder(rest, [&](std::size_t k, const InodeRead& read) {
        const InodeView view{read.record};
        if (read.readable && view.i_dtime() != 0 && view.i_ctime() != 0 &&
            view.FileType() == kModeRegular && view.i_size() == 0 && view.i_dir_acl() == 0 &&
            !MapsAnyBlock(read.record, MapKindsOf(sb))) {
            CatalogNode found;
            found.type = kTypeFile;
            found.inode = rest[k];
            CopyInodeAttributes(found, read.record, 0);
            place(found);
        }
        return true;
    });
}

// The node of `folder`'s child list after which its deleted files go: its last one, or at
// the root its last before Turbo Scan's containers. A folder without a list gets a header.
NodeId TurboScan::ChildListTail(NodeId folder) {
    NodeId tail = m_catalog.Node(folder).first_child;
    if (tail == kNoNode) {
        tail = m_catalog.AddPathHeader();
        m_catalog.AttachChildList(folder, tail);
        return tail;
    }
    for (std::size_t steps = 0; steps < m_catalog.NodeCount(); ++steps) {
        const NodeId next = m_catalog.Node(tail).next_sibling;
        if (next == kNoNode ||
            (folder == kRootAnchor && OriginOf(m_catalog, next) != NodeOrigin::kTree))
            break;
        tail = next;
    }
    return tail;
}

// Sector s of an inode table of `sectors` sectors starting at absolute sector tableStart. A
// chunk read from s ends after the last sector within it that is not quiet, gaps of a few
// quiet sectors read through.
ConstBytes TurboScan::TableSector(std::uint64_t tableStart, std::uint64_t sectors, std::uint64_t s,
                                  const std::vector<bool>& quiet) {
    if (s < m_chunkStart || s >= m_chunkStart + m_chunkSectors) {
        constexpr std::uint64_t kMostQuietGap = 16;
        const std::uint64_t most = std::min(kChunkSectors, sectors - s);
        std::uint64_t last = s;
        for (std::uint64_t t = s + 1; t < s + most && t - last <= kMostQuietGap + 1; ++t)
            if (!quiet[t])
                last = t;
        m_chunkStart = s;
        m_chunkSectors = last - s + 1;
        const MutableBytes bytes = m_chunk.Bytes().first(m_chunkSectors * kSectorSize);
        std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
        if (tableStart + s <= kLastSector - m_chunkSectors)
            m_reader.Source().ReadSectors(tableStart + s, bytes);
    }
    return m_chunk.Bytes().subspan((s - m_chunkStart) * kSectorSize, kSectorSize);
}

// The sectors of a group's table whose records the pass need not read: every record that
// starts there belongs to an inode the tree walk listed whole and without a deletion time,
// and that the catalogue still holds. The pass would pass over each of them.
std::vector<bool> TurboScan::QuietSectors(InodeNo firstInode, std::uint64_t sectors) {
    const std::uint64_t inodeSize = m_reader.Volume().sb.InodeSize();
    // The records the table's `sectors` hold (the group's used part of it).
    const std::uint64_t records = std::min<std::uint64_t>(sectors * kSectorSize / inodeSize,
                                                          m_reader.Volume().sb.s_inodes_per_group);
    if (!m_catalog.KnowsQuietInodes())
        return std::vector<bool>(sectors, false);
    std::vector<bool> quiet(sectors, true);
    for (std::uint64_t r = 0; r < records; ++r) {
        const InodeNo inode = firstInode + static_cast<InodeNo>(r);
        if (!m_catalog.Quiet(inode) || !m_index->Contains(inode))
            quiet[r * inodeSize / kSectorSize] = false;
    }
    return quiet;
}

// Reads one group's inode table and judges each record. Status and progress are reported
// sector by sector up to the first multiple of 63, then once per 63-sector run; the stop flag
// is looked at before every sector. Returns false when stopped.
bool TurboScan::ScanGroup(std::uint32_t group) {
    const Ext2Volume& volume = m_reader.Volume();
    const Superblock& sb = volume.sb;
    const GroupDescriptor gd = volume.Group(group);
    const std::uint64_t table =
        volume.start + std::uint64_t{gd.bg_inode_table} * volume.sectorsPerBlock;
    const std::uint64_t inodeSize = sb.InodeSize();
    // Table space the descriptor says was never initialised or used holds no inodes: on ext4
    // it may hold whatever the disk held before, which is not read as inodes.
    const std::uint64_t records = UsedRecords(gd, volume);
    const std::uint64_t sectors = CeilDiv(records * inodeSize, 512);
    const std::uint64_t singles =
        std::min(sectors, (table / kRunSectors + 1) * kRunSectors - table);
    const InodeNo firstInode = sb.s_inodes_per_group * group + 1;
    const std::vector<bool> quiet = QuietSectors(firstInode, sectors);
    m_chunkStart = m_chunkSectors = 0;
    for (std::uint64_t s = 0; s < sectors; ++s) {
        if (m_stop.ShouldStop())
            return false;
        const std::uint64_t firstRecord = CeilDiv(s * kSectorSize, inodeSize);
        if (s < singles || (s - singles) % kRunSectors == 0) {
            m_events.StatusText(0, "Reading Inode Sector " + std::to_string(s) +
                                       " of Block group " + std::to_string(group));
            m_events.Progress(
                static_cast<int>((std::uint64_t{sb.s_inodes_per_group} * group + firstRecord) *
                                 100 / std::max<std::uint32_t>(sb.s_inodes_count, 1)));
        }
        if (quiet[s])
            continue;
        const ConstBytes sector = TableSector(table, sectors, s, quiet);
        // Every record that starts in this sector, up to the group's last inode.
        for (std::uint64_t r = firstRecord; r < records && r * inodeSize < (s + 1) * kSectorSize;
             ++r) {
            InodeRecord record{};
            const std::size_t at = r * inodeSize - s * kSectorSize;
            std::copy_n(sector.begin() + static_cast<std::ptrdiff_t>(at),
                        std::min<std::size_t>(kInodeRecordSize, kSectorSize - at), record.begin());
            JudgeRecord(firstInode + static_cast<InodeNo>(r), record);
        }
    }
    return true;
}

void TurboScan::JudgeRecord(InodeNo inode, const InodeRecord& record) {
    if (!IsCandidate(inode, record, m_reader.Volume().sb))
        return;
    const InodeView view{record};
    if (view.FileType() == kModeDirectory) {
        TryLostFolder(inode, record);
        return;
    }
    if (view.i_dtime() != 0) {
        // Deletion freed its blocks: any in use again belongs to another file now.
        const BlockBitmaps::Count blocks = m_bitmaps.CountInUse(record, &m_stop);
        if (!blocks.sound)
            return;
        const NodeId node = MakeFileNode(inode, record, SupportedSize(inode, record));
        if (blocks.inUse != 0)
            m_catalog.Node(node).flags |= kNodePossiblyOverwritten;
        AppendChild(m_deletedFiles, m_deletedFilesTail, node);
        m_index->AddSubtree(node);
    } else if (!FindInodeInCatalogue(inode)) {
        m_candidates.Append(inode);
    }
}

// An "InodeN" file node with the inode's attributes and `size`.
NodeId TurboScan::MakeFileNode(InodeNo inode, const InodeRecord& record, std::uint64_t size) {
    const NodeId id = m_catalog.AddNode("Inode" + std::to_string(inode));
    CatalogNode& node = m_catalog.Node(id);
    node.type = kTypeFile;
    node.inode = inode;
    CopyInodeAttributes(node, record, size);
    return id;
}

// The size a recovered regular file (deleted, or listed in a lost folder) is given: its
// recorded size, unless that is more than the volume holds or more than its block map can
// stand for. Then the size is cut to where the map's last data block ends (sizeHolds false),
// rather than a damaged size passing as a huge sparse file.
EntryInode TurboScan::JudgeRecoveredSize(const InodeRecord& record) {
    const Ext2Volume& volume = m_reader.Volume();
    EntryInode judged = InodeAttributes(record, volume.sb);
    const std::uint64_t size = judged.recordedSize;
    if (InodeView{record}.FileType() != kModeRegular ||
        (size <= volume.SizeInBytes() && m_builder.SizeFitsBlocks(record, size)))
        return judged;
    const std::uint64_t blockSize = volume.BlockSize();
    const BlockMapSurvey survey =
        m_reader.ForEachMappedBlock(record, CeilDiv(size, blockSize), {}, &m_stop);
    judged.size = std::min(size, survey.endLogical * blockSize);
    judged.sizeHolds = false;
    return judged;
}

// The log row of a size cut to what its blocks hold.
void TurboScan::ReportSizeCut(InodeNo inode, const EntryInode& judged) {
    if (judged.sizeHolds)
        return;
    m_events.LogRow({0, kTurboScanProcess,
                     "Inode " + std::to_string(inode) + ": recorded size of " +
                         std::to_string(judged.recordedSize) +
                         " bytes is more than its blocks hold; taken as " +
                         std::to_string(judged.size) + " bytes",
                     CurrentTimeText()},
                    LogIcon::kError);
}

std::uint64_t TurboScan::SupportedSize(InodeNo inode, const InodeRecord& record) {
    const EntryInode judged = JudgeRecoveredSize(record);
    ReportSizeCut(inode, judged);
    return judged.size;
}

} // namespace twl

namespace twl {

void TurboScan::TryLostFolder(InodeNo inode, const InodeRecord& record) {
    // A damaged inode can claim any size: a directory larger than this is not read.
    // A folder the catalogue holds already is not read again.
    if (InodeView{record}.i_size() > kMaxDirectoryBytes || FindInodeInCatalogue(inode))
        return;
    const FolderData folderData = m_reader.ReadFolderData(inode, record, kMaxDirectoryBytes);
    const std::vector<std::uint8_t>& data = folderData.bytes;
    const std::uint64_t size = folderData.length;
    if (!LooksLikeOwnDirectory(data, inode, m_reader.Volume().sb.s_inodes_count, size))
        return;
    const NodeId folder = m_catalog.AddNode("Lost Folder" + std::to_string(inode));
    CatalogNode& node = m_catalog.Node(folder);
    node.type = kTypeFolder;
    node.inode = inode;
    node.mtime = InodeView{record}.i_mtime();
    AppendChild(m_lostFolders, m_lostFoldersTail, folder);
    m_catalog.NoteLostFolderParent(folder, Le32(data, 12)); // its "..", which the test above read
    m_catalog.AttachChildList(folder, ListLostFolder(folder, data, size));
    WalkLostFolder(folder);
    m_index->AddSubtree(folder);
    Merge(folder);
    m_foldersInContainer[inode] = folder;
    if (InodeView{record}.i_dtime() != 0)
        m_deletedFolders.insert(inode);
}

// Walks each sub-folder of a lost folder as the tree walk does, the lost folder itself
// counting as their ancestor.
void TurboScan::WalkLostFolder(NodeId folder) {
    const std::vector<InodeNo> ancestors{m_catalog.Node(folder).inode};
    for (NodeId child = m_catalog.Node(folder).first_child; child != kNoNode;
         child = m_catalog.Node(child).next_sibling) {
        const CatalogNode& node = m_catalog.Node(child);
        if (node.type != kTypeFolder)
            continue;
        m_builder.WalkDirectory(child, node.inode, ancestors);
        if (m_stop.ShouldStop())
            return;
    }
}

NodeId TurboScan::ListLostFolder(NodeId folder, ConstBytes data, std::uint64_t length) {
    const std::optional<std::uint64_t> start = ListingStart(data);
    if (!start)
        return kNoNode;
    // No size checks here, and inode 1 is listed like any other.
    const EntryRules rules{[this](InodeNo, const InodeRead& read) {
                               const InodeRecord& record = read.record;
                               const Ext2Volume& volume = m_reader.Volume();
                               const EntryInode attributes = InodeAttributes(record, volume.sb);
                               return attributes.plausible ? JudgeRecoveredSize(record)
                                                           : attributes;
                           },
                           [this](const ListedEntry& entry, const EntryInode& judged) {
                               if (judged.plausible)
                                   ReportSizeCut(entry.inode, judged);
                               return m_builder.AddEntryNode(entry, judged);
                           }};
    return m_builder.ListEntries(folder, data, length, *start, 1, rules);
}

// A folder met again inside this lost folder's subtree is taken out of the container's top
// level: its child list is released there, and it is pruned at the end of the pass.
void TurboScan::Merge(NodeId folder) {
    std::vector<NodeId> released;
    m_catalog.ForEachBelow(folder, [&](NodeId id) {
        const CatalogNode& node = m_catalog.Node(id);
        if (node.type != kTypeFolder)
            return;
        const auto it = m_foldersInContainer.find(node.inode);
        if (it != m_foldersInContainer.end() && it->second != folder)
            released.push_back(it->second);
    });
    for (const NodeId top : released) {
        m_index->RemoveBelow(top);
        m_catalog.ReleaseChildList(top);
    }
}

// Drops the lost folders of this pass that have no child list.
void TurboScan::Prune() {
    NodeId previous = m_catalog.Node(m_lostFolders).first_child; // the header stays
    NodeId node = m_catalog.Node(previous).next_sibling;
    while (node != kNoNode) {
        const NodeId next = m_catalog.Node(node).next_sibling;
        const CatalogNode& current = m_catalog.Node(node);
        if (current.type == kTypeFolder && current.first_child == kNoNode) {
            m_index->RemoveSubtree(node);
            m_catalog.Node(previous).next_sibling = next;
        } else {
            previous = node;
        }
        node = next;
    }
    m_lostFoldersTail = previous;
}

void TurboScan::SearchLostFiles() {
    m_events.StatusText(1, Blanks(16));
    for (NodeId id = m_catalog.Node(kRootAnchor).first_child; id != kNoNode;
         id = m_catalog.Node(id).next_sibling)
        m_rootTail = id;
    const NodeId container = AppendContainer("Lost Files");
    NodeId tail = m_catalog.Node(container).first_child;
    const std::size_t total = m_candidates.UnfoundCount();
    std::size_t index = 0;
    std::size_t leftOut = 0;
    InodeNo firstLeftOut = 0;
    const Ext2Volume& volume = m_reader.Volume();
    // Inodes below the first ordinary one belong to the file system itself (the resize inode,
    // the journal): never a user's file, so not reported when left out.
    const InodeNo firstOrdinary = FirstOrdinaryInode(volume.sb);
    // Candidates are in ascending order: their inodes are read so, in large runs.
    std::vector<InodeNo> unfound;
    unfound.reserve(total);
    for (const LostFileCandidate& candidate : m_candidates.All())
        if (!candidate.found)
            unfound.push_back(candidate.inode);
    m_reader.ReadInodesInOrder(unfound, [&](std::size_t k, const InodeRead& read) {
        const InodeNo inode = unfound[k];
        ++index;
        m_events.StatusText(0, "Processing Lost File " + std::to_string(index) + " of " +
                                   std::to_string(total));
        m_events.Progress(static_cast<int>(index * 100 / total));
        const std::uint64_t size = InodeFileSize(read.record, volume.sb.HasLargeFile());
        if (size > volume.SizeInBytes() || !m_builder.SizeFitsBlocks(read.record, size)) {
            if (inode >= firstOrdinary)
                firstLeftOut = leftOut++ == 0 ? inode : firstLeftOut;
            return true;
        }
        AppendChild(container, tail, MakeFileNode(inode, read.record, size));
        return true;
    });
    // An inode no folder names has no other sign of being a file than its size: one its
    // blocks cannot hold is taken as damage, left out, and said here once.
    if (leftOut != 0)
        m_events.LogRow({0, kTurboScanProcess,
                         std::to_string(leftOut) +
                             " lost files left out, their sizes larger than their blocks hold; "
                             "the first: inode " +
                             std::to_string(firstLeftOut),
                         CurrentTimeText()},
                        LogIcon::kError);
    m_events.StatusText(0, Blanks(18));
}

void TurboScan::CheckLostFilesAgainstTree() {
    std::map<InodeNo, std::vector<NodeId>> lost;
    for (NodeId top = m_catalog.Node(kRootAnchor).first_child; top != kNoNode;
         top = m_catalog.Node(top).next_sibling) {
        if (OriginOf(m_catalog, top) != NodeOrigin::kLost)
            continue;
        m_catalog.ForEachBelow(top, [&](NodeId id) {
            const CatalogNode& node = m_catalog.Node(id);
            if (!node.is_header && node.type != kTypeFolder && node.inode != 0)
                lost[node.inode].push_back(id);
        });
    }
    if (lost.empty())
        return;
    m_events.StatusText(0, "Checking lost files against the tree");
    std::vector<InodeNo> inodes;
    for (const auto& entry : lost)
        inodes.push_back(entry.first);
    // Each lost file's runs, walked once; all of them together are what the tree is asked.
    std::vector<BlockRuns> owned(inodes.size());
    BlockRuns wanted;
    m_reader.ReadInodesInOrder(inodes, [&](std::size_t k, const InodeRead& read) {
        AddDataRuns(m_reader, read.record, owned[k], &m_stop);
        for (const auto& [first, count] : owned[k].Runs())
            wanted.Add(first, count);
        return !m_stop.ShouldStop();
    });
    wanted.Seal();
    const BlockRuns claimed = BlocksTheTreeClaims(m_reader, m_catalog, wanted, m_stop);
    std::size_t flagged = 0;
    for (std::size_t k = 0; k < inodes.size() && !claimed.Empty(); ++k) {
        const auto& runs = owned[k].Runs();
        if (std::none_of(runs.begin(), runs.end(),
                         [&](const auto& run) { return claimed.Meets(run.first, run.second); }))
            continue;
        for (const NodeId id : lost[inodes[k]])
            m_catalog.Node(id).flags |= kNodePossiblyOverwritten;
        ++flagged;
    }
    m_events.StatusText(0, Blanks(18));
    if (flagged != 0)
        m_events.LogRow({0, kTurboScanProcess,
                         std::to_string(flagged) +
                             " lost files possibly overwritten: files of the tree hold some of "
                             "their blocks",
                         CurrentTimeText()},
                        LogIcon::kError);
}

void TurboScan::SearchJournal() {
    JournalRecovery recovery(m_reader, m_catalog, m_stop);
    m_events.StatusText(0, "Reading the journal");
    const bool read = recovery.Find();
    m_events.StatusText(0, Blanks(18));
    const JournalReport& journal = recovery.Report();
    if (!read) {
        if (journal.unavailable != "the volume has no journal")
            m_events.LogRow({0, kTurboScanProcess, "Journal not read: " + journal.unavailable,
                             CurrentTimeText()},
                            LogIcon::kInformation);
        return;
    }
    if (m_stop.ShouldStop() || (!recovery.FoundAny() && journal.damagedDescriptors == 0))
        return; // a journal with nothing to give back adds no empty container
    const JournalFindings found = recovery.Place(AppendContainer(kJournalContainer));
    std::string text = std::to_string(found.files) + " files and " + std::to_string(found.folders) +
                       " folders from the journal, " + std::to_string(found.named) +
                       " of them named";
    if (found.overwritten != 0)
        text += "; " + std::to_string(found.overwritten) + " possibly overwritten";
    if (journal.damagedDescriptors != 0)
        text += "; " + std::to_string(journal.damagedDescriptors) +
                " damaged journal descriptors passed over";
    m_events.LogRow({0, kTurboScanProcess, text, CurrentTimeText()}, LogIcon::kInformation);
}

NodeOrigin OriginOf(const Catalog& catalog, NodeId id) {
    if (id == kRootAnchor)
        return NodeOrigin::kTree;
    // Up to the root level; a damaged parent chain cannot be longer than the catalogue. A
    // deleted file or folder given back its name and place, and what such a folder holds,
    // are deleted.
    for (std::size_t steps = 0;; ++steps) {
        if ((catalog.Node(id).flags & kNodeDeleted) != 0)
            return NodeOrigin::kDeleted;
        if (catalog.Node(id).parent == kRootAnchor || steps >= catalog.NodeCount())
            break;
        id = catalog.Node(id).parent;
    }
    const CatalogNode& top = catalog.Node(id);
    if (top.type != kTypeFolder || top.inode != 0 || top.is_header)
        return NodeOrigin::kTree;
    const std::string_view name = catalog.Name(id);
    if (name.starts_with("Deleted Files"))
        return NodeOrigin::kDeleted;
    if (name.starts_with("Lost Folders") || name.starts_with("Lost Files"))
        return NodeOrigin::kLost;
    if (name.starts_with(kJournalContainer))
        return NodeOrigin::kJournal;
    return NodeOrigin::kTree;
}

std::unordered_map<InodeNo, NodeId> TreeFoldersByInode(const Catalog& catalog) {
    std::unordered_map<InodeNo, NodeId> folders{{kRootInode, kRootAnchor}};
    const auto note = [&](NodeId id) {
        const CatalogNode& node = catalog.Node(id);
        if (node.type == kTypeFolder && node.inode != 0 && !node.is_header)
            folders.emplace(node.inode, id);
    };
    for (NodeId top = catalog.Node(kRootAnchor).first_child; top != kNoNode;
         top = catalog.Node(top).next_sibling) {
        if (OriginOf(catalog, top) != NodeOrigin::kTree)
            continue;
        note(top);
        catalog.ForEachBelow(top, note);
    }
    return folders;
}

TreeCounters RecountCatalogue(const Catalog& catalog) {
    return CountCatalogue(catalog, false);
}

bool RunTurboScan(TurboScan& scan, const Catalog& catalog, StopControl& stop,
                  EngineEvents& events) {
    events.LogRow({0, kTurboScanProcess, "Process started...", CurrentTimeText()},
                  LogIcon::kInformation);
    const std::string failure = RunWithinCatalogLimits([&] {
        if (scan.SearchLostFolders() == 1) {
            scan.SearchLostFiles();
            scan.CheckLostFilesAgainstTree();
            scan.SearchJournal();
        }
    });
    scan.EmptyCandidateList();
    const bool ended = !failure.empty() || stop.StopRequested();
    if (ended) {
        events.LogRow({0, kTurboScanProcess, "Process Aborted...", CurrentTimeText()},
                      LogIcon::kError);
        events.Message(MessageIcon::kError, failure.empty()
                                                ? "Turbo Scan Aborted"
                                                : "Turbo Scan Ended Early: " + failure +
                                                      "; what was found so far is kept");
    } else {
        events.LogRow({0, kTurboScanProcess, "Process completed...", CurrentTimeText()},
                      LogIcon::kSuccess);
        events.Message(MessageIcon::kInformation, "Turbo Scan Completed");
    }
    const TreeCounters recount = RecountCatalogue(catalog);
    events.StatusText(1, SizeLine(recount.bytes, recount.files, recount.folders));
    events.WorkerDone(WorkerResult::kTurboScanDone);
    return !ended;
}

} // namespace twl
