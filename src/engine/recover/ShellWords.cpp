#include "recover/ShellWords.h"

#include <cstdint>

namespace twl {
namespace {

// The length of the UTF-8 sequence starting at `at`, or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0u) != 0x80u)
            return 0;
        value = (value << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return 0;
    return length;
}

bool IsControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// Calls plain(bytes) for runs that may stand as they are and escaped(byte) for the others.
template <typename Plain, typename Escaped>
void ForEachPart(std::string_view path, Plain plain, Escaped escaped) {
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t length = Utf8Length(path, at);
        if (length == 0 || (length == 1 && IsControl(static_cast<unsigned char>(path[at])))) {
            escaped(static_cast<unsigned char>(path[at]));
            ++at;
        } else {
            plain(path.substr(at, length));
            at += length;
        }
    }
}

std::string Octal(unsigned char byte) {
    std::string text = "\\";
    text += static_cast<char>('0' + ((byte >> 6) & 7));
    text += static_cast<char>('0' + ((byte >> 3) & 7));
    text += static_cast<char>('0' + (byte & 7));
    return text;
}

} // namespace

std::string ShellQuote(std::string_view path) {
    std::string quoted = "'";
    for (const char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

bool NeedsShellEscapes(std::string_view path) {
    bool needs = false;
    ForEachPart(
        path, [](std::string_view) {}, [&](unsigned char) { needs = true; });
    return needs;
}

std::string ShellCommentWord(std::string_view path) {
    if (!NeedsShellEscapes(path))
        return ShellQuote(path);
    std::string word = "$'";
    ForEachPart(
        path,
        [&](std::string_view part) {
            for (const char c : part)
                word += c == '\'' || c == '\\' ? Octal(static_cast<unsigned char>(c))
                                               : std::string(1, c);
        },
        [&](unsigned char byte) { word += Octal(byte); });
    return word + "'";
}

std::string ShellCommand(std::string_view command, std::string_view path) {
    const std::string head(command);
    if (!NeedsShellEscapes(path))
        return head + " " + ShellQuote(path);
    // printf's format: % and \ are doubled, other escapes are octal. The "/" after the path
    // keeps a trailing newline from being dropped by the command substitution.
    std::string format;
    ForEachPart(
        path,
        [&](std::string_view part) {
            for (const char c : part)
                format += c == '%' ? "%%" : c == '\\' ? "\\\\" : std::string(1, c);
        },
        [&](unsigned char byte) { format += Octal(byte); });
    return "p=$(printf " + ShellQuote(format + "/") + ") && " + head + " \"${p%/}\"";
}

} // namespace twl
