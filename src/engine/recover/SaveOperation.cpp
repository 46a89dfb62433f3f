#include "recover/SaveOperation.h"

#include "core/AlignedBuffer.h"
#include "core/TextEscape.h"
#include "core/TimeText.h"
#include "ext2/FileMapping.h"
#include "ext2/InlineData.h"
#include "ext2/TurboScan.h"
#include "ext2/journal/JournalInodes.h"
#include "recover/RestoreScripts.h"
#include "recover/SafeName.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace twl {
namespace {

constexpr std::size_t kCopyBytes = std::size_t{1} << 20;
// Files whose blocks hold at most this much are read whole into memory and left to the
// destination to write, which may do that on another thread.
constexpr std::uint64_t kHeldFileBytes = 64 * 1024;

enum class Pick : std::uint8_t { kSkip, kSave, kHolder };

std::vector<Pick> PickNodes(const Catalog& catalog, bool checkedOnly) {
    std::vector<Pick> picks(catalog.NodeCount(), Pick::kSkip);
    // Exactly the marked nodes, as the marked totals count them: a folder marked alone (the
    // folders on the path of a marked item are) does not bring its unmarked content.
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        const CatalogNode& node = catalog.Node(id);
        if (!node.is_header && (!checkedOnly || node.marked))
            picks[id] = Pick::kSave;
    });
    // The folders above a saved node are made to hold it.
    for (NodeId id = 1; id < picks.size(); ++id) {
        if (picks[id] != Pick::kSave)
            continue;
        for (NodeId p = catalog.Node(id).parent; p != kRootAnchor && picks[p] == Pick::kSkip;
             p = catalog.Node(p).parent)
            picks[p] = Pick::kHolder;
    }
    return picks;
}

struct Extent {
    std::uint64_t logical = 0;
    BlockNo block = 0;
    std::uint64_t count = 0;
};

// What the report and the scripts need of a file whose data was given to the destination,
// once it is known how writing it came out.
struct SavedFile {
    NodeId id = kNoNode;
    std::size_t item = 0; // its place in the walk, which orders the report
    std::string name;     // as made
    std::string path;     // as saved, for the report
    std::string shown;    // as the catalogue names it, for the report
    int scriptFolder = RestoreScripts::kTop;
    std::uint64_t size = 0; // bytes written
    std::uint64_t recorded = 0;
    std::uint64_t unreadable = 0; // blocks written as zeros
    bool mapLoop = false;
};

class Saver {
public:
    Saver(VolumeReader& reader, const Catalog& catalog, SaveDestination& destination,
          const SaveOptions& options, StopControl& stop, EngineEvents& events)
        : m_reader(reader), m_catalog(catalog), m_destination(destination), m_options(options),
          m_stop(stop), m_events(events), m_buffer(kCopyBytes),
          m_picks(PickNodes(catalog, options.checkedOnly)) {
        for (NodeId id = 1; id < m_picks.size(); ++id) {
            const CatalogNode& node = m_catalog.Node(id);
            if (m_picks[id] == Pick::kSave && ItemType(node) == kTypeFile) {
                ++m_progress.filesTotal;
                m_progress.bytesTotal += node.size;
            }
        }
    }

    SaveSummary Run();

private:
    struct Frame {
        NodeId folder;
        NodeId next;
        int handle;
        std::size_t pathLength;
        int scriptFolder; // the folder's own in the restore scripts
    };

