#include "clone/CopyEngine.h"

#include "clone/RescueMap.h"
#include "fixtures/FileReaders.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"
#include "platform/Mounts.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::MemoryFactory;
using fixtures::MemoryMedium;
using fixtures::TempDir;

constexpr char kPath[] = "/test/source.img";

// A destination in memory that can refuse writes touching chosen sectors, or run full.
class MemoryTarget final : public CopyTarget {
public:
    int WriteAt(ByteOffset offset, ConstBytes bytes) override {
        writes.push_back(offset / 512);
        const std::uint64_t first = offset / 512;
        for (std::uint64_t s = first; s < first + bytes.size() / 512; ++s) {
            if (failing.count(s) != 0)
                return EIO;
        }
        if (offset + bytes.size() > capacity)
            return ENOSPC;
        if (data.size() < offset + bytes.size())
            data.resize(offset + bytes.size(), 0xEE);
        std::copy(bytes.begin(), bytes.end(), data.begin() + static_cast<std::ptrdiff_t>(offset));
        return 0;
    }
    int Finish() override { return 0; }

    std::vector<std::uint8_t> data;
    std::set<std::uint64_t> failing;
    std::uint64_t capacity = UINT64_MAX;
    std::vector<std::uint64_t> writes; // first sector of every write
};

class RecordingEvents : public EngineEvents {
public:
    void CopyProgress(std::uint64_t sectorsDone, std::uint64_t) override {
        progress.push_back(sectorsDone);
        if (stopAfterWrites != 0 && progress.size() == stopAfterWrites)
            stop->RequestStop();
    }
    void RescueProgress(const RescueStatus& status) override {
        if (passes.empty() || passes.back() != status.pass)
            passes.push_back(status.pass);
    }
    void Message(MessageIcon, const std::string& text) override { messages.push_back(text); }
    void WorkerDone(WorkerResult result) override { workerResult = result; }
    std::vector<std::uint64_t> progress;
    std::vector<std::string> passes; // each pass's name, as it began
    std::vector<std::string> messages;
    std::optional<WorkerResult> workerResult;
    std::size_t stopAfterWrites = 0;
    StopControl* stop = nullptr;
};

// A source whose sector s is filled with the byte s % 251 + 1.
std::shared_ptr<MemoryMedium> Numbered(std::uint32_t sectors) {
    auto medium = std::make_shared<MemoryMedium>();
    for (std::uint32_t s = 0; s < sectors; ++s)
        medium->bytes.insert(medium->bytes.end(), 512, static_cast<std::uint8_t>(s % 251 + 1));
    return medium;
}

struct Copy {
    std::shared_ptr<MemoryMedium> medium;
    MemoryTarget target;
    RecordingEvents events;
    StopControl stop;
    CopyReport report;

    Copy(std::shared_ptr<MemoryMedium> source, std::uint64_t count,
         const std::function<void(Copy&)>& prepare = {})
        : medium(std::move(source)) {
        if (prepare)
            prepare(*this);
        SectorSource sectors({}, MemoryFactory{kPath, medium});
        sectors.SelectImageFile(kPath);
        events.stop = &stop;
        report = CopySectors(sectors, kImageDriveId, target, count, stop, events);
    }
    ConstBytes Sector(std::uint64_t s) const {
        return ConstBytes(target.data).subspan(s * 512, 512);
    }
    bool Holds(std::uint64_t s, std::uint64_t sourceSector) const {
        const auto value = static_cast<std::uint8_t>(sourceSector % 251 + 1);
        return std::all_of(Sector(s).begin(), Sector(s).end(), [&](auto b) { return b == value; });
    }
};

std::vector<ByteOffset> Sectors(std::initializer_list<std::uint64_t> sectors) {
    std::vector<ByteOffset> offsets;
    for (const std::uint64_t s : sectors)
        offsets.push_back(s * 512);
    return offsets;
}

