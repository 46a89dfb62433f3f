#include "recover/SaveOperation.h"

#include "ext2/MarkedTotals.h"
#include "fixtures/BuiltVolume.h"
#include "fixtures/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

namespace twl {
namespace {

constexpr char kPath[] = "/test/save.img";

// A destination in memory that runs full after `capacity` bytes of file data.
class MemoryDestination final : public SaveDestination {
public:
    class File final : public SaveFile {
    public:
        File(MemoryDestination& owner, std::string path)
            : m_owner(owner), m_path(std::move(path)) {}
        int WriteAt(ByteOffset offset, ConstBytes bytes) override {
            if (m_owner.used + bytes.size() > m_owner.capacity)
                return ENOSPC;
            m_owner.used += bytes.size();
            std::string& data = m_owner.files[m_path];
            data.resize(std::max<std::size_t>(data.size(), offset + bytes.size()));
            std::copy(bytes.begin(), bytes.end(),
                      data.begin() + static_cast<std::ptrdiff_t>(offset));
            return 0;
        }
        int Finish(ByteCount size, const ItemTimes&) override {
            m_owner.files[m_path].resize(size);
            return 0;
        }

    private:
        MemoryDestination& m_owner;
        std::string m_path;
    };

    int Root() const override { return 0; }
    MadeItem MakeFolder(int parent, const std::string& name) override {
        folders.push_back(folders[static_cast<std::size_t>(parent)] + "/" + name);
        return {static_cast<int>(folders.size() - 1), name, 0, {}};
    }
    void FinishFolder(int, const ItemTimes&) override {}
    MadeItem MakeSymlink(int parent, const std::string& name, const std::string& target,
                         const ItemTimes&) override {
        files[folders[static_cast<std::size_t>(parent)] + "/" + name] = "-> " + target;
        return {0, name, 0, {}};
    }
    std::unique_ptr<SaveFile> MakeFile(int parent, const std::string& name,
                                       MadeItem& made) override {
        made = {0, name, 0, {}};
        return std::make_unique<File>(*this,
                                      folders[static_cast<std::size_t>(parent)] + "/" + name);
    }

    std::vector<std::string> folders{"."};
    std::map<std::string, std::string> files;
    std::size_t capacity = SIZE_MAX;
    std::size_t used = 0;
};

class RecordingEvents : public EngineEvents {
public:
    void LogRow(const ProcessLogEntry& entry, LogIcon icon) override {
        rows.push_back(entry.processName + "/" + std::to_string(static_cast<int>(icon)));
    }
    void SaveProgress(const SaveProgressInfo& progress) override { last = progress; }
    std::vector<std::string> rows;
    SaveProgressInfo last;
};

// A real volume with a/x.txt, a/b/y.txt and c.txt, its catalogue built.
class SavedVolume : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_built.opened); }

    static std::string MakeImage(fixtures::TempDir& dir) {
        const std::filesystem::path src = dir.File("src");
        std::filesystem::create_directories(src / "a/b");
        std::ofstream(src / "a/x.txt") << std::string(3000, 'x');
        std::ofstream(src / "a/b/y.txt") << "why\n";
        std::ofstream(src / "c.txt") << std::string(5000, 'c');
        const std::string image = dir.File("fs.img");
        EXPECT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -d " + src.string() + " " +
                                     image + " 1024 >/dev/null 2>&1"),
                  0);
        return image;
    }

    NodeId Find(const std::string& name) {
        NodeId found = kNoNode;
        m_catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
            if (m_catalog.Name(id) == name)
                found = id;
        });
        return found;
    }

    fixtures::TempDir m_dir;
    fixtures::BuiltVolume m_built{kPath, MakeImage(m_dir)};
    VolumeReader& m_reader = m_built.reader;
    Catalog& m_catalog = m_built.catalog;
    StopControl& m_stop = m_built.stop;
};

TEST_F(SavedVolume, SaveCheckedTakesExactlyTheMarkedNodesAndMakesOnlyTheFoldersAbove) {
    // b and everything below it, as marking b's item does; a is marked alone, as the folders
    // on a marked item's path are: a is made, its unmarked x.txt is not saved.
    const NodeId b = Find("b");
    m_catalog.Node(b).marked = 1;
    m_catalog.ForEachBelow(b, [&](NodeId id) { m_catalog.Node(id).marked = 1; });
    m_catalog.Node(Find("a")).marked = 1;
    MemoryDestination destination;
    RecordingEvents events;
    const SaveSummary summary =
        SaveCatalogue(m_reader, m_catalog, destination, {true, false, false}, m_stop, events);
    EXPECT_EQ(destination.files, (std::map<std::string, std::string>{{"./a/b/y.txt", "why\n"}}));
    EXPECT_EQ(destination.folders, (std::vector<std::string>{".", "./a", "./a/b"}));
    EXPECT_EQ(events.rows,
              (std::vector<std::string>{"Saving Files Started/0", "Saving Files Completed/7"}));
    // What is saved is what the marked totals count.
    const TreeCounters marked = MarkedTotals(m_catalog);
    EXPECT_EQ(summary.files, marked.files);
    EXPECT_EQ(summary.folders, marked.folders);
    EXPECT_EQ(summary.bytes, marked.bytes);
    EXPECT_EQ(events.last.filesTotal, 1u);
    EXPECT_EQ(events.last.bytesTotal, 4u);
}

TEST_F(SavedVolume, AFullDestinationStopsTheSaveAndSaysSo) {
    MemoryDestination destination;
    destination.capacity = 4000; // room for one of the two larger files
    RecordingEvents events;
    const SaveSummary summary =
        SaveCatalogue(m_reader, m_catalog, destination, {false, false, false}, m_stop, events);
    EXPECT_TRUE(summary.destinationFull);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(events.rows.back(), "Saving Files Aborted/1");
    // The report cannot be written onto the full destination; the front end shows its lines.
    EXPECT_EQ(summary.problems.back(),
              "stopped: the destination is full; what was written before stays");
}

TEST_F(SavedVolume, UnreadableBlocksAreZerosAndMakeTheFilePartial) {
    m_reader.ReadInode(m_catalog.Node(Find("c.txt")).inode);
    const BlockNo second = InodeView{m_built.volume.currentInode}.i_block(1);
    m_built.medium->badSectors = {second * 2, second * 2 + 1};
    MemoryDestination destination;
    RecordingEvents events;
    const SaveSummary summary =
        SaveCatalogue(m_reader, m_catalog, destination, {false, false, false}, m_stop, events);
    EXPECT_EQ(summary.partial, 1u);
    const std::string& data = destination.files["./c.txt"];
    ASSERT_EQ(data.size(), 5000u);
    EXPECT_EQ(data.substr(0, 1024), std::string(1024, 'c'));
    EXPECT_EQ(data.substr(1024, 1024), std::string(1024, '\0'));
    EXPECT_EQ(data.substr(2048), std::string(5000 - 2048, 'c'));
    EXPECT_NE(destination.files[std::string("./") + kReportName].find(
                  "partial: ./c.txt (1 unreadable blocks"),
              std::string::npos)
        << destination.files[std::string("./") + kReportName];
}

} // namespace
} // namespace twl
