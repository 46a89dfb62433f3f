#include "wizard/WizardContainer.h"

#include "app/MainFrame.h"
#include "app/ProgramSettings.h"
#include "dialogs/HelpWindow.h"
#include "models/ItemIcons.h"
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
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::HaveHelpButton);
    setPixmap(QWizard::LogoPixmap, NamedIcon("tarnwell-linux").pixmap(48, 48));
    m_state.runOnStartup = RunWizardOnStartup();
    setPage(kTaskPage, new TaskPage(m_state, session, prompter));
    setPage(kDiskPage, new DiskPage(m_state, session, prompter));
    setPage(kImageFilePage, new ImageFilePage(m_state, session, prompter));
    setPage(kVolumePage, new VolumePage(m_state, session, prompter));
    setPage(kClonePage, new ClonePage(m_state, session, prompter));
    setPage(kImagingPage, new ImagingPage(m_state, session, prompter));
    setStartId(start);
    // Each page names the product in the caption once it is shown.
    connect(this, &QWizard::currentIdChanged, this, [this] { setWindowTitle(kFrameTitle); });
    connect(this, &QWizard::helpRequested, this, &WizardContainer::ShowHelp);
    resize(720, 520);
}

// The help page of the page shown, in the wizard's own help window.
void WizardContainer::ShowHelp() {
    if (m_help == nullptr)
        m_help = new HelpWindow(this);
    m_help->ShowTopic(WizardHelpTopic(currentId(), m_state));
}

WizardContainer::~WizardContainer() {
    SetRunWizardOnStartup(m_state.runOnStartup);
}

} // namespace twl::gui
