#include "wizard/ImageFilePage.h"

#include "app/CommandLineImage.h"
#include "app/MainFrame.h"
#include "session/SourceOpening.h"
#include "wizard/PageParts.h"
#include "wizard/VolumeDiscovery.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

const QStringList& Description() {
    static const QStringList lines = ProcessingModeHelp(
        {"Select the image file from which data has", "to be recovered, and then select the disk",
         "processing mode to locate  \"volumes\"."});
    return lines;
}

} // namespace

ImageFilePage::ImageFilePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                             QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session), m_prompter(prompter) {
    setTitle("Select image to recover data");
    setSubTitle("Choose the disk image file, and how its volumes are found.");
    auto* choose = new QPushButton("Select &Image File");
    connect(choose, &QPushButton::clicked, this, &ImageFilePage::ChooseImage);
    auto* description = DescriptionList();
    ShowLines(*description, Description());
    m_path = new QLabel;
    m_space = new QLabel;
    m_path->setTextFormat(Qt::PlainText);
    m_path->setWordWrap(true);
    const ModeButtons modes = MakeModeButtons("&Scan for Lost Volume(s)", this,
                                              [this](ProcessingMode mode) { SetMode(mode); });
    m_modes = modes.buttons;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choose, 0, Qt::AlignLeft);
    layout->addWidget(description);
    layout->addWidget(m_path);
    layout->addWidget(m_space);
    layout->addWidget(modes.group);
    layout->addWidget(new RunOnStartupBox(state));
    ShowChoice(false);
}

void ImageFilePage::SetMode(ProcessingMode mode) {
    m_modes[static_cast<std::size_t>(mode)]->setChecked(true);
    m_state.mode = mode;
    m_session.SetMode(mode);
}

void ImageFilePage::ShowChoice(bool chosen) {
    if (!chosen) {
        m_image.clear();
        m_path->setText("Selected File Path");
        m_space->setText("Space Available");
    }
    m_path->setEnabled(chosen);
    m_space->setEnabled(chosen);
    for (QRadioButton* button : m_modes)
        button->setEnabled(chosen);
    emit completeChanged();
}

void ImageFilePage::initializePage() {
    if (!m_state.freshEntry)
        return;
    m_state.freshEntry = false;
    SetMode(ProcessingMode::kAuto);
    ShowChoice(false);
}

void ImageFilePage::ChooseImage() {
    QWidget* before = m_prompter.SetParent(this);
    const QString path = m_prompter.OpenFileName("Select Image File",
                                                 QString(kFrameTitle) + "(*.tw1);;All Files (*)");
    m_prompter.SetParent(before);
    if (path.isEmpty())
        return;
    m_image = path;
    m_path->setText("File Path :" + QFileInfo(path).absoluteFilePath());
    const QStorageInfo volume(QFileInfo(path).absolutePath());
    m_space->setText(QString("Space Available : %1 bytes").arg(volume.bytesAvailable()));
    ShowChoice(true);
}

bool ImageFilePage::isComplete() const {
    return !m_image.isEmpty();
}

bool ImageFilePage::validatePage() {
    if (m_image.isEmpty())
        return false;
    QWidget* before = m_prompter.SetParent(this);
    // A folder, a FIFO or an empty file is named for what it is, and never opened.
    QString problem = ImageProblem(m_image);
    if (problem.isEmpty()) {
        const Status opened =
            OpenSource(m_session, {kImageDriveId, QFile::encodeName(m_image).toStdString()});
        if (!opened.Ok())
            problem = opened.code == ErrorCode::kCannotSize
                          ? "Could not retrieve size of Image File"
                          : "Could not open Image File";
    }
    if (!problem.isEmpty())
        m_prompter.Tell(QMessageBox::Critical, kWizardCaption, problem);
    m_prompter.SetParent(before);
    if (!problem.isEmpty())
        return false;
    const Discovery found = DiscoverVolumes(this, m_prompter, m_session, m_state.mode);
    if (found == Discovery::kNotFound)
        return false;
    // The log names the image, however its volumes were found.
    m_state.selectedSource = "Image File Selected :" + QFileInfo(m_image).fileName();
    if (found == Discovery::kTables && m_state.mode == ProcessingMode::kAuto)
        m_state.mode = ProcessingMode::kTable;
    return true;
}

int ImageFilePage::nextId() const {
    return kVolumePage;
}

QRadioButton* ImageFilePage::ModeButton(ProcessingMode mode) const {
    return m_modes[static_cast<std::size_t>(mode)];
}

} // namespace twl::gui