TEST(CopyEngine, ABadSectorBecomesTheFillerInItsOwnPlace) {
    auto medium = Numbered(100);
    medium->badSectors = {40};
    Copy copy(medium, 100);
    EXPECT_TRUE(copy.report.completed);
    ASSERT_EQ(copy.target.data.size(), 100u * 512);
    for (std::uint64_t s = 0; s < 100; ++s) {
        if (s != 40) {
            EXPECT_TRUE(copy.Holds(s, s)) << "sector " << s;
        }
    }
    EXPECT_TRUE(std::equal(FillerSector().begin(), FillerSector().end(), copy.Sector(40).begin()));
    EXPECT_EQ(std::string(FillerSector().begin(), FillerSector().begin() + 16),
              std::string("**BAD SECTOR**\0\0", 16));
    EXPECT_EQ(copy.report.fillerSectors, 1u);
    EXPECT_EQ(copy.report.firstFillers, std::vector<std::uint64_t>{40});
    EXPECT_EQ(copy.report.sectorsDone, 100u);
    // The one read of all 100 sectors fails; trimming reads 0 to 40 (bad) from the front and
    // 99 down to 41 from the back; the two retries read 40 again.
    std::vector<ByteOffset> expected = Sectors({0});
    for (std::uint64_t s = 0; s <= 40; ++s)
        expected.push_back(s * 512);
    for (std::uint64_t s = 99; s > 40; --s)
        expected.push_back(s * 512);
    expected.insert(expected.end(), {40 * 512, 40 * 512});
    EXPECT_EQ(medium->readOffsets, expected);
}

TEST(CopyEngine, ASectorThatReadsOnARetryIsCopiedWithItsData) {
    auto medium = Numbered(100);
    medium->flakySectors[70] = 3; // the large read, the trim and the first retry fail
    Copy copy(medium, 100);
    EXPECT_TRUE(copy.Holds(70, 70));
    EXPECT_EQ(copy.report.fillerSectors, 0u);
    EXPECT_EQ(std::count(medium->readOffsets.begin(), medium->readOffsets.end(), 70u * 512), 3);
}

TEST(CopyEngine, SmallAndEmptyCopies) {
    Copy small(Numbered(31), 31);
    EXPECT_EQ(small.medium->readOffsets, Sectors({0})); // one read of all 31
    EXPECT_TRUE(small.Holds(30, 30));
    Copy none(Numbered(10), 0);
    EXPECT_TRUE(none.report.completed);
    EXPECT_TRUE(none.target.data.empty());
    EXPECT_TRUE(none.medium->readOffsets.empty());
}

TEST(CopyEngine, AFailedWriteLosesOnlyItsChunkAndNothingShifts) {
    Copy copy(Numbered(200), 200, [](Copy& c) { c.target.failing = {70}; });
    EXPECT_TRUE(copy.report.completed);
    EXPECT_EQ(copy.report.unwrittenSectors, 32u); // the chunk 64-95
    EXPECT_EQ(copy.report.sectorsDone, 168u);
    EXPECT_TRUE(copy.Holds(63, 63));
    EXPECT_TRUE(copy.Holds(96, 96));
    EXPECT_TRUE(copy.Holds(199, 199));
    EXPECT_EQ(copy.Sector(70)[0], 0xEE); // never written
}

TEST(CopyEngine, AFullDestinationEndsTheCopyAsAFailure) {
    Copy copy(Numbered(5000), 5000, [](Copy& c) { c.target.capacity = 3000 * 512; });
    EXPECT_FALSE(copy.report.completed);
    EXPECT_TRUE(copy.report.destinationFull);
    EXPECT_GT(copy.report.unwrittenSectors, 0u);
}

TEST(CopyEngine, StopEndsTheCopyWithinOneSpan) {
    Copy copy(Numbered(5000), 5000, [](Copy& c) { c.events.stopAfterWrites = 1; });
    EXPECT_FALSE(copy.report.completed);
    EXPECT_EQ(copy.target.data.size(), std::size_t{kSpanSectors} * 512);
    EXPECT_EQ(copy.report.sectorsDone, kSpanSectors);
}

// Passes of a copy over `map` from `medium` onto `target`, stopped after `stopAfterWrites`
// writes when not 0; each map kept at the end of a pass (and at the end) is added to `kept`.
struct Passes {
    RecordingEvents events;
    StopControl stop;
    CopyReport report;

