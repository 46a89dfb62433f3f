#pragma once

// The folder tree pane's model: the item "Root\" standing for the root anchor, and under it
// one item per folder node of the catalogue, in catalogue order. Files and headers have no
// item. Built in one pass when the tree is shown; parent() is O(1) through the row each
// folder has in its parent.

#include "ext2/Catalog.h"

#include <QAbstractItemModel>
#include <vector>

namespace twl::gui {

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr) : QAbstractItemModel(parent) {}

    // Rebuilds every item from `catalog` (kept by reference until the next Rebuild or Clear).
    void Rebuild(const Catalog& catalog);
    // No items at all.
    void Clear();

    NodeId NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(NodeId node) const;
    QModelIndex RootIndex() const { return hasIndex(0, 0) ? index(0, 0) : QModelIndex(); }
    // "home\user" for the item of folder user in home; "Root\" for the root item.
    QString PathOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override;

private:
    static constexpr quintptr kRootItem = 0; // the internal id of "Root\"

    const Catalog* m_catalog = nullptr;
    std::vector<std::vector<NodeId>> m_folders; // by node: its folder children, in order
    std::vector<std::uint32_t> m_row;           // by node: its row among them
    std::vector<NodeId> m_parent;               // by node: the folder (or anchor) holding it
};

} // namespace twl::gui
