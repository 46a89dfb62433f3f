#include "ext2/TurboScan.h"

#include "core/SizeText.h"
#include "fixtures/BuiltVolume.h"
#include "fixtures/TempDir.h"
#include "recover/LocalDestination.h"
#include "recover/SaveOperation.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::TempDir;

constexpr char kPath[] = "/test/turbo.img";

class RecordingEvents : public EngineEvents {
public:
    void StatusText(int pane, const std::string& text) override {
        if (pane == 1)
            pane1 = text;
        if (stopOnInodeSector && text.rfind("Reading Inode Sector", 0) == 0)
            stop->RequestStop();
    }
    void LogRow(const ProcessLogEntry& entry, LogIcon icon) override {
        log.push_back(entry.description + "/" + std::to_string(static_cast<int>(icon)));
        EXPECT_EQ(entry.processName, "Search for Lost file(s) and folder(s)");
        EXPECT_FALSE(entry.status.empty());
    }
    void Message(MessageIcon, const std::string& text) override { log.push_back(text); }
    void WorkerDone(WorkerResult result) override { done = result; }

    std::vector<std::string> log; // log rows and messages, in order
    std::string pane1;
    std::optional<WorkerResult> done;
    bool stopOnInodeSector = false;
    StopControl* stop = nullptr;
};

// A real volume from a folder, damaged by debugfs commands, opened and its tree built.
class Volume {
public:
    Volume(const std::string& mkfsOptions, const std::vector<std::string>& files,
           const std::string& debugfsCommands)
        : m_built(kPath, MakeImage(m_dir, mkfsOptions, files, debugfsCommands)) {
        EXPECT_TRUE(m_built.opened);
    }

    // Runs the Turbo Scan worker, checking every catalogue lookup against a plain walk.
    RecordingEvents Turbo(bool stopInPass = false) {
        RecordingEvents events;
        events.stop = &m_stop;
        events.stopOnInodeSector = stopInPass;
        m_stop.Clear();
        TurboScan scan(m_built.reader, m_catalog, m_built.counters, m_stop, events);
        scan.SetLookupObserver([&](InodeNo inode, bool found) {
            ++lookups;
            EXPECT_EQ(found, FindInodeInCatalogue(m_catalog, inode)) << "inode " << inode;
        });
        RunTurboScan(scan, m_catalog, m_stop, events);
        EXPECT_TRUE(scan.Candidates().All().empty());
        return events;
    }

    // Every node's path from the root, "/" joined, headers left out, in catalogue order.
    std::vector<std::string> Paths() const {
        std::vector<std::string> paths;
        std::vector<std::pair<NodeId, std::string>> stack{{kRootAnchor, ""}};
        while (!stack.empty()) {
            const auto [parent, prefix] = stack.back();
            stack.pop_back();
            std::vector<std::pair<NodeId, std::string>> children;
            for (NodeId id = m_catalog.Node(parent).first_child; id != kNoNode;
                 id = m_catalog.Node(id).next_sibling) {
                if (m_catalog.Node(id).is_header)
                    continue;
                children.emplace_back(id, prefix + "/" + std::string(m_catalog.Name(id)));
            }
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                stack.push_back(*it);
            if (parent != kRootAnchor)
                paths.push_back(prefix);
        }
        return paths;
    }

    // Names of the root anchor's children, headers left out.
    std::vector<std::string> TopLevel() const {
        std::vector<std::string> names;
        for (NodeId id = m_catalog.Node(kRootAnchor).first_child; id != kNoNode;
             id = m_catalog.Node(id).next_sibling) {
            if (!m_catalog.Node(id).is_header)
                names.emplace_back(m_catalog.Name(id));
        }
        return names;
    }

    // The name of the first lost folder of "Lost Folders1", checked to carry its inode.
    std::string LostFolderName() const {
        std::string name;
        m_catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
            const std::string_view n = m_catalog.Name(id);
            if (name.empty() && n.rfind("Lost Folder", 0) == 0 && n.rfind("Lost Folders", 0)) {
                name = std::string(n);
                EXPECT_EQ(name, "Lost Folder" + std::to_string(m_catalog.Node(id).inode));
            }
        });
        return name;
    }

    InodeNo InodeOf(const std::string& name) const {
        InodeNo inode = 0;
        m_catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
            if (m_catalog.Name(id) == name)
                inode = m_catalog.Node(id).inode;
        });
        return inode;
    }

    // Saves every node into `folder`.
    SaveSummary SaveAll(const std::string& folder) {
        Status status;
        const std::unique_ptr<LocalDestination> destination =
            LocalDestination::Open(folder, status);
        EXPECT_TRUE(status.Ok());
        EngineEvents events;
        return SaveCatalogue(m_built.reader, m_catalog, *destination, {}, m_stop, events);
    }

    const Catalog& Catalogue() const { return m_catalog; }
    int lookups = 0;

