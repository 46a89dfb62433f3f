#include "ext2/TurboScan.h"
#include "fixtures/Ext2ImageBuilder.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "scaninfo/ScanInfoCommands.h"
#include "scaninfo/ScanInfoReader.h"
#include "scaninfo/ScanInfoWriter.h"
#include "session/SourceOpening.h"
#include "session/TreeOperations.h"
#include "volumes/PartitionTableWalk.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::TempDir;

class RecordingEvents : public EngineEvents {
public:
    void LogRow(const ProcessLogEntry& entry, LogIcon icon) override {
        rows.push_back(entry.processName + "|" + entry.description + "|" +
                       std::to_string(static_cast<int>(icon)));
    }
    void Message(MessageIcon, const std::string& text) override { messages.push_back(text); }
    void Progress(int percent) override { progress.push_back(percent); }
    std::vector<std::string> rows;
    std::vector<std::string> messages;
    std::vector<int> progress;
};

// Every node below the root in catalogue order, as one comparable line: its depth, name,
// fields and whether it has children.
std::vector<std::string> Flatten(const Catalog& catalog) {
    std::vector<std::string> lines;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        const CatalogNode& n = catalog.Node(id);
        std::size_t depth = 0;
        for (NodeId p = n.parent; p != kRootAnchor; p = catalog.Node(p).parent)
            ++depth;
        lines.push_back(std::to_string(depth) + " " + StoredName(catalog, id) + " " +
                        std::to_string(n.type) + " " + std::to_string(n.mode) + " " +
                        std::to_string(n.uid) + " " + std::to_string(n.gid) + " " +
                        std::to_string(n.ctime) + " " + std::to_string(n.mtime) + " " +
                        std::to_string(n.size) + " " + std::to_string(n.inode) + " " +
                        std::to_string(n.marked) + " " + std::to_string(n.is_header) + " " +
                        std::to_string(n.flags) + " " + (n.first_child != kNoNode ? "+" : "-"));
    });
    return lines;
}

// A session over an in-memory image of `sectors` sectors whose volume at sector 63 takes its
// superblock and descriptor table from a small built volume (514 sectors), and the catalogue
// a -> b.
struct SmallSession {
    std::shared_ptr<fixtures::MemoryMedium> medium = std::make_shared<fixtures::MemoryMedium>();
    RecoverySession session{{}, fixtures::MemoryFactory{"/test/medium.img", medium}};

    explicit SmallSession(std::size_t sectors) {
        medium->bytes.resize(sectors * 512);
        session.Source().SelectImageFile("/test/medium.img");
        fixtures::Ext2Image image;
        auto volume = std::make_unique<Ext2Volume>();
        RawSuperblock raw{};
        std::copy_n(image.Superblock().begin(), raw.size(), raw.begin());
        volume->SetSuperblock(raw);
        const ConstBytes table = image.DescriptorTable();
        volume->descriptorTable.assign(table.begin(), table.begin() + 512);
        PutLe32(volume->selectedVolumeRecord, 2, 63);
        PutLe32(volume->selectedVolumeRecord, 6, image.Sectors());
        session.SetVolume(std::move(volume));
        Catalog& catalog = session.Catalogue();
        const NodeId a = catalog.AddNode("a");
        catalog.Node(a).type = kTypeFolder;
        catalog.AttachChildList(kRootAnchor, a);
        catalog.AttachChildList(a, catalog.AddNode("b"));
    }
};

