#include "sector/SectorSource.h"

#include "clone/CopyTarget.h"
#include "fixtures/FifoRelease.h"
#include "fixtures/LoopDevice.h"
#include "fixtures/MemoryBlockReader.h"
#include "fixtures/TempDir.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::MemoryFactory;
using fixtures::MemoryMedium;
using fixtures::TempDir;

constexpr char kMediumPath[] = "/test/medium.img";

// A medium whose sector s holds the byte s + 1 throughout.
std::shared_ptr<MemoryMedium> NumberedMedium(std::uint32_t sectors) {
    auto medium = std::make_shared<MemoryMedium>();
    for (std::uint32_t s = 0; s < sectors; ++s)
        medium->bytes.insert(medium->bytes.end(), kSectorSize, static_cast<std::uint8_t>(s + 1));
    return medium;
}

std::unique_ptr<SectorSource> SourceOver(std::shared_ptr<MemoryMedium> medium) {
    auto source = std::make_unique<SectorSource>(std::vector<DriveInfo>{},
                                                 MemoryFactory{kMediumPath, std::move(medium)});
    EXPECT_TRUE(source->SelectImageFile(kMediumPath).Ok());
    return source;
}

std::vector<std::uint8_t> Filled(std::size_t bytes, std::uint8_t value) {
    return std::vector<std::uint8_t>(bytes, value);
}

// The status flags of the descriptor this process holds on `path`, or -1.
int FlagsOfOpenFile(const std::string& path) {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(fd.path(), ec) != std::filesystem::canonical(path))
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
        std::string key;
        std::string value;
        while (info >> key >> value) {
            if (key == "flags:")
                return static_cast<int>(std::stol(value, nullptr, 8));
        }
    }
    return -1;
}

// The access mode of the descriptor this process holds on `path`, or -1.
int AccessModeOfOpenFile(const std::string& path) {
    const int flags = FlagsOfOpenFile(path);
    return flags == -1 ? -1 : flags & O_ACCMODE;
}

TEST(SectorSource, WithoutASourceReadFailsAndLeavesTheBufferAlone) {
    SectorSource source;
    auto buffer = Filled(512, 0xAB);
    EXPECT_EQ(source.ReadSectors(0, buffer), 0);
    EXPECT_EQ(buffer, Filled(512, 0xAB));
    EXPECT_EQ(source.OpenStatus().code, ErrorCode::kNoSource);
}

TEST(SectorSource, ReadPastTheEndSucceedsAndKeepsTheTail) {
    auto source = SourceOver(NumberedMedium(3));
    auto buffer = Filled(4 * 512, 0);
    ASSERT_EQ(source->ReadSectors(1, buffer), 1);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[1023], 3);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + 1024, buffer.end()), Filled(1024, 0));
    EXPECT_EQ(source->ReadSectors(7, buffer), 1); // wholly beyond: still success, all kept
    EXPECT_EQ(source->UnreadableSectors(), 0u);
}

// The read for buffers used again: what lies past the medium's end reads as zeros, whether
// the whole request reached past it or the salvage after a failure did; without a source the
// buffer is all zeros.
TEST(SectorSource, AClearedReadZeroesWhatLiesPastTheEnd) {
    auto medium = NumberedMedium(3);
    auto source = SourceOver(medium);
    auto buffer = Filled(4 * 512, 0xAB);
    ASSERT_EQ(source->ReadSectorsCleared(1, buffer), 1);
    EXPECT_EQ(buffer[0], 2);
    EXPECT_EQ(buffer[1023], 3);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + 1024, buffer.end()), Filled(1024, 0));
    buffer = Filled(4 * 512, 0xAB);
    medium->badSectors = {1};
    EXPECT_EQ(source->ReadSectorsCleared(1, buffer), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 512), Filled(512, 0));
    EXPECT_EQ(buffer[512], 3);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + 1024, buffer.end()), Filled(1024, 0));
    SectorSource none;
    buffer = Filled(512, 0xAB);
    EXPECT_EQ(none.ReadSectorsCleared(0, buffer), 0);
    EXPECT_EQ(buffer, Filled(512, 0));
}

