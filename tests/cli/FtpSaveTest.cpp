#include "CliRunner.h"
#include "fixtures/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace twl::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::ReadFileText;
using fixtures::TempDir;
using testing::RunTwl;

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// An FTP server of the test's own on the loopback address, user "saver", password "secret",
// serving `root`; stopped when the test ends.
class FtpServer {
public:
    explicit FtpServer(const std::string& root) : m_port(FreePort()) {
        m_pid = ::fork();
        if (m_pid == 0) {
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
            const std::string port = std::to_string(m_port);
            ::execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                    port.c_str(), "-w", "-d", root.c_str(), "-u", "saver", "-P", "secret",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !Accepts(m_port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~FtpServer() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    bool Running() const { return Accepts(m_port); }
    std::string Url(const std::string& folder) const {
        return "ftp://saver@127.0.0.1:" + std::to_string(m_port) + "/" + folder;
    }

private:
    int m_port;
    pid_t m_pid = -1;
};

TEST(FtpSave, UploadsTheTreeAndNeverReplacesWhatIsThere) {
    TempDir dir;
    const fs::path source = dir.File("source");
    fs::create_directories(source / "docs/empty");
    std::ofstream(source / "docs/a.txt") << "alpha\n";
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 253);
    std::ofstream(source / "big.bin", std::ios::binary) << big;
    const std::string image = dir.File("fs.img");
    ASSERT_EQ(fixtures::RunShell("mke2fs -q -F -t ext2 -b 1024 -d " + source.string() + " " +
                                 image + " 2048 >/dev/null 2>&1"),
              0);
    const fs::path served = dir.File("served");
    fs::create_directories(served / "up");
    std::ofstream(served / "up/big.bin") << "already here\n";
    FtpServer server(served.string());
    ASSERT_TRUE(server.Running()) << "python3-pyftpdlib did not start";
    std::ofstream(dir.File("password")) << "secret\n";

    const auto run = RunTwl({"save", image, "--ftp", server.Url("up"), "--password-file",
                             dir.File("password"), "--retries", "0"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFileText(served / "up/docs/a.txt"), "alpha\n");
    EXPECT_TRUE(fs::is_directory(served / "up/docs/empty"));
    EXPECT_EQ(ReadFileText(served / "up/big (2).bin"), big);
    EXPECT_EQ(ReadFileText(served / "up/big.bin"), "already here\n");
    EXPECT_NE(ReadFileText(served / "up/twl-save-report.txt")
                  .find("renamed: ./big.bin was saved as "
                        "./big (2).bin"),
              std::string::npos);

    std::ofstream(dir.File("wrong")) << "guess\n";
    const auto refused = RunTwl({"save", image, "--ftp", server.Url("other"), "--password-file",
                                 dir.File("wrong"), "--retries", "0"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("twl save: cannot open ftp://127.0.0.1"), std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(served / "other"));
}

} // namespace
} // namespace twl::cli
