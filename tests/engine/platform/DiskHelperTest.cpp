#include "platform/DiskHelper.h"

#include "fixtures/LoopDevice.h"
#include "fixtures/TempDir.h"
#include "platform/HelperOpen.h"

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl {
namespace {

using fixtures::LoopDevice;
using fixtures::TempDir;

constexpr std::size_t kSectors = 64;

// A disk file whose sector s holds the byte s + 1 throughout.
std::string MakeDiskFile(const TempDir& dir) {
    std::vector<std::uint8_t> bytes(kSectors * 512);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i / 512 + 1);
    const std::string file = dir.File("disk.img");
    EXPECT_TRUE(fixtures::WriteFileBytes(file, bytes));
    return file;
}

int AccessMode(const UniqueFd& fd) {
    return ::fcntl(fd.Get(), F_GETFL) & O_ACCMODE;
}

std::uint8_t ByteOfSector(const UniqueFd& fd, std::size_t sector) {
    std::uint8_t byte = 0;
    EXPECT_EQ(::pread(fd.Get(), &byte, 1, static_cast<off_t>(sector * 512)), 1);
    return byte;
}

HelperRequest Request(DiskUse use, const std::string& device, bool confirmed = false) {
    return {use, device, confirmed};
}

TEST(DiskHelper, TakesOnlyItsTwoFormsOfArguments) {
    struct Case {
        std::vector<std::string> args;
        bool taken;
        DiskUse use;
        bool confirmed;
    };
    const Case cases[] = {
        {{"read", "/dev/sdb"}, true, DiskUse::kRead, false},
        {{"overwrite", "/dev/sdb", "--confirmed"}, true, DiskUse::kOverwrite, true},
        // Taken, so that the refusal can say what is missing.
        {{"overwrite", "/dev/sdb"}, true, DiskUse::kOverwrite, false},
        {{}, false, {}, false},
        {{"read"}, false, {}, false},
        {{"read", "/dev/sdb", "--confirmed"}, false, {}, false},
        {{"read", "/dev/sdb", "/dev/sdc"}, false, {}, false},
        {{"write", "/dev/sdb"}, false, {}, false},
        {{"overwrite", "/dev/sdb", "--yes"}, false, {}, false},
        {{"overwrite", "/dev/sdb", "--confirmed", "x"}, false, {}, false},
    };
    for (const Case& c : cases) {
        std::string refusal;
        const std::optional<HelperRequest> request = ParseHelperArguments(c.args, refusal);
        ASSERT_EQ(request.has_value(), c.taken) << ::testing::PrintToString(c.args);
        if (!c.taken) {
            EXPECT_NE(refusal.find("usage: twl-disk-helper"), std::string::npos);
            continue;
        }
        EXPECT_EQ(request->use, c.use);
        EXPECT_EQ(request->device, "/dev/sdb");
        EXPECT_EQ(request->confirmed, c.confirmed);
    }
}

// Run as root, the helper must not become a way to read or write any file: whatever is not
// a block device is refused before it is opened, however it is named.
TEST(DiskHelper, OpensNothingButADisk) {
    TempDir dir;
    const std::string file = MakeDiskFile(dir);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(file.c_str(), dir.File("link").c_str()), 0);
    struct Case {
        HelperRequest request;
        std::string reason;
    };
    const Case cases[] = {
        {Request(DiskUse::kRead, "disk.img"), "\"disk.img\" is not the absolute path of a disk"},
        {Request(DiskUse::kRead, ""), "\"\" is not the absolute path of a disk"},
        {Request(DiskUse::kRead, dir.File("missing")), "No such file or directory"},
        {Request(DiskUse::kRead, file), " is a regular file, not a disk"},
        {Request(DiskUse::kRead, dir.File("link")), " is a regular file, not a disk"},
        {Request(DiskUse::kRead, dir.Path()), " is a folder, not a disk"},
        {Request(DiskUse::kRead, dir.File("fifo")), " is a FIFO, not a disk"},
        {Request(DiskUse::kRead, "/dev/null"), " is a character device, not a disk"},
        {Request(DiskUse::kOverwrite, file, true), " is a regular file, not a disk"},
        {Request(DiskUse::kOverwrite, "/dev/zero", true), " is a character device, not a disk"},
    };
    for (const Case& c : cases) {
        const OpenedFile opened = OpenForHelper(c.request);
        EXPECT_FALSE(opened.fd.Valid()) << c.request.device;
        EXPECT_NE(opened.status.subject.find(c.reason), std::string::npos)
            << c.request.device << ": " << opened.status.subject;
    }
}