// Read-ahead hints reach the medium while its reads are slow (a disk), and stop once reads
// come from memory: there a hint would cost more than it saves.
TEST(SectorSource, HintsAreGivenOnlyWhileReadsAreSlow) {
    auto medium = NumberedMedium(64);
    auto source = SourceOver(medium);
    auto buffer = Filled(512, 0);
    medium->readDelay = std::chrono::microseconds(200);
    ASSERT_EQ(source->ReadSectors(1, buffer), 1);
    source->WillRead(8, 4);
    using Hint = std::pair<ByteOffset, std::size_t>;
    EXPECT_EQ(medium->hints, (std::vector<Hint>{{8 * 512, 4 * 512}}));
    // Reads from memory bring the hints to an end within a few hundred reads; a read held up
    // by the scheduler only puts that off.
    medium->readDelay = std::chrono::microseconds(0);
    for (int i = 0; i < 20000 && source->WantsHints(); ++i)
        source->ReadSectors(2, buffer);
    EXPECT_FALSE(source->WantsHints());
    source->WillRead(16, 4);
    EXPECT_EQ(medium->hints.size(), 1u);
}

TEST(SectorSource, UnreadableSectorReadsAsZerosAndTheRestIsSalvaged) {
    auto medium = NumberedMedium(8);
    medium->badSectors = {3, 5};
    auto source = SourceOver(medium);
    auto buffer = Filled(8 * 512, 0xEE);
    EXPECT_EQ(source->ReadSectors(0, buffer), 0);
    for (std::uint32_t s = 0; s < 8; ++s) {
        const std::uint8_t expected = (s == 3 || s == 5) ? 0 : static_cast<std::uint8_t>(s + 1);
        EXPECT_EQ(buffer[s * 512], expected) << "sector " << s;
        EXPECT_EQ(buffer[s * 512 + 511], expected) << "sector " << s;
    }
    EXPECT_EQ(source->UnreadableSectors(), 2u);
}

TEST(SectorSource, LargestSectorNumberIsAddressedWithoutWrapping) {
    auto medium = std::make_shared<MemoryMedium>();
    auto source = SourceOver(medium);
    std::array<std::uint8_t, 512> buffer{};
    source->ReadSectors(0xFFFFFFFFu, buffer);
    ASSERT_FALSE(medium->readOffsets.empty());
    EXPECT_EQ(medium->readOffsets.back(), 2199023255040ULL);
}

TEST(SectorSource, LargestSectorOfARealSparseFileIsRead) {
    TempDir dir;
    const std::string path = dir.File("big.img");
    { std::ofstream create(path, std::ios::binary); }
    if (::truncate(path.c_str(), 2199023255552LL) != 0)
        GTEST_SKIP() << "this file system cannot hold a 2 TiB sparse file";
    {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(2199023255040LL);
        file.write("last sector", 11);
    }
    SectorSource source;
    ASSERT_TRUE(source.SelectImageFile(path).Ok());
    EXPECT_EQ(source.SourceSize(), 2199023255552ULL);
    std::array<std::uint8_t, 512> buffer{};
    ASSERT_EQ(source.ReadSectors(0xFFFFFFFFu, buffer), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 11), "last sector");
}

class DriveFiles : public ::testing::Test {
protected:
    // Four "drives", drive n holding the byte 0x10 + n, the last one 1536 bytes long.
    void SetUp() override {
        for (int n = 0; n < 4; ++n) {
            const std::string path = m_dir.File("drive" + std::to_string(n) + ".img");
            const auto bytes = Filled(n == 3 ? 1536 : 1024, static_cast<std::uint8_t>(0x10 + n));
            ASSERT_TRUE(fixtures::WriteFileBytes(path, bytes));
            DriveInfo drive;
            drive.devicePath = path;
            m_inventory.push_back(drive);
        }
    }
    TempDir m_dir;
    std::vector<DriveInfo> m_inventory;
};

