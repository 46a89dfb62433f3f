#include "recover/SaveOperation.h"

#include "ext2/MarkedTotals.h"
#include "fixtures/BuiltVolume.h"
#include "fixtures/TempDir.h"
#include "recover/LocalDestination.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>

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
        void Abandon() override { m_owner.files.erase(m_path); }

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
    const BlockNo second =
        InodeView{m_reader.ReadInode(m_catalog.Node(Find("c.txt")).inode).record}.i_block(1);
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

// The bytes of the medium where the inode of `node` lies: found by its contents.
std::uint64_t InodeSector(fixtures::BuiltVolume& built, const CatalogNode& node) {
    const InodeRecord inode = built.reader.ReadInode(node.inode).record;
    const auto at = std::search(built.medium->bytes.begin(), built.medium->bytes.end(),
                                inode.begin(), inode.end());
    EXPECT_NE(at, built.medium->bytes.end());
    return static_cast<std::uint64_t>(at - built.medium->bytes.begin()) / 512;
}

TEST_F(SavedVolume, AFileWhoseInodeCannotBeReadFailsAndIsNotMadeEmpty) {
    m_built.medium->badSectors = {InodeSector(m_built, m_catalog.Node(Find("c.txt")))};
    VolumeReader fresh(m_built.source, m_built.volume); // nothing of the table read before
    MemoryDestination destination;
    RecordingEvents events;
    const SaveSummary summary =
        SaveCatalogue(fresh, m_catalog, destination, {false, false, false}, m_stop, events);
    EXPECT_GE(summary.failed, 1u);
    EXPECT_EQ(destination.files.count("./c.txt"), 0u);
    EXPECT_NE(destination.files[std::string("./") + kReportName].find(
                  "failed: ./c.txt (its inode could not be read)"),
              std::string::npos)
        << destination.files[std::string("./") + kReportName];
}

TEST(SaveOperation, AnUnreadableMapBlockMakesTheFilePartial) {
    fixtures::TempDir dir;
    const std::filesystem::path src = dir.File("src");
    std::filesystem::create_directories(src);
    std::ofstream(src / "big.bin") << std::string(20 * 1024, 'b'); // past the 12 direct blocks
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -d " + src.string() + " " + image +
                                 " 1024 >/dev/null 2>&1"),
              0);
    fixtures::BuiltVolume built(kPath, image);
    ASSERT_TRUE(built.opened);
    NodeId big = kNoNode;
    built.catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        if (built.catalog.Name(id) == "big.bin")
            big = id;
    });
    ASSERT_NE(big, kNoNode);
    const BlockNo map =
        InodeView{built.reader.ReadInode(built.catalog.Node(big).inode).record}.i_block(12);
    ASSERT_NE(map, 0u);
    built.medium->badSectors = {map * 2, map * 2 + 1};
    MemoryDestination destination;
    RecordingEvents events;
    const SaveSummary summary = SaveCatalogue(built.reader, built.catalog, destination,
                                              {false, false, false}, built.stop, events);
    EXPECT_EQ(summary.partial, 1u);
    EXPECT_EQ(destination.files["./big.bin"].substr(0, 12 * 1024), std::string(12 * 1024, 'b'));
    EXPECT_NE(destination.files[std::string("./") + kReportName].find("partial: ./big.bin"),
              std::string::npos);
}

