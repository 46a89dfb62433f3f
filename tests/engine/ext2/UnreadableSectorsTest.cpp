// Sectors that cannot be read, in the places the volume open, the tree walk and Turbo Scan
// read: each reads as zeros, costs what it held and nothing more, and is counted.

#include "ext2/TreeBuilder.h"
#include "ext2/TurboScan.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "session/ListedVolumes.h"

#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::Ext2Image;
using fixtures::Ext2Options;
using fixtures::InodeFields;

constexpr char kPath[] = "/test/unreadable.img";

// A session over `image` (at sector 0) whose sectors `bad` fail every read, with the volume
// listed as its only partition.
class Session {
public:
    Session(const Ext2Image& image, std::set<std::uint64_t> bad)
        : m_medium(image.ToMedium()), session({}, fixtures::MemoryFactory{kPath, m_medium}) {
        m_medium->badSectors = std::move(bad);
        EXPECT_TRUE(session.Source().SelectImageFile(kPath).Ok());
        session.SetMode(ProcessingMode::kTable);
        session.Lists().partitions.entries.push_back(
            PartitionEntry{0, kLinuxPartitionType, 0, image.Sectors()});
    }

    OpenOutcome Open() {
        return OpenListedVolume(session, 0, [] { return true; });
    }

    void BuildTree() {
        VolumeReader reader(session.Source(), *session.Volume());
        TreeBuilder builder(reader, session.Catalogue(), session.Counters(), session.Stop(),
                            m_events);
        builder.BuildTree();
    }

    void Turbo() {
        VolumeReader reader(session.Source(), *session.Volume());
        TurboScan scan(reader, session.Catalogue(), session.Counters(), session.Stop(), m_events);
        RunTurboScan(scan, session.Catalogue(), session.Stop(), m_events);
    }