TEST_F(DriveFiles, DriveIdSelectsTheInventoryEntryOpenedReadOnly) {
    SectorSource source(m_inventory);
    std::array<std::uint8_t, 512> buffer{};
    ASSERT_EQ(source.ReadSectors(0x80, 0, buffer), 1);
    EXPECT_EQ(buffer[0], 0x10);
    ASSERT_EQ(source.ReadSectors(0x83, 2, buffer), 1);
    EXPECT_EQ(buffer[0], 0x13);
    EXPECT_EQ(AccessModeOfOpenFile(m_inventory[3].devicePath), O_RDONLY);

    ByteCount size = 0;
    EXPECT_TRUE(source.GetDriveSize(0x83, size).Ok());
    EXPECT_EQ(size, 1536u);
    ASSERT_TRUE(source.SelectDrive(0x81).Ok());
    EXPECT_EQ(source.CurrentDriveId(), 0x81u);
    EXPECT_EQ(source.SourceSize(), 1024u);
}

TEST_F(DriveFiles, OnlyACloneDestinationIsOpenedForWriting) {
    SectorSource source(m_inventory);
    const OpenedFile destination = source.OpenDriveForWrite(0x82);
    ASSERT_TRUE(destination.fd.Valid()) << Describe(destination.status);
    EXPECT_EQ(AccessModeOfOpenFile(m_inventory[2].devicePath), O_RDWR);
    EXPECT_FALSE(source.OpenDriveForWrite(0x84).fd.Valid());
    EXPECT_EQ(source.OpenDriveForWrite(0x84).status.code, ErrorCode::kNotInInventory);
}

TEST_F(DriveFiles, ADriveIsOpenedOnceNotOnEveryRead) {
    int opens = 0;
    SectorSource source(m_inventory, [&](const std::string& path) {
        ++opens;
        return OpenFileReader(path);
    });
    std::array<std::uint8_t, 512> buffer{};
    for (int i = 0; i < 50; ++i)
        source.ReadSectors(0x80, static_cast<SectorNo>(i % 2), buffer);
    ByteCount size = 0;
    source.GetDriveSize(0x80, size);
    EXPECT_EQ(opens, 1);
}

TEST_F(DriveFiles, ADriveThatCannotBeOpenedKeepsItsErrorAndReadsNothing) {
    m_inventory[1].devicePath = m_dir.File("missing");
    SectorSource source(m_inventory);
    const Status status = source.SelectDrive(0x81);
    EXPECT_EQ(status.code, ErrorCode::kCannotOpen);
    EXPECT_EQ(status.sysError, ENOENT);
    EXPECT_EQ(source.OpenStatus().sysError, ENOENT);
    auto buffer = Filled(512, 0xAB);
    EXPECT_EQ(source.ReadSectors(0x81, 0, buffer), 0);
    EXPECT_EQ(buffer, Filled(512, 0xAB));

    ByteCount size = 77;
    EXPECT_EQ(source.GetDriveSize(0x81, size).sysError, ENOENT);
    EXPECT_EQ(size, 77u);
    EXPECT_EQ(source.LastDiagnostic(), "GetDriveGeometry failed. Error 2.");
    EXPECT_EQ(source.SelectDrive(0x90).code, ErrorCode::kNotInInventory);
}

