#include "platform/FullIo.h"

#include "fixtures/TempDir.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace twl {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

TEST(FullIo, WritesAndReadsAtOffsetsStopAtTheEndAndReportErrno) {
    fixtures::TempDir dir;
    const std::string path = dir.File("data");
    const UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600));
    ASSERT_TRUE(fd.Valid());
    const std::vector<std::uint8_t> written = Pattern(5000);
    const IoResult wrote = WriteAllAt(fd.Get(), 100, written);
    EXPECT_EQ(wrote.bytes, written.size());
    EXPECT_EQ(wrote.error, 0);

    // A read running past the end returns what is there, with no error.
    std::vector<std::uint8_t> read(6000, 0xEE);
    const IoResult got = ReadAllAt(fd.Get(), 100, read);
    EXPECT_EQ(got.bytes, written.size());
    EXPECT_EQ(got.error, 0);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), read.begin()));
    EXPECT_EQ(ReadAllAt(fd.Get(), 99, std::span(read).first(1)).bytes, 1u);
    EXPECT_EQ(read[0], 0); // the gap before the written bytes reads as zeros
    EXPECT_EQ(ReadAllAt(fd.Get(), 9000, read).bytes, 0u);

    // Failures carry the operating system's reason.
    const UniqueFd readOnly(::open(path.c_str(), O_RDONLY));
    const IoResult refused = WriteAllAt(readOnly.Get(), 0, written);
    EXPECT_EQ(refused.bytes, 0u);
    EXPECT_EQ(refused.error, EBADF);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const UniqueFd readEnd(ends[0]);
    const UniqueFd writeEnd(ends[1]);
    EXPECT_EQ(ReadAllAt(readEnd.Get(), 0, read).error, ESPIPE);
    if (const UniqueFd full(::open("/dev/full", O_WRONLY)); full.Valid()) {
        EXPECT_EQ(WriteAll(full.Get(), written).error, ENOSPC);
    }
}

void Ignore(int) {}

// A writer blocked on a full pipe is interrupted by signals again and again (the handler is
// installed without SA_RESTART, so write returns early or fails with EINTR); every byte still
// arrives, in order, and the result reports no error.
TEST(FullIo, AWriteInterruptedBySignalsStillDeliversEveryByte) {
    struct sigaction action {};
    action.sa_handler = Ignore;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    const std::vector<std::uint8_t> sent = Pattern(4 << 20);
    IoResult result;
    std::thread writer([&] {
        result = WriteAll(writeEnd.Get(), sent);
        writeEnd.Reset();
    });
    std::vector<std::uint8_t> received;
    std::vector<std::uint8_t> chunk(4096);
    for (;;) {
        ::pthread_kill(writer.native_handle(), SIGUSR1);
        const ssize_t got = ::read(readEnd.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // the end, or a failure the comparison below shows
        received.insert(received.end(), chunk.begin(), chunk.begin() + got);
    }
    writer.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(result.bytes, sent.size());
    EXPECT_TRUE(received == sent);
}

} // namespace
} // namespace twl