TEST(ScanInfoFile, TwoNodesAreStoredAsTheirRunsAfterTheBlocks) {
    SmallSession small(8);
    small.medium->bytes[512 + 7] = 0x77; // sector 1 holds something: the fingerprint
    TempDir dir;
    const std::string path = dir.File("small.ds1");
    ASSERT_TRUE(WriteScanInfoFile(small.session, path, {}).Ok());
    const std::vector<std::uint8_t> file = fixtures::ReadFileBytes(path);
    const ConstBytes source = ConstBytes(file).subspan(512, 1536);
    EXPECT_EQ(Le32(source, 0x000), 0u);
    EXPECT_EQ(Le32(source, 0x004), 8u * 512);
    EXPECT_EQ(Le32(source, 0x00C), 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&source[0x010])), "/test");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&source[0x114])), "medium.img");
    EXPECT_EQ(source[0x400 + 7], 0x77);
    // head, source, empty list block, selected volume, superblock, one descriptor sector
    const std::size_t tree = 512 + 1536 + 512 + 512 + 1024 + 512;
    EXPECT_EQ(Le32(file, 2048), 1u);      // the empty volume list block: one sector,
    EXPECT_EQ(Le32(file, 2052), 0u);      // no records,
    EXPECT_EQ(Le32(file, 2560 + 2), 63u); // then the selected volume's start
    ASSERT_EQ(file.size(), tree + 2 * (41 + 2 + 1));
    const ConstBytes a = ConstBytes(file).subspan(tree, 44);
    const ConstBytes b = ConstBytes(file).subspan(tree + 44, 44);
    EXPECT_NE(Le32(a, 33), 0u);
    EXPECT_EQ(Le32(a, 37), 0u);
    EXPECT_EQ(Le16(a, 41), 1u);
    EXPECT_EQ(a[43], 'a');
    EXPECT_EQ(Le32(b, 33), 0u);
    EXPECT_EQ(Le32(b, 37), 0u);
    EXPECT_EQ(b[43], 'b');
}

TEST(ScanInfoFile, FingerprintIsTheFirstNonZeroSectorFromOne) {
    SmallSession blank(8);
    EXPECT_EQ(FindFingerprint(blank.session.Source()).sector, 8u);
    SmallSession tiny(1);
    EXPECT_EQ(FindFingerprint(tiny.session.Source()).sector, 1u);
    SmallSession later(5000);
    later.medium->bytes[4321 * 512 + 100] = 1;
    const Fingerprint found = FindFingerprint(later.session.Source());
    EXPECT_EQ(found.sector, 4321u);
    EXPECT_EQ(found.contents[100], 1);
}

TEST(ScanInfoFile, EveryTruncationIsRefusedAndLeavesTheSessionAsItWas) {
    SmallSession small(63 + 514);
    TempDir dir;
    const std::string path = dir.File("small.ds1");
    ASSERT_TRUE(WriteScanInfoFile(small.session, path, {}).Ok());
    const std::vector<std::uint8_t> file = fixtures::ReadFileBytes(path);
    const std::vector<std::string> before = Flatten(small.session.Catalogue());
    // 4608 is where the tree begins: a file ending there holds an empty catalogue.
    for (const std::size_t cut : {0, 511, 512, 2047, 2048, 2559, 2560, 3071, 3072, 4095, 4096, 4607,
                                  4609, 4650, 4651, 4652, 4694, 4695}) {
        ASSERT_LT(cut, file.size());
        const std::string cutPath = dir.File("cut" + std::to_string(cut) + ".ds1");
        std::ofstream(cutPath, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(cut));
        LoadedScanInfo loaded;
        const ScanInfoReadResult result = ReadScanInfoFile(cutPath, loaded);
        EXPECT_EQ(result,
                  cut < 512 ? ScanInfoReadResult::kNotScanInfo : ScanInfoReadResult::kDamaged)
            << "cut at " << cut;
        RecordingEvents events;
        EXPECT_FALSE(OpenScanInformation(small.session, cutPath, events));
        EXPECT_EQ(Flatten(small.session.Catalogue()), before);
        EXPECT_EQ(small.session.Source().ImageFileName(), "medium.img");
        EXPECT_FALSE(small.session.ScanInfoLoaded());
    }
    LoadedScanInfo empty;
    EXPECT_EQ(ParseScanInfo(ConstBytes(file).first(4608), empty), ScanInfoReadResult::kOk)
        << empty.damage;
    EXPECT_EQ(empty.catalog.Node(kRootAnchor).first_child, kNoNode);
    // A block length beyond the end of the file is damage too.
    std::vector<std::uint8_t> longer = file;
    PutLe32(longer, 2048, 1000);
    LoadedScanInfo loaded;
    EXPECT_EQ(ParseScanInfo(longer, loaded), ScanInfoReadResult::kDamaged);
}