TEST_F(DriveFiles, ChoosingAnImageClosesTheOldOneAndSetsDriveIdZero) {
    SectorSource source(m_inventory);
    ASSERT_TRUE(source.SelectImageFile(m_inventory[2].devicePath).Ok());
    EXPECT_EQ(AccessModeOfOpenFile(m_inventory[2].devicePath), O_RDONLY);
    ASSERT_TRUE(source.SelectDrive(0x80).Ok());
    EXPECT_FALSE(source.HasImage());
    EXPECT_EQ(AccessModeOfOpenFile(m_inventory[2].devicePath), -1);

    EXPECT_EQ(source.SelectImageFile(m_dir.File("nothing.img")).code, ErrorCode::kCannotOpen);
    EXPECT_EQ(source.CurrentDriveId(), 0u);
    EXPECT_FALSE(source.HasImage());
    std::array<std::uint8_t, 512> buffer{};
    EXPECT_EQ(source.ReadSectors(0, buffer), 0);
}

TEST(SectorSource, AnImageThatCannotBeSizedIsNotKeptOpen) {
    auto medium = NumberedMedium(2);
    medium->sizeError = EIO;
    SectorSource source({}, MemoryFactory{kMediumPath, medium});
    EXPECT_EQ(source.SelectImageFile(kMediumPath).code, ErrorCode::kCannotSize);
    EXPECT_FALSE(source.HasImage());
}

TEST_F(DriveFiles, StoredImageIsReopenedFromItsFolderAndName) {
    SectorSource source(m_inventory);
    source.SetImageLocation(m_dir.Path(), "drive2.img");
    ASSERT_TRUE(source.ReopenStoredImage().Ok());
    std::array<std::uint8_t, 512> buffer{};
    ASSERT_EQ(source.ReadSectors(0, buffer), 1);
    EXPECT_EQ(buffer[0], 0x12);

    source.SetImageLocation(m_dir.Path(), "moved.img");
    EXPECT_EQ(source.ReopenStoredImage().code, ErrorCode::kCannotOpen);
    source.SetCurrentDriveId(0x80); // a physical drive needs no image
    EXPECT_TRUE(source.ReopenStoredImage().Ok());
}

TEST(SectorSource, FingerprintMatchesDiffersOrCannotBeRead) {
    auto medium = NumberedMedium(4);
    auto source = SourceOver(medium);
    auto stored = Filled(512, 3);
    source->SetFingerprint(2, stored);
    EXPECT_TRUE(source->CheckSourceFingerprint());
    stored[511] = 0x99;
    source->SetFingerprint(2, stored);
    EXPECT_FALSE(source->CheckSourceFingerprint());
    medium->badSectors = {2};
    EXPECT_TRUE(source->CheckSourceFingerprint());
}

// Only regular files and block devices are media. Anything else is refused with what it is,
// and a FIFO without a writer is refused at once instead of blocking in open().
TEST(SectorSource, OnlyAFileOrABlockDeviceIsOpenedAsAnImage) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("folder"));
    const std::pair<std::string, std::string> cases[] = {
        {fifo, "(a FIFO)"},
        {dir.File("folder"), "(a folder)"},
        {"/dev/null", "(a character device)"},
    };
    for (const auto& [path, kind] : cases) {
        SectorSource source;
        const auto run = fixtures::RunReleasingFifo(
            fifo, [&source, &path] { return source.SelectImageFile(path); });
        EXPECT_FALSE(run.blocked) << path;
        EXPECT_EQ(Describe(run.result), "neither a disk nor an image file: " + path + " " + kind);
        EXPECT_FALSE(source.HasImage());
        EXPECT_EQ(Describe(source.OpenStatus()),
                  "neither a disk nor an image file: " + path + " " + kind);
    }
    // An image is opened as before, its descriptor blocking again once the kind is checked.
    const std::string image = dir.File("image");
    ASSERT_TRUE(fixtures::WriteFileBytes(image, Filled(1024, 7)));
    SectorSource source;
    ASSERT_TRUE(source.SelectImageFile(image).Ok());
    EXPECT_EQ(FlagsOfOpenFile(image) & O_NONBLOCK, 0);
    std::array<std::uint8_t, 512> buffer{};
    EXPECT_EQ(source.ReadSectors(1, buffer), 1);
    EXPECT_EQ(buffer[511], 7);
    EXPECT_EQ(source.SourceSize(), 1024u);
}

