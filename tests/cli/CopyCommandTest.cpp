#include "CliRunner.h"
#include "InterruptRelay.h"
#include "clone/RescueMap.h"
#include "clone/RescuePasses.h"
#include "fixtures/FileReaders.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

using fixtures::TempDir;
using testing::RunTwl;

using fixtures::ReadFileBytes;

class CopyCommand : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string folder = m_dir.File("src");
        std::filesystem::create_directories(folder + "/a");
        std::ofstream(folder + "/a/file.txt") << "copied\n";
        std::ofstream(m_dir.File("layout")) << "label: dos\nstart=2048, size=4096, type=83\n";
        m_disk = m_dir.File("disk.img");
        ASSERT_EQ(fixtures::RunShell(std::string(TWL_MAKE_DISK_IMAGE) + " " + m_disk + " 3 " +
                                     m_dir.File("layout") + " 1:ext2:" + folder + ":copy" +
                                     " >/dev/null"),
                  0);
        m_blank = m_dir.File("blank.img");
        std::ofstream(m_blank, std::ios::binary) << std::string(4 << 20, '\x5a');
        m_drives = m_disk + ":" + m_blank;
    }
    TempDir m_dir;
    std::string m_disk;
    std::string m_blank;
    std::string m_drives;
};

TEST_F(CopyCommand, AnImageIsTheDiskSectorForSectorAndOpensLikeIt) {
    const std::string folder = m_dir.File("images");
    std::filesystem::create_directories(folder);
    const auto run = RunTwl({"image", "disk:0", "-o", folder}, m_drives);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("0 unreadable sectors were written as filler\nImaging Completed\n"),
              std::string::npos)
        << run.err;
    const auto entry = *std::filesystem::directory_iterator(folder);
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.rfind("TW Linux Image # ", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".tw1");
    EXPECT_EQ(ReadFileBytes(entry.path().string()), ReadFileBytes(m_disk));
    EXPECT_EQ(RunTwl({"tree", entry.path().string(), "--format", "tsv"}).out,
              RunTwl({"tree", m_disk, "--format", "tsv"}).out);
}

