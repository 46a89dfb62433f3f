#include "ext2/CatalogPath.h"

#include "core/TextEscape.h"

#include <algorithm>
#include <vector>

namespace twl {

namespace {

// kRootPath and, for each folder from the root level down to `folder`, a backslash and
// shown(its name).
template <typename Shown>
std::string JoinPath(const Catalog& catalog, NodeId folder, Shown shown) {
    std::vector<NodeId> chain; // from `folder` up to the root anchor, which is left out
    for (NodeId id = folder; id != kRootAnchor && chain.size() < catalog.NodeCount();
         id = catalog.Node(id).parent)
        chain.push_back(id);
    std::string path = kRootPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += '\\';
        path += shown(catalog.Name(*it));
    }
    return path;
}

} // namespace

std::string FolderPath(const Catalog& catalog, NodeId folder) {
    return JoinPath(catalog, folder, [](std::string_view name) { return name; });
}

std::string ShownPath(const Catalog& catalog, NodeId folder) {
    return JoinPath(catalog, folder, [](std::string_view name) { return EscapeBytes(name); });
}

bool IsFolderPath(const Catalog& catalog, NodeId folder, std::string_view text) {
    // Every step takes at least the backslash off `text`, so the walk up is bounded by it.
    for (NodeId id = folder; id != kRootAnchor; id = catalog.Node(id).parent) {
        const std::string_view name = catalog.Name(id);
        if (text.size() < name.size() + 1 || !text.ends_with(name))
            return false;
        text.remove_suffix(name.size());
        if (text.back() != '\\')
            return false;
        text.remove_suffix(1);
    }
    return text == kRootPath;
}

std::string StoredName(const Catalog& catalog, NodeId id) {
    const CatalogNode& node = catalog.Node(id);
    if (node.is_header != 0 && node.pathName != 0)
        return FolderPath(catalog, node.parent);
    return std::string(catalog.Name(id));
}

} // namespace twl