private:
    static std::string MakeImage(TempDir& dir, const std::string& mkfsOptions,
                                 const std::vector<std::string>& files,
                                 const std::string& debugfsCommands) {
        for (const std::string& file : files) {
            const std::filesystem::path path = dir.File("src") + "/" + file;
            std::filesystem::create_directories(path.parent_path());
            if (file.back() != '/')
                std::ofstream(path) << file << '\n';
        }
        const std::string image = dir.File("fs.img");
        std::ofstream(dir.File("commands")) << debugfsCommands;
        const std::string command = "E2FSPROGS_FAKE_TIME=1700000000 mke2fs -q -F " + mkfsOptions +
                                    " -d " + dir.File("src") + " " + image +
                                    " 4096 >/dev/null 2>&1 && debugfs -w -f " +
                                    dir.File("commands") + " " + image + " >/dev/null 2>&1";
        EXPECT_EQ(fixtures::RunShell(command), 0) << command;
        return image;
    }

    TempDir m_dir;
    fixtures::BuiltVolume m_built;
    Catalog& m_catalog = m_built.catalog;
    StopControl& m_stop = m_built.stop;
};

// A holds B (with a folder of its own), both unlinked; one file deleted, one unlinked.
const std::vector<std::string> kFiles = {"A/a.txt",     "A/B/b.txt",  "A/B/inner/x.txt",
                                         "deleted.txt", "keep/k.txt", "lost.txt"};
constexpr char kDamage[] = "unlink /A\nrm /deleted.txt\nunlink /lost.txt\n";

class TurboScanOn : public ::testing::TestWithParam<const char*> {};

TEST_P(TurboScanOn, FindsLostFoldersDeletedFilesAndLostFiles) {
    Volume volume(GetParam(), kFiles, kDamage);
    const RecordingEvents events = volume.Turbo();
    // The lost folder is named by its own inode: the parent of a.txt and of B.
    const std::string a = volume.LostFolderName();
    ASSERT_EQ(a, "Lost Folder" + std::to_string(volume.InodeOf("B") - 1)) << "A precedes B";
    const std::string lost = std::to_string(volume.InodeOf("k.txt") + 1);
    // The deleted file is back in its folder under its name (its entry was merged into the one
    // before it); the journal and resize inodes, the file system's own, are no lost files.
    std::vector<std::string> paths = volume.Paths();
    EXPECT_EQ(volume.TopLevel(),
              (std::vector<std::string>{"lost+found", "keep", "deleted.txt", "Lost Folders1",
                                        "Deleted Files1", "Lost Files1"}));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "/Deleted Files1",
                         "/Lost Files1",
                         "/Lost Files1/Inode" + lost,
                         "/Lost Folders1",
                         "/Lost Folders1/" + a,
                         "/Lost Folders1/" + a + "/B",
                         "/Lost Folders1/" + a + "/B/b.txt",
                         "/Lost Folders1/" + a + "/B/inner",
                         "/Lost Folders1/" + a + "/B/inner/x.txt",
                         "/Lost Folders1/" + a + "/a.txt",
                         "/deleted.txt",
                         "/keep",
                         "/keep/k.txt",
                         "/lost+found",
                     }));
    EXPECT_EQ(events.log,
              (std::vector<std::string>{"Process started.../0", "Process completed.../7",
                                        "Turbo Scan Completed"}));
    const TreeCounters recount = RecountCatalogue(volume.Catalogue());
    EXPECT_EQ(events.pane1, SizeLine(recount.bytes, recount.files, recount.folders));
    EXPECT_EQ(recount.folders, 8u); // lost+found, keep, 3 containers, lost folder, B, inner
    EXPECT_EQ(events.done, WorkerResult::kTurboScanDone);
    EXPECT_GT(volume.lookups, 0);
}

