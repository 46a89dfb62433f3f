#include "dialogs/FtpDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace twl::gui {

FtpDialog::FtpDialog(const FtpSettings& settings, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tarnwell Linux");
    m_host = new QLineEdit;
    m_login = new QLineEdit;
    m_anonymous = new QCheckBox("&Anonymous");
    m_port = new QSpinBox;
    m_port->setRange(1, 65535);
    m_password = new QLineEdit;
    m_password->setEchoMode(QLineEdit::Password);
    m_retries = new QSpinBox;
    m_retries->setRange(0, 100);
    m_delay = new QSpinBox;
    m_delay->setRange(0, 3600);
    m_delay->setSuffix(" s");
    m_folder = new QLineEdit;
    connect(m_anonymous, &QCheckBox::toggled, this, [this](bool anonymous) {
        m_login->setEnabled(!anonymous);
        m_password->setEnabled(!anonymous);
    });
    auto* form = new QFormLayout;
    form->addRow("&Host Address", m_host);
    form->addRow("&Login Name", m_login);
    form->addRow("", m_anonymous);
    form->addRow("&Port", m_port);
    form->addRow("L&ogin Password", m_password);
    form->addRow("&Retries", m_retries);
    form->addRow("Retry &Delay", m_delay);
    form->addRow("&Folder on the server", m_folder);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &FtpDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    Fill(settings);
}

void FtpDialog::Fill(const FtpSettings& settings) {
    m_host->setText(QString::fromStdString(settings.host));
    m_login->setText(QString::fromStdString(settings.user));
    m_anonymous->setChecked(settings.user.empty());
    m_port->setValue(static_cast<int>(settings.port));
    m_password->setText(QString::fromStdString(settings.password));
    m_retries->setValue(static_cast<int>(settings.retries));
    m_delay->setValue(static_cast<int>(settings.retryDelaySeconds));
    m_folder->setText(QString::fromStdString(settings.folder));
}

FtpSettings FtpDialog::Settings() const {
    FtpSettings settings;
    settings.host = m_host->text().trimmed().toStdString();
    if (!m_anonymous->isChecked()) {
        settings.user = m_login->text().toStdString();
        settings.password = m_password->text().toStdString();
    }
    settings.port = static_cast<unsigned>(m_port->value());
    settings.retries = static_cast<unsigned>(m_retries->value());
    settings.retryDelaySeconds = static_cast<unsigned>(m_delay->value());
    settings.folder = m_folder->text().trimmed().toStdString();
    return settings;
}

void FtpDialog::accept() {
    if (m_host->text().trimmed().isEmpty()) {
        m_host->setFocus();
        return; // a connection needs a host
    }
    QDialog::accept();
}

} // namespace twl::gui
