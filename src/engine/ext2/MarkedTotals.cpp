#include "ext2/MarkedTotals.h"

#include "core/SizeText.h"

namespace twl {
namespace {

void Count(const CatalogNode& node, bool markedOnly, TreeCounters& totals) {
    if ((markedOnly && !node.marked) || node.is_header)
        return;
    if (node.type == kTypeFolder) {
        ++totals.folders;
    } else {
        ++totals.files;
        totals.bytes += node.size;
    }
}

} // namespace

TreeCounters CountCatalogue(const Catalog& catalog, bool markedOnly) {
    TreeCounters totals;
    catalog.ForEachBelow(kRootAnchor,
                         [&](NodeId id) { Count(catalog.Node(id), markedOnly, totals); });
    return totals;
}

TreeCounters MarkedTotals(const Catalog& catalog) {
    return CountCatalogue(catalog, true);
}

std::string MarkedText(const TreeCounters& totals) {
    return "Marked " + SizeText(totals.bytes) + " in " + std::to_string(totals.files) +
           " files in " + std::to_string(totals.folders) + " Folders ";
}

} // namespace twl
