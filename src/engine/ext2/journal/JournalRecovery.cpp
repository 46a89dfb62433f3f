#include "ext2/journal/JournalRecovery.h"

#include "ext2/TreeBuilder.h"
#include "ext2/TurboScan.h"

#include <set>
#include <string>

namespace twl {
namespace {

// Folders deeper than this are placed in the container: no real tree of deleted folders is
// this deep, and a hostile one could name itself as its own ancestor.
constexpr std::size_t kMostDepth = 64;

std::uint8_t EntryType(const InodeRecord& record) {
    switch (InodeView{record}.FileType()) {
    case kModeDirectory:
        return kTypeFolder;
    case kModeSymlink:
        return kTypeSymlink;
    default:
        return kTypeFile;
    }
}

bool IsFolder(const InodeRecord& record) {
    return InodeView{record}.FileType() == kModeDirectory;
}

} // namespace

JournalRecovery::JournalRecovery(VolumeReader& reader, Catalog& catalog, StopControl& stop)
    : m_reader(reader), m_catalog(catalog), m_stop(stop) {}

bool JournalRecovery::Find() {
    m_index = JournalIndex::Read(m_reader, &m_stop);
    if (!m_index.Report().unavailable.empty())
        return false;
    IndexCatalogue();
    const auto known = [this](InodeNo n) { return n < m_known.size() && m_known[n]; };
    m_inodes = JournalInodes::Find(m_reader, m_index, known, &m_stop);
    const InodeTableBlocks tables(m_reader.Volume());
    m_names = JournalNames::Find(
        m_reader, m_index, tables, [this](InodeNo n) { return m_inodes.Of(n); }, &m_stop);
    ResolveUnknownFolders();
    return true;
}

// What the catalogue already holds: every inode it names, and the folders the tree walk
// reached, by inode.
void JournalRecovery::IndexCatalogue() {
    m_known.assign(std::size_t{m_reader.Volume().sb.s_inodes_count} + 1, false);
    m_catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        const CatalogNode& node = m_catalog.Node(id);
        if (node.inode < m_known.size())
            m_known[node.inode] = true;
    });
    m_liveFolders = TreeFoldersByInode(m_catalog);
    m_liveFolders.erase(kRootInode); // the root folder's files go at the container's top
}

// Names found in blocks that are not a folder's first block do not tell their folder. The
// maps of the deleted folders found and of the live ones (the root folder first) do.
void JournalRecovery::ResolveUnknownFolders() {
    std::set<std::uint64_t> unknown;
    for (auto& [inode, choice] : m_names.All())
        for (const std::optional<JournalName>* name : {&choice.fitting, &choice.newest})
            if (*name && (*name)->folder == 0)
                unknown.insert((*name)->block);
    if (unknown.empty())
        return;
    std::map<std::uint64_t, InodeNo> owners;
    const auto walk = [&](InodeNo folder, const InodeRecord& record) {
        m_reader.ForEachMappedBlock(
            record, m_reader.VolumeBlockLimit(),
            [&](std::uint64_t, BlockNo block) {
                if (unknown.erase(block) != 0)
                    owners[block] = folder;
            },
            &m_stop);
    };
    for (const auto& [inode, found] : m_inodes.All())
        if (IsFolder(found.record) && !unknown.empty())
            walk(inode, found.record);
    if (!unknown.empty())
        walk(kRootInode, m_reader.ReadInode(kRootInode).record);
    for (const auto& [inode, node] : m_liveFolders) {
        if (unknown.empty() || m_stop.ShouldStop())
            break;
        walk(inode, m_reader.ReadInode(inode).record);
    }
    for (auto& [inode, choice] : m_names.All())
        for (std::optional<JournalName>* name : {&choice.fitting, &choice.newest})
            if (*name && (*name)->folder == 0)
                if (const auto it = owners.find((*name)->block); it != owners.end())
                    (*name)->folder = it->second;
}