// Every node's origin follows the container at the top of its path; a folder of the volume
// named like a container is still the volume's own.
TEST(TurboScan, OriginsFollowTheContainersAndNotTheirNames) {
    Volume volume("-t ext2 -b 1024",
                  {"Lost Files9/x.txt", "Deleted Files9/y.txt", "A/a.txt", "deleted.txt"},
                  "unlink /A\nrm /deleted.txt\n");
    volume.Turbo();
    const Catalog& catalog = volume.Catalogue();
    std::map<NodeOrigin, int> seen;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        if (catalog.Node(id).is_header)
            return;
        NodeId top = id;
        while (catalog.Node(top).parent != kRootAnchor)
            top = catalog.Node(top).parent;
        // The volume's own top-level folders end in 9; the containers take other numbers.
        const std::string name(catalog.Name(top));
        const bool own = name.ends_with('9') || name == "lost+found";
        // A deleted file given back its name and place is deleted wherever it stands.
        const bool named = (catalog.Node(id).flags & kNodeDeleted) != 0;
        const NodeOrigin expected = named                         ? NodeOrigin::kDeleted
                                    : own                         ? NodeOrigin::kTree
                                    : name.starts_with("Deleted") ? NodeOrigin::kDeleted
                                                                  : NodeOrigin::kLost;
        EXPECT_EQ(OriginOf(catalog, id), expected) << catalog.Name(id) << " under " << name;
        ++seen[expected];
    });
    EXPECT_EQ(seen[NodeOrigin::kTree], 5);    // lost+found, the two look-alikes and their files
    EXPECT_EQ(seen[NodeOrigin::kDeleted], 2); // the container and deleted.txt
    EXPECT_GE(seen[NodeOrigin::kLost], 4);    // two containers, A's lost folder and a.txt
}

INSTANTIATE_TEST_SUITE_P(Volumes, TurboScanOn,
                         ::testing::Values("-t ext2 -b 1024", "-t ext3 -b 1024 -I 256"));

TEST(TurboScan, ASubFolderFoundFirstIsMergedIntoItsParent) {
    // B gets a smaller inode than Z, which comes to hold it; both are then unlinked.
    Volume volume("-t ext2 -b 1024", {"B/b.txt", "Z/z.txt"},
                  "link /B /Z/B\nunlink /B\nunlink /Z\n");
    volume.Turbo();
    const std::string z = volume.LostFolderName();
    ASSERT_GT(std::stoul(z.substr(11)), volume.InodeOf("B")) << "B must be found first";
    std::vector<std::string> paths = volume.Paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"/Deleted Files1", "/Lost Files1", "/Lost Folders1",
                                               "/Lost Folders1/" + z, "/Lost Folders1/" + z + "/B",
                                               "/Lost Folders1/" + z + "/B/b.txt",
                                               "/Lost Folders1/" + z + "/z.txt", "/lost+found"}));
}

TEST(TurboScan, ASecondRunMakesNewContainersAndListsOnlyDeletedFilesAgain) {
    Volume volume("-t ext2 -b 1024", kFiles, kDamage);
    volume.Turbo();
    const std::size_t before = volume.Paths().size();
    volume.Turbo();
    std::vector<std::string> added = volume.Paths();
    added.erase(added.begin(), added.begin() + static_cast<std::ptrdiff_t>(before));
    const std::string deleted = std::to_string(volume.InodeOf("k.txt") - 2);
    EXPECT_EQ(added, (std::vector<std::string>{"/Lost Folders2", "/Deleted Files2",
                                               "/Deleted Files2/Inode" + deleted, "/Lost Files2"}));
}

TEST(TurboScan, AStoppedRunMakesNoLostFilesAndTheNextRunListsThemOnce) {
    Volume volume("-t ext2 -b 1024", kFiles, kDamage);
    const RecordingEvents stopped = volume.Turbo(true);
    EXPECT_EQ(stopped.log, (std::vector<std::string>{"Process started.../0", "Process Aborted.../1",
                                                     "Turbo Scan Aborted"}));
    EXPECT_EQ(stopped.done, WorkerResult::kTurboScanDone);
    volume.Turbo();
    const std::vector<std::string> paths = volume.Paths();
    const std::string lost = "/Lost Files1/Inode" + std::to_string(volume.InodeOf("k.txt") + 1);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), lost), 1);
    EXPECT_EQ(std::count_if(paths.begin(), paths.end(),
                            [](const std::string& p) {
                                return p.rfind("/Lost Files", 0) == 0 &&
                                       p.find('/', 1) == std::string::npos;
                            }),
              1);
}

TEST(TurboScan, DamagedLostFoldersEndTheirWalkAndHugeOnesAreNotRead) {
    // A's sub-folder B holds an entry leading back to A; C claims a size no directory has.
    Volume volume("-t ext2 -b 1024", {"A/B/b.txt", "C/c.txt"},
                  "link /A /A/B/back\nunlink /A\nsif /C size 0x20000000\nunlink /C\n");
    volume.Turbo();
    const std::vector<std::string> paths = volume.Paths();
    const std::string a = "/Lost Folders1/" + volume.LostFolderName();
    EXPECT_NE(std::find(paths.begin(), paths.end(), a + "/B/back"), paths.end());
    EXPECT_EQ(std::find(paths.begin(), paths.end(), a + "/B/back/B"), paths.end());
    EXPECT_TRUE(std::none_of(paths.begin(), paths.end(), [](const std::string& p) {
        return p.find("c.txt") != std::string::npos;
    }));
}

