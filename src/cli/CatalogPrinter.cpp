#include "CatalogPrinter.h"

#include "TextEscape.h"
#include "core/TimeText.h"
#include "ext2/LostFolderOrigins.h"

#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace twl::cli {
namespace {

// Rows are gathered in a buffer and written in large pieces: a catalogue can have millions.
class RowBuffer {
public:
    explicit RowBuffer(std::ostream& out) : m_out(out), m_bytes(new char[kSize]) {}
    ~RowBuffer() { Flush(); }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;

    RowBuffer& operator<<(std::string_view text) {
        if (m_used + text.size() > kSize) {
            Flush();
            if (text.size() > kSize) {
                m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
                return *this;
            }
        }
        std::memcpy(m_bytes.get() + m_used, text.data(), text.size());
        m_used += text.size();
        return *this;
    }
    RowBuffer& operator<<(char c) { return *this << std::string_view(&c, 1); }
    RowBuffer& Number(std::uint64_t value, int base = 10) {
        constexpr std::size_t kLongest = 64; // a 64-bit number in base 2
        if (m_used + kLongest > kSize)
            Flush();
        char* at = m_bytes.get() + m_used;
        // Base 10 by its own overload: the general one looks the base up for every digit.
        const std::to_chars_result end = base == 10 ? std::to_chars(at, at + kLongest, value)
                                                    : std::to_chars(at, at + kLongest, value, base);
        m_used = static_cast<std::size_t>(end.ptr - m_bytes.get());
        return *this;
    }
    // A file mode in octal with a leading 0 ("0" alone for no mode).
    RowBuffer& Mode(std::uint16_t mode) {
        *this << '0';
        return mode == 0 ? *this : Number(mode, 8);
    }
    void EndRow() {
        *this << '\n';
        if (m_used >= kFlushAt)
            Flush();
    }
    void Flush() {
        m_out.write(m_bytes.get(), static_cast<std::streamsize>(m_used));
        m_used = 0;
    }

private:
    static constexpr std::size_t kFlushAt = std::size_t{1} << 16;
    static constexpr std::size_t kSize = kFlushAt + 4096;
    std::ostream& m_out;
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_used = 0;
};

std::string JsonString(std::string_view escaped) {
    std::string text = "\"";
    for (const char c : escaped) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    return text + '"';
}

// The path of the folder a lost folder came from, as the listing names it; "" when unknown.
std::string OriginPath(const Catalog& catalog, const LostFolderOrigins& origins, NodeId id) {
    const std::optional<NodeId> folder = origins.Of(id);
    if (!folder)
        return {};
    std::vector<NodeId> chain;
    for (NodeId at = *folder; at != kRootAnchor && chain.size() < catalog.NodeCount();
         at = catalog.Node(at).parent)
        chain.push_back(at);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += '/';
        AppendEscaped(path, catalog.Name(*it));
    }
    return path.empty() ? "/" : path;
}

// The state column of a TSV row: "deleted", "possibly overwritten", both joined by a comma,
// or "-" for a file as the tree shows it.
std::string StateWords(const CatalogNode& node) {
    std::string words;
    if ((node.flags & kNodeDeleted) != 0)
        words = "deleted";
    if ((node.flags & kNodePossiblyOverwritten) != 0)
        words += words.empty() ? "possibly overwritten" : ",possibly overwritten";
    return words.empty() ? "-" : words;
}

void PrintRow(RowBuffer& rows, TreeFormat format, const CatalogNode& node, const std::string& path,
              std::string_view name, std::size_t depth, bool first, const std::string& origin) {
    switch (format) {
    case TreeFormat::kTsv:
        rows << path << '\t';
        rows.Number(node.type) << '\t';
        rows.Number(node.inode) << '\t';
        rows.Number(node.size) << '\t';
        rows.Mode(node.mode) << '\t';
        rows.Number(node.uid) << '\t';
        rows.Number(node.gid) << '\t';
        rows.Number(node.ctime) << '\t';
        rows.Number(node.mtime) << '\t' << StateWords(node) << '\t'
                                << (origin.empty() ? std::string("-") : origin);
        break;
    case TreeFormat::kText:
        rows << std::string(2 * depth + 2, ' ') << EscapeField(name);
        if (node.type == kTypeFolder)
            rows << '/';
        else
            (rows << "  ").Number(node.size) << " bytes";
        rows << "  " << UtcText(node.mtime, "%Y-%m-%d %H:%M:%S");
        if (!origin.empty())
            rows << "  origin: " << origin;
        if ((node.flags & kNodeDeleted) != 0)
            rows << "  deleted";
        if ((node.flags & kNodePossiblyOverwritten) != 0)
            rows << "  possibly overwritten";
        break;
    case TreeFormat::kJson:
        rows << (first ? "  {" : ",\n  {") << "\"path\": " << JsonString(path) << ", \"type\": ";
        rows.Number(node.type) << ", \"inode\": ";
        rows.Number(node.inode) << ", \"size\": ";
        rows.Number(node.size) << ", \"mode\": \"";
        rows.Mode(node.mode) << "\", \"uid\": ";
        rows.Number(node.uid) << ", \"gid\": ";
        rows.Number(node.gid) << ", \"ctime\": ";
        rows.Number(node.ctime) << ", \"mtime\": ";
        rows.Number(node.mtime);
        if (!origin.empty())
            rows << ", \"origin\": " << JsonString(origin);
        if ((node.flags & kNodeDeleted) != 0)
            rows << ", \"deleted\": true";
        if ((node.flags & kNodePossiblyOverwritten) != 0)
            rows << ", \"possiblyOverwritten\": true";
        rows << '}';
        return; // rows of the array are separated, not ended
    }
    rows.EndRow();
}

} // namespace

std::optional<TreeFormat> ParseTreeFormat(const std::string& word) {
    if (word == "text")
        return TreeFormat::kText;
    if (word == "tsv")
        return TreeFormat::kTsv;
    if (word == "json")
        return TreeFormat::kJson;
    return std::nullopt;
}

void PrintCatalog(const Catalog& catalog, TreeFormat format, std::ostream& out) {
    RowBuffer rows(out);
    if (format == TreeFormat::kTsv) {
        rows << "path\ttype\tinode\tsize\tmode\tuid\tgid\tctime\tmtime\tstate\torigin";
        rows.EndRow();
    } else if (format == TreeFormat::kText) {
        rows << "/";
        rows.EndRow();
    } else {
        rows << "[\n";
    }
    struct Frame {
        NodeId next;
        std::size_t pathLength;
    };
    std::vector<Frame> stack{{catalog.Node(kRootAnchor).first_child, 0}};
    const LostFolderOrigins origins(catalog);
    std::string path;
    bool first = true;
    while (!stack.empty()) {
        const Frame frame = stack.back();
        if (frame.next == kNoNode) {
            stack.pop_back();
            continue;
        }
        const CatalogNode& node = catalog.Node(frame.next);
        stack.back().next = node.next_sibling;
        if (node.is_header)
            continue;
        const std::string_view name = catalog.Name(frame.next);
        path.resize(frame.pathLength);
        path += '/';
        AppendEscaped(path, name);
        PrintRow(rows, format, node, path, name, stack.size() - 1, first,
                 OriginPath(catalog, origins, frame.next));
        first = false;
        if (node.first_child != kNoNode)
            stack.push_back({node.first_child, path.size()});
    }
    if (format == TreeFormat::kJson)
        rows << (first ? "]\n" : "\n]\n");
}

} // namespace twl::cli
