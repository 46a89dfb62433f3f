#include "wizard/ImageFilePage.h"

namespace twl::gui {

ImageFilePage::ImageFilePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                             QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {}

int ImageFilePage::nextId() const {
    return kVolumePage;
}

} // namespace twl::gui