// A file of several megabytes is read in pieces: entries and names that straddle a piece
// come back whole, and a file cut inside the tree is still refused.
TEST(ScanInfoFile, ALargeCatalogueLoadsWholeThroughPiecewiseReading) {
    SmallSession small(63 + 514);
    Catalog& catalog = small.session.Catalogue();
    const NodeId a = catalog.Node(kRootAnchor).first_child;
    NodeId tail = catalog.Node(a).first_child;
    for (std::uint32_t i = 0; i < 30000; ++i) {
        // Names of 1 to 251 bytes, every byte value among them.
        std::string name(1 + i % 251, static_cast<char>('a' + i % 26));
        name[0] = static_cast<char>(i % 256);
        const NodeId id = catalog.AddNode(name);
        catalog.Node(id).inode = i;
        catalog.Node(id).size = std::uint64_t{i} << 20;
        catalog.Node(id).mtime = 0x80000000u + i;
        catalog.LinkSibling(tail, id);
        tail = id;
        if (i % 1000 == 0) {
            catalog.Node(id).type = kTypeFolder;
            catalog.AttachChildList(id, catalog.AddNode("inside" + std::to_string(i)));
        }
    }
    TempDir dir;
    const std::string path = dir.File("large.ds1");
    ASSERT_TRUE(WriteScanInfoFile(small.session, path, {}).Ok());
    const std::vector<std::uint8_t> file = fixtures::ReadFileBytes(path);
    ASSERT_GT(file.size(), std::size_t{3} << 20);

    LoadedScanInfo loaded;
    ASSERT_EQ(ReadScanInfoFile(path, loaded), ScanInfoReadResult::kOk) << loaded.damage;
    EXPECT_EQ(Flatten(loaded.catalog), Flatten(catalog));

    const std::string cutPath = dir.File("cut.ds1");
    std::ofstream(cutPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size() - 100));
    LoadedScanInfo cut;
    EXPECT_EQ(ReadScanInfoFile(cutPath, cut), ScanInfoReadResult::kDamaged);
    EXPECT_EQ(cut.damage, "it ends inside the file tree");
}

// Where the sections of a file with a one-sector volume list block begin.
constexpr std::size_t kSelectedVolume = 2560;
constexpr std::size_t kSuperblockCopy = 3072;
constexpr std::size_t kDescriptorBlock = 4096;
constexpr std::size_t kDescriptorTable = kDescriptorBlock + 16;

