#pragma once

// The catalogue: the recovered tree of CatalogNode records. Nodes live in one arena of fixed
// chunks addressed by 32-bit NodeId (0 is the root anchor, so 0 also means "no node" in the
// links), names in a byte arena beside it. Growing never moves a node, so a NodeId and a
// reference stay valid until the catalogue is cleared. Unlinking a child list releases it
// from the tree; its memory comes back when the catalogue is cleared.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace twl {

using NodeId = std::uint32_t;
inline constexpr NodeId kRootAnchor = 0;
inline constexpr NodeId kNoNode = 0;

// Directory-entry type codes kept in CatalogNode::type.
inline constexpr std::uint8_t kTypeUnknown = 0;
inline constexpr std::uint8_t kTypeFile = 1;
inline constexpr std::uint8_t kTypeFolder = 2;
inline constexpr std::uint8_t kTypeSymlink = 7;

// CatalogNode::flags.
// Some blocks of a recovered file have been given to other files since it was deleted: what
// they hold may not be its data.
inline constexpr std::uint8_t kNodePossiblyOverwritten = 0x01;
// A deleted file given back its name and place from what its folder's records left of it.
inline constexpr std::uint8_t kNodeDeleted = 0x02;
inline constexpr std::uint8_t kKnownNodeFlags = kNodePossiblyOverwritten | kNodeDeleted;

struct CatalogNode {
    std::uint32_t nameRef = 0; // where the name lies in the name arena
    std::uint32_t nameLength = 0;
    std::uint8_t type = 0;
    std::uint8_t marked = 0;
    std::uint8_t is_header = 0;
    // 1 when this header's name is its folder's path, made from the names up the parent
    // chain when asked for and not stored (see CatalogPath.h).
    std::uint8_t pathName = 0;
    std::uint8_t flags = 0; // kNode... bits
    std::uint16_t mode = 0;
    std::uint16_t uid = 0;
    std::uint16_t gid = 0;
    std::uint32_t ctime = 0;
    std::uint32_t mtime = 0;
    std::uint64_t size = 0;
    std::uint32_t inode = 0;
    NodeId first_child = kNoNode;
    NodeId next_sibling = kNoNode;
    NodeId parent = kNoNode;
};
static_assert(sizeof(CatalogNode) <= 64, "a catalogue of a million nodes must stay small");

// Copies what a node says of its item's owner, permissions and times (not its place, name,
// size or inode), for a node that stands for another one elsewhere.
inline void CopyItemAttributes(CatalogNode& to, const CatalogNode& from) {
    to.mode = from.mode;
    to.uid = from.uid;
    to.gid = from.gid;
    to.ctime = from.ctime;
    to.mtime = from.mtime;
}

// Thrown by AddNode when the catalogue holds as many nodes as it may.
class CatalogFull : public std::length_error {
public:
    CatalogFull() : std::length_error("the catalogue is full") {}
};

// The most nodes a catalogue holds, the root anchor included: every NodeId but one.
inline constexpr std::size_t kMostCatalogNodes = std::size_t{0xFFFFFFFF};

class Catalog {
public:
    Catalog();

    // Back to a bare root anchor; every node and name is released.
    void Clear();

    // A new node, linked nowhere yet, with `name` copied byte for byte. Throws CatalogFull
    // when the node limit is reached or the name arena is full (and std::bad_alloc when
    // memory runs out).
    NodeId AddNode(std::string_view name);
    // A new header node whose name is the path of the folder it will be attached below.
    NodeId AddPathHeader();
    // Lowers the node limit (kMostCatalogNodes by default); kept when the catalogue is cleared.
    void SetNodeLimit(std::size_t limit) {
        m_nodeLimit = std::clamp<std::size_t>(limit, 1, kMostCatalogNodes);
    }
    CatalogNode& Node(NodeId id) { return m_chunks[id >> kChunkBits][id & kChunkMask]; }
    const CatalogNode& Node(NodeId id) const { return m_chunks[id >> kChunkBits][id & kChunkMask]; }
    std::string_view Name(NodeId id) const;
    std::size_t NodeCount() const { return m_count; }

    // Makes `first` (and the siblings chained after it) the child list of `parent`.
    void AttachChildList(NodeId parent, NodeId first);
    // Chains `next` after `node` in the same child list.
    void LinkSibling(NodeId node, NodeId next);
    // Detaches the child list of `parent` from the tree.
    void ReleaseChildList(NodeId parent) { Node(parent).first_child = kNoNode; }

