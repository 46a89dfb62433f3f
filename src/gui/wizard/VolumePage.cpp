#include "wizard/VolumePage.h"

namespace twl::gui {

VolumePage::VolumePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                       QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {}

int VolumePage::nextId() const {
    return -1;
}

} // namespace twl::gui
