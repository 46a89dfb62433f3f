#include "ext2/TreeBuilder.h"

#include "ext2/DirectoryRecords.h"
#include "ext2/TurboScan.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "scaninfo/ScanInfoReader.h"
#include "scaninfo/ScanInfoWriter.h"
#include "session/ListedVolumes.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace twl {
namespace {

namespace ext2 = fixtures::ext2;
using fixtures::Ext2Image;
using fixtures::Ext2Options;
using fixtures::InodeFields;
using fixtures::RawDirEntry;

constexpr char kPath[] = "/test/ext2.img";
constexpr SectorNo kStart = 63;

class RecordingEvents : public EngineEvents {
public:
    void TreeProgress(const TreeCounters& counters, int percent) override {
        percents.push_back(percent);
        if (stopAfter != 0 && counters.entriesFound == stopAfter)
            stop->RequestStop();
    }
    void Progress(int percent) override { progress = percent; }
    void Message(MessageIcon, const std::string& text) override { messages.push_back(text); }
    void WorkerDone(WorkerResult result) override { done = result; }
    void LogRow(const ProcessLogEntry& entry, LogIcon) override {
        EXPECT_FALSE(entry.status.empty());
        rows.push_back(entry.processName + ": " + entry.description);
    }
    // The rows that hold `text`.
    std::size_t RowsWith(const std::string& text) const {
        return static_cast<std::size_t>(
            std::count_if(rows.begin(), rows.end(),
                          [&](const auto& row) { return row.find(text) != std::string::npos; }));
    }

    std::vector<std::string> rows; // process-log rows, "process: description"
    std::vector<int> percents;     // one per entry listed
    std::vector<std::string> messages;
    int progress = -1;
    std::optional<WorkerResult> done;
    std::uint32_t stopAfter = 0; // entries after which the events ask for a stop
    StopControl* stop = nullptr;
};

// The volume opened at sector kStart through a session (from a backup superblock when the
// primary is damaged), and the tree-creation worker run on it.
class Walk {
public:
    // `volumeSectors` lists the volume larger than the image (the medium reports that size).
    explicit Walk(const Ext2Image& image, SectorCount volumeSectors = 0)
        : m_medium(image.ToMedium(kStart)),
          m_session({}, fixtures::MemoryFactory{kPath, m_medium}) {
        const SectorCount sectors = volumeSectors != 0 ? volumeSectors : image.Sectors();
        m_medium->reportedSize = SectorOffset(kStart + sectors);
        EXPECT_TRUE(m_session.Source().SelectImageFile(kPath).Ok());
        m_session.SetMode(ProcessingMode::kTable);
        m_session.Lists().partitions.entries.push_back(
            PartitionEntry{0, kLinuxPartitionType, kStart, sectors});
        opened = OpenListedVolume(m_session, 0, [] { return true; }) == OpenOutcome::kOpened;
        EXPECT_TRUE(opened);
        events.stop = &m_session.Stop();
    }

    void Run() {
        if (!opened)
            return;
        VolumeReader reader(m_session.Source(), *m_session.Volume());
        TreeBuilder builder(reader, m_session.Catalogue(), m_session.Counters(), m_session.Stop(),
                            events);
        RunTreeCreation(builder, m_session.Stop(), events);
    }

    // Turbo Scan over the tree built by Run; true when it ran to its end.
    bool RunTurbo() {
        VolumeReader reader(m_session.Source(), *m_session.Volume());
        TurboScan scan(reader, m_session.Catalogue(), m_session.Counters(), m_session.Stop(),
                       events);
        return RunTurboScan(scan, m_session.Catalogue(), m_session.Stop(), events);
    }

    RecoverySession& Session() { return m_session; }
    fixtures::MemoryMedium& Medium() { return *m_medium; }
    const Catalog& Catalogue() const { return m_session.Catalogue(); }
    const TreeCounters& Counters() { return m_session.Counters(); }

    // The child list of `parent`: names in order, a header as "#" and its name.
    std::vector<std::string> Children(NodeId parent = kRootAnchor) const {
        std::vector<std::string> names;
        for (NodeId id = Catalogue().Node(parent).first_child; id != kNoNode;
             id = Catalogue().Node(id).next_sibling) {
            const std::string name = StoredName(Catalogue(), id);
            names.push_back(Catalogue().Node(id).is_header ? "#" + name : name);
        }
        return names;
    }

    // The first node named `name` in the child list of `parent`, headers left out.
    NodeId IdOf(const std::string& name, NodeId parent = kRootAnchor) const {
        for (NodeId id = Catalogue().Node(parent).first_child; id != kNoNode;
             id = Catalogue().Node(id).next_sibling) {
            if (Catalogue().Name(id) == name && !Catalogue().Node(id).is_header)
                return id;
        }
        return kNoNode;
    }
    const CatalogNode* Find(const std::string& name, NodeId parent = kRootAnchor) const {
        const NodeId id = IdOf(name, parent);
        return id == kNoNode ? nullptr : &Catalogue().Node(id);
    }

