#pragma once

// The clone page: the source and destination drives of a clone.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

namespace twl::gui {

class ClonePage : public QWizardPage {
    Q_OBJECT
public:
    ClonePage(WizardState& state, RecoverySession& session, Prompter& prompter,
              QWidget* parent = nullptr);

    int nextId() const override;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
};

} // namespace twl::gui
