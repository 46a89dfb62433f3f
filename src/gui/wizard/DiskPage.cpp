#include "wizard/DiskPage.h"

namespace twl::gui {

DiskPage::DiskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                   QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {}

int DiskPage::nextId() const {
    return kVolumePage;
}

} // namespace twl::gui
