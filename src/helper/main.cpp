// twl-disk-helper: opens one disk for the desktop program and passes the open descriptor
// back over the socket that is its standard input. It runs with administrator rights (the
// polkit actions org.tarnwell.linux.read-disk and org.tarnwell.linux.overwrite-disk), so it
// takes nothing from its environment, reads and writes nothing itself, and opens only what
// OpenForHelper allows.

#include "platform/DiskHelper.h"

#include <cstdio>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

// Exit statuses: pkexec keeps 126 and 127 for itself.
constexpr int kOpened = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

bool StdinIsASocket() {
    int type = 0;
    socklen_t length = sizeof(type);
    return ::getsockopt(0, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string refusal;
    const std::optional<twl::HelperRequest> request = twl::ParseHelperArguments(args, refusal);
    if (!request) {
        std::fprintf(stderr, "%s\n", refusal.c_str());
        return kUsage;
    }
    if (!StdinIsASocket()) {
        std::fprintf(stderr, "twl-disk-helper: standard input must be the socket of the "
                             "program that asked for the disk\n");
        return kUsage;
    }
    const twl::OpenedFile opened = twl::OpenForHelper(*request);
    if (!twl::SendHelperReply(0, opened))
        return kRefused;
    if (!opened.fd.Valid()) {
        std::fprintf(stderr, "twl-disk-helper: %s\n", opened.status.subject.c_str());
        return kRefused;
    }
    return kOpened;
}
