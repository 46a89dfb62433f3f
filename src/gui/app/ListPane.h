#pragma once

// The file list pane: the rows of one folder in the details table (seven columns, sorted by
// header clicks) or, in the icon and list modes, in a list view over the same model. Rows are
// one line high; names get the room they need, within reason, and a tooltip for the rest.

#include "models/FileListModel.h"

#include <QStackedWidget>

class QListView;
class QTableView;

namespace twl::gui {

class ListPane : public QStackedWidget {
    Q_OBJECT
public:
    // The list's view modes, numbered as the list pane stores them.
    enum Mode { kLargeIcons = 0, kSmallIcons = 1, kList = 2, kDetails = 3 };

    ListPane(FileListModel& model, QWidget* parent);

    void SetMode(Mode mode);
    QTableView* Table() const { return m_table; }
    QListView* Icons() const { return m_icons; }

signals:
    // A double click on a row.
    void rowOpened(const QModelIndex& row);

private:
    void BuildTable();
    void BuildIcons();
    // Sizes the name column and the icon items to the names of the rows now listed.
    void FitNames();
    int WidestName() const;

    FileListModel& m_model;
    QTableView* m_table = nullptr;
    QListView* m_icons = nullptr;
    Mode m_mode = kDetails;
};

} // namespace twl::gui