    Passes(const std::shared_ptr<MemoryMedium>& medium, MemoryTarget& target, RescueMap& map,
           std::size_t stopAfterWrites = 0, std::vector<RescueMap>* kept = nullptr) {
        SectorSource sectors({}, MemoryFactory{kPath, medium});
        sectors.SelectImageFile(kPath);
        events.stop = &stop;
        events.stopAfterWrites = stopAfterWrites;
        RescueOptions options;
        if (kept != nullptr)
            options.saveMap = [kept](const RescueMap& state) {
                kept->push_back(state);
                return true;
            };
        report = RunRescuePasses(sectors, kImageDriveId, target, map, options, stop, events);
    }
};

// How many reads of `medium` took in byte `at`.
std::size_t ReadsOf(const MemoryMedium& medium, ByteOffset at) {
    std::size_t reads = 0;
    for (std::size_t i = 0; i < medium.readOffsets.size(); ++i)
        reads += medium.readOffsets[i] <= at && at < medium.readOffsets[i] + medium.readLengths[i];
    return reads;
}

bool IsFiller(ConstBytes sector) {
    return std::equal(FillerSector().begin(), FillerSector().end(), sector.begin());
}

// Four damaged places: four bad sectors and one more close behind them, 41 in a row, and one
// alone, on a source of 20000 sectors.
std::shared_ptr<MemoryMedium> Damaged() {
    auto medium = Numbered(20000);
    medium->badSectors = {3000, 3001, 3002, 3003, 3100, 15000};
    for (std::uint64_t s = 9000; s <= 9040; ++s)
        medium->badSectors.insert(s);
    return medium;
}

TEST(RescuePasses, GoodAreasComeFirstAndBadSectorsAreReadABoundedNumberOfTimes) {
    const auto medium = Damaged();
    MemoryTarget target;
    RescueMap map(20000);
    std::vector<RescueMap> kept;
    const Passes run(medium, target, map, 0, &kept);
    EXPECT_TRUE(run.report.completed);
    EXPECT_EQ(run.events.passes,
              (std::vector<std::string>{"copying", "copying skipped areas", "trimming", "scraping",
                                        "retrying 1 of 2", "retrying 2 of 2", "finished"}));
    ASSERT_EQ(kept.size(), 7u);
    // After both copy passes every sector outside the few failed clusters is copied.
    EXPECT_EQ(kept[1].Count(SectorState::kUntried), 0u);
    EXPECT_LE(kept[1].Count(SectorState::kUntrimmed), 4u * 2 * kClusterSectors);
    EXPECT_EQ(kept[1].Count(SectorState::kFinished) + kept[1].Count(SectorState::kUntrimmed),
              20000u);
    // Trimming finds the first and last bad sector of each failed area (3000 and 3100 of the
    // first, 9000 and 9040, 15000); what lies between waits for scraping.
    EXPECT_EQ(kept[2].Count(SectorState::kUntrimmed), 0u);
    EXPECT_EQ(kept[2].Count(SectorState::kBad), 5u);
    EXPECT_EQ(kept[2].Count(SectorState::kUnscraped), 99u + 39u);
    EXPECT_EQ(kept[3].Count(SectorState::kUnscraped), 0u);
    EXPECT_EQ(kept[3].Count(SectorState::kBad), medium->badSectors.size());
    EXPECT_EQ(kept[6].phase, RescuePhase::kFinished);
    // A bad sector is read in at most two large reads, once alone, and once per retry.
    for (const std::uint64_t s : medium->badSectors)
        EXPECT_LE(ReadsOf(*medium, s * 512), 2u + 1u + 2u) << "sector " << s;
    EXPECT_EQ(run.report.fillerSectors, medium->badSectors.size());
    for (std::uint64_t s = 0; s < 20000; ++s) {
        const ConstBytes sector = ConstBytes(target.data).subspan(s * 512, 512);
        const bool bad = medium->badSectors.count(s) != 0;
        EXPECT_TRUE(bad ? IsFiller(sector) : sector[0] == s % 251 + 1) << "sector " << s;
    }
}