    bool opened = false;
    RecordingEvents events;

private:
    std::shared_ptr<fixtures::MemoryMedium> m_medium;
    RecoverySession m_session;
};

const std::vector<std::uint8_t> kText = {'t', 'e', 'x', 't', '\n'};

TEST(TreeBuilder, ARootWithOnlyDotEntriesHasNoChildList) {
    Walk walk(Ext2Image{});
    walk.Run();
    EXPECT_TRUE(walk.Children().empty());
    EXPECT_EQ(walk.Catalogue().NodeCount(), 1u);
    EXPECT_EQ(walk.Counters().entriesFound, 0u);
    EXPECT_EQ(walk.events.messages, std::vector<std::string>{"Tree Creation Completed"});
    EXPECT_EQ(walk.events.done, WorkerResult::kCompleted);
    EXPECT_EQ(walk.events.progress, 100);
}

TEST(TreeBuilder, EveryFolderListOpensWithAHeaderNamedByItsPath) {
    Ext2Image image;
    const fixtures::EntryAttributes owned{0640, 1000, 100, 1600000001, 1600000002, 1600000003};
    image.AddFile(2, "a", std::vector<std::uint8_t>(1500, 'a'), owned);
    const InodeNo b = image.AddDirectory(2, "b");
    image.AddFile(2, "c", kText);
    const InodeNo d = image.AddDirectory(b, "d");
    image.AddFile(d, "x", kText);
    Walk walk(image);
    walk.Run();

    EXPECT_EQ(walk.Children(), (std::vector<std::string>{"#D:\\$TW", "a", "b", "c"}));
    EXPECT_EQ(walk.Children(walk.IdOf("b")), (std::vector<std::string>{"#D:\\$TW\\b", "d"}));
    const NodeId dId = walk.IdOf("d", walk.IdOf("b"));
    EXPECT_EQ(walk.Children(dId), (std::vector<std::string>{"#D:\\$TW\\b\\d", "x"}));
    const CatalogNode* a = walk.Find("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->inode, 11u);
    EXPECT_EQ(a->type, kTypeFile);
    EXPECT_EQ(a->size, 1500u);
    EXPECT_EQ(a->mode, 0x81A0);
    EXPECT_EQ(a->uid, 1000);
    EXPECT_EQ(a->gid, 100);
    EXPECT_EQ(a->ctime, 1600000002u);
    EXPECT_EQ(a->mtime, 1600000003u);
    EXPECT_EQ(a->first_child, kNoNode);
    EXPECT_EQ(walk.Find("b")->inode, b);
    EXPECT_EQ(walk.Find("b")->type, kTypeFolder);
    const TreeCounters& counters = walk.Counters();
    EXPECT_EQ(counters.entriesFound, 5u);
    EXPECT_EQ(counters.files, 3u);
    EXPECT_EQ(counters.folders, 2u);
    EXPECT_EQ(counters.bytes, 1500u + 2 * kText.size());
    EXPECT_EQ(walk.events.done, WorkerResult::kCompleted);
}

TEST(TreeBuilder, AFolderOfSeveralBlocksIsListedWhole) {
    Ext2Options options;
    options.inodesPerGroup = 128;
    Ext2Image image(options);
    const InodeNo many = image.AddDirectory(2, "many");
    std::vector<std::string> expected = {"#D:\\$TW\\many"};
    for (int i = 0; i < 60; ++i) {
        expected.push_back("a-name-long-enough-to-fill-blocks-" + std::to_string(i));
        image.AddFile(many, expected.back(), kText);
    }
    ASSERT_GE(image.ReadInode(many).i_size, 3u * 1024);
    Walk walk(image);
    walk.Run();
    EXPECT_EQ(walk.Children(walk.IdOf("many")), expected);
    EXPECT_EQ(walk.Counters().files, 60u);
}

TEST(TreeBuilder, DamagedEntriesEndTheListingOrArePassedOver) {
    struct Case {
        const char* name;
        std::function<std::vector<RawDirEntry>(InodeNo a, InodeNo c)> entries;
        std::vector<std::string> listed; // empty: no child list
    };
    const RawDirEntry dot{2, ".", 2, {}, {}};
    const RawDirEntry dotdot{2, "..", 2, {}, {}};
    const auto entry = [](InodeNo n, const char* name) { return RawDirEntry{n, name, 1, {}, {}}; };
    const std::string header = "#D:\\$TW";
    const Case cases[] = {
        {"healthy",
         [&](InodeNo a, InodeNo c) {
             return std::vector{dot, dotdot, entry(a, "a"), entry(c, "c")};
         },
         {header, "a", "c"}},
        {"inode 1 ends the listing",
         [&](InodeNo a, InodeNo c) {
             return std::vector{dot, dotdot, entry(a, "a"), entry(1, "bad"), entry(c, "c")};
         },
         {header, "a"}},
        {"inode 0 is passed over",
         [&](InodeNo a, InodeNo c) {
             return std::vector{dot, dotdot, entry(a, "a"), entry(0, "gone"), entry(c, "c")};
         },
         {header, "a", "c"}},
        {"inode past s_inodes_count ends the listing",
         [&](InodeNo a, InodeNo c) {
             return std::vector{dot, dotdot, entry(a, "a"), entry(33, "far"), entry(c, "c")};
         },
         {header, "a"}},
        {"rec_len 0 ends the listing",
         [&](InodeNo a, InodeNo c) {
             RawDirEntry zero = entry(c, "c");
             zero.rec_len = 0;
             return std::vector{dot, dotdot, entry(a, "a"), zero, entry(c, "z")};
         },
         {header, "a"}},
        {"rec_len past the data ends the listing",
         [&](InodeNo a, InodeNo c) {
             RawDirEntry past = entry(c, "c");
             past.rec_len = 2000;
             return std::vector{dot, dotdot, entry(a, "a"), past};
         },
         {header, "a"}},
        {"name_len beyond rec_len ends the listing",
         [&](InodeNo a, InodeNo c) {
             RawDirEntry longName = entry(c, "c");
             longName.rec_len = 12;
             longName.name_len = 200;
             return std::vector{dot, dotdot, entry(a, "a"), longName, entry(c, "z")};
         },
         {header, "a"}},
        {"first entry not named \".\"",
         [&](InodeNo a, InodeNo c) {
             return std::vector{RawDirEntry{2, "x", 2, {}, {}}, dotdot, entry(a, "a"),
                                entry(c, "c")};
         },
         {}},
        {"\".\" with rec_len 16 gives no list",
         [&](InodeNo a, InodeNo c) {
             RawDirEntry wideDot = dot;
             wideDot.rec_len = 16;
             return std::vector{wideDot, dotdot, entry(a, "a"), entry(c, "c")};
         },
         {}},
    };
    for (const Case& c : cases) {
        Ext2Image image;
        const InodeNo a = image.AddFile(2, "a", kText);
        const InodeNo cInode = image.AddFile(2, "c", kText);
        image.WriteDirectory(2, c.entries(a, cInode));
        Walk walk(image);
        walk.Run();
        EXPECT_EQ(walk.Children(), c.listed) << c.name;
        const std::size_t entries = c.listed.empty() ? 0 : c.listed.size() - 1;
        EXPECT_EQ(walk.Counters().entriesFound, entries) << c.name;
        EXPECT_EQ(walk.events.messages, std::vector<std::string>{"Tree Creation Completed"});
    }
}

TEST(TreeBuilder, ASizeItsBlocksCannotHoldLeavesTheEntryOutUnlessTheFileIsSparse) {
    constexpr std::uint32_t kBlock = 4096;
    struct Case {
        const char* name;
        std::uint32_t size;
        std::array<bool, 4> mapped; // which of the first four logical blocks have a block
        std::uint32_t blocks;       // i_blocks, in sectors
        bool listed;
    };
    const Case cases[] = {
        {"fits its one block", 4000, {true, false, false, false}, 8, true},
        {"three blocks claimed, one mapped", 10000, {true, false, false, false}, 24, false},
        // No block mapped at all: the walk keeps the entry, as it always has; only the
        // block-count check of a mapped file can drop it.
        {"three blocks claimed, none mapped", 10000, {false, false, false, false}, 24, true},
        {"first block a hole", 2 * kBlock, {false, true, false, false}, 8, true},
        {"hole in the middle", 3 * kBlock, {true, false, true, false}, 16, true},
        {"hole in the middle, i_blocks counting the hole",
         3 * kBlock,
         {true, false, true, false},
         24,
         false},
        {"data past the size", 3 * kBlock, {true, false, false, true}, 16, false},
        // A file truncated upwards: its tail is a hole and i_blocks agrees with the map.
        {"one block, tail a hole", 10000, {true, false, false, false}, 8, true},
    };
    for (const Case& c : cases) {
        Ext2Options options;
        options.blockSize = kBlock;
        Ext2Image image(options);
        InodeFields f;
        f.i_mode = 0x81A4;
        f.i_size = c.size;
        f.i_blocks = c.blocks;
        for (std::size_t k = 0; k < c.mapped.size(); ++k)
            f.i_block[k] = c.mapped[k] ? image.AllocateBlock() : 0;
        image.AddInode(2, "f", f);
        image.AddFile(2, "after", kText);
        Walk walk(image);
        walk.Run();
        const CatalogNode* node = walk.Find("f");
        EXPECT_EQ(node != nullptr, c.listed) << c.name;
        if (node != nullptr) {
            EXPECT_EQ(node->size, c.size) << c.name;
        }
        EXPECT_NE(walk.Find("after"), nullptr) << c.name;
        EXPECT_EQ(walk.Counters().files, c.listed ? 2u : 1u) << c.name;
        EXPECT_EQ(walk.Counters().bytes, kText.size() + (c.listed ? c.size : 0)) << c.name;
    }
}

TEST(TreeBuilder, AFastSymlinkKeepsItsAttributesAndCountsAsAFile) {
    Ext2Image image;
    const std::string target = "../some/where/else.txt";
    image.AddSymlink(2, "link", target, {0777, 501, 20, 1600000001, 1600000002, 1600000003});
    image.AddFile(2, "plain", kText);
    Walk walk(image);
    walk.Run();
    const CatalogNode* link = walk.Find("link");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->type, kTypeSymlink);
    EXPECT_EQ(link->mode, 0xA1FF);
    EXPECT_EQ(link->size, target.size());
    EXPECT_EQ(link->uid, 501);
    EXPECT_EQ(link->gid, 20);
    EXPECT_EQ(link->ctime, 1600000002u);
    EXPECT_EQ(link->mtime, 1600000003u);
    EXPECT_EQ(walk.Counters().files, 2u);
    EXPECT_EQ(walk.Counters().folders, 0u);
    EXPECT_EQ(walk.Counters().bytes, target.size() + kText.size());
}

TEST(TreeBuilder, WithoutEntryTypesFoldersAreKnownByTheirMode) {
    Ext2Options options;
    options.filetype = false;
    Ext2Image image(options);
    const InodeNo sub = image.AddDirectory(2, "sub");
    image.AddFile(sub, "x", kText);
    image.AddSymlink(sub, "l", "x");
    const MutableBytes rootBlock = image.Block(image.ReadInode(2).i_block[0]);
    ASSERT_EQ(rootBlock[24 + ext2::file_type], 0) << "the entry of sub carries no type";
    Walk walk(image);
    walk.Run();
    const CatalogNode* node = walk.Find("sub");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->type, kTypeFolder);
    const NodeId subId = walk.IdOf("sub");
    ASSERT_EQ(walk.Children(subId), (std::vector<std::string>{"#D:\\$TW\\sub", "x", "l"}));
    EXPECT_EQ(walk.Find("x", subId)->type, kTypeFile);
    EXPECT_EQ(walk.Find("l", subId)->type, kTypeSymlink);
    EXPECT_EQ(walk.Counters().folders, 1u);
}

