#include "models/FileListModel.h"

#include "ext2/CatalogPath.h"
#include "ext2/LostFolderOrigins.h"
#include "models/ShownName.h"

#include <QColor>
#include <QDateTime>
#include <algorithm>

namespace twl::gui {

QString PermissionText(std::uint16_t mode) {
    QString text = QStringLiteral("r w x r w x r w x");
    for (int k = 8; k >= 0; --k) {
        if ((mode & (1u << k)) == 0)
            text[16 - 2 * k] = '-';
    }
    return text;
}

QString ListTime(std::uint32_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC)
        .toString(QStringLiteral("dd-MM-yyyy  HH:mm:ss"));
}

void FileListModel::ShowFolder(const Catalog* catalog, NodeId folder) {
    beginResetModel();
    m_catalog = catalog;
    m_folder = folder;
    m_rows.clear();
    if (catalog != nullptr) {
        for (NodeId id = catalog->Node(folder).first_child; id != kNoNode;
             id = catalog->Node(id).next_sibling) {
            if (!catalog->Node(id).is_header)
                m_rows.push_back(id);
        }
    }
    std::reverse(m_rows.begin(), m_rows.end()); // each row goes in on top of the others
    m_folderOrigin = catalog != nullptr ? OriginOf(*catalog, folder) : NodeOrigin::kTree;
    endResetModel();
}

void FileListModel::SetDetailsMode(bool details) {
    beginResetModel();
    m_details = details;
    endResetModel();
}

void FileListModel::SetHighlight(const QString& name) {
    beginResetModel();
    m_highlight = name;
    endResetModel();
}

void FileListModel::RefreshMarks() {
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || !index.isValid())
        return false;
    emit rowMarkClicked(index.row());
    return true;
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    if (m_catalog == nullptr || m_rows.empty())
        return;
    // Sizes and inode numbers compare as numbers and dates by time; the rest as text.
    const auto key = [&](NodeId id) -> std::pair<std::uint64_t, QString> {
        const CatalogNode& node = m_catalog->Node(id);
        switch (column) {
        case 1:
            return {node.size, {}};
        case 3:
            return {node.inode, {}};
        case 4:
            return {node.ctime, {}};
        case 5:
            return {node.mtime, {}};
        default:
            return {0, Text(id, column)};
        }
    };
    emit layoutAboutToBeChanged();
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](NodeId a, NodeId b) {
        return order == Qt::AscendingOrder ? key(a) < key(b) : key(b) < key(a);
    });
    emit layoutChanged();
}

Qt::CheckState FileListModel::MarkOf(int row) const {
    const NodeId id = NodeAt(row);
    if (m_catalog->Node(id).type == kTypeFolder && m_folderState) {
        const int state = m_folderState(id);
        return state == 2 ? Qt::Checked : state == 3 ? Qt::PartiallyChecked : Qt::Unchecked;
    }
    return m_catalog->Node(id).marked != 0 ? Qt::Checked : Qt::Unchecked;
}

Qt::SortOrder FileListModel::SortByClick(int column) {
    if (column == m_sortColumn)
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortColumn = column;
    sort(column, m_sortOrder);
    return m_sortOrder;
}

QString FileListModel::Text(NodeId id, int column) const {
    const CatalogNode& node = m_catalog->Node(id);
    switch (column) {
    case 0:
        return ShownName(m_catalog->Name(id));
    case 1:
        return QString::number(node.size);
    case 2:
        return node.type == kTypeFolder ? QStringLiteral("Folder") : QStringLiteral("Regular File");
    case 3:
        return QString::number(node.inode);
    case 4:
        return ListTime(node.ctime);
    case 5:
        return ListTime(node.mtime);
    default:
        return PermissionText(node.mode);
    }
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kHeaders[] = {"File Name",      "Size in bytes", "Type",
                                           "Inode number",   "Creation Date", "Modification Date",
                                           "File Attributes"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 6)
        return {};
    return QString::fromLatin1(kHeaders[section]);
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || m_catalog == nullptr)
        return {};
    const NodeId id = NodeAt(index.row());
    const CatalogNode& node = m_catalog->Node(id);
    if (role == Qt::TextAlignmentRole) {
        const bool right = index.column() == 1 || index.column() >= 4;
        return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role == Qt::BackgroundRole && m_details) {
        if (!m_highlight.isEmpty() && Text(id, 0) == m_highlight)
            return QColor(255, 159, 89);
        return index.row() % 2 == 0 ? QColor(232, 232, 244) : QColor(Qt::white);
    }
    if (role == Qt::CheckStateRole && index.column() == 0)
        return MarkOf(index.row());
    if (role == Qt::DecorationRole && index.column() == 0) {
        // Rows at the root level may be Turbo Scan's containers, each of its own kind.
        const NodeOrigin origin =
            m_folder == kRootAnchor ? OriginOf(*m_catalog, id) : m_folderOrigin;
        return m_icons.Item(node, origin);
    }
    if (role == Qt::SizeHintRole && index.column() == 0 && !m_details && m_itemSize.isValid())
        return m_itemSize;
    const bool overwritten = (node.flags & kNodePossiblyOverwritten) != 0;
    if (role == Qt::ToolTipRole && index.column() == 0) {
        // The whole name, where the column is too narrow for it, what a flag means, and
        // where a lost folder came from.
        QString tip = Text(id, 0);
        if (overwritten)
            tip += "\npossibly overwritten: blocks of it were given to other files after it "
                   "was deleted";
        if (m_catalog->LostFolderParents().contains(id)) {
            if (const std::optional<NodeId> origin = LostFolderOrigins(*m_catalog).Of(id))
                tip += "\ncame from " + QString::fromStdString(ShownPath(*m_catalog, *origin));
        }
        return tip;
    }
    if (role == Qt::ForegroundRole && overwritten)
        return QColor(160, 0, 0);
    if (role != Qt::DisplayRole)
        return {};
    return Text(id, index.column());
}

} // namespace twl::gui
