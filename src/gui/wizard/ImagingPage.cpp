#include "wizard/ImagingPage.h"

namespace twl::gui {

ImagingPage::ImagingPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                         QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {}

int ImagingPage::nextId() const {
    return -1;
}

} // namespace twl::gui
