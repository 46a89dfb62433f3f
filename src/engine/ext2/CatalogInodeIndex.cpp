#include "ext2/CatalogInodeIndex.h"

namespace twl {
namespace {

constexpr std::uint8_t kInMap = 255;

} // namespace

CatalogInodeIndex::CatalogInodeIndex(const Catalog& catalog, std::uint32_t inodesCount)
    : m_catalog(catalog), m_counts(std::size_t{inodesCount} + 1, 0) {
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) { Count(catalog.Node(id).inode, +1); });
}

bool CatalogInodeIndex::Contains(InodeNo inode) const {
    if (inode == 0)
        return false;
    if (inode < m_counts.size() && m_counts[inode] != kInMap)
        return m_counts[inode] != 0;
    const auto it = m_overflow.find(inode);
    return it != m_overflow.end() && it->second != 0;
}

void CatalogInodeIndex::Count(InodeNo inode, int delta) {
    if (inode == 0)
        return; // headers, containers and the anchor
    if (inode < m_counts.size() && m_counts[inode] != kInMap) {
        const int next = m_counts[inode] + delta;
        if (next >= 0 && next < kInMap) {
            m_counts[inode] = static_cast<std::uint8_t>(next);
            return;
        }
        // Past what a byte holds: the count moves to the map for good.
        m_overflow[inode] = static_cast<std::uint32_t>(m_counts[inode]);
        m_counts[inode] = kInMap;
    }
    std::uint32_t& count = m_overflow[inode];
    count = delta < 0 ? (count == 0 ? 0 : count - 1) : count + 1;
}

void CatalogInodeIndex::Adjust(NodeId node, int delta) {
    Count(m_catalog.Node(node).inode, delta);
    m_catalog.ForEachBelow(node, [&](NodeId id) { Count(m_catalog.Node(id).inode, delta); });
}

void CatalogInodeIndex::RemoveBelow(NodeId parent) {
    m_catalog.ForEachBelow(parent, [&](NodeId id) { Count(m_catalog.Node(id).inode, -1); });
}

bool FindInodeInCatalogue(const Catalog& catalog, InodeNo inode) {
    bool found = false;
    // A plain walk, kept as the reference the index is tested against.
    catalog.ForEachBelow(kRootAnchor,
                         [&](NodeId id) { found = found || catalog.Node(id).inode == inode; });
    return found;
}

} // namespace twl
