#include "wizard/DiskPage.h"

#include "core/Status.h"
#include "session/SourceOpening.h"
#include "wizard/DriveTree.h"
#include "wizard/PageParts.h"
#include "wizard/VolumeDiscovery.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

const QStringList& HelpLines() {
    static const QStringList lines = ProcessingModeHelp(
        {"Select the Linux drive from which data has", "to be recovered, and then select the disk",
         "processing mode to locate  volumes ."});
    return lines;
}

} // namespace

DiskPage::DiskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                   QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {
    setTitle("Select the Physical Disk");
    setSubTitle("Choose the drive holding the Linux volume, and how its volumes are found.");
    m_drives = new DriveTree(session.Source().Inventory());
    connect(m_drives, &DriveTree::Chose, this, &DiskPage::OnChosen);
    m_details = DescriptionList();

    const ModeButtons modes = MakeModeButtons("&Scan for Logical Drives", this,
                                              [this](ProcessingMode mode) { SetMode(mode); });
    m_modes = modes.buttons;
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_drives, 0, 0);
    grid->addWidget(m_details, 0, 1);
    grid->addWidget(modes.group, 1, 0, 1, 2);
    grid->addWidget(new RunOnStartupBox(state), 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
}

void DiskPage::SetMode(ProcessingMode mode) {
    m_modes[static_cast<std::size_t>(mode)]->setChecked(true);
    m_state.mode = mode;
    m_session.SetMode(mode);
}

void DiskPage::initializePage() {
    if (!m_state.freshEntry)
        return;
    // A task was chosen anew: nothing of an earlier visit stands.
    m_session.Source().Reset();
    SetMode(ProcessingMode::kAuto);
    m_drives->ChooseRoot();
}

void DiskPage::OnChosen(int drive) {
    m_selected = drive;
    for (QRadioButton* button : m_modes)
        button->setEnabled(drive >= 0);
    ShowLines(*m_details,
              drive < 0 ? HelpLines() : DriveDetails(m_session.Source().Inventory(), drive));
    emit completeChanged();
}

bool DiskPage::isComplete() const {
    return m_selected >= 0;
}

bool DiskPage::validatePage() {
    if (m_selected < 0)
        return false;
    const auto n = static_cast<std::uint32_t>(m_selected);
    // A drive that cannot be read is said so, with how to get access, before anything is
    // looked for on it.
    const Status opened = OpenSource(m_session, {DriveIdOf(n), {}});
    if (!opened.Ok()) {
        QWidget* before = m_prompter.SetParent(this);
        m_prompter.Tell(QMessageBox::Critical, kWizardCaption,
                        QString::fromStdString(Describe(opened)));
        m_prompter.SetParent(before);
        return false;
    }
    const ProcessingMode mode = m_state.mode;
    if (DiscoverVolumes(this, m_prompter, m_session, mode) == Discovery::kNotFound)
        return false;
    m_state.selectedSource = QString("Physical Drive Selected #%1").arg(n);
    return true;
}

int DiskPage::nextId() const {
    return kVolumePage;
}

QStringList DiskPage::Details() const {
    QStringList lines;
    for (int row = 0; row < m_details->count(); ++row)
        lines << m_details->item(row)->text();
    return lines;
}

QRadioButton* DiskPage::ModeButton(ProcessingMode mode) const {
    return m_modes[static_cast<std::size_t>(mode)];
}

} // namespace twl::gui
