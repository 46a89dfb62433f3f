#include "dialogs/AfterSaveDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace twl::gui {

AfterSaveDialog::AfterSaveDialog(const QString& summary, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tarnwell Linux");
    auto* text = new QLabel(summary);
    text->setWordWrap(true);
    text->setTextFormat(Qt::PlainText);
    m_permissions = new QCheckBox("&Save permission restore script");
    m_ownership = new QCheckBox("S&ave ownership restore script");
    m_permissions->setToolTip("restore-permissions.sh gives every saved item its mode back");
    m_ownership->setToolTip("restore-ownership.sh gives every saved item its owner back (as root)");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_permissions);
    layout->addWidget(m_ownership);
    layout->addWidget(buttons);
}

bool AfterSaveDialog::PermissionScript() const {
    return m_permissions->isChecked();
}

bool AfterSaveDialog::OwnershipScript() const {
    return m_ownership->isChecked();
}

void AfterSaveDialog::Choose(bool permissions, bool ownership) {
    m_permissions->setChecked(permissions);
    m_ownership->setChecked(ownership);
}

} // namespace twl::gui