TEST(TreeBuilder, AFolderInodeIsWalkedOnceAndLaterEntriesNamingItAreOnlyListed) {
    Ext2Image image;
    const InodeNo sub = image.AddDirectory(2, "sub");
    const InodeNo inner = image.AddDirectory(sub, "inner");
    image.Link(inner, "root", 2, fixtures::kFileTypeDirectory);
    image.Link(inner, "back", sub, fixtures::kFileTypeDirectory);
    image.Link(inner, "self", inner, fixtures::kFileTypeDirectory);
    image.AddFile(inner, "y", kText);
    image.Link(2, "alias", sub, fixtures::kFileTypeDirectory); // a second name, not a loop
    Walk walk(image);
    walk.Run();
    ASSERT_EQ(walk.events.done, WorkerResult::kCompleted);
    const NodeId innerId = walk.IdOf("inner", walk.IdOf("sub"));
    EXPECT_EQ(walk.Children(innerId),
              (std::vector<std::string>{"#D:\\$TW\\sub\\inner", "root", "back", "self", "y"}));
    for (const char* loop : {"root", "back", "self"}) {
        ASSERT_NE(walk.Find(loop, innerId), nullptr) << loop;
        EXPECT_EQ(walk.Find(loop, innerId)->first_child, kNoNode) << loop;
    }
    // The second name of sub is listed, not walked again: sub's folders were walked once.
    ASSERT_NE(walk.Find("alias"), nullptr);
    EXPECT_EQ(walk.Find("alias")->first_child, kNoNode);
    // sub, alias, inner, and inner's 4 entries.
    EXPECT_EQ(walk.Counters().entriesFound, 2u + 5);
    // One row says so, naming the first entry met again.
    EXPECT_EQ(walk.events.rows,
              std::vector<std::string>{"Tree Creation: 4 folder entries name a folder listed "
                                       "already and were not walked again; the first: "
                                       "D:\\$TW\\sub\\inner\\root"});
}

