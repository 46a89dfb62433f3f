#pragma once

// Builds the catalogue of the open volume by walking its directories from the root (inode 2):
// every entry gets a node with its inode's attributes, every folder a child list that opens
// with a header node named by the folder's full path (made from the parent chain when asked
// for, see CatalogPath.h). Damage the walk passes over is named in the process log.

#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "ext2/Catalog.h"
#include "ext2/CatalogPath.h"
#include "ext2/DirectoryRecords.h"
#include "ext2/LostFileCandidates.h"
#include "ext2/VolumeReader.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace twl {

// Directories larger than this are taken as damaged and read only this far.
inline constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{256} << 20;

struct TreeCounters {
    std::uint32_t entriesFound = 0;
    std::uint32_t files = 0;
    std::uint32_t folders = 0;
    std::uint64_t bytes = 0;
};

// "%d Entries Found"
std::string EntriesFoundText(const TreeCounters& counters);
// "%7.3f KB in %d Files in %d Folders", or its MB and GB forms.
std::string SizeLineText(const TreeCounters& counters);

// What a listing takes from the inode of one of its entries. A folder's entries are judged in
// inode order, so that the inode tables are read in ascending order, each block once; their
// nodes are then made in listing order from the judgement alone.
struct EntryInode {
    std::uint64_t recordedSize = 0; // the size the inode gives
    std::uint64_t size = 0;         // the size its node gets
    std::uint32_t ctime = 0;
    std::uint32_t mtime = 0;
    std::uint16_t mode = 0;
    std::uint16_t uid = 0;
    std::uint16_t gid = 0;
    bool plausible = false; // IsPlausibleInode: the attributes mean something
    bool sizeHolds = true;  // its blocks can stand for `recordedSize`
    bool quiet = false;     // read whole, without a deletion time (Catalog::MarkQuiet)
};

// The attributes of `inode` as they stand, `size` its recorded size.
EntryInode InodeAttributes(const InodeRecord& inode, const Superblock& sb);

// Copies the judged times, mode, owner and size into a node.
void CopyInodeAttributes(CatalogNode& node, const EntryInode& inode);
// Copies an inode's times, mode, owner and `size` into a node.
void CopyInodeAttributes(CatalogNode& node, const InodeRecord& inode, std::uint64_t size);

// One live entry of a folder's listing.
struct ListedEntry {
    InodeNo inode = 0;
    std::uint8_t fileType = 0;
    std::string_view name; // into the folder's data
};

// How a listing turns entries into nodes: `judge` reads what it needs of an entry's inode
// (called in inode order, and free of any other effect), `make` makes the entry's node from
// that, or returns kNoNode to leave the entry out (called in listing order).
struct EntryRules {
    std::function<EntryInode(InodeNo inode, const InodeRead& read)> judge;
    std::function<NodeId(const ListedEntry& entry, const EntryInode& judged)> make;
};

// The process name of the walk's rows in the process log.
inline constexpr char kTreeCreationProcess[] = "Tree Creation";

class TreeBuilder {
public:
    TreeBuilder(VolumeReader& reader, Catalog& catalog, TreeCounters& counters, StopControl& stop,
                EngineEvents& events)
        : m_reader(reader), m_catalog(catalog), m_counters(counters), m_stop(stop),
          m_events(events) {}

    // Replaces the catalogue by a fresh walk from the root. The counters are not reset.
    void BuildTree();

    // Lists directory inode n as the child list of `parent` and descends into its folders,
    // depth first, in list order. Each folder inode is walked once per call: a later entry
    // naming a folder already walked (a loop, or a hard-linked folder) is listed without a
    // child list, so neither loops nor folders entered twice per level multiply the work.
    // `ancestors` are folder inodes taken as walked already (the folders above `parent`).
    void WalkDirectory(NodeId parent, InodeNo n, const std::vector<InodeNo>& ancestors = {});

    // Builds the child list of `folder` from directory data whose i_size is `length`, and
    // returns its first node (kNoNode when nothing was listed). The list is not attached.
    // Data whose first block does not open with "." and ".." has that block passed over as
    // damage; the listing goes on with the next block.
    NodeId ListDirectory(NodeId folder, ConstBytes data, std::uint64_t length);

    // The listing itself: the entries from byte `offset` on, a header before the first node.
    // Deleted entries (inode 0) are passed over. Folders are read block by block: a record
    // that cannot hold itself or leaves its block, or an inode below `lowest` or above the
    // inode count, is damage that ends its block only; the listing goes on with the next
    // block, and the process log names the folder.
    NodeId ListEntries(NodeId folder, ConstBytes data, std::uint64_t length, std::uint64_t offset,
                       InodeNo lowest, const EntryRules& rules);

    // Entries found as a percent of the inodes in use (of all inodes after a backup
    // superblock, whose free counts are stale), 0 to 100.
    int Percent() const;

    // While set, every listed regular file marks its lost-file candidate found (Turbo Scan).
    void SetCandidates(LostFileCandidates* candidates) { m_candidates = candidates; }
    // The process name of the rows the walk adds to the process log (kTreeCreationProcess
    // unless set): the process the walk is part of.
    void SetLogProcess(std::string process) { m_logProcess = std::move(process); }

