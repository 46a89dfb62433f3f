#include "wizard/ImagingPage.h"

#include "clone/CopyEngine.h"
#include "core/DatedName.h"
#include "wizard/CopyMapChoice.h"
#include "wizard/DriveTree.h"
#include "wizard/PageParts.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <ctime>

namespace twl::gui {
namespace {

const QStringList& HelpLines() {
    static const QStringList lines = {
        "Select source drive, the drive whose image", "file has to be created.", "",
        "Before creating disk image make sure you", "have enough free space to store image file."};
    return lines;
}

// Sector numbers are 32-bit: an image holds at most the first 2^32 sectors of a disk.
constexpr std::uint64_t kAddressableSectors = std::uint64_t{1} << 32;

} // namespace

ImagingPage::ImagingPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                         QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {
    setTitle("Create disk image");
    setSubTitle("Choose the drive to image, then where the image file goes.");
    setFinalPage(true);
    m_drives = new DriveTree(session.Source().Inventory());
    connect(m_drives, &DriveTree::Chose, this, &ImagingPage::OnDrive);
    m_details = DescriptionList();
    m_choosePath = new QPushButton("Select &Destination Path");
    connect(m_choosePath, &QPushButton::clicked, this, &ImagingPage::ChoosePath);
    m_path = new QLabel;
    m_path->setTextFormat(Qt::PlainText);
    m_path->setWordWrap(true);
    m_space = new QLabel;
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_drives, 0, 0);
    grid->addWidget(m_details, 0, 1);
    grid->addWidget(m_choosePath, 1, 0, Qt::AlignLeft);
    grid->addWidget(m_path, 2, 0, 1, 2);
    grid->addWidget(m_space, 3, 0, 1, 2);
    grid->addWidget(new RunOnStartupBox(state), 4, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    ForgetPath();
}

void ImagingPage::ForgetPath() {
    m_image.clear();
    m_path->setText("File Path :");
    m_space->setText("Space Available :");
    m_path->setEnabled(false);
    m_space->setEnabled(false);
    emit completeChanged();
}

void ImagingPage::initializePage() {
    if (!m_state.freshEntry)
        return;
    m_drives->ChooseRoot();
}

void ImagingPage::OnDrive(int drive) {
    // A path chosen for another drive is chosen again: the size it was checked for changed.
    ForgetPath();
    m_choosePath->setEnabled(drive >= 0);
    ShowLines(*m_details,
              drive < 0 ? HelpLines() : DriveDetails(m_session.Source().Inventory(), drive));
}

void ImagingPage::ChoosePath() {
    const int drive = m_drives->Chosen();
    if (drive < 0)
        return;
    const QString proposed = QDir::home().filePath(QString::fromStdString(
        DatedFileName("TW Linux Image", "tw1", SeptemberStyle::kSep, std::time(nullptr))));
    QWidget* before = m_prompter.SetParent(this);
    const QString path = m_prompter.SaveFileName(
        "Save Image File", proposed, "Tarnwell Linux   Image File (*.tw1);;All Files (*)", "tw1");
    m_prompter.SetParent(before);
    if (path.isEmpty()) {
        ForgetPath();
        return;
    }
    const QFileInfo file(path);
    m_image = file.absoluteFilePath();
    m_state.imageFileName = file.fileName();
    m_state.imageDirectory = file.absolutePath();
    m_state.imagingSource = DriveIdOf(static_cast<std::uint32_t>(drive));
    ByteCount bytes = 0;
    const Status sized = m_session.Source().GetDriveSize(m_state.imagingSource, bytes);
    m_state.imagingSectors = sized.Ok() ? std::min(bytes / kSectorSize, kAddressableSectors) : 0;
    m_sizeProblem = sized.Ok() ? QString() : QString::fromStdString(Describe(sized));
    m_freeBytes = static_cast<std::uint64_t>(
        std::max<qint64>(0, QStorageInfo(file.absolutePath()).bytesAvailable()));
    m_path->setText("File Path :" + m_image);
    m_space->setText(QString("Space Available : %1 bytes").arg(m_freeBytes));
    m_path->setEnabled(true);
    m_space->setEnabled(true);
    emit completeChanged();
}

bool ImagingPage::isComplete() const {
    return m_drives->Chosen() >= 0 && !m_image.isEmpty();
}

bool ImagingPage::validatePage() {
    if (!isComplete())
        return false;
    const std::string image = QFile::encodeName(m_image).toStdString();
    const CopyJob job{CopyKind::kImage,       m_state.imagingSource, kImageDriveId, image,
                      m_state.imagingSectors, ImageMapPath(image)};
    const std::uint64_t imageBytes = m_state.imagingSectors * kSectorSize;
    QWidget* before = m_prompter.SetParent(this);
    bool go = true;
    // A drive that cannot be read or sized would "complete" an empty image.
    QString refusal = m_sizeProblem;
    if (refusal.isEmpty() && m_state.imagingSectors == 0)
        refusal = QString("Disk # %1 holds no sectors to copy.").arg(m_drives->Chosen());
    if (refusal.isEmpty())
        refusal = QString::fromStdString(RefuseDestination(m_session.Source(), job));
    if (!refusal.isEmpty()) {
        m_prompter.Tell(QMessageBox::Critical, kWizardCaption, refusal);
        go = false;
    } else if (m_freeBytes < imageBytes) {
        go =
            m_prompter.Ask(QMessageBox::Warning, kWizardCaption,
                           QString("The image needs %1 bytes, but only %2 bytes are free in "
                                   "%3.\nThe imaging will stop when the space runs out.\n"
                                   "Do you want to go on?")
                               .arg(imageBytes)
                               .arg(m_freeBytes)
                               .arg(m_state.imageDirectory),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }
    std::optional<std::string> map;
    if (go)
        map = ChooseCopyMap(m_prompter, job.mapPath);
    m_prompter.SetParent(before);
    if (!map)
        return false;
    m_state.copyMap = *map;
    m_state.finished = true;
    return true;
}

} // namespace twl::gui