JournalFindings JournalRecovery::Place(NodeId container) {
    m_container = container;
    m_tails[container] = m_catalog.Node(container).first_child;
    for (const auto& [inode, found] : m_inodes.All())
        PlaceInode(found, 0);
    return m_findings;
}

NodeId JournalRecovery::PlaceInode(const JournalInode& found, std::size_t depth) {
    if (const auto it = m_placed.find(found.inode); it != m_placed.end())
        return it->second;
    const JournalName* name = m_names.NameFor(found.inode);
    const std::uint64_t size = InodeFileSize(found.record, m_reader.Volume().sb.HasLargeFile());
    // An empty file is worth listing only under its name: "InodeN" of no bytes tells nothing.
    if (name == nullptr && !IsFolder(found.record) && size == 0)
        return kNoNode;
    m_placed[found.inode] = kNoNode; // while its folders are placed: a loop ends in the container
    const NodeId folder = name != nullptr ? FolderFor(name->folder, depth + 1) : m_container;
    const NodeId id =
        m_catalog.AddNode(name != nullptr ? name->name : "Inode" + std::to_string(found.inode));
    CatalogNode& node = m_catalog.Node(id);
    node.type = EntryType(found.record);
    node.inode = found.inode;
    CopyInodeAttributes(node, found.record, IsFolder(found.record) ? 0 : size);
    Append(folder, id);
    if (IsFolder(found.record)) {
        const NodeId header = m_catalog.AddPathHeader();
        m_catalog.AttachChildList(id, header);
        m_tails[id] = header;
        ++m_findings.folders;
    } else {
        ++m_findings.files;
        if (found.PossiblyOverwritten()) {
            m_catalog.Node(id).flags |= kNodePossiblyOverwritten;
            ++m_findings.overwritten;
        }
    }
    m_findings.named += name != nullptr ? 1 : 0;
    m_placed[found.inode] = id;
    return id;
}

NodeId JournalRecovery::FolderFor(InodeNo folder, std::size_t depth) {
    if (folder == 0 || depth > kMostDepth)
        return m_container;
    if (const JournalInode* found = m_inodes.Of(folder); found && IsFolder(found->record)) {
        const NodeId placed = PlaceInode(*found, depth);
        return placed != kNoNode ? placed : m_container;
    }
    if (const auto live = m_liveFolders.find(folder); live != m_liveFolders.end())
        return RebuiltLiveFolder(live->second);
    return m_container;
}

// The copy in the container of live folder `live` and of the folders above it, made as they
// are first needed.
NodeId JournalRecovery::RebuiltLiveFolder(NodeId live) {
    std::vector<NodeId> chain;
    NodeId at = live;
    for (std::size_t steps = 0;
         at != kRootAnchor && !m_rebuilt.contains(at) && steps < m_catalog.NodeCount(); ++steps) {
        chain.push_back(at);
        at = m_catalog.Node(at).parent;
    }
    NodeId base = at == kRootAnchor ? m_container : m_rebuilt.at(at);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const CatalogNode original = m_catalog.Node(*it);
        base = AddFolder(base, m_catalog.Name(*it));
        CopyItemAttributes(m_catalog.Node(base), original);
        m_rebuilt[*it] = base;
    }
    return base;
}

// A folder with no inode of its own: it stands for a live folder's place, not for its data.
NodeId JournalRecovery::AddFolder(NodeId parent, std::string_view name) {
    const std::string copied(name); // the arena may grow while the name is copied
    const NodeId id = m_catalog.AddNode(copied);
    m_catalog.Node(id).type = kTypeFolder;
    Append(parent, id);
    const NodeId header = m_catalog.AddPathHeader();
    m_catalog.AttachChildList(id, header);
    m_tails[id] = header;
    return id;
}

void JournalRecovery::Append(NodeId folder, NodeId node) {
    NodeId& tail = m_tails[folder];
    if (tail == kNoNode)
        m_catalog.AttachChildList(folder, node);
    else
        m_catalog.LinkSibling(tail, node);
    tail = node;
}

} // namespace twl
