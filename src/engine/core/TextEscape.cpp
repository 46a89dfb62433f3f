#include "core/TextEscape.h"

namespace twl {

namespace {

bool Plain(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte < 0x7F && c != '\\';
}

void AppendEscapedByte(std::string& text, char c) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (c) {
    case '\t':
        text += "\\t";
        break;
    case '\n':
        text += "\\n";
        break;
    case '\r':
        text += "\\r";
        break;
    case '\\':
        text += "\\\\";
        break;
    default: {
        const auto byte = static_cast<unsigned char>(c);
        const char hex[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        text.append(hex, sizeof hex);
    }
    }
}

} // namespace

void AppendEscaped(std::string& text, std::string_view bytes) {
    std::size_t from = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (Plain(bytes[i]))
            continue;
        text.append(bytes.data() + from, i - from);
        AppendEscapedByte(text, bytes[i]);
        from = i + 1;
    }
    text.append(bytes.data() + from, bytes.size() - from);
}

std::string EscapeBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    AppendEscaped(text, bytes);
    return text;
}

} // namespace twl
