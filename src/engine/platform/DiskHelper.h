#pragma once

// The disk helper: the small program the desktop program runs with administrator rights
// (through polkit's pkexec) to open a disk the user cannot open, and hand the open
// descriptor back over the Unix socket that is its standard input. It never reads or writes
// a byte of the disk itself. It opens block devices only: read-only for reading, and for
// writing only a clone destination the user confirmed, which nothing has mounted or claimed.
//
//   twl-disk-helper read DEVICE
//   twl-disk-helper overwrite DEVICE --confirmed

#include "platform/BlockDevice.h"
#include "platform/Mounts.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twl {

enum class DiskUse { kRead, kOverwrite };

// The first argument naming each use; the polkit actions are told apart by it.
std::string_view DiskUseWord(DiskUse use);
inline constexpr char kConfirmedFlag[] = "--confirmed";

struct HelperRequest {
    DiskUse use = DiskUse::kRead;
    std::string device;
    bool confirmed = false; // the user agreed to overwrite the device
};

// The request of the helper's arguments (without the program name); empty, with `refusal`
// saying why, when they are not one of the two forms above.
std::optional<HelperRequest> ParseHelperArguments(const std::vector<std::string>& args,
                                                  std::string& refusal);

// Opens what `request` names when the helper may: an absolute path to a block device (links
// followed, the device opened checked to be the one looked at), O_RDONLY for reading; for
// overwriting only when confirmed, when neither the device nor a partition of it is mounted
// (`mountTable`, `sysDevBlock` as MountedPartOf takes them) and with O_EXCL, so a device the
// kernel holds (a file system, swap, RAID or LVM member) is refused too. Anything else fails
// with the reason in the status's subject.
OpenedFile OpenForHelper(const HelperRequest& request, const std::string& mountTable = kProcMounts,
                         const std::string& sysDevBlock = "/sys/dev/block");

// The reply on the socket: "ok" with the descriptor, or "refused: REASON" without one.
// Returns false when it could not be sent.
bool SendHelperReply(int socket, const OpenedFile& opened);

inline constexpr std::string_view kHelperOk = "ok";
inline constexpr std::string_view kHelperRefused = "refused: ";

} // namespace twl
