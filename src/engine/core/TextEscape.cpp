#include "core/TextEscape.h"

namespace twl {

std::string EscapeBytes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
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
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                text += "\\x";
                text += kHex[byte >> 4];
                text += kHex[byte & 0xF];
            } else {
                text += c;
            }
        }
    }
    return text;
}

} // namespace twl
