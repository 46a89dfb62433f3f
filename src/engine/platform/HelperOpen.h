#pragma once

// The program's side of the disk helper: runs it (through pkexec, or as a test names it)
// with one end of a Unix socket as its standard input, and takes the descriptor it sends
// back. What comes back is checked, not trusted: one descriptor, the block device asked for,
// opened read-only when only reading was asked for.

#include "platform/BlockDevice.h"
#include "platform/DiskHelper.h"

#include <string>
#include <vector>

namespace twl {

// How the helper came out when it gave no descriptor.
enum class HelperFailure {
    kNone,
    kDeclined,      // the user dismissed the authentication (pkexec's 126)
    kNotAuthorised, // polkit refused, or pkexec failed (its 127)
    kRefused,       // the helper refused; `reason` says why
    kCannotRun,     // the command could not be started
    kBadReply,      // the reply was not what a helper sends
};

struct HelperOpened {
    UniqueFd fd;
    HelperFailure failure = HelperFailure::kNone;
    std::string reason; // for the user, when fd is not valid
};

// Runs `command` (program and arguments; the helper's request follows them) for `device`
// and waits for its reply and its end.
HelperOpened OpenThroughHelper(const std::vector<std::string>& command, DiskUse use,
                               const std::string& device);

// The command that runs the installed helper `helperPath` with administrator rights:
// pkexec without its own text prompt (the desktop's authentication agent asks).
std::vector<std::string> PkexecCommand(const std::string& helperPath);

// The first executable `name` on $PATH (or `name` itself when it holds a "/"); empty when
// there is none.
std::string FindProgram(const std::string& name);

} // namespace twl