// A double indirect pointer naming the single indirect block makes the map loop: the walk ends
// there, and the file is reported partial rather than sound with zeros past the loop.
TEST(SaveOperation, AMapThatLoopsMakesTheFilePartial) {
    fixtures::TempDir dir;
    const std::filesystem::path src = dir.File("src");
    std::filesystem::create_directories(src);
    std::ofstream(src / "big.bin") << std::string(300 * 1024, 'b'); // reaches the double map
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -d " + src.string() + " " + image +
                                 " 2048 >/dev/null 2>&1"),
              0);
    BlockNo single = 0;
    {
        fixtures::BuiltVolume built(kPath, image);
        ASSERT_TRUE(built.opened);
        built.catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
            if (built.catalog.Name(id) == "big.bin") {
                single =
                    InodeView{built.reader.ReadInode(built.catalog.Node(id).inode).record}.i_block(
                        12);
            }
        });
    }
    ASSERT_NE(single, 0u);
    ASSERT_EQ(fixtures::RunShell("debugfs -w -R 'sif /big.bin block[DIND] " +
                                 std::to_string(single) + "' " + image + " >/dev/null 2>&1"),
              0);
    fixtures::BuiltVolume built(kPath, image);
    ASSERT_TRUE(built.opened);
    MemoryDestination destination;
    RecordingEvents events;
    const SaveSummary summary = SaveCatalogue(built.reader, built.catalog, destination,
                                              {false, false, false}, built.stop, events);
    EXPECT_EQ(summary.partial, 1u);
    EXPECT_EQ(summary.files, 0u);
    EXPECT_EQ(destination.files["./big.bin"].substr(0, 268 * 1024), std::string(268 * 1024, 'b'));
    EXPECT_NE(destination.files[std::string("./") + kReportName].find(
                  "partial: ./big.bin (its block map names one of its map blocks twice"),
              std::string::npos);
}

// A local folder that runs full after `room` bytes: a write that does not fit writes what
// fits and fails with ENOSPC, as a full disk does; a size is still given without room.
class FullingDestination final : public SaveDestination {
public:
    FullingDestination(std::unique_ptr<LocalDestination> inner, std::size_t room)
        : m_inner(std::move(inner)), m_room(room) {}

    int Root() const override { return m_inner->Root(); }
    MadeItem MakeFolder(int parent, const std::string& name) override {
        return m_inner->MakeFolder(parent, name);
    }
    void FinishFolder(int folder, const ItemTimes& times) override {
        m_inner->FinishFolder(folder, times);
    }
    MadeItem MakeSymlink(int parent, const std::string& name, const std::string& target,
                         const ItemTimes& times) override {
        return m_inner->MakeSymlink(parent, name, target, times);
    }
    std::unique_ptr<SaveFile> MakeFile(int parent, const std::string& name,
                                       MadeItem& made) override {
        std::unique_ptr<SaveFile> file = m_inner->MakeFile(parent, name, made);
        return file ? std::make_unique<File>(std::move(file), m_room) : nullptr;
    }

private:
    class File final : public SaveFile {
    public:
        File(std::unique_ptr<SaveFile> inner, std::size_t& room)
            : m_inner(std::move(inner)), m_room(room) {}
        int WriteAt(ByteOffset offset, ConstBytes bytes) override {
            const std::size_t fits = std::min(bytes.size(), m_room);
            m_room -= fits;
            const int error = m_inner->WriteAt(offset, bytes.first(fits));
            return error != 0 ? error : fits < bytes.size() ? ENOSPC : 0;
        }
        int Finish(ByteCount size, const ItemTimes& times) override {
            return m_inner->Finish(size, times);
        }
        void Abandon() override { m_inner->Abandon(); }

    private:
        std::unique_ptr<SaveFile> m_inner;
        std::size_t& m_room;
    };

    std::unique_ptr<LocalDestination> m_inner;
    std::size_t m_room;
};

