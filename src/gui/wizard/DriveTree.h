#pragma once

// The drives of the machine as the wizard's pages show them: "My Computer" and under it one
// item per drive, labelled with its name and size; the chosen drive carries a tick.

#include "platform/DriveInventory.h"

#include <QStringList>
#include <QTreeWidget>
#include <vector>

namespace twl::gui {

class DriveTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit DriveTree(const std::vector<DriveInfo>& inventory, QWidget* parent = nullptr);

    // The inventory position of the chosen drive; -1 while "My Computer" (or nothing) is.
    int Chosen() const { return m_chosen; }
    QTreeWidgetItem* Root() const { return m_root; }
    void ChooseRoot();
    void ChooseDrive(int drive);

signals:
    void Chose(int drive);

private:
    void OnSelection();

    QTreeWidgetItem* m_root = nullptr;
    int m_chosen = -1;
};

// The details list of inventory drive `drive`, names from the disk shown escaped.
QStringList DriveDetails(const std::vector<DriveInfo>& inventory, int drive);

// "Disk # 3 (model, 1.82 TB, serial S3Z1...)": how a question names a drive.
QString DriveDescription(const std::vector<DriveInfo>& inventory, int drive);

} // namespace twl::gui
