#include "app/ProcessLogView.h"

#include "app/Prompter.h"
#include "models/ItemIcons.h"
#include "platform/FileWriter.h"

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
    // Written beside the chosen name and renamed into place, so a link planted there is
    // replaced, never written through, and a failed write leaves no half file.
    const std::string text = ProcessLogFileText(Rows());
    FileWriter file(path.toStdString());
    file.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    if (!file.Commit().Ok())
        prompter.Tell(QMessageBox::NoIcon, "Tarnwell Linux", "Error creating log file");
}

} // namespace twl::gui
