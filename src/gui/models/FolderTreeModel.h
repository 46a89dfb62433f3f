#pragma once

// The folder tree pane's model: the item "Root\" standing for the root anchor, and under it
// one item per folder node of the catalogue, in catalogue order. Files and headers have no
// item. Built in one pass when the tree is shown; parent() is O(1) through the row each
// folder has in its parent.

#include "ext2/Catalog.h"
#include "models/ItemIcons.h"

#include <QAbstractItemModel>
#include <span>
#include <vector>

namespace twl::gui {

class FolderTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit FolderTreeModel(QObject* parent = nullptr) : QAbstractItemModel(parent) {}

    // Rebuilds every item from `catalog` (kept by reference until the next Rebuild or Clear);
    // every item starts unmarked, whatever the nodes' marks say.
    void Rebuild(Catalog& catalog);
    // No items at all.
    void Clear();

    NodeId NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(NodeId node) const;
    QModelIndex RootIndex() const { return hasIndex(0, 0) ? index(0, 0) : QModelIndex(); }
    // "home\user" for the item of folder user in home; "Root\" for the root item.
    QString PathOf(const QModelIndex& index) const;

    // Mark states of items: 1 unmarked, 2 marked, 3 partly marked. They follow the nodes'
    // marks: a folder is marked when every file and empty folder below it is marked,
    // unmarked when none is, and partly marked otherwise; an empty folder is as its own node.
    int MarkState(NodeId folder) const { return m_state.empty() ? 1 : m_state[folder]; }
    // A click on an item's mark box: the item and everything below it are marked (or, when
    // it was marked, unmarked), and the folders on its path are marked and stay so.
    void ToggleMark(NodeId folder);
    // The nodes' marks changed (a row of the list was marked): the items follow them.
    void SyncMarks();

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The marks of the catalogue changed below `folder`, which now has `state`.
    void marksChanged(NodeId folder, int state);

private:
    std::span<const NodeId> Children(NodeId folder) const;
    void Changed(NodeId folder);

    static constexpr quintptr kRootItem = 0; // the internal id of "Root\"

    Catalog* m_catalog = nullptr;
    mutable ItemIcons m_icons;
    std::vector<std::uint8_t> m_state; // by node: the item's mark state
    // Folder children of each folder (and of the anchor), in order: the runs of one array,
    // found by node through m_first and m_count.
    std::vector<NodeId> m_children;
    std::vector<std::uint32_t> m_first; // by node: where its run starts
    std::vector<std::uint32_t> m_count; // by node: how many folder children it has
    std::vector<std::uint32_t> m_row;   // by node: its row among them
    std::vector<NodeId> m_parent;       // by node: the folder (or anchor) holding it
};

} // namespace twl::gui
