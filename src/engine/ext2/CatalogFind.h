#pragma once

// Find: names of the catalogue matched against a pattern with "*" (any run of characters) and
// "?" (any one character), and the matches walked in search order: depth first, a folder
// before its content, siblings in catalogue order, and the content of a folder that matched
// left out (the folder stands for it).

#include "ext2/Catalog.h"

#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace twl {

// Whether `pattern` matches the whole of `name`. Both are compared character by character
// (UTF-8; a byte that is not part of valid UTF-8 counts as one character of its own). With
// `ignoreCase` letters compare without their case (ASCII, and other scripts as Unicode maps
// them); every other character compares exactly.
bool MatchName(std::string_view pattern, std::string_view name, bool ignoreCase);

class CatalogFinder {
public:
    // A pattern holding "/" is matched against the path from the volume root ("home/*/a.txt"),
    // any other against the names.
    CatalogFinder(const Catalog& catalog, std::string_view pattern, bool ignoreCase);

    // The next match in search order; kNoNode when none is left. Each call walks only from
    // the last match to the next one.
    NodeId Next();

private:
    bool Matches(NodeId id);
    std::string PathOf(NodeId id) const;

    const Catalog& m_catalog;
    std::u32string m_pattern;
    bool m_ignoreCase;
    bool m_byPath;
    std::vector<NodeId> m_pending; // the next node at each open level of the walk
    std::size_t m_walked = 0;      // nodes looked at: a looping catalogue ends the walk
    std::u32string m_scratch;
};

} // namespace twl