    bool SaveItem(NodeId id, std::vector<Frame>& stack);
    void SaveFolder(NodeId id, std::vector<Frame>& stack);
    void SaveFileData(NodeId id, int parent);
    void SaveInlineData(NodeId id, SaveFile& file, const MadeItem& made, const InodeRecord& inode,
                        std::uint64_t size);
    std::vector<std::uint8_t> InlineBytes(NodeId id, const InodeRecord& inode);
    bool FinishFile(NodeId id, SaveFile& file, int error, std::uint64_t size,
                    const ItemTimes& times);
    HeldBytes ReadHeld(const std::vector<Extent>& extents, std::uint64_t size);
    void Account(const SavedFile& saved, int error, const std::string& detail);
    void SaveSymlink(NodeId id, int parent);
    std::string FirstBlockText(const InodeRecord& inode, std::uint64_t size);
    int CopyExtents(SaveFile& file, const std::vector<Extent>& extents, std::uint64_t size);
    std::pair<unsigned, unsigned> SpecialNumbers(NodeId id);
    ItemTimes TimesOf(NodeId id);
    InodeRead InodeOf(NodeId id);
    std::string PathOf(std::string_view name) const { return m_path + "/" + std::string(name); }
    std::string SafeName(NodeId id) const { return SafeComponent(m_catalog.Name(id)); }
    // The node's path as the report shows it: its own name escaped, in the saved folder.
    std::string Shown(NodeId id) const { return PathOf(EscapeBytes(m_catalog.Name(id))); }
    void NoteName(NodeId id, const MadeItem& made);
    void Failed(NodeId id, int error, const std::string& detail = {});
    void FailedAt(std::size_t item, const std::string& shown, int error, const std::string& detail);
    void Problem(std::string line) { Problem(m_item, std::move(line)); }
    void Problem(std::size_t item, std::string line) {
        m_problems.emplace_back(item, std::move(line));
    }
    void WriteAfterwards();

    VolumeReader& m_reader;
    const Catalog& m_catalog;
    SaveDestination& m_destination;
    const SaveOptions& m_options;
    StopControl& m_stop;
    EngineEvents& m_events;
    AlignedBuffer m_buffer;
    std::vector<Pick> m_picks;
    SaveProgressInfo m_progress;
    SaveSummary m_summary;
    // The report's lines by the place in the walk of the item they are about: a file written
    // later is reported in its place.
    std::vector<std::pair<std::size_t, std::string>> m_problems;
    std::size_t m_item = 0; // of the item being saved
    RestoreScripts m_scripts;
    std::string m_path = "."; // of the folder being filled, as saved
    int m_scriptFolder = RestoreScripts::kTop;
    std::optional<JournalVersionFinder> m_journal; // made when a file from it is first saved
};

SaveSummary Saver::Run() {
    std::vector<Frame> stack{{kRootAnchor, m_catalog.Node(kRootAnchor).first_child,
                              m_destination.Root(), 1, RestoreScripts::kTop}};
    while (!stack.empty() && !m_summary.destinationFull) {
        Frame& top = stack.back();
        if (top.next == kNoNode) {
            const Frame done = top;
            stack.pop_back();
            if (done.folder != kRootAnchor)
                m_destination.FinishFolder(done.handle, TimesOf(done.folder));
            if (!stack.empty())
                m_path.resize(stack.back().pathLength);
            continue;
        }
        const NodeId id = top.next;
        top.next = m_catalog.Node(id).next_sibling;
        m_path.resize(top.pathLength);
        m_scriptFolder = top.scriptFolder;
        if (m_stop.ShouldStop()) {
            m_summary.stopped = true;
            break;
        }
        ++m_item;
        SaveItem(id, stack);
    }
    // Folders still open when the save ended early get their times all the same.
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
        if (it->folder != kRootAnchor)
            m_destination.FinishFolder(it->handle, TimesOf(it->folder));
    }
    m_destination.Flush();
    ++m_item;
    WriteAfterwards();
    return m_summary;
}

bool Saver::SaveItem(NodeId id, std::vector<Frame>& stack) {
    if (m_picks[id] == Pick::kSkip)
        return true;
    const CatalogNode& node = m_catalog.Node(id);
    const int parent = stack.back().handle;
    switch (ItemType(node)) {
    case kTypeFolder:
        SaveFolder(id, stack);
        break;
    case kTypeFile:
        SaveFileData(id, parent);
        break;
    case kTypeSymlink:
        SaveSymlink(id, parent);
        break;
    case 3:
    case 4:
    case 5:
    case 6:
        ++m_summary.specials;
        m_scripts.AddSpecial(m_scriptFolder, SafeName(id), node, SpecialNumbers(id));
        Problem("not created: " + Shown(id) + " (" + SpecialKind(node) + ")");
        break;
    default:
        Problem("not saved: " + Shown(id) + " (its inode does not say what it is)");
    }
    return true;
}

