#include "app/ProcessLogView.h"

#include "app/Prompter.h"
#include "models/ItemIcons.h"

#include <QFile>
#include <QHeaderView>
#include <ctime>

namespace twl::gui {

ProcessLogView::ProcessLogView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(3);
    setHeaderLabels({"Process Name", "Description", "Status"});
    setColumnWidth(0, 250);
    setColumnWidth(1, 292);
    setColumnWidth(2, 460);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setObjectName("processLog");
}

void ProcessLogView::AddRow(const ProcessLogEntry& entry, int iconCode) {
    const int image = iconCode == 7 ? 2 : iconCode;
    static const char* const pictures[] = {"about", "log-error", "log-success"};
    auto* row = new QTreeWidgetItem({QString::fromStdString(entry.processName),
                                     QString::fromStdString(entry.description),
                                     QString::fromStdString(entry.status)});
    if (image >= 0 && image <= 2)
        row->setIcon(0, NamedIcon(pictures[image]));
    const int rows = topLevelItemCount();
    insertTopLevelItem(std::min(rows, rows + entry.rowOffset), row);
    if (rows != 0)
        scrollToItem(row);
}

std::vector<ProcessLogEntry> ProcessLogView::Rows() const {
    std::vector<ProcessLogEntry> rows;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = topLevelItem(i);
        rows.push_back({0, row->text(0).toStdString(), row->text(1).toStdString(),
                        row->text(2).toStdString()});
    }
    return rows;
}

void ProcessLogView::Save(Prompter& prompter) {
    const QString path = prompter.SaveFileName(
        "Save Process Log", QString::fromStdString(DefaultProcessLogName(std::time(nullptr))),
        "Text File (*.txt);;All Files (*.*)", "txt");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        prompter.Tell(QMessageBox::NoIcon, "Tarnwell Linux", "Error creating log file");
        return;
    }
    const std::string text = ProcessLogFileText(Rows());
    file.write(text.data(), static_cast<qint64>(text.size()));
}

} // namespace twl::gui
