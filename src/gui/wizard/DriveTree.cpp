#include "wizard/DriveTree.h"

#include "core/SizeText.h"
#include "models/ItemIcons.h"
#include "models/ShownName.h"
#include "session/DriveRecords.h"

namespace twl::gui {

DriveTree::DriveTree(const std::vector<DriveInfo>& inventory, QWidget* parent)
    : QTreeWidget(parent) {
    setHeaderHidden(true);
    setStyleSheet("QTreeView::item { padding: 2px; }");
    m_root = new QTreeWidgetItem(this, QStringList{"My Computer"});
    m_root->setIcon(0, NamedIcon("computer"));
    for (std::size_t n = 0; n < inventory.size(); ++n) {
        const DriveRecord record = MakeDriveRecord(inventory[n], static_cast<std::uint32_t>(n));
        auto* item = new QTreeWidgetItem(m_root, QStringList{ShownName(record.label)});
        item->setIcon(0, NamedIcon(record.ideIcon ? "drive-ide" : "drive"));
        item->setData(0, Qt::UserRole, static_cast<int>(n));
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    m_root->setExpanded(true);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &DriveTree::OnSelection);
}

void DriveTree::ChooseRoot() {
    setCurrentItem(m_root);
    OnSelection();
}

void DriveTree::ChooseDrive(int drive) {
    if (drive >= 0 && drive < m_root->childCount())
        setCurrentItem(m_root->child(drive));
}

void DriveTree::OnSelection() {
    const QList<QTreeWidgetItem*> chosen = selectedItems();
    QTreeWidgetItem* item = chosen.isEmpty() ? nullptr : chosen.front();
    m_chosen = item != nullptr && item != m_root ? item->data(0, Qt::UserRole).toInt() : -1;
    for (int i = 0; i < m_root->childCount(); ++i)
        m_root->child(i)->setCheckState(0, i == m_chosen ? Qt::Checked : Qt::Unchecked);
    emit Chose(m_chosen);
}

QStringList DriveDetails(const std::vector<DriveInfo>& inventory, int drive) {
    QStringList lines;
    const auto n = static_cast<std::uint32_t>(drive);
    for (const std::string& line : DriveDetailLines(MakeDriveRecord(inventory[n], n)))
        lines << ShownName(line);
    return lines;
}

QString DriveDescription(const std::vector<DriveInfo>& inventory, int drive) {
    const DriveInfo& info = inventory[static_cast<std::size_t>(drive)];
    QStringList parts;
    const std::string what = info.model.empty() ? info.devicePath : info.model;
    parts << ShownName(what);
    parts << QString::fromStdString(SizeText(info.sizeBytes)).trimmed();
    if (!info.serial.empty())
        parts << "serial " + ShownName(info.serial);
    return QString("Disk # %1 (%2)").arg(drive).arg(parts.join(", "));
}

} // namespace twl::gui