    // Calls visit(id) for every node below `parent` (its child list and every child list
    // beneath), depth first: each node before its own child list. Iterative, so any depth is
    // fine.
    template <typename Visit>
    void ForEachBelow(NodeId parent, Visit visit) const {
        std::vector<NodeId> pending; // next sibling to visit at each open level
        NodeId node = Node(parent).first_child;
        while (node != kNoNode || !pending.empty()) {
            if (node == kNoNode) {
                node = pending.back();
                pending.pop_back();
                continue;
            }
            visit(node);
            const CatalogNode& current = Node(node);
            if (current.first_child != kNoNode) {
                if (current.next_sibling != kNoNode)
                    pending.push_back(current.next_sibling);
                node = current.first_child;
            } else {
                node = current.next_sibling;
            }
        }
    }

    // Inodes the tree walk listed and read whole, without a deletion time: Turbo Scan's pass
    // has nothing to find in them while they stay in the catalogue, and need not read them
    // again. Known only for a catalogue built from the disk (one bit per inode); cleared with
    // the catalogue.
    void MarkQuiet(std::uint32_t inode, std::uint32_t inodesCount);
    bool Quiet(std::uint32_t inode) const { return inode < m_quiet.size() && m_quiet[inode]; }
    bool KnowsQuietInodes() const { return !m_quiet.empty(); }

    // Names a deletion left behind in folder records (an entry merged into the one before
    // it), found while folders were listed: Turbo Scan gives them to the deleted files it
    // finds. In listing order; cleared with the catalogue, not kept in scan information.
    struct SlackName {
        std::uint32_t inode = 0;
        NodeId folder = kNoNode; // the folder whose records held it
        std::uint8_t fileType = 0;
        bool given = false; // a deleted file took it: a later Turbo Scan does not again
        std::string name;
    };
    // At most kMostSlackNames are kept: damaged folders could otherwise fill memory with names.
    void AddSlackName(SlackName name) {
        if (m_slackNames.size() < kMostSlackNames)
            m_slackNames.push_back(std::move(name));
    }
    static constexpr std::size_t kMostSlackNames = std::size_t{1} << 22;

    // The inode a lost folder's ".." named when Turbo Scan found it: where it came from.
    // Cleared with the catalogue, not kept in scan information.
    void NoteLostFolderParent(NodeId folder, std::uint32_t parent) {
        m_lostFolderParents[folder] = parent;
    }
    const std::unordered_map<NodeId, std::uint32_t>& LostFolderParents() const {
        return m_lostFolderParents;
    }
    std::vector<SlackName>& SlackNames() { return m_slackNames; }

    // Bytes held by nodes and names, for the memory figures.
    std::size_t MemoryBytes() const;
    // Name bytes stored, over every node added since the catalogue was cleared.
    std::size_t NameBytes() const { return m_nameBytes; }

private:
    static constexpr unsigned kChunkBits = 12; // 4,096 nodes per chunk
    static constexpr NodeId kChunkMask = (NodeId{1} << kChunkBits) - 1;
    static constexpr unsigned kNameOffsetBits = 16;
    static constexpr std::size_t kNameChunkBytes = std::size_t{1} << kNameOffsetBits;

    std::string_view StoreName(std::string_view name, std::uint32_t& ref);

    std::vector<std::unique_ptr<CatalogNode[]>> m_chunks;
    std::size_t m_count = 0;
    std::size_t m_nodeLimit = kMostCatalogNodes;
    // Names: 64 KiB chunks; a reference is chunk index x 2^16 + offset. A name longer than a
    // chunk gets a chunk of its own.
    std::vector<std::unique_ptr<char[]>> m_nameChunks;
    std::size_t m_nameUsed = kNameChunkBytes; // bytes used of the last name chunk
    std::size_t m_nameBytes = 0;
    std::vector<bool> m_quiet; // by inode number
    std::vector<SlackName> m_slackNames;
    std::unordered_map<NodeId, std::uint32_t> m_lostFolderParents;
};

// Runs `work`, which adds to a catalogue; returns "" when it ended by itself, or why it ended
// early: "out of memory" or "the catalogue is full". What was added before stays.
template <typename Work>
std::string RunWithinCatalogLimits(Work&& work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const CatalogFull& full) {
        return full.what();
    }
    return {};
}

} // namespace twl