// A copy stopped anywhere and continued from its map, through the map file's text, ends
// with the same image as a copy never stopped, and never reads a finished sector again.
TEST(RescuePasses, AStoppedCopyContinuedFromItsMapEndsWithTheSameImage) {
    MemoryTarget whole;
    RescueMap wholeMap(20000);
    const Passes never(Damaged(), whole, wholeMap);
    for (const std::size_t stopAfter : {1, 4, 12, 30, 100, 300}) {
        SCOPED_TRACE("stopped after " + std::to_string(stopAfter) + " writes");
        const auto medium = Damaged();
        MemoryTarget target;
        RescueMap map(20000);
        const Passes stopped(medium, target, map, stopAfter);
        ASSERT_FALSE(stopped.report.completed);
        // What was found damaged but not yet read alone holds the filler meanwhile.
        for (const SectorState state : {SectorState::kUntrimmed, SectorState::kUnscraped}) {
            if (const std::optional<MapRun> run = map.NextRun(0, state)) {
                EXPECT_TRUE(IsFiller(ConstBytes(target.data).subspan(run->first * 512, 512)));
            }
        }
        const ParsedMap parsed = ParseMapText(MapText(map, {}), 20000);
        ASSERT_TRUE(parsed.map) << parsed.error;
        RescueMap continued = *parsed.map;
        medium->readOffsets.clear();
        medium->readLengths.clear();
        const Passes rest(medium, target, continued);
        EXPECT_TRUE(rest.report.completed);
        for (const ByteOffset offset : medium->readOffsets)
            EXPECT_NE(map.RunAt(offset / 512).state, SectorState::kFinished) << offset / 512;
        EXPECT_TRUE(target.data == whole.data);
        EXPECT_EQ(continued.Runs(), wholeMap.Runs());
    }
}

// The map is kept whenever its time comes (here before every read), each time whole, and
// what it holds as copied only grows.
TEST(RescuePasses, TheMapIsKeptWheneverItIsDueAndOnlyGrows) {
    const auto medium = Damaged();
    SectorSource sectors({}, MemoryFactory{kPath, medium});
    sectors.SelectImageFile(kPath);
    MemoryTarget target;
    RescueMap map(20000);
    std::vector<RescueMap> kept;
    RescueOptions options;
    options.saveEvery = std::chrono::steady_clock::duration::zero();
    options.saveMap = [&](const RescueMap& state) {
        kept.push_back(state);
        return kept.size() != 3; // one failure is told once, and the copy goes on
    };
    StopControl stop;
    RecordingEvents events;
    EXPECT_TRUE(
        RunRescuePasses(sectors, kImageDriveId, target, map, options, stop, events).completed);
    EXPECT_GT(kept.size(), medium->readOffsets.size());
    for (std::size_t i = 1; i < kept.size(); ++i) {
        std::uint64_t all = 0;
        for (const MapRun& run : kept[i].Runs())
            all += run.count;
        EXPECT_EQ(all, 20000u);
        EXPECT_GE(kept[i].Count(SectorState::kFinished), kept[i - 1].Count(SectorState::kFinished));
    }
    EXPECT_EQ(events.messages,
              std::vector<std::string>{"The map file could not be written: the copy goes on, but "
                                       "a stop cannot be continued from where it was"});
}

// A map GNU ddrescue left (the first half copied, a bad sector, two to scrape) is continued:
// nothing it holds as copied is read, and the rest is copied.
TEST(RescuePasses, AMapFromDdrescueIsContinued) {
    const auto medium = Numbered(256);
    const ParsedMap parsed = ParseMapText("0x00010000     *               1\n"
                                          "0x00000000  0x00010000  +\n"
                                          "0x00010000  0x00000200  -\n"
                                          "0x00010200  0x00000400  /\n"
                                          "0x00010600  0x0000FA00  ?\n",
                                          256);
    ASSERT_TRUE(parsed.map) << parsed.error;
    RescueMap map = *parsed.map;
    MemoryTarget target;
    const Passes run(medium, target, map);
    EXPECT_TRUE(run.report.completed);
    for (const ByteOffset offset : medium->readOffsets)
        EXPECT_GE(offset, 128u * 512);
    EXPECT_EQ(ReadsOf(*medium, 128 * 512), 1u); // the bad sector, in the first retry: it reads now
    ASSERT_EQ(target.data.size(), 256u * 512);
    EXPECT_EQ(target.data[127 * 512], 0xEE); // never written
    for (std::uint64_t s = 128; s < 256; ++s)
        EXPECT_EQ(target.data[s * 512], s % 251 + 1) << s;
    EXPECT_EQ(map.Runs(), (std::vector<MapRun>{{0, 256, SectorState::kFinished}}));
}

