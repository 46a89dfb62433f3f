#include "models/ShownName.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace twl::gui {
namespace {

struct Decoded {
    char32_t code = 0;
    std::size_t length = 0; // bytes taken
};

// The character at the start of `bytes`, or nothing when those bytes are not valid UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
std::optional<Decoded> DecodeOne(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(0);
    if (lead < 0x80)
        return Decoded{lead, 1};
    std::size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (bytes.size() < length)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return Decoded{code, length};
}

// Characters that would hide, break or reorder the text around them.
bool Unshowable(char32_t code) {
    if (code < 0x20 || code == 0x7F)
        return true;
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString Escape(char32_t code) {
    switch (code) {
    case '\t':
        return QStringLiteral("\\t");
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    default:
        return QStringLiteral("\\u{%1}").arg(static_cast<uint>(code), 4, 16, QChar('0'));
    }
}

QString ByteEscape(std::uint8_t byte) {
    return QStringLiteral("\\x%1").arg(byte, 2, 16, QChar('0'));
}

// The shown text of one piece of the name: a character, or one byte of invalid UTF-8.
QString Piece(std::string_view bytes, std::size_t& length) {
    const std::optional<Decoded> decoded = DecodeOne(bytes);
    if (!decoded) {
        length = 1;
        return ByteEscape(static_cast<std::uint8_t>(bytes[0]));
    }
    length = decoded->length;
    if (Unshowable(decoded->code))
        return Escape(decoded->code);
    return QString::fromUcs4(&decoded->code, 1);
}

bool PlainAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<std::uint8_t>(c);
        return byte >= 0x20 && byte < 0x7F && c != '\\';
    });
}

} // namespace

QString ShownName(std::string_view bytes) {
    if (PlainAscii(bytes))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString shown;
    shown.reserve(static_cast<qsizetype>(bytes.size()));
    bool pendingBackslash = false;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 0;
        const QString piece = Piece(bytes.substr(at), length);
        if (pendingBackslash) {
            // Doubled when what follows could make it read as an escape.
            const QChar next = piece.front();
            const bool ambiguous = next == '\\' || next == 't' || next == 'n' || next == 'r' ||
                                   next == 'x' || next == 'u';
            shown += ambiguous ? QStringLiteral("\\\\") : QStringLiteral("\\");
            pendingBackslash = false;
        }
        if (piece == QStringLiteral("\\"))
            pendingBackslash = true;
        else
            shown += piece;
        at += length;
    }
    if (pendingBackslash)
        shown += '\\';
    return shown;
}

} // namespace twl::gui
