#include "wizard/TaskPage.h"

namespace twl::gui {

TaskPage::TaskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                   QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {}

int TaskPage::nextId() const {
    return m_state.task == WizardTask::kRecoverDisk    ? kDiskPage
           : m_state.task == WizardTask::kRecoverImage ? kImageFilePage
           : m_state.task == WizardTask::kClone        ? kClonePage
                                                       : kImagingPage;
}

} // namespace twl::gui
