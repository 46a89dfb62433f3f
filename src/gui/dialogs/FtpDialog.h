#pragma once

// The FTP connection: host, login or anonymous, port, password, retries and the delay between
// them, and the folder on the server that takes the saved files.

#include "recover/FtpDestination.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace twl::gui {

class FtpDialog : public QDialog {
    Q_OBJECT
public:
    explicit FtpDialog(const FtpSettings& settings, QWidget* parent = nullptr);

    FtpSettings Settings() const;
    void Fill(const FtpSettings& settings);
    void accept() override;

private:
    QLineEdit* m_host = nullptr;
    QLineEdit* m_login = nullptr;
    QCheckBox* m_anonymous = nullptr;
    QSpinBox* m_port = nullptr;
    QLineEdit* m_password = nullptr;
    QSpinBox* m_retries = nullptr;
    QSpinBox* m_delay = nullptr;
    QLineEdit* m_folder = nullptr;
};

} // namespace twl::gui