void Saver::SaveFolder(NodeId id, std::vector<Frame>& stack) {
    const CatalogNode& node = m_catalog.Node(id);
    const MadeItem made = m_destination.MakeFolder(stack.back().handle, SafeName(id));
    const std::string path = PathOf(made.name);
    if (made.error != 0) {
        Failed(id, made.error, made.detail);
        return;
    }
    NoteName(id, made);
    ++m_summary.folders;
    const int scriptFolder =
        m_scripts.AddFolder(m_scriptFolder, made.name, node, m_picks[id] == Pick::kSave);
    m_path = path;
    stack.push_back({id, node.first_child, made.handle, m_path.size(), scriptFolder});
}

ItemTimes Saver::TimesOf(NodeId id) {
    const CatalogNode& node = m_catalog.Node(id);
    ItemTimes times{0, node.mtime};
    if (node.inode != 0) {
        times.atime = InodeView{InodeOf(id).record}.i_atime();
    }
    return times;
}

// The inode record of a node: from the inode table, or for a file brought back from the
// journal, from the journal's copy of it (the table's record of it was zeroed when it was
// deleted). The journal is read once, when the first such file is saved.
InodeRead Saver::InodeOf(NodeId id) {
    const CatalogNode& node = m_catalog.Node(id);
    if (OriginOf(m_catalog, id) != NodeOrigin::kJournal)
        return m_reader.ReadInode(node.inode);
    if (!m_journal)
        m_journal.emplace(m_reader, &m_stop);
    InodeRead read;
    if (const std::optional<JournalInode> found =
            m_journal->Find(node.inode, node.ctime, node.mtime))
        read.record = found->record;
    else
        read.readable = false;
    return read;
}

void Saver::NoteName(NodeId id, const MadeItem& made) {
    if (made.name == m_catalog.Name(id))
        return;
    ++m_summary.renamed;
    Problem("renamed: " + Shown(id) + " was saved as " + PathOf(made.name) +
            " (the name was taken, or cannot be a file name as it stands)");
}

void Saver::Failed(NodeId id, int error, const std::string& detail) {
    FailedAt(m_item, Shown(id), error, detail);
}

void Saver::FailedAt(std::size_t item, const std::string& shown, int error,
                     const std::string& detail) {
    ++m_summary.failed;
    m_summary.destinationFull = m_summary.destinationFull || error == ENOSPC || error == EDQUOT;
    Problem(item,
            "failed: " + shown + " (" + (detail.empty() ? std::strerror(error) : detail) + ")");
}

std::pair<unsigned, unsigned> Saver::SpecialNumbers(NodeId id) {
    return DeviceNumbers(InodeOf(id).record);
}

