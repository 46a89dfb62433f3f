// twl drives: the disks of this machine (or of TWL_DRIVES), drive N being "disk:N".

#include "Arguments.h"
#include "CommandHelp.h"
#include "Commands.h"
#include "TextEscape.h"
#include "platform/DriveInventory.h"

#include <ostream>

namespace twl::cli {

int RunDrivesCommand(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("drives"));
    if (!args.error.empty() || !args.positional.empty()) {
        context.err << "twl drives: " << (args.error.empty() ? "takes no arguments" : args.error)
                    << '\n';
        return kExitUsage;
    }
    const std::vector<DriveInfo> drives = LoadDriveInventory(context.twlDrives);
    if (drives.empty()) {
        context.err << "twl drives: no disks found\n";
        return kExitNotFound;
    }
    context.out << "drive\tdevice\tmodel\tserial\tfirmware\tbus\tmedia\tbytes\tsectors\n";
    for (std::size_t n = 0; n < drives.size(); ++n) {
        const DriveInfo& d = drives[n];
        context.out << "disk:" << n << '\t' << EscapeField(d.devicePath) << '\t'
                    << EscapeField(d.model) << '\t' << EscapeField(d.serial) << '\t'
                    << EscapeField(d.firmware) << '\t' << EscapeField(d.bus) << '\t'
                    << (d.removable ? "removable" : "fixed") << '\t' << d.sizeBytes << '\t'
                    << d.sectors << '\n';
    }
    return kExitOk;
}

} // namespace twl::cli
