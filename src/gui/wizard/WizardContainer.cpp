#include "wizard/WizardContainer.h"

#include "app/MainFrame.h"
#include "app/ProgramSettings.h"
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

void WizardContainer::ShowHelp() {
    static const char* const kHelp[] = {
        "Choose a task: recover files from a disk of this computer or from a disk image, or "
        "copy a whole disk onto another disk or into an image file.",
        "Choose the disk that holds the Linux volume. Auto Mode reads the partition tables and "
        "sweeps the disk for ext2/ext3 volumes when they list none; Scan for Logical Drives "
        "sweeps it at once, for a damaged or missing partition table.",
        "Choose the disk image file and how its volumes are found, as for a disk.",
        "Choose the volume to recover from and press Finish: its folders and files appear in "
        "the main window.",
        "Choose the disk to copy and the disk to copy it onto.",
        "Choose the disk to image and the image file to write."};
    const int page = currentId();
    const QString text = page >= 0 && page < static_cast<int>(std::size(kHelp))
                             ? kHelp[page]
                             : "The wizard leads you from a task to its target.";
    QWidget* before = m_prompter.SetParent(this);
    m_prompter.Tell(QMessageBox::Information, "Tarnwell Linux", text);
    m_prompter.SetParent(before);
}

WizardContainer::~WizardContainer() {
    SetRunWizardOnStartup(m_state.runOnStartup);
}

} // namespace twl::gui
