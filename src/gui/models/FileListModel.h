#pragma once

// The file list pane's model: the nodes of one folder's child list (headers left out), in
// seven columns: name, size in bytes, type, inode number, creation and modification dates
// (UTC, "%d-%m-%Y  %H:%M:%S") and the permission text ("r w x r - x r - x").

#include "ext2/Catalog.h"
#include "models/ItemIcons.h"

#include <QAbstractTableModel>
#include <QSize>
#include <functional>
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

    // Lists the child list of `folder`, newest row on top: the reverse of the catalogue's
    // order until the user sorts. An empty list when there is no catalogue.
    void ShowFolder(const Catalog* catalog, NodeId folder);
    NodeId Folder() const { return m_folder; }
    // Where a folder row's box comes from: its tree item's state (1, 2 or 3).
    void SetFolderState(std::function<int(NodeId)> folderState) {
        m_folderState = std::move(folderState);
    }
    // The marks changed: every row's box is drawn again.
    void RefreshMarks();
    // In details mode rows alternate their colours and the row named `highlight` (Find's
    // match) stands out; other modes draw rows plainly.
    void SetDetailsMode(bool details);
    void SetHighlight(const QString& name);
    NodeId NodeAt(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    std::size_t NameBytes(int row) const { return m_catalog->Node(NodeAt(row)).nameLength; }
    // The size of every item in the icon and list modes (one for all, so that no row has to
    // be measured); none in details mode.
    void SetItemSize(QSize size) { m_itemSize = size; }
    // The box of a row: a folder's as its tree item shows it, a file's as its node is marked.
    Qt::CheckState MarkOf(int row) const;
    // A click on the header of `column`: the same column again sorts the other way, another
    // column keeps the direction of the last sort (ascending before the first). Sorts and
    // returns the direction.
    Qt::SortOrder SortByClick(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 7; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // Text for name, type and attributes; numbers for size and inode; dates by time.
    void sort(int column, Qt::SortOrder order) override;

signals:
    // The user clicked the mark box of a row.
    void rowMarkClicked(int row);

private:
    QString Text(NodeId id, int column) const;

    const Catalog* m_catalog = nullptr;
    NodeId m_folder = kNoNode;
    NodeOrigin m_folderOrigin = NodeOrigin::kTree;
    mutable ItemIcons m_icons;
    std::vector<NodeId> m_rows;
    std::function<int(NodeId)> m_folderState;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_details = true;
    QSize m_itemSize;
    QString m_highlight;
};

} // namespace twl::gui