TEST(TreeBuilder, FoldersEnteredTwicePerLevelMakeNodesLinearInDepth) {
    // top/x/x/.../x, where every level's y names the same folder as its x.
    for (const int depth : {3, 14}) {
        Ext2Image image;
        InodeNo level = image.AddDirectory(2, "top");
        for (int k = 0; k < depth; ++k) {
            const InodeNo next = image.AddDirectory(level, "x");
            image.Link(level, "y", next, fixtures::kFileTypeDirectory);
            level = next;
        }
        Walk walk(image);
        walk.Run();
        ASSERT_EQ(walk.events.done, WorkerResult::kCompleted);
        // The anchor, the root's header and top, then a header, x and y per level.
        EXPECT_EQ(walk.Catalogue().NodeCount(), 3u + 3u * depth) << depth;
        EXPECT_EQ(walk.Counters().folders, 1u + 2u * depth) << depth;
        EXPECT_EQ(walk.events.RowsWith("not walked again"), 1u) << depth;
        EXPECT_EQ(walk.events.RowsWith(std::to_string(depth) + " folder entries"), 1u) << depth;
    }
}

TEST(TreeBuilder, HeadersOfADeepChainStoreNoPathsButNameThemWhenAsked) {
    constexpr int kDepth = 120;
    const std::string name(200, 'n');
    Ext2Options options;
    options.blocksPerGroup = 1024;
    options.inodesPerGroup = 256;
    Ext2Image image(options);
    InodeNo level = 2;
    std::string path = "D:\\$TW";
    for (int k = 0; k < kDepth; ++k) {
        level = image.AddDirectory(level, name);
        path += "\\" + name;
    }
    image.AddFile(level, "leaf", kText);
    Walk walk(image);
    walk.Run();
    ASSERT_EQ(walk.Counters().entriesFound, kDepth + 1u);
    // Only the entries' own names are stored: linear in name bytes, not in depth squared.
    EXPECT_EQ(walk.Catalogue().NameBytes(), kDepth * name.size() + 4);
    NodeId folder = kRootAnchor;
    for (int k = 0; k < kDepth; ++k)
        folder = walk.IdOf(name, folder);
    EXPECT_EQ(walk.Children(folder), (std::vector<std::string>{"#" + path, "leaf"}));
}

