#include "ext2/MarkedTotals.h"

#include "core/SizeText.h"

namespace twl {
namespace {

void Count(const CatalogNode& node, TreeCounters& totals) {
    if (!node.marked || node.is_header)
        return;
    if (node.type == kTypeFolder) {
        ++totals.folders;
    } else {
        ++totals.files;
        totals.bytes += node.size;
    }
}

} // namespace

TreeCounters MarkedTotals(const Catalog& catalog) {
    TreeCounters totals;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) { Count(catalog.Node(id), totals); });
    return totals;
}

std::string MarkedText(const TreeCounters& totals) {
    return "Marked " + SizeText(totals.bytes) + " in " + std::to_string(totals.files) +
           " files in " + std::to_string(totals.folders) + " Folders ";
}

} // namespace twl
