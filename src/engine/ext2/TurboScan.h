#pragma once

// Turbo Scan: reads every inode table of the open volume and adds to the catalogue what the
// directory walk could not reach. Lost folders (directory inodes no node stands for, with
// everything below them) go under "Lost FoldersN", files with a deletion time under "Deleted
// FilesN", and files no directory names under "Lost FilesN". Nothing that was in the
// catalogue before is removed.

#include "core/AlignedBuffer.h"
#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "ext2/BlockBitmaps.h"
#include "ext2/Catalog.h"
#include "ext2/CatalogInodeIndex.h"
#include "ext2/LostFileCandidates.h"
#include "ext2/TreeBuilder.h"
#include "ext2/VolumeReader.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace twl {

class TurboScan {
public:
    TurboScan(VolumeReader& reader, Catalog& catalog, TreeCounters& counters, StopControl& stop,
              EngineEvents& events);

    // The pass over the inode tables: 1 when it ran to its end (empty lost folders pruned),
    // 0 when a stop ended it (everything found so far stays, unpruned).
    int SearchLostFolders();

    // Turns the candidates that no listing marked found into "InodeN" entries of a new Lost
    // Files container. Runs to its end once started.
    void SearchLostFiles();

    // Lost files (under Lost Folders and Lost Files) still hold their inodes, so the block
    // bitmap cannot tell whether their blocks went to another file: each whose blocks a file
    // or folder of the tree also names is flagged possibly overwritten, and a log row counts
    // them.
    void CheckLostFilesAgainstTree();

    // Files a current kernel deleted whose live versions the journal still holds, with their
    // names where journal copies of their folders give them, under a new "Journal Recovered
    // Files" container. Nothing is added when the journal gives nothing back, or there is none.
    void SearchJournal();

    void EmptyCandidateList() { m_candidates.Empty(); }
    const LostFileCandidates& Candidates() const { return m_candidates; }

    // Whether any node of the catalogue carries `inode` (during a pass, from the index).
    bool FindInodeInCatalogue(InodeNo inode) const;
    // Called with every answer the pass takes from FindInodeInCatalogue, so that the index
    // can be checked against a walk of the catalogue.
    void SetLookupObserver(std::function<void(InodeNo, bool)> observer) {
        m_lookupObserver = std::move(observer);
    }

    // A lost folder's own listing: the tree walk's listing without its size checks, counters
    // or messages. Returns the first node of the list (not attached).
    NodeId ListLostFolder(NodeId folder, ConstBytes data, std::uint64_t length);

private:
    NodeId AppendContainer(const std::string& word);
    NodeId AppendToRoot(NodeId node);
    void AppendChild(NodeId container, NodeId& tail, NodeId node);
    bool ScanGroup(std::uint32_t group);
    ConstBytes TableSector(std::uint64_t tableStart, std::uint64_t sectors, std::uint64_t s,
                           const std::vector<bool>& quiet);
    std::vector<bool> QuietSectors(InodeNo firstInode, std::uint64_t sectors);
    void JudgeRecord(InodeNo inode, const InodeRecord& record);
    NodeId MakeFileNode(InodeNo inode, const InodeRecord& record, std::uint64_t size);
    std::uint64_t SupportedSize(InodeNo inode, const InodeRecord& record);
    EntryInode JudgeRecoveredSize(const InodeRecord& record);
    void ReportSizeCut(InodeNo inode, const EntryInode& judged);
    void TryLostFolder(InodeNo inode, const InodeRecord& record);
    void WalkLostFolder(NodeId folder);
    void Merge(NodeId folder);
    void Prune();
    void PlaceNamedDeletedFiles();
    template <typename Wanted, typename Take>
    void TakeOut(NodeId container, NodeId& tail, const Wanted& wanted, const Take& take);
    template <typename Place>
    void PlaceNamedEmptyFiles(const std::unordered_map<InodeNo, std::vector<std::size_t>>& namesOf,
                              const Place& place);
    // What tells apart names left in different folders for one inode.
    struct NameTimes {
        std::unordered_map<InodeNo, std::uint32_t> deleted; // i_dtime of each such inode
        std::uint32_t rootChanged = 0;                      // the root folder's i_mtime
    };
    NameTimes ReadNameTimes(const std::unordered_map<InodeNo, std::vector<std::size_t>>& namesOf);
    struct NameRanking {
        const std::vector<Catalog::SlackName>& names;
        const NameTimes& times;
        const Catalog& catalog;
        InodeNo parent; // what a deleted folder's own ".." names, or 0
        bool Newer(std::size_t a, std::size_t b, InodeNo inode) const;
    };
    NodeId ChildListTail(NodeId folder);

    VolumeReader& m_reader;
    Catalog& m_catalog;
    StopControl& m_stop;
    EngineEvents& m_events;
    TreeBuilder m_builder;
    BlockBitmaps m_bitmaps;
    LostFileCandidates m_candidates;
    std::optional<CatalogInodeIndex> m_index;
    std::function<void(InodeNo, bool)> m_lookupObserver;

    NodeId m_rootTail = kNoNode;
    NodeId m_lostFolders = kNoNode;
    NodeId m_lostFoldersTail = kNoNode;
    NodeId m_deletedFiles = kNoNode;
    NodeId m_deletedFilesTail = kNoNode;
    std::unordered_map<InodeNo, NodeId> m_foldersInContainer; // this pass's lost folders
    std::unordered_set<InodeNo> m_deletedFolders; // of those, the ones with a deletion time

    // Inode tables are read in large page-aligned chunks and judged sector by sector.
    AlignedBuffer m_chunk;
    std::uint64_t m_chunkStart = 0; // table-relative sector of the chunk's first sector
    std::uint64_t m_chunkSectors = 0;
};

// Bytes, files and folders of every node below the root anchor: headers are not counted,
// folders (containers and lost folders too) count as folders, everything else as files.
TreeCounters RecountCatalogue(const Catalog& catalog);

// The Turbo Scan worker: the process-log row "Process started...", the lost folder pass,
// the lost file search and the journal search when the pass completed, "Process completed..." and
// "Turbo Scan Completed" (or "Process Aborted..." and "Turbo Scan Aborted" after a stop), the
// recounted size line for pane 1, and WorkerDone(kTurboScanDone). When memory or the catalogue runs
// out, what was found so far stays and the closing text says why the scan ended. Returns true when
// the scan ran to its end.
bool RunTurboScan(TurboScan& scan, const Catalog& catalog, StopControl& stop, EngineEvents& events);

// Where a node came from, as the container Turbo Scan filed it under tells.
enum class NodeOrigin {
    kTree,    // reached from the root folder
    kDeleted, // in (or being) a "Deleted FilesN" container
    kLost,    // in (or being) a "Lost FoldersN" or "Lost FilesN" container
    kJournal, // in (or being) a "Journal Recovered FilesN" container: its inode record is
              // the journal's copy, not the one on the disk
};
// The origin of node `id`: a deleted file or folder given back its place in the tree, and what
// such a folder holds, are kDeleted too.
// Containers are root-level folders without an inode, which tells them from folders of the
// volume that bear the same names.
NodeOrigin OriginOf(const Catalog& catalog, NodeId id);

// The folders of the catalogue that the tree walk reached (not Turbo Scan's containers), by
// inode; the root anchor stands for the root folder.
std::unordered_map<InodeNo, NodeId> TreeFoldersByInode(const Catalog& catalog);

inline constexpr char kTurboScanProcess[] = "Search for Lost file(s) and folder(s)";
// The word of the container of files brought back from the journal.
inline constexpr char kJournalContainer[] = "Journal Recovered Files";

} // namespace twl
