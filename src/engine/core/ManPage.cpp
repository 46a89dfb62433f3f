#include "core/ManPage.h"

#include <algorithm>
#include <cctype>

namespace twl {

std::string Troff(std::string_view text) {
    std::string out;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\\\";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

std::string ManPageText(const ManPageSource& page) {
    std::string upper = page.name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::string text = ".TH " + Troff(upper) + " 1 \"\" \"" +
                       Troff(page.name + " " + page.version) + "\" \"User Commands\"\n.SH NAME\n" +
                       Troff(page.name) + " \\- " + Troff(page.summary) + "\n.SH SYNOPSIS\n";
    for (const std::string& line : page.synopsis)
        text += ".B " + Troff(page.name) + "\n" + Troff(line) + "\n.br\n";
    text += ".SH DESCRIPTION\n" + Troff(page.description) + "\n";
    for (const ManSection& section : page.sections) {
        text += ".SH " + Troff(section.title) + "\n";
        if (!section.text.empty())
            text += Troff(section.text) + "\n";
        for (const auto& [tag, body] : section.items)
            text += ".TP\n.B " + Troff(tag) + "\n" + Troff(body) + "\n";
    }
    return text;
}

} // namespace twl
