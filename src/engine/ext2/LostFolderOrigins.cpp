#include "ext2/LostFolderOrigins.h"

#include "ext2/TurboScan.h"

namespace twl {

LostFolderOrigins::LostFolderOrigins(const Catalog& catalog) : m_catalog(catalog) {
    if (!catalog.LostFolderParents().empty())
        m_folders = TreeFoldersByInode(catalog);
}

std::optional<NodeId> LostFolderOrigins::Of(NodeId id) const {
    const auto parent = m_catalog.LostFolderParents().find(id);
    if (parent == m_catalog.LostFolderParents().end())
        return std::nullopt;
    const auto folder = m_folders.find(parent->second);
    if (folder == m_folders.end())
        return std::nullopt;
    return folder->second;
}

} // namespace twl