TEST_F(CopyCommand, CloneAsksFirstAndCopiesOnlyTheSourceSize) {
    const std::vector<std::uint8_t> blank = ReadFileBytes(m_blank);
    const auto declined = RunTwl({"clone", "disk:0", "disk:1"}, m_drives, "no\n");
    EXPECT_EQ(declined.status, 1);
    EXPECT_NE(declined.err.find("Everything on disk:1 will be overwritten"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(m_blank), blank);

    const auto cloned = RunTwl({"clone", "disk:0", "disk:1"}, m_drives, "yes\n");
    EXPECT_EQ(cloned.status, 0) << cloned.err;
    EXPECT_NE(cloned.err.find("Cloning Completed\n"), std::string::npos);
    const std::vector<std::uint8_t> after = ReadFileBytes(m_blank);
    const std::vector<std::uint8_t> disk = ReadFileBytes(m_disk);
    ASSERT_EQ(after.size(), blank.size());
    EXPECT_TRUE(std::equal(disk.begin(), disk.end(), after.begin()));
    EXPECT_TRUE(std::all_of(after.begin() + static_cast<std::ptrdiff_t>(disk.size()), after.end(),
                            [](std::uint8_t c) { return c == 0x5a; }));
    EXPECT_EQ(RunTwl({"volumes", "disk:1"}, m_drives).out, RunTwl({"volumes", m_disk}).out);
}

TEST_F(CopyCommand, TheSourceIsNeverAPlaceToWrite) {
    const std::vector<std::uint8_t> disk = ReadFileBytes(m_disk);
    const auto onItself = RunTwl({"clone", "disk:0", "disk:0", "--yes"}, m_drives);
    EXPECT_EQ(onItself.status, 2);
    EXPECT_NE(onItself.err.find("will not clone a disk onto itself"), std::string::npos);
    const auto intoItself = RunTwl({"image", m_disk, "-o", m_disk});
    EXPECT_NE(intoItself.err.find("will not write the image onto the disk or image it is made "
                                  "from"),
              std::string::npos)
        << intoItself.err;
    EXPECT_EQ(intoItself.status, 1);
    EXPECT_EQ(ReadFileBytes(m_disk), disk);
    EXPECT_EQ(RunTwl({"clone", m_disk, "disk:1", "--yes"}, m_blank).status, 2); // not a drive
}

// A copy that is not whole says how much is missing and exits 1: a clone onto a smaller
// drive (which the question warns of first), and an image with filler in it.
TEST_F(CopyCommand, ACopyThatLeavesSectorsOutSaysHowManyAndExitsOne) {
    const std::string small = m_dir.File("small.img");
    std::ofstream(small, std::ios::binary) << std::string(1 << 20, '\x5a');
    const std::string drives = m_disk + ":" + small;
    const auto declined = RunTwl({"clone", "disk:0", "disk:1"}, drives, "no\n");
    EXPECT_NE(declined.err.find("disk:1 is the smaller: the last 4096 sectors of disk:0 will not "
                                "be copied.\n"),
              std::string::npos)
        << declined.err;
    const auto cloned = RunTwl({"clone", "disk:0", "disk:1", "--yes"}, drives);
    EXPECT_EQ(cloned.status, 1) << cloned.err;
    EXPECT_NE(cloned.err.find("The last 4096 sectors (2.000 MB) of the source were not copied: "
                              "the destination takes only the first 2048"),
              std::string::npos)
        << cloned.err;
    const std::vector<std::uint8_t> disk = ReadFileBytes(m_disk);
    EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + (1 << 20), ReadFileBytes(small).begin()));

    auto medium = std::make_shared<fixtures::MemoryMedium>();
    medium->bytes = disk;
    medium->badSectors = {5, 3000};
    const std::string image = m_dir.File("copy.img");
    const auto imaged = RunTwl({"image", "/damaged/disk.img", "-o", image}, std::nullopt, {},
                               fixtures::MemoryFactory{"/damaged/disk.img", medium});
    EXPECT_EQ(imaged.status, 1) << imaged.err;
    EXPECT_NE(imaged.err.find("2 unreadable sectors were written as filler: 5, 3000\n"),
              std::string::npos)
        << imaged.err;
    EXPECT_EQ(ReadFileBytes(image).size(), disk.size());
}

