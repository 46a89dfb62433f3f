#include "dialogs/DiskScanDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace twl::gui {

DiskScanDialog::DiskScanDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tarnwell Linux");
    auto* group = new QGroupBox("Disk Scan Mode");
    m_quick = new QRadioButton("&Quick Scan (Recommended)");
    m_thorough = new QRadioButton("&Thorough Scan ");
    m_quick->setChecked(true);
    auto* choices = new QVBoxLayout(group);
    choices->addWidget(m_quick);
    choices->addWidget(m_thorough);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

ScanMode DiskScanDialog::Mode() const {
    return m_thorough->isChecked() ? ScanMode::kThorough : ScanMode::kQuick;
}

void DiskScanDialog::SetMode(ScanMode mode) {
    (mode == ScanMode::kThorough ? m_thorough : m_quick)->setChecked(true);
}

} // namespace twl::gui