    // Every node below the root, headers left out, as "path size mtime".
    std::vector<std::string> Listing() const {
        std::vector<std::string> lines;
        const Catalog& catalog = session.Catalogue();
        std::vector<std::pair<NodeId, std::string>> stack{{kRootAnchor, ""}};
        while (!stack.empty()) {
            const auto [parent, prefix] = stack.back();
            stack.pop_back();
            for (NodeId id = catalog.Node(parent).first_child; id != kNoNode;
                 id = catalog.Node(id).next_sibling) {
                const CatalogNode& node = catalog.Node(id);
                if (node.is_header)
                    continue;
                const std::string path = prefix + "/" + std::string(catalog.Name(id));
                lines.push_back(path + " " + std::to_string(node.size) + " " +
                                std::to_string(node.mtime));
                stack.emplace_back(id, path);
            }
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

private:
    std::shared_ptr<fixtures::MemoryMedium> m_medium;
    EngineEvents m_events;

public:
    RecoverySession session;
};

// The sectors of block `block` of a 1 KiB-block image at sector 0.
std::set<std::uint64_t> BlockSectors(BlockNo block) {
    return {std::uint64_t{block} * 2, std::uint64_t{block} * 2 + 1};
}

std::uint64_t InodeSector(const Ext2Image& image, InodeNo n) {
    return image.InodeOffset(n) / kSectorSize;
}

TEST(UnreadableSectors, AnUnreadablePrimarySuperblockOrTableLeadsToTheCopy) {
    struct Case {
        const char* name;
        std::function<std::set<std::uint64_t>(const Ext2Image&)> bad;
        bool backup;
        OpenOutcome outcome;
    };
    const Case cases[] = {
        {"primary superblock",
         [](const Ext2Image&) {
             return std::set<std::uint64_t>{2, 3};
         },
         true, OpenOutcome::kOpened},
        {"primary descriptor table", [](const Ext2Image&) { return BlockSectors(2); }, true,
         OpenOutcome::kOpened},
        {"primary superblock, no copy", [](const Ext2Image&) { return std::set<std::uint64_t>{2}; },
         false, OpenOutcome::kNoValidSuperblock},
    };
    for (const Case& c : cases) {
        Ext2Options options;
        options.groups = 2;
        Ext2Image image(options);
        image.AddFile(2, "kept.txt", std::vector<std::uint8_t>(100, 'k'));
        if (c.backup)
            image.WriteBackup(1);
        Session s(image, c.bad(image));
        EXPECT_EQ(s.Open(), c.outcome) << c.name;
        EXPECT_GT(s.session.Source().UnreadableSectors(), 0u) << c.name;
        if (c.outcome != OpenOutcome::kOpened) {
            EXPECT_EQ(s.session.Volume(), nullptr) << c.name;
            continue;
        }
        ASSERT_NE(s.session.Volume(), nullptr) << c.name;
        EXPECT_EQ(s.session.Volume()->sb.s_block_group_nr, 1) << c.name;
        s.BuildTree();
        EXPECT_EQ(s.Listing(), (std::vector<std::string>{"/kept.txt 100 1700000000"})) << c.name;
    }
}

// docs (a.txt, b.txt), pics (c.txt) and top.txt in the root, each file of 10 bytes.
struct Tree {
    Ext2Image image;
    InodeNo docs, pics, a, b, c, top;
};

Tree MakeTree() {
    Ext2Options options;
    options.inodesPerGroup = 64;
    Tree t{Ext2Image(options), 0, 0, 0, 0, 0, 0};
    const std::vector<std::uint8_t> ten(10, 'x');
    t.docs = t.image.AddDirectory(2, "docs");
    t.a = t.image.AddFile(t.docs, "a.txt", ten);
    t.b = t.image.AddFile(t.docs, "b.txt", ten);
    // Far enough on to have an inode-table sector of their own.
    for (int i = 0; i < 8; ++i)
        t.image.AllocateInode();
    t.pics = t.image.AddDirectory(2, "pics");
    t.c = t.image.AddFile(t.pics, "c.txt", ten);
    for (int i = 0; i < 8; ++i)
        t.image.AllocateInode();
    t.top = t.image.AddFile(2, "top.txt", ten);
    return t;
}

TEST(UnreadableSectors, TheTreeWalkLosesOnlyWhatAnUnreadableSectorHeld) {
    const std::string time = " 1700000000";
    struct Case {
        const char* name;
        std::function<std::set<std::uint64_t>(Tree&)> bad;
        std::vector<std::string> listing;
    };
    const Case cases[] = {
        {"docs' folder block",
         [](Tree& t) { return BlockSectors(t.image.ReadInode(t.docs).i_block[0]); },
         {"/docs 1024" + time, "/pics 1024" + time, "/pics/c.txt 10" + time, "/top.txt 10" + time}},
        // The entries stay, named by their folder; their inodes read as zeros.
        {"the inode-table sector of pics and c.txt",
         [](Tree& t) { return std::set<std::uint64_t>{InodeSector(t.image, t.pics)}; },
         {"/docs 1024" + time, "/docs/a.txt 10" + time, "/docs/b.txt 10" + time, "/pics 0 0",
          "/top.txt 10" + time}},
        {"top.txt's data block only",
         [](Tree& t) { return BlockSectors(t.image.ReadInode(t.top).i_block[0]); },
         {"/docs 1024" + time, "/docs/a.txt 10" + time, "/docs/b.txt 10" + time,
          "/pics 1024" + time, "/pics/c.txt 10" + time, "/top.txt 10" + time}},
    };
    for (const Case& c : cases) {
        Tree t = MakeTree();
        ASSERT_EQ(InodeSector(t.image, t.pics), InodeSector(t.image, t.c)) << c.name;
        ASSERT_NE(InodeSector(t.image, t.pics), InodeSector(t.image, t.top)) << c.name;
        ASSERT_NE(InodeSector(t.image, t.pics), InodeSector(t.image, t.docs)) << c.name;
        Session s(t.image, c.bad(t));
        ASSERT_EQ(s.Open(), OpenOutcome::kOpened) << c.name;
        s.BuildTree();
        EXPECT_EQ(s.Listing(), c.listing) << c.name;
    }
}

TEST(UnreadableSectors, TurboScanLosesOnlyWhatAnUnreadableSectorHeld) {
    // A folder no entry names any more, with a file, and a deleted file in another sector.
    Ext2Options options;
    options.inodesPerGroup = 64;
    Ext2Image image(options);
    const InodeNo lost = image.AddDirectory(2, "gone");
    const InodeNo g = image.AddFile(lost, "g.txt", std::vector<std::uint8_t>(20, 'g'));
    image.WriteDirectory(2, {{2, ".", 2, {}, {}}, {2, "..", 2, {}, {}}});
    for (int i = 0; i < 8; ++i)
        image.AllocateInode();
    InodeFields deleted;
    deleted.i_mode = 0x81A4;
    deleted.i_size = 30;
    deleted.i_dtime = fixtures::kBuildTime;
    deleted.i_blocks = 2;
    deleted.i_block[0] = image.AllocateBlock();
    const InodeNo gone = image.AllocateInode();
    image.WriteInode(gone, deleted);
    ASSERT_NE(InodeSector(image, lost), InodeSector(image, gone));

    const std::string lostFolder = "/Lost Folders1/Lost Folder" + std::to_string(lost);
    const std::string deletedFile = "/Deleted Files1/Inode" + std::to_string(gone) + " 30 ";
    const std::vector<std::string> containers = {"/Deleted Files1 0 0", "/Lost Files1 0 0",
                                                 "/Lost Folders1 0 0"};
    struct Case {
        const char* name;
        std::set<std::uint64_t> bad;
        std::vector<std::string> found; // besides the containers
    };
    const Case cases[] = {
        {"nothing",
         {},
         {deletedFile + "1700000000", lostFolder + " 0 1700000000",
          lostFolder + "/g.txt 20 1700000000"}},
        {"the deleted file's inode sector",
         {InodeSector(image, gone)},
         {lostFolder + " 0 1700000000", lostFolder + "/g.txt 20 1700000000"}},
        // g.txt's inode is still there: no folder names it, so it is a lost file.
        {"the lost folder's block",
         BlockSectors(image.ReadInode(lost).i_block[0]),
         {deletedFile + "1700000000", "/Lost Files1/Inode" + std::to_string(g) + " 20 1700000000"}},
    };
    for (const Case& c : cases) {
        Session s(image, c.bad);
        ASSERT_EQ(s.Open(), OpenOutcome::kOpened) << c.name;
        s.BuildTree();
        s.Turbo();
        std::vector<std::string> expected = containers;
        expected.insert(expected.end(), c.found.begin(), c.found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(s.Listing(), expected) << c.name;
        EXPECT_EQ(s.session.Source().UnreadableSectors() != 0, !c.bad.empty()) << c.name;
    }
}

} // namespace
} // namespace twl