    // The block-count check of an entry: false when the block list (up to the first hole)
    // has blocks but too few for `size`, and the inode is not a healthy sparse file. An
    // inode whose first pointer is a hole, and so lists no block, is kept, and so is one
    // whose map loops. A size beyond the volume is kept only as a healthy sparse file.
    bool SizeFitsBlocks(const InodeRecord& inode, std::uint64_t size);
    // Whether the whole map up to `size` is sound and accounts for i_blocks exactly (and, when
    // asked, maps the file's last block): a sparse file, not damage.
    bool HealthySparse(const InodeRecord& inode, std::uint64_t size, bool lastBlockMapped);

    // A node for a folder entry: its type (EntryType), and its inode's judged attributes when
    // the inode is plausible. A regular file marks its lost-file candidate found. The node is
    // not linked.
    NodeId AddEntryNode(const ListedEntry& entry, const EntryInode& judged);

    // The directory-entry type of an entry: its type byte, or on volumes without entry
    // types, the type of its inode's mode (0 when the inode is not plausible).
    std::uint8_t EntryType(std::uint8_t fileType, const EntryInode& inode) const;

    // Files left out for damage and folder entries not walked again, since the last report.
    std::uint32_t LeftOut() const { return m_leftOut; }
    std::uint32_t WalkedAgain() const { return m_walkedAgain; }
    // Sums up in the process log what the walks passed over since the last report: the
    // folder entries not walked again (once, naming the first) and the count of files left
    // out. Each file left out has a row of its own when it is met.
    void ReportFindings();

private:
    struct Listing {
        NodeId folder = kNoNode; // the folder being listed
        NodeId head = kNoNode;
        NodeId tail = kNoNode;
        bool damaged = false;
        std::vector<ListedEntry> pending;    // read from the records, waiting for their inodes
        std::size_t made = 0;                // entries taken from `pending` before it
        std::size_t firstDamage = kNoDamage; // entries listed before the first damaged record
    };
    static constexpr std::size_t kNoDamage = static_cast<std::size_t>(-1);
    // ListRecords, then the log row when the listing met damage; on a throw, what was
    // listed is attached to `folder` before the throw goes on.
    NodeId ListAndReport(Listing& listing, NodeId folder, ConstBytes data, std::uint64_t length,
                         std::uint64_t offset, InodeNo lowest, const EntryRules& rules);
    void ListRecords(Listing& listing, ConstBytes data, std::uint64_t length, std::uint64_t offset,
                     InodeNo lowest, const EntryRules& rules);
    bool MakePending(Listing& listing, const EntryRules& rules);
    void NoteSlackNames(NodeId folder, ConstBytes block, const DirectoryRecord& record);
    std::vector<EntryInode> JudgeInInodeOrder(const std::vector<ListedEntry>& entries,
                                              const EntryRules& rules);
    WalkOn ListEntry(Listing& listing, const ListedEntry& entry, const EntryInode& judged,
                     const EntryRules& rules);
    void ListFolder(NodeId folder, InodeNo n);
    // A child list being walked: the next node to look at, the node the announcing of folders
    // ahead has reached, and how many folders between them were announced.
    struct Lookahead {
        NodeId next = kNoNode;
        NodeId ahead = kNoNode;
        std::uint32_t announced = 0;
    };
    void AnnounceFolderBlocks(const InodeRecord& record, std::uint64_t blockSize);
    void AnnounceFolders(Lookahead& list);
    EntryInode JudgeEntryInode(InodeNo inode, const InodeRead& read);
    NodeId MakeEntryNode(NodeId folder, const ListedEntry& entry, const EntryInode& judged);
    void CountEntry(const CatalogNode& node);
    void Log(const std::string& description, LogIcon icon);

    VolumeReader& m_reader;
    Catalog& m_catalog;
    TreeCounters& m_counters;
    StopControl& m_stop;
    EngineEvents& m_events;
    LostFileCandidates* m_candidates = nullptr;
    // Folder inodes read while their parent was listed, kept until the walk lists them, so
    // that they are not read a second time. Bounded: past kMostKeptFolders they are read again.
    static constexpr std::size_t kMostKeptFolders = 16384;
    std::unordered_map<InodeNo, InodeRecord> m_keptFolders;
    std::uint32_t m_leftOut = 0;
    std::uint32_t m_walkedAgain = 0;
    std::string m_firstWalkedAgain; // shown path of the first folder entry not walked again
    std::string m_logProcess = kTreeCreationProcess;
};

// The tree-creation worker: BuildTree, the progress bar to 100, then "Tree Creation
// Completed" and WorkerDone(kCompleted), or "Tree Creation Aborted" and WorkerDone(kAborted) after
// a stop. When memory or the catalogue runs out, the tree built so far stays, the closing text says
// why the walk ended, and WorkerDone(kAborted).
void RunTreeCreation(TreeBuilder& builder, StopControl& stop, EngineEvents& events);

} // namespace twl
