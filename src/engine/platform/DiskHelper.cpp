#include "platform/DiskHelper.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twl {
namespace {

OpenedFile Refused(std::string reason) {
    OpenedFile refused;
    refused.status = Status::Failure(ErrorCode::kCannotOpen, std::move(reason));
    return refused;
}

std::string SystemReason(const std::string& device, int error) {
    if (error == EBUSY)
        return device + " is in use by the system (mounted, swap, RAID or LVM)";
    return device + ": " + std::strerror(error);
}

// Opens the device `expected` describes and checks the descriptor is that device still, so a
// name changed between the look and the open opens nothing else.
OpenedFile OpenDevice(const std::string& device, const struct stat& expected, int flags) {
    const int fd = ::open(device.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Refused(SystemReason(device, errno));
    OpenedFile opened;
    opened.fd.Reset(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != expected.st_rdev)
        return Refused(device + " changed while it was opened");
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1)
        return Refused(SystemReason(device, errno));
    return opened;
}

} // namespace

std::string_view DiskUseWord(DiskUse use) {
    return use == DiskUse::kRead ? "read" : "overwrite";
}

std::optional<HelperRequest> ParseHelperArguments(const std::vector<std::string>& args,
                                                  std::string& refusal) {
    HelperRequest request;
    const bool read = args.size() == 2 && args[0] == DiskUseWord(DiskUse::kRead);
    const bool overwrite = args.size() >= 2 && args.size() <= 3 &&
                           args[0] == DiskUseWord(DiskUse::kOverwrite) &&
                           (args.size() == 2 || args[2] == kConfirmedFlag);
    if (!read && !overwrite) {
        refusal = "usage: twl-disk-helper read DEVICE | overwrite DEVICE --confirmed";
        return std::nullopt;
    }
    request.use = read ? DiskUse::kRead : DiskUse::kOverwrite;
    request.device = args[1];
    request.confirmed = args.size() == 3;
    return request;
}

OpenedFile OpenForHelper(const HelperRequest& request, const std::string& mountTable,
                         const std::string& sysDevBlock) {
    const std::string& device = request.device;
    if (device.empty() || device.front() != '/')
        return Refused("\"" + device + "\" is not the absolute path of a disk");
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return Refused(SystemReason(device, errno));
    if (!S_ISBLK(st.st_mode))
        return Refused(device + " is " + std::string(KindOfFile(st.st_mode)) + ", not a disk");
    if (request.use == DiskUse::kRead)
        return OpenDevice(device, st, O_RDONLY);
    if (!request.confirmed)
        return Refused(device + " is overwritten only once its overwrite is confirmed");
    if (const std::optional<std::string> mounted = MountedPartOf(device, mountTable, sysDevBlock))
        return Refused(device + " is in use: " + *mounted);
    return OpenDevice(device, st, O_RDWR | O_EXCL);
}

bool SendHelperReply(int socket, const OpenedFile& opened) {
    const std::string text = opened.fd.Valid()
                                 ? std::string(kHelperOk)
                                 : std::string(kHelperRefused) + opened.status.subject;
    iovec part{const_cast<char*>(text.data()), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (opened.fd.Valid()) {
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        const int fd = opened.fd.Get();
        std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    }
    ssize_t sent = -1;
    do {
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(text.size());
}

} // namespace twl
