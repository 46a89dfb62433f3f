#pragma once

// Opening a disk the user has no permission to open: the program offers to read it with
// administrator rights, and polkit's pkexec runs the disk helper, which opens the disk and
// passes the open descriptor back. The program itself never runs as root. A clone
// destination, which the user has already confirmed overwriting, is asked for without a
// second question; polkit asks for the password every time.

#include "platform/HelperOpen.h"
#include "sector/SectorSource.h"

#include <QString>
#include <string>
#include <vector>

namespace twl::gui {

class Prompter;

// How the helper is run: $TWL_DISK_HELPER when set (run as it is, without pkexec: for tests,
// and where administrators grant the helper its rights some other way; set empty, no helper
// at all), else pkexec with the helper installed beside the program (or the one of the build
// folder). Empty without pkexec or a helper: then a disk that cannot be opened is told with
// how to get access, as without this offer.
std::vector<std::string> DiskHelperCommand(const QString& programFolder);

// The session's DiskAccess over `command`: on the UI thread, a disk to read is offered first
// ("No" leaves the first failure standing) and the helper's refusal or polkit's is told;
// off the UI thread only a clone destination is opened. Null when `command` is empty.
DiskAccess DiskAccessOffer(Prompter& prompter, std::vector<std::string> command);

} // namespace twl::gui
