#include "dialogs/SaveDialog.h"

#include "dialogs/FtpDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

constexpr char kStore[] = "Tarnwell Linux";
constexpr char kRecent[] = "Save/RecentFolders";
constexpr int kRecentCount = 10;

QString ServerText(const FtpSettings& ftp) {
    return QString("ftp://%1%2:%3/%4")
        .arg(ftp.user.empty() ? QString() : QString::fromStdString(ftp.user) + "@")
        .arg(QString::fromStdString(ftp.host))
        .arg(ftp.port)
        .arg(QString::fromStdString(ftp.folder));
}

} // namespace

QStringList SaveDialog::RecentFolders() {
    return QSettings(kStore, kStore).value(kRecent).toStringList();
}

void SaveDialog::RememberFolder(const QString& folder) {
    QStringList recent = RecentFolders();
    recent.removeAll(folder);
    recent.prepend(folder);
    while (recent.size() > kRecentCount)
        recent.removeLast();
    QSettings(kStore, kStore).setValue(kRecent, recent);
}

SaveDialog::SaveDialog(Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_prompter(prompter) {
    setWindowTitle("Tarnwell Linux");
    m_local = new QRadioButton("&Save data to a local disk");
    m_remote = new QRadioButton("Save &data to FTP server");
    m_local->setChecked(true);
    m_folders = new QComboBox;
    m_folders->setEditable(true);
    m_folders->addItems(RecentFolders());
    m_folders->setMinimumWidth(320);
    m_browse = new QPushButton("&Browse...");
    m_connect = new QPushButton("C&onnect...");
    m_server = new QLabel;
    m_server->setTextFormat(Qt::PlainText);
    connect(m_browse, &QPushButton::clicked, this, &SaveDialog::Browse);
    connect(m_connect, &QPushButton::clicked, this, &SaveDialog::Connect);
    connect(m_local, &QRadioButton::toggled, this, &SaveDialog::ShowChoice);
    auto* grid = new QGridLayout;
    grid->addWidget(m_local, 0, 0, 1, 2);
    grid->addWidget(m_folders, 1, 0);
    grid->addWidget(m_browse, 1, 1);
    grid->addWidget(m_remote, 2, 0, 1, 2);
    grid->addWidget(m_server, 3, 0);
    grid->addWidget(m_connect, 3, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &SaveDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    ShowChoice();
}

void SaveDialog::ShowChoice() {
    const bool local = m_local->isChecked();
    m_folders->setEnabled(local);
    m_browse->setEnabled(local);
    m_connect->setEnabled(!local);
    m_server->setEnabled(!local);
    m_server->setText(m_ftp ? ServerText(*m_ftp) : QString("(not connected)"));
}

void SaveDialog::Browse() {
    QWidget* before = m_prompter.SetParent(this);
    const QString folder = m_prompter.FolderName(
        "Save Recovered Files To",
        m_folders->currentText().isEmpty() ? QDir::homePath() : m_folders->currentText());
    m_prompter.SetParent(before);
    if (!folder.isEmpty())
        m_folders->setCurrentText(folder);
}

void SaveDialog::Connect() {
    FtpSettings start;
    if (m_ftp)
        start = *m_ftp;
    FtpDialog dialog(start, this);
    if (m_prompter.RunDialog(dialog) == QDialog::Accepted) {
        m_ftp = dialog.Settings();
        m_remote->setChecked(true);
    }
    ShowChoice();
}

void SaveDialog::ChooseFolder(const QString& folder) {
    m_local->setChecked(true);
    m_folders->setCurrentText(folder);
}

void SaveDialog::ChooseFtp(const FtpSettings& settings) {
    m_remote->setChecked(true);
    m_ftp = settings;
    ShowChoice();
}

QString SaveDialog::Folder() const {
    return m_local->isChecked() ? m_folders->currentText().trimmed() : QString();
}

std::optional<FtpSettings> SaveDialog::Ftp() const {
    return m_local->isChecked() ? std::nullopt : m_ftp;
}

void SaveDialog::accept() {
    if (m_local->isChecked() ? Folder().isEmpty() : !m_ftp.has_value())
        return; // nothing chosen yet
    QDialog::accept();
}

} // namespace twl::gui
