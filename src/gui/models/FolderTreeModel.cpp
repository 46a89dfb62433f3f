#include "models/FolderTreeModel.h"

#include "models/ShownName.h"

#include <algorithm>

namespace twl::gui {

void FolderTreeModel::Rebuild(Catalog& catalog) {
    beginResetModel();
    m_catalog = &catalog;
    const std::size_t nodes = catalog.NodeCount();
    m_state.assign(nodes, 1);
    m_row.assign(nodes, 0);
    m_parent.assign(nodes, kRootAnchor);
    m_count.assign(nodes, 0);
    const auto isFolder = [&](const CatalogNode& node) {
        return node.type == kTypeFolder && !node.is_header;
    };
    // Two passes: how many folder children each node has, then the children in order.
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        if (isFolder(catalog.Node(id)))
            ++m_count[catalog.Node(id).parent];
    });
    m_first.assign(nodes, 0);
    std::uint32_t next = 0;
    for (std::size_t id = 0; id < nodes; ++id) {
        m_first[id] = next;
        next += m_count[id];
    }
    m_children.assign(next, kNoNode);
    std::vector<std::uint32_t> filled(nodes, 0);
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        const CatalogNode& node = catalog.Node(id);
        if (!isFolder(node))
            return;
        m_row[id] = filled[node.parent]++;
        m_parent[id] = node.parent;
        m_children[m_first[node.parent] + m_row[id]] = id;
    });
    endResetModel();
    SyncMarks(); // the items show the marks the catalogue holds (a loaded file keeps them)
}

std::span<const NodeId> FolderTreeModel::Children(NodeId folder) const {
    return {m_children.data() + m_first[folder], m_count[folder]};
}

void FolderTreeModel::Clear() {
    beginResetModel();
    m_catalog = nullptr;
    m_state.clear();
    m_children.clear();
    m_first.clear();
    m_count.clear();
    m_row.clear();
    m_parent.clear();
    endResetModel();
}

NodeId FolderTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<NodeId>(index.internalId()) : kRootAnchor;
}

QModelIndex FolderTreeModel::IndexOf(NodeId node) const {
    if (m_catalog == nullptr)
        return {};
    if (node == kRootAnchor)
        return RootIndex();
    return createIndex(static_cast<int>(m_row[node]), 0, static_cast<quintptr>(node));
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (m_catalog == nullptr || column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, kRootItem) : QModelIndex();
    const std::span<const NodeId> children = Children(NodeOf(parent));
    if (static_cast<std::size_t>(row) >= children.size())
        return {};
    return createIndex(row, 0, static_cast<quintptr>(children[static_cast<std::size_t>(row)]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kRootItem)
        return {};
    return IndexOf(m_parent[NodeOf(child)]);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
    if (m_catalog == nullptr)
        return 0;
    if (!parent.isValid())
        return 1;
    return static_cast<int>(m_count[NodeOf(parent)]);
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || m_catalog == nullptr)
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.internalId() == kRootItem)
            return QStringLiteral("Root\\");
        return ShownName(m_catalog->Name(NodeOf(index)));
    }
    if (role == Qt::DecorationRole)
        return m_icons.Folder(OriginOf(*m_catalog, NodeOf(index)));
    if (role == Qt::CheckStateRole) {
        const int state = MarkState(NodeOf(index));
        return state == 2 ? Qt::Checked : state == 3 ? Qt::PartiallyChecked : Qt::Unchecked;
    }
    return {};
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
    return QAbstractItemModel::flags(index) | Qt::ItemIsUserCheckable;
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || m_catalog == nullptr)
        return false;
    ToggleMark(NodeOf(index));
    return true;
}

void FolderTreeModel::Changed(NodeId folder) {
    const QModelIndex item = IndexOf(folder);
    emit dataChanged(item, item, {Qt::CheckStateRole});
}

void FolderTreeModel::SyncMarks() {
    if (m_catalog == nullptr)
        return;
    const Catalog& catalog = *m_catalog;
    // The leaves below each node (files and empty folders), and how many of them are
    // marked: children before parents, by going through the depth-first order backwards.
    // A folder with content is as its content is, whatever its own mark (the folders on a
    // marked item's path keep theirs). Headers do not count.
    std::vector<NodeId> order;
    order.reserve(catalog.NodeCount());
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        if (!catalog.Node(id).is_header)
            order.push_back(id);
    });
    std::vector<std::uint32_t> below(catalog.NodeCount(), 0);
    std::vector<std::uint32_t> markedBelow(catalog.NodeCount(), 0);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const CatalogNode& node = catalog.Node(*it);
        const bool leaf = below[*it] == 0;
        below[node.parent] += leaf ? 1 : below[*it];
        markedBelow[node.parent] += leaf ? (node.marked != 0 ? 1 : 0) : markedBelow[*it];
    }
    const auto derived = [&](NodeId id) -> std::uint8_t {
        if (below[id] == 0)
            return id != kRootAnchor && catalog.Node(id).marked != 0 ? 2 : 1;
        return markedBelow[id] == below[id] ? 2 : markedBelow[id] == 0 ? 1 : 3;
    };
    const auto follow = [&](NodeId id) {
        const std::uint8_t state = derived(id);
        if (m_state[id] != state) {
            m_state[id] = state;
            Changed(id);
        }
    };
    follow(kRootAnchor);
    for (const NodeId id : m_children)
        follow(id);
}

void FolderTreeModel::ToggleMark(NodeId folder) {
    const bool mark = MarkState(folder) != 2;
    // The folders on the item's path are marked with it and stay marked after an unmark.
    for (NodeId up = folder; up != kRootAnchor; up = m_catalog->Node(up).parent) {
        CatalogNode& node = m_catalog->Node(up);
        node.marked = 1;
        if (node.first_child != kNoNode)
            m_catalog->Node(node.first_child).marked = 1;
    }
    m_catalog->Node(folder).marked = mark ? 1 : 0;
    m_catalog->ForEachBelow(folder, [&](NodeId id) { m_catalog->Node(id).marked = mark ? 1 : 0; });
    SyncMarks();
    emit marksChanged(folder, MarkState(folder));
}

QString FolderTreeModel::PathOf(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == kRootItem)
        return QStringLiteral("Root\\");
    QString path = data(index, Qt::DisplayRole).toString();
    for (QModelIndex up = parent(index); up.isValid() && up.internalId() != kRootItem;
         up = parent(up)) {
        QString part = data(up, Qt::DisplayRole).toString();
        if (!part.endsWith('\\'))
            part += '\\';
        path.prepend(part);
    }
    return path;
}

} // namespace twl::gui
