#include "platform/HelperOpen.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace twl {
namespace {

constexpr std::size_t kMaxReply = 4096;

struct Reply {
    std::string text;
    std::vector<UniqueFd> fds; // every descriptor that came, so none leaks
};

// Reads the reply until the helper closes its end: text up to kMaxReply bytes, and every
// descriptor sent with it (close-on-exec from the start).
Reply ReadReply(int socket) {
    Reply reply;
    for (;;) {
        char buffer[512];
        iovec part{buffer, sizeof(buffer)};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        const ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
                continue;
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof(int));
                reply.fds.emplace_back(fd);
            }
        }
        if (got == 0)
            break;
        if (reply.text.size() < kMaxReply)
            reply.text.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(got),
                                                            kMaxReply - reply.text.size()));
    }
    return reply;
}

// Why a descriptor that came is not the one asked for; empty when it is.
std::string CheckReceived(int fd, DiskUse use, const std::string& device) {
    struct stat got {};
    struct stat asked {};
    if (::fstat(fd, &got) != 0 || !S_ISBLK(got.st_mode))
        return "the helper sent something that is not a disk";
    if (::stat(device.c_str(), &asked) != 0 || asked.st_rdev != got.st_rdev)
        return "the helper sent another disk than " + device;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || (use == DiskUse::kRead && (flags & O_ACCMODE) != O_RDONLY))
        return "the helper sent " + device + " open for writing";
    return {};
}

// Runs `argv` with `socket` as its standard input; its pid, or -1.
pid_t Start(const std::vector<std::string>& argv, int socket) {
    std::vector<char*> pointers;
    for (const std::string& arg : argv)
        pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, socket, STDIN_FILENO);
    pid_t pid = -1;
    const int error =
        ::posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HelperOpened Failed(HelperFailure failure, std::string reason) {
    HelperOpened failed;
    failed.failure = failure;
    failed.reason = std::move(reason);
    return failed;
}

// What the reply and the exit status say when no good descriptor came.
HelperOpened Explain(const Reply& reply, int exitStatus) {
    if (reply.text.rfind(kHelperRefused, 0) == 0)
        return Failed(HelperFailure::kRefused, reply.text.substr(kHelperRefused.size()));
    if (exitStatus == 126)
        return Failed(HelperFailure::kDeclined, "the authentication was dismissed");
    if (exitStatus == 127)
        return Failed(HelperFailure::kNotAuthorised,
                      "administrator rights were not given (polkit refused, or the helper "
                      "could not be run)");
    return Failed(HelperFailure::kBadReply, "the helper ended without an answer");
}

} // namespace

HelperOpened OpenThroughHelper(const std::vector<std::string>& command, DiskUse use,
                               const std::string& device) {
    if (command.empty())
        return Failed(HelperFailure::kCannotRun, "no helper to run");
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return Failed(HelperFailure::kCannotRun, std::strerror(errno));
    UniqueFd mine(ends[0]);
    UniqueFd theirs(ends[1]);
    std::vector<std::string> argv = command;
    argv.emplace_back(DiskUseWord(use));
    argv.push_back(device);
    if (use == DiskUse::kOverwrite)
        argv.emplace_back(kConfirmedFlag);
    const pid_t pid = Start(argv, theirs.Get());
    theirs.Reset(); // the reply ends when the helper's end is its only one
    if (pid < 0)
        return Failed(HelperFailure::kCannotRun, "cannot run " + command.front());
    Reply reply = ReadReply(mine.Get());
    const int exitStatus = WaitFor(pid);
    if (reply.fds.size() != 1 || reply.text != kHelperOk || exitStatus != 0)
        return Explain(reply, exitStatus);
    if (std::string wrong = CheckReceived(reply.fds.front().Get(), use, device); !wrong.empty())
        return Failed(HelperFailure::kBadReply, std::move(wrong));
    HelperOpened opened;
    opened.fd = std::move(reply.fds.front());
    return opened;
}

std::vector<std::string> PkexecCommand(const std::string& helperPath) {
    return {"pkexec", "--disable-internal-agent", helperPath};
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t from = 0;
    while (from <= folders.size()) {
        const std::size_t to = std::min(folders.find(':', from), folders.size());
        const std::string candidate =
            (to == from ? std::string(".") : folders.substr(from, to - from)) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = to + 1;
    }
    return {};
}

} // namespace twl