TEST(TreeBuilder, AScanInformationFileStoresEveryHeadersPathAndReadsBackToTheSameBytes) {
    Ext2Image image;
    const InodeNo b = image.AddDirectory(2, "b");
    const InodeNo d = image.AddDirectory(b, "d\\e");
    image.AddFile(d, "x", kText);
    image.AddFile(2, "c", kText);
    Walk walk(image);
    walk.Run();
    fixtures::TempDir dir;
    const std::string first = dir.File("first.ds1");
    ASSERT_TRUE(WriteScanInfoFile(walk.Session(), first, {}).Ok());
    const std::vector<std::uint8_t> bytes = fixtures::ReadFileBytes(first);
    // The tree section holds each node as its 41-byte record, a 16-bit name length and the
    // name; headers are named by their folders' full paths.
    std::vector<std::string> headers;
    const std::size_t tree = 512 + 1536 + 512 + 512 + 1024 + 512;
    for (std::size_t at = tree; at + 43 <= bytes.size();) {
        const std::size_t length = Le16(bytes, at + 41);
        const std::string name(bytes.begin() + static_cast<std::ptrdiff_t>(at + 43),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + 43 + length));
        if (bytes[at + 32] != 0)
            headers.push_back(name);
        at += 43 + length;
    }
    EXPECT_EQ(headers, (std::vector<std::string>{"D:\\$TW", "D:\\$TW\\b", "D:\\$TW\\b\\d\\e"}));

    LoadedScanInfo loaded;
    ASSERT_EQ(ParseScanInfo(bytes, loaded), ScanInfoReadResult::kOk);
    EXPECT_EQ(loaded.catalog.NameBytes(), walk.Catalogue().NameBytes());
    walk.Session().Catalogue() = std::move(loaded.catalog);
    const std::string second = dir.File("second.ds1");
    ASSERT_TRUE(WriteScanInfoFile(walk.Session(), second, {}).Ok());
    EXPECT_EQ(fixtures::ReadFileBytes(second), bytes);

    // A header whose stored name is not its folder's path keeps that name through a load.
    std::vector<std::uint8_t> odd = bytes;
    const std::string folderB = "D:\\$TW\\b";
    const auto at = std::search(odd.begin(), odd.end(), folderB.begin(), folderB.end());
    ASSERT_NE(at, odd.end());
    at[folderB.size() - 1] = 'B';
    LoadedScanInfo oddLoaded;
    ASSERT_EQ(ParseScanInfo(odd, oddLoaded), ScanInfoReadResult::kOk);
    walk.Session().Catalogue() = std::move(oddLoaded.catalog);
    const std::string third = dir.File("third.ds1");
    ASSERT_TRUE(WriteScanInfoFile(walk.Session(), third, {}).Ok());
    EXPECT_EQ(fixtures::ReadFileBytes(third), odd);
}

TEST(TreeBuilder, ADamagedRecordEndsItsBlockOnlyAndTheLogNamesTheFolder) {
    struct Case {
        const char* name;
        int block;  // the damaged record: its block of the folder,
        int record; // and its place in that block
        std::function<void(MutableBytes rest)> damage; // given the rest of the block
    };
    const auto zeros = [](MutableBytes r) { std::fill(r.begin(), r.end(), std::uint8_t{0}); };
    const Case cases[] = {
        {"rec_len too small for the name", 1, 2, [](MutableBytes r) { PutLe16(r, 4, 9); }},
        {"rec_len 0", 1, 2, [](MutableBytes r) { PutLe16(r, 4, 0); }},
        {"rec_len past the block", 1, 2, [](MutableBytes r) { PutLe16(r, 4, 1020); }},
        {"inode past s_inodes_count", 1, 2, [](MutableBytes r) { PutLe32(r, 0, 9999); }},
        {"inode 1", 1, 2, [](MutableBytes r) { PutLe32(r, 0, 1); }},
        {"an unreadable middle block, read as zeros", 1, 0, zeros},
        {"an unreadable first block, read as zeros", 0, 0, zeros},
    };
    for (const Case& c : cases) {
        Ext2Options options;
        options.inodesPerGroup = 128;
        Ext2Image image(options);
        const InodeNo many = image.AddDirectory(2, "many");
        for (int i = 0; i < 60; ++i)
            image.AddFile(many, "a-name-long-enough-to-fill-blocks-" + std::to_string(i), kText);
        // The names block by block, and the damage: the damaged record and the rest of its
        // block are lost, every other block is listed.
        std::vector<std::string> expected = {"#D:\\$TW\\many"};
        const auto blocks = image.ReadInode(many).i_block;
        for (int b = 0; b < 3; ++b) {
            const MutableBytes block = image.Block(blocks[static_cast<std::size_t>(b)]);
            int index = 0;
            for (std::size_t at = 0; at < block.size(); at += Le16(block, at + 4), ++index) {
                const std::string name(reinterpret_cast<const char*>(&block[at + 8]),
                                       block[at + 6]);
                if (b == c.block && index == c.record) {
                    c.damage(block.subspan(at));
                    break;
                }
                if (name != "." && name != "..")
                    expected.push_back(name);
            }
        }
        ASSERT_GT(expected.size(), 30u) << c.name; // two whole blocks at least
        Walk walk(image);
        walk.Run();
        EXPECT_EQ(walk.Children(walk.IdOf("many")), expected) << c.name;
        EXPECT_EQ(walk.events.rows, std::vector<std::string>{"Tree Creation: Damaged folder "
                                                             "records passed over in "
                                                             "D:\\$TW\\many"})
            << c.name;
    }
}

