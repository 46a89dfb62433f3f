#pragma once

// What the user has marked for saving: bytes, files and folders of every marked node.

#include "ext2/Catalog.h"
#include "ext2/TreeBuilder.h"

#include <string>

namespace twl {

// Bytes, files and folders of the nodes below the root anchor (all, or only the marked
// ones): headers are not counted, folders count as folders, everything else as a file with
// its size.
TreeCounters CountCatalogue(const Catalog& catalog, bool markedOnly);

// Walks every node below the root anchor. Marked headers are not counted (nor the anchor,
// which marking the root item marks); folders count as folders, everything else as a file
// with its size.
TreeCounters MarkedTotals(const Catalog& catalog);

// "Marked %7.3f KB in %d files in %d Folders " (or MB or GB), ending in a blank.
std::string MarkedText(const TreeCounters& totals);

} // namespace twl