class CopyDrives : public ::testing::Test {
protected:
    std::string Make(const std::string& name, std::size_t sectors, std::uint8_t fill) {
        const std::string path = m_dir.File(name);
        const std::vector<std::uint8_t> bytes(sectors * 512, fill);
        EXPECT_TRUE(fixtures::WriteFileBytes(path, bytes));
        DriveInfo drive;
        drive.devicePath = path;
        m_inventory.push_back(drive);
        return path;
    }
    TempDir m_dir;
    std::vector<DriveInfo> m_inventory;
};

TEST_F(CopyDrives, CloneOntoALargerDriveLeavesTheRestAlone) {
    const std::string from = Make("small.img", 100, 0x11);
    const std::string to = Make("large.img", 200, 0xEE);
    SectorSource source(m_inventory);
    CopyJob job{CopyKind::kClone, 0x80, 0x81, {}, CloneSectorCount(source, 0x80, 0x81)};
    EXPECT_EQ(job.count, 100u);
    StopControl stop;
    RecordingEvents events;
    RunCopyWorker(source, job, stop, events);
    EXPECT_EQ(events.messages, std::vector<std::string>{"Cloning Completed"});
    EXPECT_EQ(events.workerResult, WorkerResult::kCompleted);
    const std::vector<std::uint8_t> cloned = fixtures::ReadFileBytes(to);
    ASSERT_EQ(cloned.size(), 200u * 512);
    EXPECT_EQ(std::count(cloned.begin(), cloned.begin() + 100 * 512, 0x11), 100 * 512);
    EXPECT_EQ(std::count(cloned.begin() + 100 * 512, cloned.end(), 0xEE), 100 * 512);
}

TEST_F(CopyDrives, ImagingMakesAnExactFileAndRefusesItsOwnSource) {
    const std::string from = Make("disk.img", 77, 0x42);
    SectorSource source(m_inventory);
    StopControl stop;
    RecordingEvents events;
    const std::string image = m_dir.File("copy.tw1");
    RunCopyWorker(source, {CopyKind::kImage, 0x80, 0, image, 77}, stop, events);
    EXPECT_EQ(events.messages, std::vector<std::string>{"Imaging Completed"});
    EXPECT_EQ(fixtures::ReadFileBytes(image), fixtures::ReadFileBytes(from));

    RecordingEvents refused;
    RunCopyWorker(source, {CopyKind::kImage, 0x80, 0, from, 77}, stop, refused);
    EXPECT_EQ(refused.messages.back(), "Imaging Aborted");
    EXPECT_EQ(refused.workerResult, WorkerResult::kAborted);
    EXPECT_EQ(fixtures::ReadFileBytes(from).size(), 77u * 512); // not emptied
    RecordingEvents onItself;
    RunCopyWorker(source, {CopyKind::kClone, 0x80, 0x80, {}, 77}, stop, onItself);
    EXPECT_EQ(onItself.messages.front().rfind("will not clone a disk onto itself", 0), 0u);
}

// An image replaces a longer file of the same name whole, but never writes through a link
// planted at its name, and a FIFO there is refused at once rather than waited on.
TEST_F(CopyDrives, AnImageIsWrittenOnlyIntoARegularFile) {
    Make("disk.img", 20, 0x42);
    SectorSource source(m_inventory);
    StopControl stop;
    const std::string longer = m_dir.File("longer.tw1");
    ASSERT_TRUE(fixtures::WriteFileBytes(longer, std::vector<std::uint8_t>(50 * 512, 0xEE)));
    RecordingEvents replaced;
    RunCopyWorker(source, {CopyKind::kImage, 0x80, 0, longer, 20}, stop, replaced);
    EXPECT_EQ(fixtures::ReadFileBytes(longer), std::vector<std::uint8_t>(20 * 512, 0x42));

    const std::string victim = Make("victim.img", 3, 0x77);
    const std::string link = m_dir.File("link.tw1");
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    const std::string fifo = m_dir.File("fifo.tw1");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, kind] : {std::pair{link, "a symbolic link"}, {fifo, "a FIFO"}}) {
        RecordingEvents refused;
        RunCopyWorker(source, {CopyKind::kImage, 0x80, 0, path, 20}, stop, refused);
        EXPECT_EQ(refused.workerResult, WorkerResult::kAborted) << path;
        ASSERT_FALSE(refused.messages.empty());
        EXPECT_NE(refused.messages.front().find(path + " (" + kind + ")"), std::string::npos)
            << refused.messages.front();
    }
    EXPECT_EQ(fixtures::ReadFileBytes(victim), std::vector<std::uint8_t>(3 * 512, 0x77));
}

