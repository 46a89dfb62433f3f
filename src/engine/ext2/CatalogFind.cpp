#include "ext2/CatalogFind.h"

#include <optional>
#include <stdexcept>

namespace twl {
namespace {

// A byte that is not part of valid UTF-8 stands for itself in the range of lone surrogates,
// which no valid UTF-8 decodes to.
constexpr char32_t kStrayByte = 0xDC00;

// The length of the valid UTF-8 character at `text[i]` and its code point; 0 when none is.
std::size_t DecodeOne(std::string_view text, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    const std::size_t length = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 ? 2 : 0;
    if (length == 0 || b0 > 0xF4 || i + length > text.size())
        return 0;
    char32_t code = b0 & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (b & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    out = code;
    return length;
}

// The case mapping of Unicode letters, from the C.UTF-8 locale whatever the program's own
// locale is; null where the system lacks it (then only ASCII letters lose their case).
const std::ctype<wchar_t>* UnicodeCase() {
    static const std::optional<std::locale> utf8 = []() -> std::optional<std::locale> {
        try {
            return std::locale("C.UTF-8");
        } catch (const std::runtime_error&) {
            return std::nullopt;
        }
    }();
    return utf8 ? &std::use_facet<std::ctype<wchar_t>>(*utf8) : nullptr;
}

char32_t Lower(char32_t c) {
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c >= kStrayByte && c <= kStrayByte + 0xFF)
        return c;
    const std::ctype<wchar_t>* unicode = UnicodeCase();
    return unicode != nullptr ? static_cast<char32_t>(unicode->tolower(static_cast<wchar_t>(c)))
                              : c;
}

void Decode(std::string_view text, bool ignoreCase, std::u32string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        std::size_t length = DecodeOne(text, i, c);
        if (length == 0) {
            c = kStrayByte + static_cast<unsigned char>(text[i]);
            length = 1;
        }
        out.push_back(ignoreCase ? Lower(c) : c);
        i += length;
    }
}

// "*" any run, "?" any one character; the whole name must be matched. A "*" met later takes
// over from an earlier one, so the walk back is bounded: linear in the name for each star.
bool MatchDecoded(std::u32string_view p, std::u32string_view s) {
    std::size_t pi = 0;
    std::size_t si = 0;
    std::size_t star = std::u32string_view::npos;
    std::size_t resume = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            resume = si;
        } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == s[si])) {
            ++pi;
            ++si;
        } else if (star != std::u32string_view::npos) {
            pi = star + 1;
            si = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*')
        ++pi;
    return pi == p.size();
}

} // namespace

bool MatchName(std::string_view pattern, std::string_view name, bool ignoreCase) {
    std::u32string p;
    std::u32string s;
    Decode(pattern, ignoreCase, p);
    Decode(name, ignoreCase, s);
    return MatchDecoded(p, s);
}

CatalogFinder::CatalogFinder(const Catalog& catalog, std::string_view pattern, bool ignoreCase)
    : m_catalog(catalog), m_ignoreCase(ignoreCase),
      m_byPath(pattern.find('/') != std::string_view::npos) {
    while (m_byPath && pattern.starts_with('/'))
        pattern.remove_prefix(1);
    Decode(pattern, ignoreCase, m_pattern);
    m_pending.push_back(catalog.Node(kRootAnchor).first_child);
}

std::string CatalogFinder::PathOf(NodeId id) const {
    // Names up the parent chain, bounded by the catalogue's size against a looping chain.
    std::vector<std::string_view> names;
    for (NodeId at = id; at != kRootAnchor && names.size() <= m_catalog.NodeCount();
         at = m_catalog.Node(at).parent)
        names.push_back(m_catalog.Name(at));
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        path.append(path.empty() ? "" : "/").append(*name);
    return path;
}

bool CatalogFinder::Matches(NodeId id) {
    if (m_byPath)
        Decode(PathOf(id), m_ignoreCase, m_scratch);
    else
        Decode(m_catalog.Name(id), m_ignoreCase, m_scratch);
    return MatchDecoded(m_pattern, m_scratch);
}

NodeId CatalogFinder::Next() {
    while (!m_pending.empty()) {
        const NodeId id = m_pending.back();
        if (id == kNoNode || ++m_walked > m_catalog.NodeCount()) {
            m_pending.pop_back();
            continue;
        }
        const CatalogNode& node = m_catalog.Node(id);
        m_pending.back() = node.next_sibling;
        if (node.is_header != 0)
            continue;
        const bool match = Matches(id);
        if (match)
            return id; // a folder's content stays out of the walk
        if (node.type == kTypeFolder && node.first_child != kNoNode)
            m_pending.push_back(node.first_child);
    }
    return kNoNode;
}

} // namespace twl