void Saver::SaveFileData(NodeId id, int parent) {
    const CatalogNode& node = m_catalog.Node(id);
    m_progress.path = PathOf(SafeName(id));
    m_events.SaveProgress(m_progress);
    ++m_progress.filesDone;
    const InodeRead read = InodeOf(id);
    if (!read.readable) {
        Failed(id, EIO, "its inode could not be read");
        return;
    }
    const InodeRecord& inode = read.record;
    const std::uint64_t recorded = InodeFileSize(inode, m_reader.Volume().sb.HasLargeFile());
    // Turbo Scan cut the size of a recovered file whose blocks cannot hold its recorded size.
    const std::uint64_t size =
        OriginOf(m_catalog, id) == NodeOrigin::kTree ? recorded : std::min(recorded, node.size);
    MadeItem made;
    const std::unique_ptr<SaveFile> file = m_destination.MakeFile(parent, SafeName(id), made);
    if (!file) {
        Failed(id, made.error, made.detail);
        return;
    }
    NoteName(id, made);
    if (MappingOf(inode, MapKindsOf(m_reader.Volume().sb)) == FileMapping::kInline) {
        SaveInlineData(id, *file, made, inode, size);
        return;
    }
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    // Map blocks that cannot be read hide data as surely as data blocks that cannot.
    const std::uint64_t unreadableBefore = m_reader.Source().UnreadableSectors();
    std::vector<Extent> extents;
    const BlockMapSurvey survey = m_reader.ForEachMappedBlock(
        inode, (size + blockSize - 1) / blockSize,
        [&](std::uint64_t logical, BlockNo block) {
            if (!extents.empty()) {
                Extent& last = extents.back();
                if (last.logical + last.count == logical &&
                    std::uint64_t{last.block} + last.count == block) {
                    ++last.count; // the run goes on, on the file and on the disk
                    return;
                }
            }
            extents.push_back({logical, block, 1});
        },
        nullptr, /*capAtVolume=*/false); // a sparse file may reach past the volume's size
    SavedFile saved{id,   m_item,   made.name, PathOf(made.name), Shown(id), m_scriptFolder,
                    size, recorded, 0,         survey.mapLoop};
    const ItemTimes times{InodeView{inode}.i_atime(), node.mtime};
    const auto unreadableBlocks = [&] {
        return (m_reader.Source().UnreadableSectors() - unreadableBefore +
                m_reader.Volume().sectorsPerBlock - 1) /
                   m_reader.Volume().sectorsPerBlock +
               survey.outOfRangePointers;
    };
    std::uint64_t mapped = 0;
    for (const Extent& extent : extents)
        mapped += extent.count * blockSize;
    if (mapped <= kHeldFileBytes) {
        HeldBytes held = ReadHeld(extents, size);
        saved.unreadable = unreadableBlocks();
        file->WriteHeld(
            std::move(held), size, times,
            [this, saved](int error, const std::string& detail) { Account(saved, error, detail); });
        return;
    }
    int error = CopyExtents(*file, extents, size);
    if (error == 0)
        error = file->Finish(size, times);
    std::string detail;
    if (error != 0) {
        detail = file->LastError();
        file->Abandon();
    }
    saved.unreadable = unreadableBlocks();
    Account(saved, error, detail);
}

// Reports a file whose data was given to the destination: failed (and not kept), saved, or
// saved in part, and why.
void Saver::Account(const SavedFile& saved, int error, const std::string& detail) {
    if (error != 0) {
        FailedAt(saved.item, saved.shown, error,
                 (detail.empty() ? std::strerror(error) : detail) + "; not kept");
        return;
    }
    const CatalogNode& node = m_catalog.Node(saved.id);
    m_progress.bytesDone += node.size;
    m_summary.bytes += saved.size;
    m_scripts.AddFile(saved.scriptFolder, saved.name, node);
    const auto partial = [&](const std::string& line) {
        ++m_summary.partial;
        Problem(saved.item, line);
    };
    if ((node.flags & kNodePossiblyOverwritten) != 0) {
        partial("possibly overwritten: " + saved.path +
                " (blocks of it were given to other files after it was deleted; what they hold "
                "may not be its data)");
    } else if (saved.size < saved.recorded) {
        partial("partial: " + saved.path + " (recorded size " + std::to_string(saved.recorded) +
                " bytes, its blocks hold " + std::to_string(saved.size) + ")");
    } else if (saved.mapLoop) {
        partial("partial: " + saved.path +
                " (its block map names one of its map blocks twice; what lies past that is "
                "written as zeros)");
    } else if (saved.unreadable != 0) {
        partial("partial: " + saved.path + " (" + std::to_string(saved.unreadable) +
                " unreadable blocks written as zeros)");
    } else {
        ++m_summary.files;
    }
}