// With a map file a stopped image is continued by the same job to the bytes of a copy never
// stopped; a map that cannot be continued is refused before anything is written.
TEST_F(CopyDrives, AMapFileContinuesAStoppedImageAndOneThatCannotBeIsRefused) {
    const std::string from = Make("disk.img", 3000, 0x42);
    Make("other.img", 3000, 0x43);
    fixtures::FileFaults faults;
    faults.badSectors = {700, 701, 2500};
    SectorSource source(m_inventory, fixtures::FaultyFiles({{from, faults}}));
    const std::string image = m_dir.File("copy.tw1");
    const std::string mapFile = m_dir.File("copy.map");
    CopyJob job{CopyKind::kImage, 0x80, 0, image, 3000, mapFile};
    StopControl stop;
    RecordingEvents stopped;
    stopped.stop = &stop;
    stopped.stopAfterWrites = 2;
    RunCopyWorker(source, job, stop, stopped);
    EXPECT_EQ(stopped.workerResult, WorkerResult::kAborted);
    EXPECT_NE(std::find(stopped.messages.begin(), stopped.messages.end(),
                        "The map file " + mapFile +
                            " holds where the copy stopped: the same copy with the same map file "
                            "goes on from there"),
              stopped.messages.end());
    EXPECT_EQ(std::filesystem::file_size(image), 3000u * 512);

    stop.Clear();
    RecordingEvents rest;
    RunCopyWorker(source, job, stop, rest);
    EXPECT_EQ(rest.workerResult, WorkerResult::kCompleted);
    std::vector<std::uint8_t> expected(3000 * 512, 0x42);
    for (const std::uint64_t s : faults.badSectors)
        std::copy(FillerSector().begin(), FillerSector().end(), expected.begin() + s * 512);
    EXPECT_TRUE(fixtures::ReadFileBytes(image) == expected);
    const std::string finished = fixtures::ReadFileText(mapFile);
    const ParsedMap parsed = ParseMapText(finished, 3000);
    ASSERT_TRUE(parsed.map) << parsed.error;
    EXPECT_EQ(parsed.map->phase, RescuePhase::kFinished);
    EXPECT_EQ(parsed.map->Count(SectorState::kBad), 3u);
    EXPECT_EQ(parsed.source.name, from);

    const std::string damaged = m_dir.File("damaged.map");
    std::ofstream(damaged) << "garbage\n";
    const std::string bare = m_dir.File("bare.map"); // ddrescue's: no source, no destination
    std::ofstream(bare) << "0x00000000  +  1\n0x00000000  0x00177000  +\n";
    const std::string fresh = m_dir.File("fresh.tw1");
    const struct {
        const char* name;
        CopyJob job;
        const char* refusal;
    } refused[] = {
        {"a damaged map",
         {CopyKind::kImage, 0x80, 0, fresh, 3000, damaged},
         "cannot be continued: line 1: not a status line"},
        {"a map of another disk",
         {CopyKind::kImage, 0x81, 0, image, 3000, mapFile},
         "cannot be continued: it was made for "},
        {"a map of another image",
         {CopyKind::kImage, 0x80, 0, fresh, 3000, mapFile},
         "cannot be continued: it was made for a copy onto "},
        {"a map whose image is gone",
         {CopyKind::kImage, 0x80, 0, fresh, 3000, bare},
         "cannot be continued: the image "},
        {"a map of another size",
         {CopyKind::kImage, 0x80, 0, image, 2999, mapFile},
         "a run past the end of the source (2999 sectors)"},
        {"a map that cannot be written",
         {CopyKind::kImage, 0x80, 0, fresh, 3000, m_dir.File("no such folder/copy.map")},
         "the map file cannot be written: "},
    };
    for (const auto& c : refused) {
        RecordingEvents events;
        RunCopyWorker(source, c.job, stop, events);
        EXPECT_EQ(events.workerResult, WorkerResult::kAborted) << c.name;
        ASSERT_FALSE(events.messages.empty()) << c.name;
        EXPECT_NE(events.messages.front().find(c.refusal), std::string::npos)
            << c.name << ": " << events.messages.front();
        EXPECT_FALSE(std::filesystem::exists(fresh)) << c.name;
        EXPECT_TRUE(fixtures::ReadFileBytes(image) == expected) << c.name;
        EXPECT_EQ(fixtures::ReadFileText(mapFile), finished) << c.name;
    }
}