TEST(ScanInfoFile, ALoadedSuperblockAndTableMeetTheDiskRulesAndTheSourceBounds) {
    SmallSession small(63 + 514);
    TempDir dir;
    ASSERT_TRUE(WriteScanInfoFile(small.session, dir.File("sound.ds1"), {}).Ok());
    const std::vector<std::uint8_t> sound = fixtures::ReadFileBytes(dir.File("sound.ds1"));
    {
        LoadedScanInfo loaded;
        ASSERT_EQ(ParseScanInfo(sound, loaded), ScanInfoReadResult::kOk) << loaded.damage;
        ASSERT_EQ(loaded.volume->groupCount, 1u);
        ASSERT_EQ(loaded.volume->sb.s_blocks_count, 257u);
        ASSERT_EQ(loaded.source.sourceSize, 577u * 512);
        ASSERT_EQ(loaded.volume->sb.s_inodes_per_group, 32u);
    }
    using Bytes = std::vector<std::uint8_t>;
    const auto sb32 = [](std::size_t field, std::uint32_t value) {
        return [=](Bytes& f) { PutLe32(f, kSuperblockCopy + field, value); };
    };
    const auto sb16 = [](std::size_t field, std::uint16_t value) {
        return [=](Bytes& f) { PutLe16(f, kSuperblockCopy + field, value); };
    };
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"inode size 127", sb16(0x58, 127), "inode size of 127 bytes where a power of two"},
        {"inode size 1536", sb16(0x58, 1536), "inode size of 1536 bytes"},
        {"inodes count 0xFFFFFFFE", sb32(0x00, 0xFFFFFFFE), "counts of its superblock copy"},
        {"inodes per group 0xFFFFFFFE", sb32(0x28, 0xFFFFFFFE), "counts of its superblock copy"},
        {"4096 groups of inodes on one group of blocks", sb32(0x00, 32 * 4096),
         "lays out groups its blocks and bitmaps cannot hold"},
        {"no magic", sb16(0x38, 0), "no ext2/ext3 magic number"},
        {"compression", sb32(0x60, 0x03), "features this program cannot read (compression)"},
        {"block size code 3", sb32(0x18, 3), "block size code 3"},
        {"group count against the descriptor block",
         [](Bytes& f) { PutLe32(f, kDescriptorBlock + 4, 64); },
         "descriptor block holds 2 groups where its superblock copy gives 1"},
        {"copy of a group that does not exist", sb16(0x5A, 3), "copy of group 3 of 1"},
        {"inode tables larger than the volume",
         [](Bytes& f) {
             PutLe32(f, kSuperblockCopy + 0x00, 4096);
             PutLe32(f, kSuperblockCopy + 0x28, 4096);
         },
         "(4096 inodes) are larger than its 257 blocks"},
        {"inode tables larger than the source",
         [](Bytes& f) {
             PutLe32(f, kSuperblockCopy + 0x04, 100000);
             PutLe32(f, kSuperblockCopy + 0x00, 4096);
             PutLe32(f, kSuperblockCopy + 0x28, 4096);
         },
         "(524288 bytes) are larger than the source (295424 bytes)"},
        {"selected volume past the end of the source",
         [](Bytes& f) { PutLe32(f, kSelectedVolume + 2, 0x7FFFFFFF); },
         "selected volume (start 2147483647, 514 sectors) lies beyond the end"},
    };
    for (const Case& c : cases) {
        Bytes file = sound;
        c.change(file);
        LoadedScanInfo loaded;
        EXPECT_EQ(ParseScanInfo(file, loaded), ScanInfoReadResult::kDamaged) << c.what;
        EXPECT_NE(loaded.damage.find(c.reason), std::string::npos)
            << c.what << ": " << loaded.damage;
    }
    // What a volume open accepts loads again: a file system reaching past the end of a
    // cut-short image, and descriptors the open took from a scan with their backup's help.
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> accepted = {
        {"file system past the end of a cut-short image", sb32(0x04, 100000)},
        {"inode table beyond the last block",
         [](Bytes& f) { PutLe32(f, kDescriptorTable + 8, 254); }},
        {"block bitmap at block 0", [](Bytes& f) { PutLe32(f, kDescriptorTable + 0, 0); }},
        {"reserved descriptor word", [](Bytes& f) { PutLe32(f, kDescriptorTable + 0x14, 1); }},
    };
    for (const auto& [what, change] : accepted) {
        Bytes file = sound;
        change(file);
        LoadedScanInfo loaded;
        EXPECT_EQ(ParseScanInfo(file, loaded), ScanInfoReadResult::kOk)
            << what << ": " << loaded.damage;
    }
}

TEST(ScanInfoFile, SavingRefusesTheSourceAndReportsWhatCouldNotBeCreated) {
    TempDir dir;
    SmallSession small(8);
    RecordingEvents events;
    EXPECT_FALSE(SaveScanInformation(small.session, dir.File("no/such/folder/x.ds1"), events));
    ASSERT_EQ(events.messages.size(), 1u);
    EXPECT_EQ(events.messages[0].rfind("Scan information was not saved: cannot create", 0), 0u)
        << events.messages[0];
    EXPECT_EQ(events.rows.back(), "Saving Scan Information Failed|File Not Saved " +
                                      dir.File("no/such/folder/x.ds1") + "|1");

    const std::string image = dir.File("disk.img");
    std::vector<std::uint8_t> bytes(4096, 0x5A);
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 4096);
    RecoverySession session;
    ASSERT_TRUE(session.Source().SelectImageFile(image).Ok());
    session.SetVolume(std::make_unique<Ext2Volume>());
    EXPECT_EQ(WriteScanInfoFile(session, image, {}).code, ErrorCode::kIsTheSource);
    EXPECT_EQ(fixtures::ReadFileBytes(image), bytes);

    // An image whose folder does not fit the file's 259-character field is refused, not cut.
    std::string deep = dir.Path();
    while (deep.size() < 300)
        deep += "/" + std::string(60, 'd');
    std::filesystem::create_directories(deep);
    std::ofstream(deep + "/disk.img", std::ios::binary) << std::string(4096, 'z');
    RecoverySession far;
    ASSERT_TRUE(far.Source().SelectImageFile(deep + "/disk.img").Ok());
    far.SetVolume(std::make_unique<Ext2Volume>());
    EXPECT_EQ(WriteScanInfoFile(far, dir.File("far.ds1"), {}).code, ErrorCode::kNameTooLong);
    EXPECT_FALSE(std::filesystem::exists(dir.File("far.ds1")));
}

