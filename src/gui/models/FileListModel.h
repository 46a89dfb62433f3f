#pragma once

// The file list pane's model: the nodes of one folder's child list (headers left out), in
// seven columns: name, size in bytes, type, inode number, creation and modification dates
// (UTC, "%d-%m-%Y  %H:%M:%S") and the permission text ("r w x r - x r - x").

#include "ext2/Catalog.h"

#include <QAbstractTableModel>
#include <vector>

namespace twl::gui {

// "r w x r w x r w x" with "-" for each of the nine permission bits that is clear.
QString PermissionText(std::uint16_t mode);
// A time as the list shows it: UTC, "%d-%m-%Y  %H:%M:%S".
QString ListTime(std::uint32_t seconds);

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Lists the child list of `folder`; an empty list when there is no catalogue.
    void ShowFolder(const Catalog* catalog, NodeId folder);
    NodeId NodeAt(int row) const { return m_rows[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 7; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const Catalog* m_catalog = nullptr;
    std::vector<NodeId> m_rows;
};

} // namespace twl::gui
