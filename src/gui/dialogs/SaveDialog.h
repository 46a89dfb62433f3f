#pragma once

// Where saved files go: a local folder (typed, picked, or one of the recent ones) or an FTP
// server whose connection "C&onnect..." sets.

#include "app/Prompter.h"
#include "recover/FtpDestination.h"

#include <QDialog>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace twl::gui {

class SaveDialog : public QDialog {
    Q_OBJECT
public:
    SaveDialog(Prompter& prompter, QWidget* parent = nullptr);

    // The local folder chosen; empty when the FTP server was.
    QString Folder() const;
    // The FTP server chosen, when it was.
    std::optional<FtpSettings> Ftp() const;

    // Tests choose through these.
    void ChooseFolder(const QString& folder);
    void ChooseFtp(const FtpSettings& settings);

    void accept() override;
    // "C&onnect...": the FTP connection dialog; a connection set makes the server the choice.
    void Connect();

    // The recent folders, newest first, as the drop-down offers them.
    static QStringList RecentFolders();
    static void RememberFolder(const QString& folder);

private:
    void Browse();
    void ShowChoice();

    Prompter& m_prompter;
    QRadioButton* m_local = nullptr;
    QRadioButton* m_remote = nullptr;
    QComboBox* m_folders = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_connect = nullptr;
    QLabel* m_server = nullptr;
    std::optional<FtpSettings> m_ftp;
};

} // namespace twl::gui