// A volume the open takes but a loaded file would be refused for (an image cut short before
// the end of its inode tables) is not saved: the file could never be loaded again.
TEST(ScanInfoFile, AVolumeItsFileCouldNotBeLoadedForIsNotSaved) {
    TempDir dir;
    const std::string image = dir.File("cut.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext4 -N 128 -b 1024 -I 256 " + image +
                                 " 1M >/dev/null 2>&1 && truncate -s 28K " + image),
              0);
    RecoverySession session;
    ASSERT_TRUE(session.Source().SelectImageFile(image).Ok());
    session.Lists().partitions.entries.push_back(
        PartitionEntry{0, kLinuxPartitionType, 0, static_cast<SectorCount>(56)});
    ASSERT_EQ(OpenListedVolume(session, 0, [] { return true; }), OpenOutcome::kOpened);
    const Status saved = WriteScanInfoFile(session, dir.File("cut.ds1"), {});
    EXPECT_EQ(saved.code, ErrorCode::kNotLoadable);
    EXPECT_EQ(Describe(saved), "the file could not be loaded again, as the inode tables of its "
                               "superblock copy (32768 bytes) are larger than the source (28672 "
                               "bytes)");
    EXPECT_FALSE(std::filesystem::exists(dir.File("cut.ds1")));
}

// A real disk image with a Turbo-Scanned catalogue, saved and loaded again.
class SavedRealDisk : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = m_dir.File("src");
        std::filesystem::create_directories(folder + "/docs/old");
        std::ofstream(folder + "/docs/old/letter.txt") << "dear\n";
        std::ofstream(folder + "/docs/plan.txt") << "plan\n";
        std::ofstream(folder + "/gone.txt") << "gone\n";
        m_image = m_dir.File("disk.img");
        const std::string command = "printf 'label: dos\\nstart=63, size=8000, type=83\\n' >" +
                                    m_dir.File("layout") + " && " + TWL_MAKE_DISK_IMAGE + " " +
                                    m_image + " 5 " + m_dir.File("layout") + " 1:ext2:" + folder +
                                    ":saved >/dev/null && debugfs -w -R 'rm /gone.txt' '" +
                                    m_image + "?offset=32256' >/dev/null 2>&1";
        ASSERT_EQ(fixtures::RunShell(command), 0);
        RecordingEvents events;
        ASSERT_EQ(OpenSourceVolume(m_session, {kImageDriveId, m_image},
                                   VolumeSearch(ProcessingMode::kTable), 0, {}, events)
                      .outcome,
                  OpenOutcome::kOpened);
        CreateTree(m_session, events);
        ASSERT_TRUE(RunTurboScan(m_session, events));
        m_session.Catalogue().Node(3).marked = 1; // marks travel with the file
        m_saved = m_dir.File("saved.ds1");
        RecordingEvents saveEvents;
        ASSERT_TRUE(SaveScanInformation(m_session, m_saved, saveEvents));
        EXPECT_EQ(saveEvents.progress.back(), 0);
        EXPECT_NE(std::find(saveEvents.progress.begin(), saveEvents.progress.end(), 100),
                  saveEvents.progress.end());
        EXPECT_EQ(saveEvents.messages,
                  std::vector<std::string>{"Saving scan information completed"});
    }

    TempDir m_dir;
    std::string m_image;
    std::string m_saved;
    RecoverySession m_session;
};

