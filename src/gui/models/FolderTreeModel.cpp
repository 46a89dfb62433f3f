#include "models/FolderTreeModel.h"

#include <QApplication>
#include <QStyle>

namespace twl::gui {

void FolderTreeModel::Rebuild(const Catalog& catalog) {
    beginResetModel();
    m_catalog = &catalog;
    m_folders.assign(catalog.NodeCount(), {});
    m_row.assign(catalog.NodeCount(), 0);
    m_parent.assign(catalog.NodeCount(), kRootAnchor);
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        const CatalogNode& node = catalog.Node(id);
        if (node.type != kTypeFolder || node.is_header)
            return;
        std::vector<NodeId>& siblings = m_folders[node.parent];
        m_row[id] = static_cast<std::uint32_t>(siblings.size());
        m_parent[id] = node.parent;
        siblings.push_back(id);
    });
    endResetModel();
}

void FolderTreeModel::Clear() {
    beginResetModel();
    m_catalog = nullptr;
    m_folders.clear();
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
    const std::vector<NodeId>& children = m_folders[NodeOf(parent)];
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
    return static_cast<int>(m_folders[NodeOf(parent)].size());
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
    return {};
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
