#pragma once

// After a save: whether to write the scripts that give the saved items their permissions and
// their owners back.

#include <QDialog>

class QCheckBox;

namespace twl::gui {

class AfterSaveDialog : public QDialog {
    Q_OBJECT
public:
    explicit AfterSaveDialog(const QString& summary, QWidget* parent = nullptr);

    bool PermissionScript() const;
    bool OwnershipScript() const;
    void Choose(bool permissions, bool ownership);

private:
    QCheckBox* m_permissions = nullptr;
    QCheckBox* m_ownership = nullptr;
};

} // namespace twl::gui