TEST_F(SavedRealDisk, LoadsIntoAnIdenticalCatalogueAndSession) {
    RecoverySession loaded;
    RecordingEvents events;
    ASSERT_TRUE(OpenScanInformation(loaded, m_saved, events)) << events.messages.at(0);
    EXPECT_EQ(events.rows, (std::vector<std::string>{
                               "Retrieving Scan Information|File Opened " + m_saved + "|0",
                               "Scan Information Retrieved.|File Closed " + m_saved + "|7"}));
    EXPECT_EQ(Flatten(loaded.Catalogue()), Flatten(m_session.Catalogue()));
    // Progress rises with the part of the file read, to the whole, and goes back to 0.
    ASSERT_GE(events.progress.size(), 2u);
    EXPECT_TRUE(std::is_sorted(events.progress.begin(), events.progress.end() - 1));
    EXPECT_EQ(events.progress.end()[-2], 100);
    EXPECT_EQ(events.progress.back(), 0);
    const std::vector<std::string> lines = Flatten(loaded.Catalogue());
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        // The deleted file, back at its place under its name, and marked deleted.
        return line.rfind("0 gone.txt ", 0) == 0 &&
               line.ends_with(" " + std::to_string(kNodeDeleted) + " -");
    }));
    const SectorSource& a = loaded.Source();
    const SectorSource& b = m_session.Source();
    EXPECT_EQ(a.ImagePath(), b.ImagePath());
    EXPECT_EQ(a.SourceSize(), b.SourceSize());
    EXPECT_TRUE(loaded.ScanInfoLoaded());
    EXPECT_EQ(loaded.Mode(), ProcessingMode::kAuto);
    EXPECT_EQ(loaded.Lists().partitions.entries, m_session.Lists().partitions.entries);
    EXPECT_EQ(loaded.Volume()->superblock, m_session.Volume()->superblock);
    EXPECT_EQ(loaded.Volume()->descriptorTable, m_session.Volume()->descriptorTable);
    EXPECT_EQ(loaded.Volume()->groupCount, m_session.Volume()->groupCount);
    EXPECT_EQ(loaded.Volume()->selectedVolumeRecord, m_session.Volume()->selectedVolumeRecord);
    EXPECT_EQ(loaded.Volume()->start, 63u);
    EXPECT_EQ(loaded.Volume()->sectorsPerBlock, m_session.Volume()->sectorsPerBlock);
}

// The half of the open that may run beside a session in use reads the file and finds its
// source again, and leaves the session as it was until it is adopted.
TEST_F(SavedRealDisk, AnOpenPreparedChangesNothingUntilItIsAdopted) {
    RecoverySession loaded;
    RecordingEvents events;
    PreparedScanInfo prepared = PrepareScanInformation(loaded, m_saved, events);
    ASSERT_TRUE(prepared.ready);
    EXPECT_EQ(loaded.Volume(), nullptr);
    EXPECT_EQ(loaded.Catalogue().Node(kRootAnchor).first_child, kNoNode);
    EXPECT_FALSE(loaded.ScanInfoLoaded());
    EXPECT_EQ(loaded.Source().ImagePath(), "");
    EXPECT_EQ(events.rows.size(), 1u);
    AdoptPreparedScanInfo(loaded, prepared, events);
    EXPECT_EQ(Flatten(loaded.Catalogue()), Flatten(m_session.Catalogue()));
    EXPECT_EQ(loaded.Source().ImagePath(), m_image);
    EXPECT_TRUE(loaded.ScanInfoLoaded());
    EXPECT_EQ(events.rows.back(), "Scan Information Retrieved.|File Closed " + m_saved + "|7");
}