// A disk is opened read-only to be read. It is opened to be written only when the overwrite
// was confirmed, nothing of it is mounted, and no one else holds it exclusively.
TEST(DiskHelper, ReadsADiskReadOnlyAndWritesOnlyAConfirmedDiskNothingUses) {
    TempDir dir;
    const LoopDevice loop(MakeDiskFile(dir));
    if (!loop.Ready())
        GTEST_SKIP() << "no loop device can be made here (it needs root and the loop driver)";
    const std::string noMounts = dir.File("no-mounts");
    std::ofstream(noMounts) << "proc /proc proc rw 0 0\n";
    const std::string mounted = dir.File("mounted");
    std::ofstream(mounted) << loop.Path() << " /mnt/usb ext2 rw 0 0\n";

    const OpenedFile read = OpenForHelper(Request(DiskUse::kRead, loop.Path()), mounted);
    ASSERT_TRUE(read.fd.Valid()) << read.status.subject;
    EXPECT_EQ(AccessMode(read.fd), O_RDONLY);
    EXPECT_EQ(ByteOfSector(read.fd, 5), 6);

    const OpenedFile unconfirmed =
        OpenForHelper(Request(DiskUse::kOverwrite, loop.Path()), noMounts);
    EXPECT_FALSE(unconfirmed.fd.Valid());
    EXPECT_EQ(unconfirmed.status.subject,
              loop.Path() + " is overwritten only once its overwrite is confirmed");
    const OpenedFile inUse =
        OpenForHelper(Request(DiskUse::kOverwrite, loop.Path(), true), mounted);
    EXPECT_FALSE(inUse.fd.Valid());
    EXPECT_EQ(inUse.status.subject, loop.Path() + " is in use: " + loop.Path() + " on /mnt/usb");

    const OpenedFile written =
        OpenForHelper(Request(DiskUse::kOverwrite, loop.Path(), true), noMounts);
    ASSERT_TRUE(written.fd.Valid()) << written.status.subject;
    EXPECT_EQ(AccessMode(written.fd), O_RDWR);
    // Held exclusively now, as the kernel holds a disk it has mounted or assembled.
    const OpenedFile again =
        OpenForHelper(Request(DiskUse::kOverwrite, loop.Path(), true), noMounts);
    EXPECT_FALSE(again.fd.Valid());
    EXPECT_NE(again.status.subject.find("is in use by the system"), std::string::npos)
        << again.status.subject;
}

// The real helper, run as the desktop program runs it (here without pkexec: the tests are
// root already), hands over the disk through the socket.
TEST(HelperOpen, TakesTheDiskTheHelperOpened) {
    TempDir dir;
    const std::string file = MakeDiskFile(dir);
    const std::vector<std::string> helper = {TWL_DISK_HELPER_PATH};
    const HelperOpened refused = OpenThroughHelper(helper, DiskUse::kRead, file);
    EXPECT_FALSE(refused.fd.Valid());
    EXPECT_EQ(refused.failure, HelperFailure::kRefused);
    EXPECT_EQ(refused.reason, file + " is a regular file, not a disk");

    const LoopDevice loop(file);
    if (!loop.Ready())
        GTEST_SKIP() << "no loop device can be made here (it needs root and the loop driver)";
    const HelperOpened read = OpenThroughHelper(helper, DiskUse::kRead, loop.Path());
    ASSERT_TRUE(read.fd.Valid()) << read.reason;
    EXPECT_EQ(AccessMode(read.fd), O_RDONLY);
    EXPECT_EQ(ByteOfSector(read.fd, 63), 64);
    const HelperOpened written = OpenThroughHelper(helper, DiskUse::kOverwrite, loop.Path());
    ASSERT_TRUE(written.fd.Valid()) << written.reason;
    EXPECT_EQ(AccessMode(written.fd), O_RDWR);
}

// What comes back is checked, whoever sent it: pkexec's own endings, a helper that cannot be
// started or says nothing, and descriptors that are not what was asked for.
TEST(HelperOpen, TellsEveryWayTheHelperCanFailAndTakesNothingElse) {
    TempDir dir;
    const LoopDevice loop(MakeDiskFile(dir));
    // Sends `path` opened with `flags` as a helper's "ok".
    const auto sender = [](const std::string& path, const std::string& flags) {
        return std::vector<std::string>{"python3", "-c",
                                        "import os, socket, sys\n"
                                        "s = socket.socket(fileno=0)\n"
                                        "socket.send_fds(s, [b'ok'], [os.open('" +
                                            path + "', " + flags + ")])\n"};
    };
    struct Case {
        std::vector<std::string> command;
        HelperFailure failure;
        std::string reason;
    };
    std::vector<Case> cases = {
        {{"sh", "-c", "exit 126"}, HelperFailure::kDeclined, "the authentication was dismissed"},
        {{"sh", "-c", "exit 127"}, HelperFailure::kNotAuthorised, "administrator rights"},
        {{"sh", "-c", "exit 0"}, HelperFailure::kBadReply, "the helper ended without an answer"},
        {{"sh", "-c", "printf 'refused: busy' >&0; exit 1"}, HelperFailure::kRefused, "busy"},
        {{dir.File("no-such-helper")}, HelperFailure::kCannotRun, "cannot run "},
        {{}, HelperFailure::kCannotRun, "no helper to run"},
    };
    const std::string device = loop.Ready() ? loop.Path() : "/dev/null";
    cases.push_back({sender("/etc/hostname", "os.O_RDONLY"), HelperFailure::kBadReply,
                     "the helper sent something that is not a disk"});
    if (loop.Ready())
        cases.push_back({sender(loop.Path(), "os.O_RDWR"), HelperFailure::kBadReply,
                         "the helper sent " + loop.Path() + " open for writing"});
    for (const Case& c : cases) {
        const HelperOpened opened = OpenThroughHelper(c.command, DiskUse::kRead, device);
        const std::string named = ::testing::PrintToString(c.command);
        EXPECT_FALSE(opened.fd.Valid()) << named;
        EXPECT_EQ(opened.failure, c.failure) << named;
        EXPECT_NE(opened.reason.find(c.reason), std::string::npos)
            << named << ": " << opened.reason;
    }
}

TEST(DiskHelperProgram, WantsItsStandardInputToBeTheAskingProgramsSocket) {
    const std::string run = std::string(TWL_DISK_HELPER_PATH) + " read /dev/null 2>/dev/null";
    EXPECT_EQ(fixtures::RunShell(run + " </dev/null"), 2);
    EXPECT_EQ(fixtures::RunShell(std::string(TWL_DISK_HELPER_PATH) + " read 2>/dev/null"), 2);
}

} // namespace
} // namespace twl
