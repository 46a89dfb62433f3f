#pragma once

// The wizard's first page: the four tasks, each with its description, and the run-on-startup check
// box.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

namespace twl::gui {

class TaskPage : public QWizardPage {
    Q_OBJECT
public:
    TaskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
             QWidget* parent = nullptr);

    int nextId() const override;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
};

} // namespace twl::gui
