#pragma once

// Asks how the disk is to be swept for volumes: the quick scan (the default), which jumps
// over every file system it finds, or the thorough scan of a sector range.

#include "volumes/LogicalVolumeScan.h"

#include <QDialog>

class QRadioButton;

namespace twl::gui {

class DiskScanDialog : public QDialog {
    Q_OBJECT
public:
    explicit DiskScanDialog(QWidget* parent = nullptr);

    ScanMode Mode() const;
    void SetMode(ScanMode mode);

private:
    QRadioButton* m_quick = nullptr;
    QRadioButton* m_thorough = nullptr;
};

} // namespace twl::gui