TEST(TreeBuilder, AFileLeftOutForDamageIsCountedAndNamedInTheLog) {
    Ext2Options options;
    options.largeFile = true;
    Ext2Image image(options);
    const InodeNo sub = image.AddDirectory(2, "sub");
    InodeFields huge; // a corrupt i_size_high: the size is far past the volume
    huge.i_mode = 0x81A4;
    huge.i_size = 5;
    huge.i_dir_acl = 0x10000;
    huge.i_block[0] = image.AllocateBlock();
    huge.i_blocks = 2;
    image.AddInode(sub, "huge\nname", huge);
    InodeFields cut; // three blocks claimed, one mapped, i_blocks counting three
    cut.i_mode = 0x81A4;
    cut.i_size = 3000;
    cut.i_block[0] = image.AllocateBlock();
    cut.i_blocks = 6;
    image.AddInode(sub, "cut", cut);
    image.AddFile(sub, "kept", kText);
    Walk walk(image);
    walk.Run();
    EXPECT_EQ(walk.Children(walk.IdOf("sub")), (std::vector<std::string>{"#D:\\$TW\\sub", "kept"}));
    EXPECT_EQ(walk.events.rows,
              (std::vector<std::string>{
                  "Tree Creation: File left out, its size is larger than the volume: "
                  "D:\\$TW\\sub\\huge\\nname",
                  "Tree Creation: File left out, its size is larger than its blocks hold: "
                  "D:\\$TW\\sub\\cut",
                  "Tree Creation: 2 files left out for damage"}));
    EXPECT_EQ(walk.events.done, WorkerResult::kCompleted);
}

TEST(TreeBuilder, AFullCatalogueEndsTheWorkKeepingWhatWasBuilt) {
    Ext2Image image;
    image.AddFile(2, "a", kText);
    const InodeNo sub = image.AddDirectory(2, "sub");
    for (const char* name : {"f0", "f1", "f2"})
        image.AddFile(sub, name, kText);
    {
        // The anchor and the root's list (header, a, sub), then sub's header and f0.
        Walk walk(image);
        walk.Session().Catalogue().SetNodeLimit(6);
        walk.Run();
        EXPECT_EQ(walk.events.messages,
                  std::vector<std::string>{"Tree Creation Ended Early: the catalogue is full; "
                                           "the tree built so far is kept"});
        EXPECT_EQ(walk.events.done, WorkerResult::kAborted);
        EXPECT_EQ(walk.Children(), (std::vector<std::string>{"#D:\\$TW", "a", "sub"}));
        EXPECT_EQ(walk.Children(walk.IdOf("sub")),
                  (std::vector<std::string>{"#D:\\$TW\\sub", "f0"}));
        EXPECT_EQ(walk.Counters().entriesFound, 3u);
    }
    {
        // Turbo Scan: its first container fits, the second does not.
        Walk walk(image);
        walk.Run();
        ASSERT_EQ(walk.events.done, WorkerResult::kCompleted);
        walk.Session().Catalogue().SetNodeLimit(walk.Catalogue().NodeCount() + 2);
        walk.events.messages.clear();
        EXPECT_FALSE(walk.RunTurbo());
        EXPECT_EQ(walk.events.messages,
                  std::vector<std::string>{"Turbo Scan Ended Early: the catalogue is full; "
                                           "what was found so far is kept"});
        EXPECT_EQ(walk.Children(),
                  (std::vector<std::string>{"#D:\\$TW", "a", "sub", "Lost Folders1"}));
        EXPECT_EQ(walk.Children(walk.IdOf("sub")).size(), 4u);
    }
    {
        // A scan information file whose tree does not fit is refused as a whole.
        Walk walk(image);
        walk.Run();
        fixtures::TempDir dir;
        const std::string path = dir.File("tree.ds1");
        ASSERT_TRUE(WriteScanInfoFile(walk.Session(), path, {}).Ok());
        LoadedScanInfo loaded;
        loaded.catalog.SetNodeLimit(5);
        EXPECT_EQ(ReadScanInfoFile(path, loaded), ScanInfoReadResult::kDamaged);
        EXPECT_EQ(loaded.damage, "its file tree cannot be held: the catalogue is full");
    }
}

TEST(TreeBuilder, LargeFileVolumesTakeTheHighSizeWordOfRegularFiles) {
    for (const bool largeFile : {true, false}) {
        Ext2Options options;
        options.largeFile = largeFile;
        Ext2Image image(options);
        InodeFields f;
        f.i_mode = 0x81A4;
        f.i_size = 5;
        f.i_dir_acl = 1; // i_size_high
        f.i_block[0] = image.AllocateBlock();
        f.i_blocks = 2;
        image.AddInode(2, "huge", f);
        Walk walk(image, SectorCount{16} << 21); // a 16 GiB volume
        walk.Run();
        const CatalogNode* node = walk.Find("huge");
        ASSERT_NE(node, nullptr) << largeFile;
        const std::uint64_t expected = largeFile ? (std::uint64_t{1} << 32) + 5 : 5;
        EXPECT_EQ(node->size, expected);
        EXPECT_EQ(walk.Counters().bytes, expected);
    }
}

TEST(TreeBuilder, PercentIsOfTheInodesInUseOrOfAllAfterABackup) {
    struct Case {
        const char* name;
        std::uint32_t freeInodes; // s_free_inodes_count of the superblock taken
        bool fromBackup;          // the primary is damaged; group 1's copy opens the volume
        std::vector<int> percents;
    };
    const Case cases[] = {
        {"8 in use", 64 - 8, false, {12, 25, 37, 50}},
        {"2 in use", 64 - 2, false, {50, 100, 100, 100}},
        {"none in use", 64, false, {0, 0, 0, 0}},
        {"backup: of all 64", 64 - 8, true, {1, 3, 4, 6}},
    };
    for (const Case& c : cases) {
        Ext2Options options;
        options.groups = 2;
        Ext2Image image(options);
        for (const char* name : {"a", "b", "c", "d"})
            image.AddFile(2, name, kText);
        PutLe32(image.Superblock(), ext2::s_free_inodes_count, c.freeInodes);
        image.WriteBackup(1);
        if (c.fromBackup)
            PutLe32(image.Superblock(), ext2::s_magic, 0);
        Walk walk(image);
        walk.Run();
        EXPECT_EQ(walk.events.percents, c.percents) << c.name;
        EXPECT_EQ(walk.Children().size(), 5u) << c.name;
        EXPECT_EQ(walk.events.done, WorkerResult::kCompleted) << c.name;
    }
}