TEST_F(SavedVolume, OnAFullDiskNoFileOrReportIsLeftWithATailNeverWritten) {
    for (const std::size_t room : {std::size_t{4000}}) { // one larger file fits, not both
        fixtures::TempDir out;
        Status status;
        FullingDestination destination(LocalDestination::Open(out.Path(), status), room);
        RecordingEvents events;
        const SaveSummary summary =
            SaveCatalogue(m_reader, m_catalog, destination, {false, false, false}, m_stop, events);
        EXPECT_TRUE(summary.destinationFull);
        const std::map<std::string, std::string> whole = {{"a/x.txt", std::string(3000, 'x')},
                                                          {"a/b/y.txt", "why\n"},
                                                          {"c.txt", std::string(5000, 'c')}};
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(out.Path())) {
            if (!entry.is_regular_file())
                continue;
            ++files;
            const std::string name = std::filesystem::relative(entry.path(), out.Path()).string();
            const std::string text = fixtures::ReadFileText(entry.path());
            if (name == kReportName) { // all of it, or none
                EXPECT_EQ(text.find('\0'), std::string::npos) << room;
                EXPECT_EQ(text.substr(text.size() - 1), "\n") << room;
                continue;
            }
            ASSERT_EQ(whole.count(name), 1u) << name;
            EXPECT_EQ(text, whole.at(name)) << room << " " << name;
        }
        EXPECT_EQ(files, summary.files + (summary.reportName.empty() ? 0 : 1)) << room;
    }
}

// Every folder opened and held would run out of descriptors long before the bottom.
// Small files are written on a second thread; one that fails there (larger than the process
// may write) is taken back and reported as failed like any other, and the rest keep their
// bytes and times.
TEST_F(SavedVolume, FilesWrittenOnTheSecondThreadThatFailAreTakenBackAndReported) {
    fixtures::TempDir out;
    Status status;
    const auto destination = LocalDestination::Open(out.Path(), status);
    ASSERT_TRUE(destination);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit low = before;
    low.rlim_cur = 2048; // x.txt (3000 bytes) and c.txt (5000) do not fit, y.txt does
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    RecordingEvents events;
    const SaveSummary summary =
        SaveCatalogue(m_reader, m_catalog, *destination, {false, false, false}, m_stop, events);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(summary.files, 1u);
    EXPECT_EQ(summary.failed, 2u);
    EXPECT_FALSE(summary.destinationFull);
    const std::vector<std::string> failed = {"failed: ./a/x.txt (File too large; not kept)",
                                             "failed: ./c.txt (File too large; not kept)"};
    for (const std::string& line : failed)
        EXPECT_NE(std::find(summary.problems.begin(), summary.problems.end(), line),
                  summary.problems.end())
            << line;
    EXPECT_FALSE(std::filesystem::exists(out.File("a/x.txt")));
    EXPECT_FALSE(std::filesystem::exists(out.File("c.txt")));
    EXPECT_EQ(fixtures::ReadFileText(out.File("a/b/y.txt")), "why\n");
    struct stat saved {};
    ASSERT_EQ(::stat(out.File("a/b/y.txt").c_str(), &saved), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(saved.st_mtime), m_catalog.Node(Find("y.txt")).mtime);
}

TEST(SaveOperation, FoldersNestedPastTheDescriptorLimitAllSave) {
    constexpr int kDepth = 150;
    fixtures::TempDir dir;
    std::filesystem::path deepest = dir.File("src");
    for (int level = 0; level < kDepth; ++level)
        deepest /= "d";
    std::filesystem::create_directories(deepest);
    std::ofstream(deepest / "bottom.txt") << "found\n";
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -N 256 -d " + dir.File("src") + " " +
                                 image + " 1024 >/dev/null 2>&1"),
              0);
    fixtures::BuiltVolume built(kPath, image);
    ASSERT_TRUE(built.opened);
    Status status;
    const auto destination = LocalDestination::Open(dir.File("out"), status);
    ASSERT_TRUE(destination);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit low = before;
    low.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    RecordingEvents events;
    const SaveSummary summary = SaveCatalogue(built.reader, built.catalog, *destination,
                                              {false, false, false}, built.stop, events);
    ::setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(summary.failed, 0u);
    EXPECT_EQ(summary.folders, kDepth + 1u); // lost+found too
    std::string saved = dir.File("out");
    for (int level = 0; level < kDepth; ++level)
        saved += "/d";
    EXPECT_EQ(fixtures::ReadFileText(saved + "/bottom.txt"), "found\n");
}

} // namespace
} // namespace twl