// The data of a small file read into memory: each extent's blocks in turn, the last cut at
// the size.
HeldBytes Saver::ReadHeld(const std::vector<Extent>& extents, std::uint64_t size) {
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    HeldBytes held;
    for (const Extent& extent : extents) {
        const std::size_t at = held.bytes.size();
        held.bytes.resize(at + extent.count * blockSize);
        const MutableBytes bytes = MutableBytes(held.bytes).subspan(at);
        m_reader.ReadBlock(extent.block, bytes);
        const std::uint64_t offset = extent.logical * blockSize;
        held.runs.push_back({offset, at, std::min<std::size_t>(bytes.size(), size - offset)});
    }
    return held;
}

// The bytes a record holds in place of a map: with ext4's inline data also those of its
// attribute area, read from the record on the disk; for an item the journal gave back, its
// copy's 60 bytes, which are all a copy shows.
std::vector<std::uint8_t> Saver::InlineBytes(NodeId id, const InodeRecord& inode) {
    if (HoldsInlineData(inode, MapKindsOf(m_reader.Volume().sb)) &&
        OriginOf(m_catalog, id) != NodeOrigin::kJournal)
        return InlineDataBytes(m_reader.ReadInodeBody(m_catalog.Node(id).inode));
    const ConstBytes held = InlineData(inode);
    return {held.begin(), held.end()};
}

// Ends a file whose data was written with `error` (0 for none): its size and times set and
// closed, or, on an error, removed and the item counted as failed. False when it failed.
bool Saver::FinishFile(NodeId id, SaveFile& file, int error, std::uint64_t size,
                       const ItemTimes& times) {
    if (error == 0)
        error = file.Finish(size, times);
    if (error == 0)
        return true;
    const std::string detail = file.LastError();
    file.Abandon();
    Failed(id, error, (detail.empty() ? std::strerror(error) : detail) + "; not kept");
    return false;
}

// A file whose bytes its inode holds (ext4's inline data).
void Saver::SaveInlineData(NodeId id, SaveFile& file, const MadeItem& made,
                           const InodeRecord& inode, std::uint64_t size) {
    const CatalogNode& node = m_catalog.Node(id);
    const std::vector<std::uint8_t> bytes = InlineBytes(id, inode);
    const std::uint64_t held = std::min<std::uint64_t>(size, bytes.size());
    if (!FinishFile(id, file, file.WriteAt(0, ConstBytes(bytes).first(held)), held,
                    {InodeView{inode}.i_atime(), node.mtime}))
        return;
    m_progress.bytesDone += node.size;
    m_summary.bytes += held;
    m_scripts.AddFile(m_scriptFolder, made.name, node);
    if (held < size) {
        ++m_summary.partial;
        Problem("partial: " + PathOf(made.name) + " (recorded size " + std::to_string(size) +
                " bytes, its inode holds " + std::to_string(held) + ")");
        return;
    }
    ++m_summary.files;
}

// Copies the data of each extent to its place in the file, the last block cut at the size.
int Saver::CopyExtents(SaveFile& file, const std::vector<Extent>& extents, std::uint64_t size) {
    const std::uint64_t blockSize = m_reader.Volume().BlockSize();
    const std::uint64_t perRead = kCopyBytes / blockSize;
    for (const Extent& extent : extents) {
        if (extent.count == 0)
            continue;
        for (std::uint64_t done = 0; done < extent.count; done += perRead) {
            const std::uint64_t blocks = std::min(perRead, extent.count - done);
            const MutableBytes bytes = m_buffer.Bytes().first(blocks * blockSize);
            m_reader.ReadBlock(static_cast<BlockNo>(extent.block + done), bytes);
            const std::uint64_t offset = (extent.logical + done) * blockSize;
            const std::uint64_t length = std::min<std::uint64_t>(bytes.size(), size - offset);
            if (const int error = file.WriteAt(offset, bytes.first(length)); error != 0)
                return error;
        }
    }
    return 0;
}

