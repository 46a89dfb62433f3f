#include "ext2/Catalog.h"

#include <algorithm>
#include <stdexcept>

namespace twl {

Catalog::Catalog() {
    Clear();
}

void Catalog::Clear() {
    m_chunks.clear();
    m_nameChunks.clear();
    m_nameUsed = kNameChunkBytes;
    m_nameBytes = 0;
    m_count = 0;
    m_quiet = {};
    m_slackNames = {};
    m_lostFolderParents = {};
    AddNode({}); // the root anchor
}

void Catalog::MarkQuiet(std::uint32_t inode, std::uint32_t inodesCount) {
    if (inode > inodesCount)
        return;
    if (m_quiet.empty())
        m_quiet.resize(std::size_t{inodesCount} + 1);
    if (inode < m_quiet.size())
        m_quiet[inode] = true;
}

NodeId Catalog::AddNode(std::string_view name) {
    if (m_count >= m_nodeLimit)
        throw CatalogFull();
    const auto id = static_cast<NodeId>(m_count);
    if ((id & kChunkMask) == 0)
        m_chunks.push_back(std::make_unique<CatalogNode[]>(kChunkMask + 1));
    ++m_count;
    CatalogNode& node = Node(id);
    node = CatalogNode{};
    StoreName(name, node.nameRef);
    node.nameLength = static_cast<std::uint32_t>(name.size());
    return id;
}

NodeId Catalog::AddPathHeader() {
    const NodeId id = AddNode({});
    Node(id).is_header = 1;
    Node(id).pathName = 1;
    return id;
}

std::string_view Catalog::StoreName(std::string_view name, std::uint32_t& ref) {
    if (name.empty()) {
        ref = 0;
        return {};
    }
    if (name.size() > kNameChunkBytes - m_nameUsed) {
        // A name longer than a chunk gets a chunk of that size to itself.
        m_nameChunks.push_back(std::make_unique<char[]>(std::max(kNameChunkBytes, name.size())));
        m_nameUsed = 0;
    }
    const std::size_t chunk = m_nameChunks.size() - 1;
    if (chunk >= (std::size_t{1} << (32 - kNameOffsetBits)))
        throw CatalogFull(); // the name arena holds 4 GiB
    char* at = m_nameChunks.back().get() + m_nameUsed;
    std::copy(name.begin(), name.end(), at);
    ref = static_cast<std::uint32_t>((chunk << kNameOffsetBits) | m_nameUsed);
    m_nameUsed = std::min(kNameChunkBytes, m_nameUsed + name.size());
    m_nameBytes += name.size();
    return {at, name.size()};
}

std::string_view Catalog::Name(NodeId id) const {
    const CatalogNode& node = Node(id);
    if (node.nameLength == 0)
        return {};
    const char* chunk = m_nameChunks[node.nameRef >> kNameOffsetBits].get();
    return {chunk + (node.nameRef & (kNameChunkBytes - 1)), node.nameLength};
}

void Catalog::AttachChildList(NodeId parent, NodeId first) {
    Node(parent).first_child = first;
    for (NodeId child = first; child != kNoNode; child = Node(child).next_sibling)
        Node(child).parent = parent;
}

void Catalog::LinkSibling(NodeId node, NodeId next) {
    Node(node).next_sibling = next;
    Node(next).parent = Node(node).parent;
}

std::size_t Catalog::MemoryBytes() const {
    return m_chunks.size() * (kChunkMask + 1) * sizeof(CatalogNode) +
           m_nameChunks.size() * kNameChunkBytes;
}

} // namespace twl
