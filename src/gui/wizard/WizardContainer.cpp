#include "wizard/WizardContainer.h"

#include "app/ProgramSettings.h"
#include "wizard/ClonePage.h"
#include "wizard/DiskPage.h"
#include "wizard/ImageFilePage.h"
#include "wizard/ImagingPage.h"
#include "wizard/TaskPage.h"
#include "wizard/VolumePage.h"

namespace twl::gui {

WizardContainer::WizardContainer(const QString& caption, RecoverySession& session,
                                 Prompter& prompter, QWidget* parent, WizardPageId start)
    : QWizard(parent), m_session(session), m_prompter(prompter) {
    setWindowTitle(caption);
    setOption(QWizard::HaveHelpButton);
    m_state.runOnStartup = RunWizardOnStartup();
    setPage(kTaskPage, new TaskPage(m_state, session, prompter));
    setPage(kDiskPage, new DiskPage(m_state, session, prompter));
    setPage(kImageFilePage, new ImageFilePage(m_state, session, prompter));
    setPage(kVolumePage, new VolumePage(m_state, session, prompter));
    setPage(kClonePage, new ClonePage(m_state, session, prompter));
    setPage(kImagingPage, new ImagingPage(m_state, session, prompter));
    setStartId(start);
}

WizardContainer::~WizardContainer() {
    SetRunWizardOnStartup(m_state.runOnStartup);
}

} // namespace twl::gui
