#pragma once

// The process log: a three-column list of what the program did, one row per event, with an
// information, error or success picture. It can be cleared and saved as a text file.

#include "core/ProcessLog.h"

#include <QTreeWidget>
#include <vector>

namespace twl::gui {

class Prompter;

class ProcessLogView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ProcessLogView(QWidget* parent = nullptr);

    // Appends a row. Icon codes: 0 information, 1 error, 7 (and 2) success, others as index.
    void AddRow(const ProcessLogEntry& entry, int iconCode);
    std::vector<ProcessLogEntry> Rows() const;

    // Asks where to save (proposing "TW Linux Process Log # ...txt") and writes the rows;
    // shows "Error creating log file" when the file cannot be made.
    void Save(Prompter& prompter);
};

} // namespace twl::gui