void Saver::SaveSymlink(NodeId id, int parent) {
    const CatalogNode& node = m_catalog.Node(id);
    const InodeRead read = InodeOf(id);
    if (!read.readable) {
        Failed(id, EIO, "its inode could not be read");
        return;
    }
    const InodeRecord& inode = read.record;
    const InodeView view{inode};
    std::string target;
    if (MappingOf(inode, MapKindsOf(m_reader.Volume().sb), true) ==
        FileMapping::kInline) { // the target lies in the record
        const std::vector<std::uint8_t> held = InlineBytes(id, inode);
        target.assign(reinterpret_cast<const char*>(held.data()),
                      std::min<std::size_t>(view.i_size(), held.size()));
    } else {
        target = FirstBlockText(inode, view.i_size());
    }
    target = target.substr(0, target.find('\0'));
    if (target.empty()) {
        Failed(id, EINVAL);
        return;
    }
    const MadeItem made =
        m_destination.MakeSymlink(parent, SafeName(id), target, {view.i_atime(), node.mtime});
    if (made.error != 0) {
        Failed(id, made.error, made.detail);
        return;
    }
    NoteName(id, made);
    ++m_summary.links;
    m_scripts.AddLink(m_scriptFolder, made.name, node);
}

// The first `size` bytes of the file's first block, when that is a block of the volume.
std::string Saver::FirstBlockText(const InodeRecord& inode, std::uint64_t size) {
    std::string text;
    m_reader.ForEachFileBlock(inode, 1, [&](const FileBlock& at) {
        if (at.step != BlockStep::kData)
            return WalkOn::kEnd;
        std::vector<std::uint8_t> block(m_reader.Volume().BlockSize());
        m_reader.ReadBlock(at.block, block);
        text.assign(reinterpret_cast<const char*>(block.data()),
                    std::min<std::size_t>(size, block.size()));
        return WalkOn::kEnd;
    });
    return text;
}

void Saver::WriteAfterwards() {
    if (m_summary.destinationFull)
        Problem("stopped: the destination is full; what was written before stays");
    std::stable_sort(m_problems.begin(), m_problems.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [item, line] : m_problems)
        m_summary.problems.push_back(std::move(line));
    if (m_options.permissionScript)
        m_destination.WriteTextFile(kPermissionScript, m_scripts.PermissionScript(), true);
    if (m_options.ownershipScript)
        m_destination.WriteTextFile(kOwnershipScript, m_scripts.OwnershipScript(), true);
    if (m_options.keepScripts) {
        m_summary.permissionScript = m_scripts.PermissionScript();
        m_summary.ownershipScript = m_scripts.OwnershipScript();
    }
    if (m_summary.problems.empty())
        return;
    std::string text = "Tarnwell Linux Data Recovery: items not saved whole, renamed or only "
                       "listed\n";
    for (const std::string& line : m_summary.problems)
        text += line + "\n";
    const MadeItem report = m_destination.WriteTextFile(kReportName, text, false);
    if (report.error == 0)
        m_summary.reportName = report.name;
}

} // namespace

SaveSummary SaveCatalogue(VolumeReader& reader, const Catalog& catalog,
                          SaveDestination& destination, const SaveOptions& options,
                          StopControl& stop, EngineEvents& events) {
    const std::string time = CurrentTimeText();
    const std::string what = options.checkedOnly ? "Save Checked" : "Save All";
    events.LogRow({0, "Saving Files Started", what, time}, LogIcon::kInformation);
    SaveSummary summary = Saver(reader, catalog, destination, options, stop, events).Run();
    const bool aborted = summary.stopped || summary.destinationFull;
    events.LogRow({0, aborted ? "Saving Files Aborted" : "Saving Files Completed",
                   SummaryText(summary), CurrentTimeText()},
                  aborted ? LogIcon::kError : LogIcon::kSuccess);
    return summary;
}

std::string SummaryText(const SaveSummary& summary) {
    return "Saved " + std::to_string(summary.files + summary.partial) + " files (" +
           std::to_string(summary.bytes) + " bytes) in " + std::to_string(summary.folders) +
           " folders, " + std::to_string(summary.links) + " links; " +
           std::to_string(summary.partial) + " partial, " + std::to_string(summary.failed) +
           " failed";
}

} // namespace twl
