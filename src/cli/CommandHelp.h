#pragma once

// What twl's commands are and take, in one table: the usage twl prints, each command's
// --help, the options its parser accepts, the man page twl(1) and the bash completion are all
// made from it, so none of them can tell another story.

#include "Arguments.h"

#include <string>
#include <string_view>
#include <vector>

namespace twl::cli {

struct OptionHelp {
    const char* name;  // "--volume", "-o"
    const char* value; // what it takes ("N"), or nullptr for a flag
    const char* text;
};

struct FormHelp {
    const char* synopsis; // after "twl ", as the README gives it
    const char* text;     // what it does; empty when the next form's text covers both
};

struct CommandHelp {
    const char* name;
    std::vector<FormHelp> forms;
    std::vector<OptionHelp> options;
};

const std::vector<CommandHelp>& CommandHelps();
// The command called `name`; nullptr when there is none.
const CommandHelp* FindCommandHelp(std::string_view name);
// What the command's parser accepts.
std::vector<OptionDef> OptionsOf(std::string_view command);

// `twl --help`.
std::string UsageText();
// `twl COMMAND --help`.
std::string CommandHelpText(const CommandHelp& command);
// Its "usage:" lines, which a command prints after a mistake on its command line.
std::string UsageLines(std::string_view command);
// twl(1) in man's troff, for `version`.
std::string ManPage(std::string_view version);
// A bash completion for twl's commands and options.
std::string BashCompletion();

} // namespace twl::cli