TEST(Mounts, ADiskWithAMountedPartitionIsInUse) {
    TempDir dir;
    // Device nodes for a disk (254:0) and its partition (254:1), and a sysfs that says so.
    const std::string disk = dir.File("disk");
    const std::string part = dir.File("disk1");
    if (::mknod(disk.c_str(), S_IFBLK | 0600, makedev(254, 0)) != 0 ||
        ::mknod(part.c_str(), S_IFBLK | 0600, makedev(254, 1)) != 0)
        GTEST_SKIP() << "cannot make device nodes here";
    const std::string sys = dir.File("sys");
    std::filesystem::create_directories(sys + "/devices/disk/disk1");
    std::ofstream(sys + "/devices/disk/dev") << "254:0\n";
    std::ofstream(sys + "/devices/disk/disk1/partition") << "1\n";
    std::filesystem::create_directories(sys + "/block");
    std::filesystem::create_directory_symlink(sys + "/devices/disk", sys + "/block/254:0");
    std::filesystem::create_directory_symlink(sys + "/devices/disk/disk1", sys + "/block/254:1");
    const std::string table = dir.File("mounts");
    std::ofstream(table) << "proc /proc proc rw 0 0\n"
                         << part << " /media/my\\040stick ext2 rw 0 0\n";
    EXPECT_EQ(MountedPartOf(disk, table, sys + "/block"), part + " on /media/my stick");
    std::ofstream(table) << "proc /proc proc rw 0 0\n";
    EXPECT_EQ(MountedPartOf(disk, table, sys + "/block"), std::nullopt);
    std::ofstream(table) << disk << " /data ext4 rw 0 0\n";
    EXPECT_EQ(MountedPartOf(disk, table, sys + "/block"), disk + " on /data");
}

TEST(Mounts, AFolderOnTheSourceDiskIsRecognised) {
    TempDir dir;
    struct stat folder {};
    ASSERT_EQ(::stat(dir.Path().c_str(), &folder), 0);
    // Device nodes standing for the disk this folder lies on, and for another one.
    const std::string same = dir.File("same");
    const std::string other = dir.File("other");
    if (::mknod(same.c_str(), S_IFBLK | 0600, folder.st_dev) != 0 ||
        ::mknod(other.c_str(), S_IFBLK | 0600, makedev(major(folder.st_dev) + 1, 0)) != 0)
        GTEST_SKIP() << "cannot make device nodes here";
    EXPECT_TRUE(FolderIsOnDisk(dir.File("not/made/yet"), same));
    EXPECT_FALSE(FolderIsOnDisk(dir.Path(), other));
    // An image of that disk written into the folder is refused before anything is written.
    for (const auto& [device, refused] : {std::pair{same, true}, std::pair{other, false}}) {
        std::vector<DriveInfo> drives(1);
        drives[0].devicePath = device;
        const SectorSource source(drives);
        const CopyJob job{CopyKind::kImage, DriveIdOf(0), kImageDriveId, dir.File("disk.tw1"), 8};
        EXPECT_EQ(RefuseDestination(source, job)
                          .rfind("will not write the image onto the disk it is made from: ", 0) ==
                      0,
                  refused)
            << device;
    }
}

} // namespace
} // namespace twl