// The status texts after a walk, from the counters alone: units switch at 2^20 and 2^30 bytes.
TEST(TreeBuilder, TheStatusTextsSwitchUnitsAtOneMebibyteAndOneGibibyte) {
    const std::pair<TreeCounters, const char*> cases[] = {
        {{1, 1, 0, 1048576}, "  1.000 MB in 1 Files in 0 Folders"},
        {{1, 1, 0, 1048575}, "1023.999 KB in 1 Files in 0 Folders"},
        {{0, 0, 0, 0}, "  0.000 KB in 0 Files in 0 Folders"},
        {{9, 4, 5, 1073741823}, "1024.000 MB in 4 Files in 5 Folders"},
        {{9, 4, 5, 1073741824}, "  1.000 GB in 4 Files in 5 Folders"},
    };
    for (const auto& [counters, text] : cases)
        EXPECT_EQ(SizeLineText(counters), text) << counters.bytes;
    EXPECT_EQ(EntriesFoundText({9, 4, 5, 0}), "9 Entries Found");
}

// A folder whose entries name their inodes in descending order, as a hash-ordered folder
// can: the inodes are read in ascending order, no table sector twice, and the listing keeps
// the folder's own order.
TEST(TreeBuilder, AFolderListedOutOfInodeOrderReadsItsInodesInAscendingOrder) {
    Ext2Options options;
    options.blockSize = 4096;
    options.blocksPerGroup = 1024;
    options.inodesPerGroup = 256;
    options.inodeSize = 256;
    Ext2Image image(options);
    const InodeNo folder = image.AddDirectory(2, "many");
    std::vector<RawDirEntry> entries{{folder, ".", 2, {}, {}}, {2, "..", 2, {}, {}}};
    std::vector<std::string> expected{"#D:\\$TW\\many"};
    for (int i = 0; i < 150; ++i) {
        const std::string name = "f" + std::to_string(i);
        const InodeNo n = image.AddFile(folder, name, kText);
        entries.insert(entries.begin() + 2, RawDirEntry{n, name, 1, {}, {}});
        expected.insert(expected.begin() + 1, name);
    }
    image.WriteDirectory(folder, entries);
    Walk walk(image);
    walk.Medium().readOffsets.clear();
    walk.Medium().readLengths.clear();
    walk.Run();
    EXPECT_EQ(walk.Children(walk.IdOf("many")), expected);

    const ByteOffset tableStart = SectorOffset(kStart) + image.InodeTableBlock(0) * 4096;
    const ByteOffset tableEnd = tableStart + 256 * 256;
    ByteOffset readUpTo = 0;
    std::size_t tableReads = 0;
    for (std::size_t i = 0; i < walk.Medium().readOffsets.size(); ++i) {
        const ByteOffset at = walk.Medium().readOffsets[i];
        if (at < tableStart || at >= tableEnd)
            continue;
        ++tableReads;
        EXPECT_GE(at, readUpTo) << "table read " << tableReads << " goes back";
        readUpTo = at + walk.Medium().readLengths[i];
    }
    EXPECT_LE(tableReads, 3u);
}

// Turbo Scan after the tree walk: table sectors whose inodes the walk listed whole and
// without a deletion time are not read again; a sector that also holds a deleted inode is,
// and the deleted file is found as before.
TEST(TreeBuilder, TurboScanReadsAgainOnlyTheSectorsTheWalkLeftSomethingIn) {
    Ext2Options options;
    options.blocksPerGroup = 1024;
    options.inodesPerGroup = 128; // 128-byte inodes: four a sector
    Ext2Image image(options);
    std::vector<InodeNo> files;
    for (int i = 0; i < 100; ++i) // inodes 12 to 111
        files.push_back(image.AddFile(2, "f" + std::to_string(i), kText));
    InodeFields deleted;
    deleted.i_mode = 0x81A4;
    deleted.i_size = 30;
    deleted.i_dtime = fixtures::kBuildTime;
    deleted.i_blocks = 2;
    deleted.i_block[0] = image.AllocateBlock();
    const InodeNo gone = image.AllocateInode();
    image.WriteInode(gone, deleted);
    const auto sectorOf = [&](InodeNo n) {
        return SectorOffset(kStart) / kSectorSize + image.InodeTableBlock(0) * 2 + (n - 1) / 4;
    };
    ASSERT_EQ(sectorOf(gone), sectorOf(files.back())); // shares a sector with listed files
    Walk walk(image);
    walk.Run();
    walk.Medium().readOffsets.clear();
    walk.Medium().readLengths.clear();
    ASSERT_TRUE(walk.RunTurbo());
    EXPECT_EQ(
        walk.Children(walk.IdOf("Deleted Files1")),
        (std::vector<std::string>{"#D:\\$TW\\Deleted Files1", "Inode" + std::to_string(gone)}));
    std::set<std::uint64_t> read;
    for (std::size_t i = 0; i < walk.Medium().readOffsets.size(); ++i)
        for (std::uint64_t at = 0; at < walk.Medium().readLengths[i]; at += kSectorSize)
            read.insert((walk.Medium().readOffsets[i] + at) / kSectorSize);
    EXPECT_EQ(read.count(sectorOf(gone)), 1u);
    // Four listed files, amid more than a short gap of such sectors: nothing to find there.
    EXPECT_EQ(read.count(sectorOf(files[60])), 0u);
}

