#pragma once

// The Find dialog: a name pattern ("*" and "?"; with "/" a path from the volume root), whether
// letters match without their case, and whether every match is to be marked.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace twl::gui {

class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(QWidget* parent = nullptr);

    QString Pattern() const;
    bool IgnoreCase() const;
    bool MarkAll() const;
    // Tests fill it in.
    void Fill(const QString& pattern, bool ignoreCase, bool markAll);
    bool CanFind() const;

private:
    QLineEdit* m_pattern = nullptr;
    QCheckBox* m_ignoreCase = nullptr;
    QCheckBox* m_markAll = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace twl::gui
