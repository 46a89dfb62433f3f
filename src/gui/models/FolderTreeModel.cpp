#include "models/FolderTreeModel.h"

#include <QApplication>
#include <QStyle>
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
    if (role == Qt::DisplayRole) {
        if (index.internalId() == kRootItem)
            return QStringLiteral("Root\\");
        const std::string_view name = m_catalog->Name(NodeOf(index));
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    if (role == Qt::DecorationRole)
        return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
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

void FolderTreeModel::SetBelow(NodeId folder, int state) {
    std::vector<NodeId> pending{folder};
    while (!pending.empty()) {
        const NodeId id = pending.back();
        pending.pop_back();
        m_state[id] = static_cast<std::uint8_t>(state);
        Changed(id);
        const std::span<const NodeId> children = Children(id);
        pending.insert(pending.end(), children.begin(), children.end());
    }
}

// Every ancestor, up to the root item: partly marked while any child is not fully (after a
// mark) or not at all (after an unmark) in the same state.
void FolderTreeModel::FollowAncestors(NodeId folder, bool marked) {
    for (NodeId a = folder;; a = m_parent[a]) {
        const std::span<const NodeId> children = Children(a);
        const bool mixed = std::any_of(children.begin(), children.end(), [&](NodeId c) {
            return marked ? m_state[c] != 2 : m_state[c] != 1;
        });
        m_state[a] = static_cast<std::uint8_t>(mixed ? 3 : (marked ? 2 : 1));
        Changed(a);
        if (a == kRootAnchor)
            break;
    }
}

void FolderTreeModel::ToggleMark(NodeId folder) {
    const bool mark = MarkState(folder) != 2;
    SetBelow(folder, mark ? 2 : 1);
    if (folder != kRootAnchor)
        FollowAncestors(m_parent[folder], mark);
    // The folders on the item's path are marked with it and stay marked after an unmark.
    for (NodeId up = folder; up != kRootAnchor; up = m_catalog->Node(up).parent) {
        CatalogNode& node = m_catalog->Node(up);
        node.marked = 1;
        if (node.first_child != kNoNode)
            m_catalog->Node(node.first_child).marked = 1;
    }
    m_catalog->Node(folder).marked = mark ? 1 : 0;
    m_catalog->ForEachBelow(folder, [&](NodeId id) { m_catalog->Node(id).marked = mark ? 1 : 0; });
    emit marksChanged(folder, MarkState(folder));
}

void FolderTreeModel::ExpandMarks(NodeId folder) {
    const int state = MarkState(folder);
    if (m_count[folder] == 0 || state == 3)
        return;
    SetBelow(folder, state);
    if (folder != kRootAnchor)
        FollowAncestors(m_parent[folder], state == 2);
}

void FolderTreeModel::ChildMarked(NodeId folder, NodeId child, int s, int f) {
    m_state[folder] = static_cast<std::uint8_t>(f);
    Changed(folder);
    if (child != kNoNode && m_catalog->Node(child).type == kTypeFolder) {
        m_state[child] = static_cast<std::uint8_t>(s);
        Changed(child);
    }
    if (folder != kRootAnchor)
        FollowAncestors(m_parent[folder], s != 1);
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
