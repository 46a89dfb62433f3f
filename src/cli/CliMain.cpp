#include "CliMain.h"

#include "CommandHelp.h"
#include "Commands.h"

#include <ostream>

namespace twl::cli {
namespace {

// Whether the words after a command ask for its help: --help or -h before any "--".
bool AsksForHelp(std::span<const std::string> words) {
    for (const std::string& word : words) {
        if (word == "--")
            return false;
        if (word == "--help" || word == "-h")
            return true;
    }
    return false;
}

} // namespace

int CliMain(std::span<const std::string> words, CliContext& context) {
    if (words.empty()) {
        context.err << UsageText();
        return kExitUsage;
    }
    const std::string& command = words.front();
    const std::span<const std::string> rest = words.subspan(1);
    if (command == "--version") {
        context.out << "twl " << TWL_VERSION << '\n';
        return kExitOk;
    }
    // Build helpers: the man page and the bash completion are made from the command table.
    if (command == "--man") {
        context.out << ManPage(TWL_VERSION);
        return kExitOk;
    }
    if (command == "--bash-completion") {
        context.out << BashCompletion();
        return kExitOk;
    }
    if (const CommandHelp* help = FindCommandHelp(command); help != nullptr && AsksForHelp(rest)) {
        context.out << CommandHelpText(*help);
        return kExitOk;
    }
    if (command == "volumes")
        return RunVolumesCommand(rest, context);
    if (command == "drives")
        return RunDrivesCommand(rest, context);
    if (command == "tree")
        return RunTreeCommand(rest, context);
    if (command == "scaninfo")
        return RunScanInfoCommand(rest, context);
    if (command == "save")
        return RunSaveCommand(rest, context);
    if (command == "image")
        return RunImageCommand(rest, context);
    if (command == "clone")
        return RunCloneCommand(rest, context);
    if (command == "help" || command == "--help" || command == "-h") {
        const CommandHelp* help = rest.empty() ? nullptr : FindCommandHelp(rest.front());
        context.out << (help != nullptr ? CommandHelpText(*help) : UsageText());
        return kExitOk;
    }
    context.err << "twl: unknown command '" << command << "'\n" << UsageText();
    return kExitUsage;
}

} // namespace twl::cli
