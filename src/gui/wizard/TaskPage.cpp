#include "wizard/TaskPage.h"

#include "models/ItemIcons.h"
#include "wizard/PageParts.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

struct TaskText {
    WizardTask task;
    const char* caption;
    const char* icon;
    QStringList description;
};

const QStringList& Introduction() {
    static const QStringList lines = {"Please select appropriate option",
                                      "",
                                      "Select \"Recover your data\" to",
                                      "recover data from your Linux drives.",
                                      "",
                                      "Select \"Recover data from disk image\"",
                                      "when you already have created a disk",
                                      "image using option \"Create disk image\".",
                                      "",
                                      "Select this option \"Clone Disk\" when",
                                      "you need to clone your disk to",
                                      "another disk.",
                                      "",
                                      "Select this option \"Create disk image\"",
                                      "to create image of a disk to a file."};
    return lines;
}

// The buttons in the order they stand on the page.
const std::array<TaskText, 4>& Tasks() {
    static const std::array<TaskText, 4> tasks = {{
        {WizardTask::kRecoverDisk,
         "        R&ecover your data",
         "task-recover",
         {"Recover your data ", "", "This option helps you to recover your lost ",
          "data from attached Linux drives.", "", "This option further helps you locate",
          "specific volume which needs to be searched", "for recovering lost data.", "",
          "Using this option you can directly recover ", "data from selected Ext2/Ext3 volume and",
          "can save the recovered data to the desired ", "destination path i.e. to a hard drive, ",
          "network mapped drive, or to any ", "remote FTP location."}},
        {WizardTask::kRecoverImage,
         "        Recover &data from disk image",
         "task-recover-image",
         {"Recover data from disk image", "", "This option helps you to recover your lost",
          "data from an image file created from Linux", "drive.", "",
          "Select the path where you have stored ", "image file and then software would process",
          "the image file the same way it processes", "any Linux hard drive.", "",
          "Using image file you would be able to ", "recover data from selected Ext2/Ext3 ",
          "volume and can save the recovered data ", "to the desired destination path i.e. ",
          "to a hard drive, network mapped drive, ", "or to any remote FTP location. "}},
        {WizardTask::kClone,
         "        &Clone disk",
         "task-clone",
         {"Clone Disk", "", "This option helps you to clone your faulty ",
          "drive to another healthy drive.", "", "Cloning a faulty drive helps recover data in ",
          "a much faster manner. The cloned drive ", "being a healthy drive would be much ",
          "faster to access.", "", "Before cloning make sure size of the ",
          "destination drive should be equal or ", "greater then source drive."}},
        {WizardTask::kImaging,
         "        Create disk &image ",
         "task-imaging",
         {"Create disk Image", "", "This option helps you to clone your faulty",
          "drive to image file.", "", "Unlike cloning the destination is not a drive",
          "but a file, which is much easier to manage.", "",
          "If we do not have a spare drive but have", "enough free space then to create a image",
          "file is a better option.", "", "Before creating disk image make sure",
          "you have enough free space to store", "image file."}},
    }};
    return tasks;
}

} // namespace

TaskPage::TaskPage(WizardState& state, RecoverySession& session, Prompter& /*prompter*/,
                   QWidget* parent)
    : QWizardPage(parent), m_state(state), m_session(session) {
    setTitle("Welcome to the Tarnwell Linux Wizard");
    setSubTitle("Choose what you want to do.");
    auto* buttons = new QVBoxLayout;
    for (const TaskText& text : Tasks()) {
        auto* button = new QPushButton(NamedIcon(text.icon), text.caption);
        button->setCheckable(true);
        button->setIconSize(QSize(32, 32));
        button->setFont(TitleFont());
        button->setStyleSheet("text-align: left; padding: 6px;");
        connect(button, &QPushButton::clicked, this, [this, task = text.task] { Choose(task); });
        m_buttons[static_cast<std::size_t>(text.task)] = button;
        buttons->addWidget(button);
    }
    buttons->addStretch();
    m_description = DescriptionList();
    ShowLines(*m_description, Introduction());
    auto* link = new QLabel("<a href=\"https://www.kernel.org/doc/html/latest/filesystems/"
                            "ext2.html\">About Linux ext2/ext3 file systems</a>");
    link->setOpenExternalLinks(true);
    auto* grid = new QGridLayout(this);
    grid->addLayout(buttons, 0, 0);
    grid->addWidget(m_description, 0, 1);
    grid->addWidget(link, 1, 0);
    grid->addWidget(new RunOnStartupBox(state), 1, 1);
    grid->setColumnStretch(1, 1);
}

void TaskPage::initializePage() {
    m_state.taskChosen = false;
    for (QPushButton* button : m_buttons)
        button->setChecked(false);
    ShowLines(*m_description, Introduction());
}

void TaskPage::Choose(WizardTask task) {
    for (std::size_t i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(i == static_cast<std::size_t>(task));
    m_state.task = task;
    m_state.taskChosen = true;
    m_state.freshEntry = true;
    for (const TaskText& text : Tasks())
        if (text.task == task)
            ShowLines(*m_description, text.description);
    emit completeChanged();
}

bool TaskPage::isComplete() const {
    return m_state.taskChosen;
}

bool TaskPage::validatePage() {
    // A new task starts from nothing: the volumes found before, and a loaded scan
    // information file, no longer apply.
    m_session.Lists().FreeBoth();
    m_session.SetScanInfoLoaded(false);
    return true;
}

int TaskPage::nextId() const {
    switch (m_state.task) {
    case WizardTask::kRecoverDisk:
        return kDiskPage;
    case WizardTask::kRecoverImage:
        return kImageFilePage;
    case WizardTask::kClone:
        return kClonePage;
    case WizardTask::kImaging:
        return kImagingPage;
    }
    return kDiskPage;
}

QPushButton* TaskPage::TaskButton(WizardTask task) const {
    return m_buttons[static_cast<std::size_t>(task)];
}

QStringList TaskPage::Description() const {
    QStringList lines;
    for (int row = 0; row < m_description->count(); ++row)
        lines << m_description->item(row)->text();
    return lines;
}

} // namespace twl::gui
