#pragma once

// The physical disk page: the drives of the machine with their details, the processing mode, and on
// Next the volume discovery on the chosen drive.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

namespace twl::gui {

class DiskPage : public QWizardPage {
    Q_OBJECT
public:
    DiskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
             QWidget* parent = nullptr);

    int nextId() const override;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
};

} // namespace twl::gui