TEST(TurboScan, ARecoveredFileWhoseBlocksCannotHoldItsSizeIsCutToThemAndNamed) {
    // One deleted file and one file of a lost folder, each of one block, claim 1 GiB and 1 TiB;
    // a lost file (its entry gone, its inode in use) claims 1 GiB too.
    Volume volume("-t ext2 -b 1024 -O large_file",
                  {"A/a.txt", "deleted.txt", "keep/k.txt", "unnamed.txt"},
                  "sif /deleted.txt size 0x40000000\nrm /deleted.txt\n"
                  "sif /A/a.txt size 0x10000000008\nunlink /A\n"
                  "sif /unnamed.txt size 0x40000000\nunlink /unnamed.txt\n");
    const RecordingEvents events = volume.Turbo();
    const Catalog& catalog = volume.Catalogue();
    std::map<NodeOrigin, std::vector<std::pair<InodeNo, std::uint64_t>>> recovered; // files
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        const CatalogNode& node = catalog.Node(id);
        const NodeOrigin origin = OriginOf(catalog, id);
        // Lost files (the resize inode) are left out: their size is checked, not cut.
        const bool lostFile = origin == NodeOrigin::kLost && catalog.Name(id).starts_with("Inode");
        if (node.type == kTypeFile && origin != NodeOrigin::kTree && !lostFile)
            recovered[origin].emplace_back(node.inode, node.size);
    });
    const InodeNo a = volume.InodeOf("a.txt");
    ASSERT_EQ(recovered[NodeOrigin::kDeleted].size(), 1u);
    const InodeNo deleted = recovered[NodeOrigin::kDeleted][0].first;
    EXPECT_EQ(recovered[NodeOrigin::kDeleted][0].second, 1024u);
    EXPECT_EQ(recovered[NodeOrigin::kLost],
              (std::vector<std::pair<InodeNo, std::uint64_t>>{{a, 1024}}));
    const auto said = [&](InodeNo inode, const std::string& recorded) {
        return std::count(events.log.begin(), events.log.end(),
                          "Inode " + std::to_string(inode) + ": recorded size of " + recorded +
                              " bytes is more than its blocks hold; taken as 1024 bytes/1");
    };
    EXPECT_EQ(said(deleted, "1073741824"), 1);
    EXPECT_EQ(said(a, std::to_string((std::uint64_t{0x100} << 32) + 8)), 1);
    // The lost file is left out, as its size is all that makes it a file, and said so once;
    // the file system's own inodes (the resize inode) are not counted.
    const std::string leftOut = "1 lost files left out, their sizes larger than their blocks "
                                "hold; the first: inode ";
    const auto row = std::find_if(events.log.begin(), events.log.end(),
                                  [&](const auto& r) { return r.starts_with(leftOut); });
    ASSERT_NE(row, events.log.end());
    const InodeNo unnamed = static_cast<InodeNo>(std::stoul(row->substr(leftOut.size())));
    EXPECT_GE(unnamed, 11u);
    catalog.ForEachBelow(kRootAnchor,
                         [&](NodeId id) { EXPECT_NE(catalog.Node(id).inode, unnamed); });

    // Saved at the size their blocks hold, and reported as partial, not as sound.
    TempDir out;
    const SaveSummary summary = volume.SaveAll(out.File("saved"));
    // The deleted file is back under its name, which its folder's records still held.
    EXPECT_EQ(std::filesystem::file_size(out.File("saved/deleted.txt")), 1024u);
    const std::string lostFolder = volume.LostFolderName();
    EXPECT_EQ(std::filesystem::file_size(out.File("saved/Lost Folders1/" + lostFolder + "/a.txt")),
              1024u);
    EXPECT_EQ(summary.partial, 2u);
    const auto reported = [&](const std::string& path, const std::string& recorded) {
        return std::count(summary.problems.begin(), summary.problems.end(),
                          "partial: ./" + path + " (recorded size " + recorded +
                              " bytes, its blocks hold 1024)");
    };
    EXPECT_EQ(reported("deleted.txt", "1073741824"), 1);
    EXPECT_EQ(reported("Lost Folders1/" + lostFolder + "/a.txt",
                       std::to_string((std::uint64_t{0x100} << 32) + 8)),
              1);
}

} // namespace
} // namespace twl
