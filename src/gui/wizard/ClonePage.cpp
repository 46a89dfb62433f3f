#include "wizard/ClonePage.h"

#include "clone/CopyEngine.h"
#include "models/ShownName.h"
#include "wizard/CopyMapChoice.h"
#include "wizard/DriveTree.h"
#include "wizard/PageParts.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

namespace twl::gui {
namespace {

const QStringList& HelpLines() {
    static const QStringList lines = {"Select source drive, the drive which has to",
                                      "be cloned",
                                      "",
                                      "Then, select the destination drive.",
                                      "",
                                      "Make sure size of the destination drive",
                                      "should be equal or greater then source drive."};
    return lines;
}

// The size of a drive, or why it cannot be had (the drive cannot be opened or sized).
Status DriveBytes(SectorSource& source, int drive, ByteCount& bytes) {
    bytes = 0;
    return source.GetDriveSize(DriveIdOf(static_cast<std::uint32_t>(drive)), bytes);
}

} // namespace

ClonePage::ClonePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                     QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {
    setTitle("Select Source and Destination Disks");
    setSubTitle("Choose the drive to copy, then the drive to copy it onto.");
    setFinalPage(true);
    m_sources = new DriveTree(session.Source().Inventory());
    m_destinations = new DriveTree(session.Source().Inventory());
    m_details = DescriptionList();
    m_sourceText = new QLabel;
    m_destinationText = new QLabel;
    connect(m_sources, &DriveTree::Chose, this, &ClonePage::OnSource);
    connect(m_destinations, &DriveTree::Chose, this, &ClonePage::OnDestination);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_sourceText, 0, 0);
    grid->addWidget(m_destinationText, 0, 1);
    grid->addWidget(m_sources, 1, 0);
    grid->addWidget(m_destinations, 1, 1);
    grid->addWidget(m_details, 2, 0, 1, 2);
    grid->addWidget(new RunOnStartupBox(state), 3, 0, 1, 2);
}

void ClonePage::initializePage() {
    if (!m_state.freshEntry)
        return;
    m_state.cloneSource = 0;
    m_state.cloneDestination = 0;
    m_destinations->ChooseRoot();
    m_sources->ChooseRoot();
}

void ClonePage::OnSource(int drive) {
    m_state.cloneSource = drive < 0 ? 0 : DriveIdOf(static_cast<std::uint32_t>(drive));
    m_sourceText->setText(drive < 0 ? QString("Selected Source Disk :")
                                    : QString("Selected Source Disk :%1").arg(drive));
    m_sourceText->setEnabled(drive >= 0);
    m_destinations->setEnabled(drive >= 0);
    ShowLines(*m_details,
              drive < 0 ? HelpLines() : DriveDetails(m_session.Source().Inventory(), drive));
    emit completeChanged();
}

void ClonePage::OnDestination(int drive) {
    m_state.cloneDestination = drive < 0 ? 0 : DriveIdOf(static_cast<std::uint32_t>(drive));
    m_destinationText->setText(drive < 0 ? QString("Selected Destination Disk :")
                                         : QString("Selected Destination Disk :%1").arg(drive));
    m_destinationText->setEnabled(drive >= 0);
    ShowLines(*m_details,
              drive < 0 ? HelpLines() : DriveDetails(m_session.Source().Inventory(), drive));
    emit completeChanged();
}

bool ClonePage::isComplete() const {
    return m_sources->Chosen() >= 0 && m_destinations->Chosen() >= 0 && m_destinations->isEnabled();
}

QString ClonePage::Refusal(int source, int destination) {
    if (source == destination)
        return "Please choose different destination drive";
    SectorSource& drives = m_session.Source();
    ByteCount from = 0;
    ByteCount to = 0;
    for (const Status& sized :
         {DriveBytes(drives, source, from), DriveBytes(drives, destination, to)})
        if (!sized.Ok())
            return QString::fromStdString(Describe(sized));
    if (from == 0)
        return QString("Disk # %1 holds no sectors to copy.").arg(source);
    if (from > to)
        return "Space in destination is less then source.";
    // A disk the system uses is never overwritten: its file systems would be destroyed.
    const DriveInfo& target = drives.Inventory()[static_cast<std::size_t>(destination)];
    if (!target.mountPoints.empty()) {
        QStringList points;
        for (const std::string& point : target.mountPoints)
            points << ShownName(point);
        return QString("Disk # %1 is in use: mounted at %2.\nIt cannot be a clone destination.")
            .arg(destination)
            .arg(points.join(", "));
    }
    const CopyJob job{CopyKind::kClone,
                      DriveIdOf(static_cast<std::uint32_t>(source)),
                      DriveIdOf(static_cast<std::uint32_t>(destination)),
                      {},
                      0};
    return QString::fromStdString(RefuseDestination(drives, job));
}

bool ClonePage::validatePage() {
    if (!isComplete())
        return false;
    const int source = m_sources->Chosen();
    const int destination = m_destinations->Chosen();
    QWidget* before = m_prompter.SetParent(this);
    bool go = false;
    if (const QString refusal = Refusal(source, destination); !refusal.isEmpty()) {
        m_prompter.Tell(QMessageBox::Critical, kWizardCaption, refusal);
    } else {
        const std::vector<DriveInfo>& drives = m_session.Source().Inventory();
        go =
            m_prompter.Ask(QMessageBox::Warning, kWizardCaption,
                           "Everything on " + DriveDescription(drives, destination) +
                               " will be overwritten by a copy of " +
                               DriveDescription(drives, source) + ".\nDo you want to go on?",
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }
    const DriveId from = DriveIdOf(static_cast<std::uint32_t>(source));
    const DriveId to = DriveIdOf(static_cast<std::uint32_t>(destination));
    std::optional<std::string> map;
    if (go)
        map = ChooseCopyMap(m_prompter, CloneMapPath(m_session.Source(), from, to));
    m_prompter.SetParent(before);
    if (!map)
        return false;
    m_state.cloneSource = from;
    m_state.cloneDestination = to;
    m_state.copyMap = *map;
    m_state.finished = true;
    return true;
}

} // namespace twl::gui
