#pragma once

// Prints a catalogue in catalogue order (each node, then its child list, depth first),
// leaving out header nodes and the root anchor. Paths are the names from the volume root
// joined by "/", each name escaped as TSV fields are.

#include "ext2/Catalog.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace twl::cli {

enum class TreeFormat {
    kText, // an indented tree with sizes and dates, for people
    kTsv,  // path type inode size mode uid gid ctime mtime
    kJson, // an array of objects with the TSV's fields
};

std::optional<TreeFormat> ParseTreeFormat(const std::string& word);

void PrintCatalog(const Catalog& catalog, TreeFormat format, std::ostream& out);

} // namespace twl::cli
