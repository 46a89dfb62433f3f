#pragma once

// The clone page: the source and destination drives of a clone. Until the copy
// runs from the wizard, the page says how to make the copy with twl, and Finish stays off.

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

    bool isComplete() const override { return false; }
    int nextId() const override { return -1; }
};

} // namespace twl::gui
