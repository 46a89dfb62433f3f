#pragma once

// The volume page: the Linux volumes found on the source; Finish opens the chosen one.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

namespace twl::gui {

class VolumePage : public QWizardPage {
    Q_OBJECT
public:
    VolumePage(WizardState& state, RecoverySession& session, Prompter& prompter,
               QWidget* parent = nullptr);

    int nextId() const override;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
};

} // namespace twl::gui
