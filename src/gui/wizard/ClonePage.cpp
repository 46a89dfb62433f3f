#include "wizard/ClonePage.h"

namespace twl::gui {

ClonePage::ClonePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                     QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {}

int ClonePage::nextId() const {
    return -1;
}

} // namespace twl::gui
