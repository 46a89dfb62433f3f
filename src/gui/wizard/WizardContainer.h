#pragma once

// The recovery wizard: the task page, then the disk or image file page and the volume page
// for a recovery, or the clone or imaging page. It runs no long work of its own: on Finish it
// leaves its result in State(), and whoever opened it starts the tree, the clone or the
// imaging. The run-on-startup flag is read from the settings store when it is built and
// written back when it is destroyed.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizard>

namespace twl::gui {

class HelpWindow;

class WizardContainer : public QWizard {
    Q_OBJECT
public:
    WizardContainer(const QString& caption, RecoverySession& session, Prompter& prompter,
                    QWidget* parent = nullptr, WizardPageId start = kTaskPage);
    ~WizardContainer() override;

    WizardState& State() { return m_state; }
    RecoverySession& Session() { return m_session; }
    Prompter& Prompts() { return m_prompter; }
    // The help window its Help button opened; null before.
    HelpWindow* Help() const { return m_help; }

private:
    void ShowHelp();

    HelpWindow* m_help = nullptr; // a child: it goes with the wizard
    RecoverySession& m_session;
    Prompter& m_prompter;
    WizardState m_state;
};

} // namespace twl::gui
