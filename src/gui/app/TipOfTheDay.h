#pragma once

// The tip of the day: one tip at a time from the tips that ship with the program, "Next Tip",
// and whether the tips open at start. Nothing is written beside the program: the setting is
// kept in the settings store.

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;

namespace twl::gui {

// The program's tips, one per line.
QStringList LoadTips();

class TipOfTheDay : public QDialog {
    Q_OBJECT
public:
    explicit TipOfTheDay(QWidget* parent = nullptr);

    QString Tip() const;
    void NextTip();
    QCheckBox& ShowAtStartup() const { return *m_showAtStartup; }

private:
    QStringList m_tips;
    int m_current = 0;
    QLabel* m_text = nullptr;
    QCheckBox* m_showAtStartup = nullptr;
};

} // namespace twl::gui