// Once a stop is asked for, a save gives its file up (nothing is left where it was to go, nor
// beside it) and says it was not saved; an open is given up without a word.
TEST_F(SavedRealDisk, AStopGivesUpASaveWithoutAFileAndAnOpenWithoutChange) {
    StopControl stop;
    stop.RequestStop();
    const auto before = std::distance(std::filesystem::directory_iterator(m_dir.Path()), {});
    const std::string again = m_dir.File("again.ds1");
    RecordingEvents saving;
    EXPECT_FALSE(SaveScanInformation(m_session, again, saving, &stop));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), before);
    EXPECT_EQ(
        saving.messages,
        std::vector<std::string>{"Scan information was not saved: stopped while writing " + again});
    EXPECT_EQ(saving.rows.back(), "Saving Scan Information Failed|File Not Saved " + again + "|1");

    RecoverySession loaded;
    RecordingEvents opening;
    const PreparedScanInfo prepared = PrepareScanInformation(loaded, m_saved, opening, &stop);
    EXPECT_FALSE(prepared.ready);
    EXPECT_TRUE(opening.messages.empty());
    EXPECT_EQ(opening.rows.size(), 1u); // "Retrieving Scan Information" only
    EXPECT_EQ(loaded.Volume(), nullptr);
}

TEST_F(SavedRealDisk, AMovedImageIsRefusedAndAChangedOneIsNotOpened) {
    std::filesystem::rename(m_image, m_image + ".moved");
    RecoverySession loaded;
    RecordingEvents events;
    EXPECT_FALSE(OpenScanInformation(loaded, m_saved, events));
    EXPECT_EQ(events.messages, std::vector<std::string>{kImageMoved});
    EXPECT_FALSE(loaded.ScanInfoLoaded());
    EXPECT_EQ(loaded.Volume(), nullptr);

    std::filesystem::rename(m_image + ".moved", m_image);
    ASSERT_TRUE(OpenScanInformation(loaded, m_saved, events));
    ASSERT_EQ(OpenListedVolume(loaded, 0, {}), OpenOutcome::kOpened);

    const SectorNo fingerprint = loaded.Source().FingerprintSector();
    std::fstream image(m_image, std::ios::binary | std::ios::in | std::ios::out);
    image.seekp(static_cast<std::streamoff>(fingerprint) * 512 + 3);
    image.put('\x42');
    image.close();
    EXPECT_EQ(OpenListedVolume(loaded, 0, {}), OpenOutcome::kFingerprintMismatch);
}

TEST_F(SavedRealDisk, AReplacedSourceIsRefusedWithTheReasonAndLeavesTheSessionAsItWas) {
    const std::vector<std::uint8_t> original = fixtures::ReadFileBytes(m_image);
    LoadedScanInfo stored;
    ASSERT_EQ(ReadScanInfoFile(m_saved, stored), ScanInfoReadResult::kOk);
    const SectorNo fingerprint = stored.source.fingerprintSector;
    ASSERT_LT(SectorOffset(fingerprint), original.size());
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
        std::string reason;
    };
    std::vector<std::uint8_t> changed = original;
    changed[SectorOffset(fingerprint) + 3] ^= 0x42;
    std::vector<std::uint8_t> longer = original;
    longer.resize(original.size() + 512, 0);
    const std::vector<Case> cases = {
        {"fingerprint sector changed", changed,
         "its sector " + std::to_string(fingerprint) +
             " no longer holds what it held when the scan information was saved"},
        {"image grown by a sector", longer,
         "it now holds " + std::to_string(longer.size()) +
             " bytes, where the scan information was saved from " +
             std::to_string(original.size())},
    };
    for (const Case& c : cases) {
        std::ofstream(m_image, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(c.image.data()),
                   static_cast<std::streamsize>(c.image.size()));
        RecoverySession loaded;
        RecordingEvents events;
        EXPECT_FALSE(OpenScanInformation(loaded, m_saved, events)) << c.what;
        ASSERT_EQ(events.messages.size(), 1u) << c.what;
        EXPECT_EQ(events.messages[0],
                  "The disk/image to which this scan info belongs is not at its original "
                  "location: " +
                      c.reason)
            << c.what;
        EXPECT_FALSE(loaded.ScanInfoLoaded()) << c.what;
        EXPECT_EQ(loaded.Volume(), nullptr) << c.what;
        EXPECT_EQ(loaded.Catalogue().Node(kRootAnchor).first_child, kNoNode) << c.what;
    }
    std::ofstream(m_image, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(original.data()),
               static_cast<std::streamsize>(original.size()));
    RecoverySession loaded;
    RecordingEvents events;
    EXPECT_TRUE(OpenScanInformation(loaded, m_saved, events));
}

} // namespace
} // namespace twl
