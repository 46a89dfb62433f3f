#pragma once

// A small command-line parser: positional words and --long / -short options, with or without
// a value ("--opt value" or "--opt=value"); "--" ends the options.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twl::cli {

struct OptionDef {
    std::string name; // "--volume", "-o"
    bool takesValue = false;
};

struct ParsedArguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // flags map to ""
    std::string error; // set when the words do not parse: unknown option, missing value

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
};

ParsedArguments ParseArguments(std::span<const std::string> words,
                               std::span<const OptionDef> options);

// Parses a whole decimal number in [0, max]; nothing else is accepted (no sign, no spaces).
std::optional<std::uint64_t> ParseUnsigned(const std::string& text, std::uint64_t max);

} // namespace twl::cli
