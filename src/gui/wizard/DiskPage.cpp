#include "wizard/DiskPage.h"

#include "core/Status.h"
#include "session/SourceOpening.h"
#include "wizard/DriveTree.h"
#include "wizard/PageParts.h"
#include "wizard/VolumeDiscovery.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

const QStringList& HelpLines() {
    static const QStringList lines = {"Select the Linux drive from which data has",
                                      "to be recovered, and then select the disk",
                                      "processing mode to locate  volumes .",
                                      "",
                                      "Processing Options:",
                                      "",
                                      "\"Use Volume table to get volume list\"",
                                      "this option helps to select volume",
                                      "immediately when volume table is intact.",
                                      "",
                                      "\"Scan for volumes\" this option should",
                                      "be used when volume table has been",
                                      "damaged or to search any lost volume.",
                                      "",
                                      "When you do not know anything let the",
                                      "option to be at default i.e. \"Auto Mode\"."};
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

    auto* modes = new QGroupBox("Processing mode");
    auto* modeLayout = new QVBoxLayout(modes);
    auto* group = new QButtonGroup(this);
    const std::pair<ProcessingMode, const char*> texts[] = {
        {ProcessingMode::kTable, "&Use Volume Table to get Volume(s) List"},
        {ProcessingMode::kScan, "&Scan for Logical Drives"},
        {ProcessingMode::kAuto, "&Auto Mode (Recommended)"}};
    for (const auto& [mode, text] : texts) {
        auto* button = new QRadioButton(text);
        group->addButton(button);
        modeLayout->addWidget(button);
        m_modes[static_cast<std::size_t>(mode)] = button;
        connect(button, &QRadioButton::clicked, this, [this, mode = mode] { SetMode(mode); });
    }
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_drives, 0, 0);
    grid->addWidget(m_details, 0, 1);
    grid->addWidget(modes, 1, 0, 1, 2);
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
