#pragma once

// A manual page in man's troff, made from its parts, so that every program of the project
// writes its page from the same text it shows for --help, and all pages look alike.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace twl {

struct ManSection {
    std::string title;                                      // "OPTIONS"
    std::string text;                                       // a paragraph first, or ""
    std::vector<std::pair<std::string, std::string>> items; // tag and text, one .TP each
};

struct ManPageSource {
    std::string name;                  // "twl"
    std::string version;               // shown in the page's footer
    std::string summary;               // the NAME line after "name - "
    std::vector<std::string> synopsis; // each a line after the bold name
    std::string description;
    std::vector<ManSection> sections;
};

// Text as troff prints it: backslashes doubled, "-" a minus, a leading dot or quote guarded.
std::string Troff(std::string_view text);
// The whole page, section 1.
std::string ManPageText(const ManPageSource& page);

} // namespace twl
