#include "dialogs/HelpWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

const QString kHelpRoot = "qrc:/help/";

} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Tarnwell Linux Data Recovery Help");
    setModal(false);
    m_browser = new QTextBrowser;
    m_browser->setOpenExternalLinks(false);
    auto* back = new QPushButton("Back");
    auto* contents = new QPushButton("Contents");
    auto* close = new QPushButton("Close");
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(contents, &QPushButton::clicked, this, [this] { ShowTopic(kHelpContents); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    back->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addLayout(buttons);
    resize(640, 560);
}

void HelpWindow::ShowTopic(const QString& topic) {
    m_browser->setSource(QUrl(kHelpRoot + (HelpTopicExists(topic) ? topic : kHelpContents)));
    show();
    raise();
    activateWindow();
}

QString HelpWindow::Topic() const {
    return QFileInfo(m_browser->source().path()).fileName();
}

bool HelpTopicExists(const QString& topic) {
    return !topic.isEmpty() && !topic.contains('/') && QFile::exists(":/help/" + topic);
}

QString WizardHelpTopic(int page, const WizardState& state) {
    switch (page) {
    case kTaskPage:
        if (!state.taskChosen)
            return "wizardwindow.htm";
        switch (state.task) {
        case WizardTask::kRecoverDisk:
            return "howtorecoverdata.htm";
        case WizardTask::kClone:
            return "clonedisk.htm";
        case WizardTask::kImaging:
            return "diskimaging.htm";
        case WizardTask::kRecoverImage:
            return "howtorecoverdatafromimage.htm";
        }
        return "wizardwindow.htm";
    case kDiskPage:
        return "selectphysicaldrive.htm";
    case kImageFilePage:
        return "selectanimagefileforproce.htm";
    case kVolumePage:
        return "selectavolumeforrecovery.htm";
    case kClonePage:
        return "clonewindow.htm";
    case kImagingPage:
        return "diskimaging2.htm";
    default:
        return "wizardwindow.htm";
    }
}

} // namespace twl::gui
