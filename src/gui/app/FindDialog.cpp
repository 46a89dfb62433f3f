#include "app/FindDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace twl::gui {

FindDialog::FindDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tarnwell Linux Data Recovery  Find Dialog");
    auto* label = new QLabel("&Find What");
    m_pattern = new QLineEdit;
    m_pattern->setToolTip("A name, with * for any run of characters and ? for any one; "
                          "with / a path from the volume root, as in home/*/letters/*.txt");
    label->setBuddy(m_pattern);
    m_ignoreCase = new QCheckBox("&Ignore case");
    m_markAll = new QCheckBox("&Select all matching entries");
    m_markAll->setToolTip("Mark every matching file and folder, so that Save Checked saves them");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setDefault(true);
    m_ok->setEnabled(false);
    connect(m_pattern, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_ok->setEnabled(!text.isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_pattern);
    layout->addWidget(m_ignoreCase);
    layout->addWidget(m_markAll);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString FindDialog::Pattern() const {
    return m_pattern->text();
}

bool FindDialog::IgnoreCase() const {
    return m_ignoreCase->isChecked();
}

bool FindDialog::MarkAll() const {
    return m_markAll->isChecked();
}

void FindDialog::Fill(const QString& pattern, bool ignoreCase, bool markAll) {
    m_pattern->setText(pattern);
    m_ignoreCase->setChecked(ignoreCase);
    m_markAll->setChecked(markAll);
}

bool FindDialog::CanFind() const {
    return m_ok->isEnabled();
}

} // namespace twl::gui
