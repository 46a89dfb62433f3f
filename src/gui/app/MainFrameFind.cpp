// Find and Find Next of the main frame: the pattern asked for, the matches shown one by one in
// search order (the containing folder opened, its chain expanded, every row of the matched
// name highlighted and the match scrolled into view), and, when asked, every match marked.

#include "app/FindDialog.h"
#include "app/ListPane.h"
#include "app/MainFrame.h"
#include "ext2/CatalogFind.h"
#include "models/ShownName.h"

#include <QListView>
#include <QTableView>
#include <QTreeView>

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";
// Highlight texts no name equals: after a Find and after a Find Next that found nothing.
constexpr char kNoFindHighlight[] = "$%*^(()*&&&";
constexpr char kNoNextHighlight[] = "^!&@^&#!^#&^";

} // namespace

void MainFrame::ClearFind() {
    m_finder.reset();
    m_findPosition = kNoNode;
    m_listModel.SetHighlight({});
}

void MainFrame::Find() {
    if (m_treeModel.rowCount() == 0)
        return;
    // A cancelled Find starts the sequence of Find Next afresh too.
    ClearFind();
    UpdateCommands();
    FindDialog dialog(this);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted || dialog.Pattern().isEmpty())
        return;
    const std::string pattern = dialog.Pattern().toStdString();
    if (dialog.MarkAll()) {
        const std::size_t marked = MarkAllMatches(dialog.Pattern(), dialog.IgnoreCase());
        m_prompter.Tell(QMessageBox::Information, kCaption,
                        QString("%1 matching entr%2 marked.")
                            .arg(marked)
                            .arg(marked == 1 ? "y was" : "ies were"));
    }
    m_finder = std::make_unique<CatalogFinder>(m_session.Catalogue(), pattern, dialog.IgnoreCase());
    ShowNextMatch();
}

void MainFrame::FindNext() {
    if (m_finder == nullptr || m_treeModel.rowCount() == 0)
        return;
    ShowNextMatch();
}

void MainFrame::ShowNextMatch() {
    const bool first = m_findPosition == kNoNode;
    const NodeId match = m_finder->Next();
    if (match == kNoNode) {
        ClearFind();
        m_listModel.SetHighlight(first ? kNoFindHighlight : kNoNextHighlight);
        UpdateCommands();
        m_prompter.Tell(QMessageBox::Information, kCaption, "Search Item not found");
        return;
    }
    m_findPosition = match;
    ShowMatch(match);
    UpdateCommands();
}

void MainFrame::ShowMatch(NodeId match) {
    const Catalog& catalog = m_session.Catalogue();
    const NodeId folder = catalog.Node(match).parent;
    const QModelIndex item = m_treeModel.IndexOf(folder);
    m_treeView->setCurrentIndex(item);
    for (QModelIndex up = item; up.isValid(); up = m_treeModel.parent(up))
        m_treeView->expand(up);
    ShowFolder(folder);
    m_listModel.SetHighlight(ShownName(catalog.Name(match)));
    for (int row = 0; row < m_listModel.rowCount(); ++row) {
        if (m_listModel.NodeAt(row) != match)
            continue;
        const QModelIndex found = m_listModel.index(row, 0);
        m_listPane->Table()->scrollTo(found);
        m_listPane->Icons()->scrollTo(found);
        break;
    }
}

std::size_t MainFrame::MarkAllMatches(const QString& pattern, bool ignoreCase) {
    Catalog& catalog = m_session.Catalogue();
    CatalogFinder finder(catalog, pattern.toStdString(), ignoreCase);
    std::size_t count = 0;
    for (NodeId match = finder.Next(); match != kNoNode; match = finder.Next(), ++count) {
        catalog.Node(match).marked = 1;
        catalog.ForEachBelow(match, [&](NodeId id) { catalog.Node(id).marked = 1; });
    }
    m_treeModel.SyncMarks();
    ShowMarks();
    return count;
}

} // namespace twl::gui
