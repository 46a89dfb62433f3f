#pragma once

// The help pages that ship inside the program, in a window of their own beside the one that
// opened it: a topic by its file name (the names the wizard's Help buttons use), the links
// between pages, Back and Contents.

#include "wizard/WizardState.h"

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace twl::gui {

inline constexpr char kHelpContents[] = "index.htm";

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows `topic` ("clonewindow.htm"), or the contents when there is no such page, and
    // raises the window.
    void ShowTopic(const QString& topic);
    // The page shown, by its file name.
    QString Topic() const;
    QTextBrowser& Browser() const { return *m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

// Whether the help holds a page called `topic`.
bool HelpTopicExists(const QString& topic);
// The help topic of a wizard page: on the task page, the chosen task's.
QString WizardHelpTopic(int page, const WizardState& state);

} // namespace twl::gui