// The text `work` returns when run by a user who is not root (root may read and write
// anything): the child process that runs it gives up its rights first when the test runs as
// root.
std::string WithoutRights(const std::function<std::string()>& work) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(1);
        const std::string text = work();
        const bool written =
            ::write(pipeFds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string text;
    char chunk[256];
    for (ssize_t got; (got = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;)
        text.append(chunk, static_cast<std::size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text;
}

std::string DescribeOpenWithoutRights(const std::string& path) {
    return WithoutRights([&path] {
        SectorSource source;
        source.SelectImageFile(path);
        return Describe(source.OpenStatus());
    });
}

// Access refused to an image file, to read it or to write one, is a matter of file
// permissions; to a disk, of the disk group.
TEST(SectorSource, PermissionAdviceFitsTheKindOfSource) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    const std::string image = dir.File("locked.img");
    ASSERT_TRUE(fixtures::WriteFileBytes(image, Filled(1024, 1)));
    ::chmod(image.c_str(), 0);
    const std::string advice = ": Permission denied (check the permissions of the file and its "
                               "folders)";
    EXPECT_EQ(DescribeOpenWithoutRights(image), "cannot open " + image + advice);
    const std::string copy = dir.File("copy.img");
    EXPECT_EQ(WithoutRights([&copy] { return Describe(CreateImageTarget(copy).status); }),
              "cannot create " + copy + advice);
    const std::string disk = dir.File("disk");
    if (::mknod(disk.c_str(), S_IFBLK | 0600, makedev(7, 200)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    EXPECT_EQ(DescribeOpenWithoutRights(disk),
              "cannot open " + disk + ": Permission denied (run as root or join the disk group)");
}

// A disk the user may not open is asked of the disk access, read or to be overwritten, and
// used through the descriptor it gives; an image file refused, or a disk missing, is not.
// Run as a user without rights, with the access handing out descriptors opened before.
TEST(SectorSource, ADiskRefusedForWantOfPermissionIsAskedOfTheDiskAccess) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    const std::string file = dir.File("disk.img");
    ASSERT_TRUE(fixtures::WriteFileBytes(file, Filled(64 * kSectorSize, 7)));
    const fixtures::LoopDevice loop(file);
    if (!loop.Ready() || ::geteuid() != 0)
        GTEST_SKIP() << "needs root and the loop driver";
    const UniqueFd reading(::open(loop.Path().c_str(), O_RDONLY | O_CLOEXEC));
    const UniqueFd writing(::open(loop.Path().c_str(), O_RDWR | O_CLOEXEC));
    ::chmod(file.c_str(), 0600);
    const std::string told = WithoutRights([&] {
        std::string asked;
        SectorSource source(DrivesFromList(loop.Path() + ":" + file + ":" + dir.File("none")));
        source.SetDiskAccess([&](const std::string& device, DiskUse use) {
            asked += device + " " + std::string(DiskUseWord(use)) + "; ";
            return UniqueFd(::dup((use == DiskUse::kRead ? reading : writing).Get()));
        });
        std::string text = source.SelectDrive(0x80).Ok() ? "selected" : "not selected";
        std::vector<std::uint8_t> sector(kSectorSize);
        text += source.ReadSectors(0x80, 5, sector) == 1 && sector[0] == 7 ? ", read" : ", unread";
        text += source.OpenDriveForWrite(0x80).fd.Valid() ? ", writable" : ", not writable";
        text += source.SelectDrive(0x81).Ok() ? ", file opened" : ", file refused";
        text += source.SelectDrive(0x82).Ok() ? ", missing opened" : ", missing refused";
        return text + "; asked: " + asked;
    });
    EXPECT_EQ(told, "selected, read, writable, file refused, missing refused; asked: " +
                        loop.Path() + " read; " + loop.Path() + " overwrite; ");
}

} // namespace
} // namespace twl
