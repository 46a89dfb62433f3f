#include "ext2/TreeBuilder.h"

#include "ext2/VolumeOpen.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"

#include <functional>

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
    void WorkerDone(int result) override { done = result; }

    std::vector<int> percents; // one per entry listed
    std::vector<std::string> messages;
    int progress = -1;
    int done = 1;
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
        EXPECT_EQ(m_session.Source().SelectImageFile(kPath), ImageSelectResult::kOk);
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

    const Catalog& Catalogue() const { return m_session.Catalogue(); }
    const TreeCounters& Counters() { return m_session.Counters(); }

    // The child list of `parent`: names in order, a header as "#" and its name.
    std::vector<std::string> Children(NodeId parent = kRootAnchor) const {
        std::vector<std::string> names;
        for (NodeId id = Catalogue().Node(parent).first_child; id != kNoNode;
             id = Catalogue().Node(id).next_sibling) {
            const std::string name(Catalogue().Name(id));
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
    EXPECT_EQ(walk.events.done, 0);
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
    EXPECT_EQ(walk.events.done, 0);
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

TEST(TreeBuilder, AFolderLeadingBackToAnAncestorIsListedButNotWalked) {
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
    ASSERT_EQ(walk.events.done, 0);
    const NodeId innerId = walk.IdOf("inner", walk.IdOf("sub"));
    EXPECT_EQ(walk.Children(innerId),
              (std::vector<std::string>{"#D:\\$TW\\sub\\inner", "root", "back", "self", "y"}));
    for (const char* loop : {"root", "back", "self"}) {
        ASSERT_NE(walk.Find(loop, innerId), nullptr) << loop;
        EXPECT_EQ(walk.Find(loop, innerId)->first_child, kNoNode) << loop;
    }
    // The second name of sub is walked: it is not on its own path.
    EXPECT_EQ(walk.Children(walk.IdOf("alias")),
              (std::vector<std::string>{"#D:\\$TW\\alias", "inner"}));
    // sub, alias, each with inner holding 4 entries.
    EXPECT_EQ(walk.Counters().entriesFound, 2u + 2 * 5);
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
        EXPECT_EQ(walk.events.done, 0) << c.name;
    }
}

TEST(TreeBuilder, TheSizeLineSwitchesUnitsAtOneMebibyte) {
    const std::pair<std::size_t, const char*> cases[] = {
        {1048576, "  1.000 MB in 1 Files in 0 Folders"},
        {1048575, "1023.999 KB in 1 Files in 0 Folders"},
    };
    for (const auto& [bytes, text] : cases) {
        Ext2Options options;
        options.blocksPerGroup = 8192;
        options.blocksCount = 1100;
        Ext2Image image(options);
        image.AddFile(2, "data", std::vector<std::uint8_t>(bytes, 0x42));
        Walk walk(image);
        walk.Run();
        EXPECT_EQ(SizeLineText(walk.Counters()), text);
    }
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
    EXPECT_EQ(walk.events.done, -9);
}

} // namespace
} // namespace twl