TEST(TreeBuilder, AStopFromTheEventsEndsTheWalkAndKeepsWhatWasListed) {
    Ext2Image image;
    image.AddFile(2, "a", kText);
    const InodeNo b = image.AddDirectory(2, "b");
    image.AddFile(b, "inside", kText);
    image.AddFile(2, "c", kText);
    image.AddFile(2, "d", kText);
    Walk walk(image);
    walk.events.stopAfter = 2;
    walk.Run();
    EXPECT_EQ(walk.Children(), (std::vector<std::string>{"#D:\\$TW", "a", "b"}));
    EXPECT_TRUE(walk.Children(walk.IdOf("b")).empty());
    EXPECT_EQ(walk.Counters().entriesFound, 2u);
    EXPECT_EQ(walk.events.messages, std::vector<std::string>{"Tree Creation Aborted"});
    EXPECT_EQ(walk.events.done, WorkerResult::kAborted);
}

// One folder block through the record parser: live and deleted records with what each leaves
// after its name, and the ways a damaged record ends the block (and only the block: the
// parser is never asked past it), or the visitor ends the reading.
TEST(DirectoryRecords, ABlockIsReadRecordByRecordUntilItEndsOrIsDamaged) {
    // offset 0: inode 12 "a" (12 bytes); 12: deleted "gone" (20, 8 left over); 32: inode 13
    // "bb" (16, 6 left over); 48: the last record, 16 bytes to the block's end.
    const auto put = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t inode,
                        std::uint16_t recLen, std::string_view name, std::uint8_t type) {
        PutLe32(b, at, inode);
        PutLe16(b, at + 4, recLen);
        b[at + 6] = static_cast<std::uint8_t>(name.size());
        b[at + 7] = type;
        std::copy(name.begin(), name.end(), b.begin() + static_cast<std::ptrdiff_t>(at + 8));
    };
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> last; // writes the record at 48
        std::size_t from;
        bool endAtSecond;
        std::vector<std::string> expected; // "offset inode recLen nameLen type name slack"
        RecordsEnd end;
    };
    const std::vector<std::string> firstThree{"0 12 12 1 1 a 3", "12 0 20 4 1 gone 8",
                                              "32 13 16 2 2 bb 6"};
    auto withLast = firstThree;
    withLast.push_back("48 14 16 1 7 z 7");
    const Case cases[] = {
        {"a sound block", [&](auto& b) { put(b, 48, 14, 16, "z", 7); }, 0, false, withLast,
         RecordsEnd::kBlockEnd},
        {"a record leaving the block", [&](auto& b) { put(b, 48, 14, 20, "z", 7); }, 0, false,
         firstThree, RecordsEnd::kDamage},
        {"a length too short for the name",
         [&](auto& b) {
             put(b, 48, 14, 16, "z", 7);
             b[54] = 9; /* 8 + 9 bytes do not fit in 16 */
         },
         0, false, firstThree, RecordsEnd::kDamage},
        {"a zero length", [&](auto& b) { put(b, 48, 14, 0, "", 7); }, 0, false, firstThree,
         RecordsEnd::kDamage},
        {"an inode past the range", [&](auto& b) { put(b, 48, 101, 16, "z", 7); }, 0, false,
         firstThree, RecordsEnd::kDamage},
        {"an inode below the range", [&](auto& b) { put(b, 48, 1, 16, "z", 7); }, 0, false,
         firstThree, RecordsEnd::kDamage},
        {"a header that does not fit",
         [&](auto& b) { put(b, 48, 14, 16, "z", 7); },
         60,
         false,
         {},
         RecordsEnd::kDamage},
        {"read from the third record",
         [&](auto& b) { put(b, 48, 14, 16, "z", 7); },
         32,
         false,
         {withLast[2], withLast[3]},
         RecordsEnd::kBlockEnd},
        {"ended by the visitor",
         [&](auto& b) { put(b, 48, 14, 16, "z", 7); },
         0,
         true,
         {firstThree[0], firstThree[1]},
         RecordsEnd::kVisitor},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> block(64, 0xEE);
        put(block, 0, 12, 12, "a", 1);
        put(block, 12, 0, 20, "gone", 1);
        put(block, 32, 13, 16, "bb", 2);
        c.last(block);
        std::vector<std::string> seen;
        const RecordsEnd end = ForEachDirectoryRecord(
            block, c.from, InodeRange{2, 100}, [&](const DirectoryRecord& r) {
                seen.push_back(std::to_string(r.offset) + " " + std::to_string(r.inode) + " " +
                               std::to_string(r.recLen) + " " + std::to_string(r.nameLen) + " " +
                               std::to_string(r.fileType) + " " + std::string(r.NameText()) + " " +
                               std::to_string(r.slack));
                return c.endAtSecond && seen.size() == 2 ? WalkOn::kEnd : WalkOn::kGoOn;
            });
        EXPECT_EQ(seen, c.expected) << c.name;
        EXPECT_EQ(end, c.end) << c.name;
    }
}

} // namespace
} // namespace twl
