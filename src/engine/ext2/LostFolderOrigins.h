#pragma once

// Where Turbo Scan's lost folders came from: the folder of the tree that a lost folder's ".."
// names, when the tree walk reached it. Front ends show its path beside the lost folder.

#include "ext2/Catalog.h"
#include "ext2/Inode.h"

#include <optional>
#include <unordered_map>

namespace twl {

class LostFolderOrigins {
public:
    // Indexes the tree's folders by inode, once, when the catalogue has lost folders.
    explicit LostFolderOrigins(const Catalog& catalog);

    // The tree folder lost folder `id` came from (kRootAnchor for the root folder); nothing
    // when `id` is no lost folder or its ".." names no folder of the tree.
    std::optional<NodeId> Of(NodeId id) const;

private:
    const Catalog& m_catalog;
    std::unordered_map<InodeNo, NodeId> m_folders;
};

} // namespace twl
