#pragma once

// How many nodes reachable from the root anchor carry each inode number, kept up to date by
// Turbo Scan as it adds subtrees and releases child lists. It answers "is this inode in the
// catalogue?" in constant time, where walking the catalogue for every inode of a large
// volume would take quadratic time.

#include "ext2/Catalog.h"
#include "ext2/Inode.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace twl {

class CatalogInodeIndex {
public:
    // Counts every node below the root anchor. Inode numbers up to `inodesCount` are counted
    // in a byte per inode; larger ones and counts past 254 in a map beside it.
    CatalogInodeIndex(const Catalog& catalog, std::uint32_t inodesCount);

    bool Contains(InodeNo inode) const;

    // `node` and everything below it became reachable, or stopped being so.
    void AddSubtree(NodeId node) { Adjust(node, +1); }
    void RemoveSubtree(NodeId node) { Adjust(node, -1); }
    // Every node below `parent` (not `parent` itself).
    void RemoveBelow(NodeId parent);

private:
    void Adjust(NodeId node, int delta);
    void Count(InodeNo inode, int delta);

    const Catalog& m_catalog;
    std::vector<std::uint8_t> m_counts; // 255 means "see m_overflow"
    std::unordered_map<InodeNo, std::uint32_t> m_overflow;
};

// The plain answer, by walking the whole catalogue depth first.
bool FindInodeInCatalogue(const Catalog& catalog, InodeNo inode);

} // namespace twl