// An interrupt stops an image with a map file at its next read; the same command then copies
// what the map does not hold as done, and the image is the one an uninterrupted copy makes.
TEST_F(CopyCommand, AnInterruptedImageGoesOnFromItsMapWhenRunAgain) {
    fixtures::ReadGates gates({1 << 20}); // the second 1 MiB read waits
    fixtures::FileFaults faults;
    faults.badSectors = {3000, 3001};
    fixtures::FileFaults held = faults;
    held.gates = &gates;
    const std::string image = m_dir.File("copy.img");
    const std::string map = m_dir.File("copy.map");
    const std::vector<std::string> command = {"image", m_disk, "-o", image, "--map", map};
    InterruptRelay relay;
    std::ostringstream err;
    int status = -1;
    std::thread run([&] {
        std::ostringstream out;
        CliContext context{out,          err,   nullptr,
                           std::nullopt, false, fixtures::FaultyFiles({{m_disk, held}})};
        context.interrupts = &relay;
        status = CliMain(command, context);
    });
    for (int waited = 0; !gates.Waiting() && waited < 1000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(relay.Interrupt(SIGINT));
    EXPECT_FALSE(relay.Interrupt(SIGINT)) << "a second interrupt ends twl at once";
    gates.Release();
    run.join();
    EXPECT_EQ(status, 1) << err.str();
    EXPECT_NE(err.str().find("The map file " + map + " holds where the copy stopped"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("Imaging Aborted"), std::string::npos) << err.str();
    const std::vector<std::uint8_t> disk = ReadFileBytes(m_disk);
    EXPECT_EQ(ReadFileBytes(image).size(), disk.size());

    const auto again = RunTwl(command, std::nullopt, {}, fixtures::FaultyFiles({{m_disk, faults}}));
    EXPECT_EQ(again.status, 1) << again.err; // filler in it
    EXPECT_NE(again.err.find("2 unreadable sectors were written as filler: 3000, 3001\n"),
              std::string::npos)
        << again.err;
    std::vector<std::uint8_t> expected = disk;
    for (const std::uint64_t s : faults.badSectors)
        std::copy(FillerSector().begin(), FillerSector().end(), expected.begin() + s * 512);
    EXPECT_TRUE(ReadFileBytes(image) == expected);
}

// A block device whose sectors 1000 to 1007 cannot be read: device-mapper's error target
// between two linear stretches of a loop device. Undone when it goes.
class DeviceWithErrors {
public:
    explicit DeviceWithErrors(const TempDir& dir) : m_dir(dir) {
        std::ofstream out(dir.File("backing.img"), std::ios::binary);
        for (int s = 0; s < 4096; ++s)
            out << std::string(512, static_cast<char>(s % 251 + 1));
        out.close();
        m_ready = fixtures::RunShell("loop=$(losetup --find --show " + dir.File("backing.img") +
                                     ") && echo $loop >" + dir.File("loop") +
                                     " && printf '0 1000 linear %s 0\n1000 8 error\n1008 3088 "
                                     "linear %s 1008\n' $loop $loop | dmsetup create " +
                                     Name() + " >/dev/null 2>&1") == 0;
    }
    ~DeviceWithErrors() {
        fixtures::RunShell("dmsetup remove " + Name() + " >/dev/null 2>&1; [ -f " +
                           m_dir.File("loop") + " ] && losetup -d $(cat " + m_dir.File("loop") +
                           ") >/dev/null 2>&1");
    }
    bool Ready() const { return m_ready; }
    std::string Path() const { return "/dev/mapper/" + Name(); }

private:
    static std::string Name() { return "twl-test-" + std::to_string(::getpid()); }
    const TempDir& m_dir;
    bool m_ready = false;
};

// On a real block device with unreadable sectors an image with a map holds the filler
// exactly there, and the map lists them as bad.
TEST(RealDevice, UnreadableSectorsBecomeFillerAndBadInTheMap) {
    TempDir dir;
    const DeviceWithErrors device(dir);
    if (!device.Ready())
        GTEST_SKIP() << "device-mapper is not available here (it needs root and the kernel's dm "
                        "driver): the rescue copy is tested on stand-in disks only";
    const std::string image = dir.File("copy.img");
    const std::string map = dir.File("copy.map");
    const auto run = RunTwl({"image", device.Path(), "-o", image, "--map", map});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("8 unreadable sectors were written as filler: 1000, 1001, 1002, 1003, "
                           "1004, 1005, 1006, 1007\n"),
              std::string::npos)
        << run.err;
    const std::vector<std::uint8_t> bytes = ReadFileBytes(image);
    ASSERT_EQ(bytes.size(), 4096u * 512);
    for (std::size_t s = 0; s < 4096; ++s) {
        const bool bad = s >= 1000 && s < 1008;
        EXPECT_EQ(bytes[s * 512], bad ? FillerSector()[0] : s % 251 + 1) << s;
    }
    const ParsedMap parsed = ParseMapText(fixtures::ReadFileText(map), 4096);
    ASSERT_TRUE(parsed.map) << parsed.error;
    EXPECT_EQ(parsed.map->Runs(), (std::vector<MapRun>{{0, 1000, SectorState::kFinished},
                                                       {1000, 8, SectorState::kBad},
                                                       {1008, 3088, SectorState::kFinished}}));
}

// The real twl ends a long command cleanly on SIGTERM, says so and exits 128 + 15.
TEST(Interrupts, SigtermStopsALongScanCleanly) {
    TempDir dir;
    std::ofstream(dir.File("huge.img")); // 16 GiB of holes: a scan of it takes half a minute
    ASSERT_EQ(::truncate(dir.File("huge.img").c_str(), std::int64_t{16} << 30), 0);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(fixtures::RunShell("cd " + dir.Path() + " && (" + TWL_BINARY +
                                 " volumes huge.img --mode scan --thorough 2>err & pid=$!; "
                                 "sleep 0.5; kill -TERM $pid; wait $pid; echo $? >status)"),
              0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(fixtures::ReadFileText(dir.File("status")), "143\n");
    EXPECT_NE(fixtures::ReadFileText(dir.File("err")).find("twl: stopped by SIGTERM\n"),
              std::string::npos)
        << fixtures::ReadFileText(dir.File("err"));
}

} // namespace
} // namespace twl::cli
