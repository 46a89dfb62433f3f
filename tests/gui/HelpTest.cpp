// The help: every page loads in the help window, every link and picture it names is there,
// the contents reach every page, the wizard's Help button opens the page of the page shown
// (on the task page, the chosen task's), and Help > Contents opens the contents. It also
// takes the help's pictures: into TWL_HELP_PICTURES when set (resources/help/images, to
// renew them), else beside the other screenshots.

#include "FrameFixtures.h"
#include "dialogs/CloneDialog.h"
#include "dialogs/HelpWindow.h"
#include "wizard/WizardContainer.h"

#include <QAbstractButton>
#include <QDir>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QtTest>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

QStringList HelpPages() {
    return QDir(":/help").entryList({"*.htm"}, QDir::Files, QDir::Name);
}

// The targets of a page's links and pictures.
QStringList Targets(const QString& page) {
    QFile file(":/help/" + page);
    file.open(QIODevice::ReadOnly);
    const QString html = QString::fromUtf8(file.readAll());
    QStringList targets;
    const QRegularExpression reference("(?:href|src)=\"([^\"]+)\"");
    for (auto it = reference.globalMatch(html); it.hasNext();)
        targets << it.next().captured(1);
    return targets;
}

QString PictureFolder() {
    const QString asked = qEnvironmentVariable("TWL_HELP_PICTURES");
    return asked.isEmpty() ? QString(TWL_SCREENSHOT_DIR) + "/help-pictures" : asked;
}

void SavePicture(QWidget& widget, const QString& name) {
    QDir().mkpath(PictureFolder());
    QVERIFY(widget.grab().save(PictureFolder() + "/" + name));
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void EveryPageLoadsAndWhatItNamesIsThere();
    void TheWizardsHelpOpensThePageOfThePageShown();
    void HelpContentsOpensTheContents();
};

void HelpTest::EveryPageLoadsAndWhatItNamesIsThere() {
    const QStringList pages = HelpPages();
    QVERIFY(pages.size() >= 16);
    HelpWindow help;
    for (const QString& page : pages) {
        help.ShowTopic(page);
        QCOMPARE(help.Topic(), page);
        QVERIFY2(!help.Browser().documentTitle().isEmpty(), qPrintable(page));
        for (const QString& target : Targets(page))
            QVERIFY2(QFile::exists(":/help/" + target), qPrintable(page + " names " + target));
    }
    const QStringList contents = Targets(kHelpContents);
    for (const QString& page : pages)
        QVERIFY2(page == kHelpContents || contents.contains(page), qPrintable(page));
    help.ShowTopic("no-such-page.htm");
    QCOMPARE(help.Topic(), QString(kHelpContents));
    help.ShowTopic("../tips/tips.txt"); // only the help's own pages
    QCOMPARE(help.Topic(), QString(kHelpContents));
}

void HelpTest::TheWizardsHelpOpensThePageOfThePageShown() {
    const std::pair<int, QString> pages[] = {
        {kTaskPage, "wizardwindow.htm"},
        {kDiskPage, "selectphysicaldrive.htm"},
        {kImageFilePage, "selectanimagefileforproce.htm"},
        {kVolumePage, "selectavolumeforrecovery.htm"},
        {kClonePage, "clonewindow.htm"},
        {kImagingPage, "diskimaging2.htm"},
    };
    for (const auto& [page, topic] : pages) {
        RecoverySession session;
        Prompter prompter(nullptr);
        prompter.SetUnattended(true);
        WizardContainer wizard("Tarnwell-Linux Wizard ", session, prompter, nullptr,
                               static_cast<WizardPageId>(page));
        wizard.show();
        wizard.button(QWizard::HelpButton)->click();
        QVERIFY(wizard.Help() != nullptr);
        QCOMPARE(wizard.Help()->Topic(), topic);
        if (page == kTaskPage) {
            wizard.resize(720, 520);
            SavePicture(wizard, "wizard-tasks.png");
        }
    }
    const std::pair<WizardTask, QString> tasks[] = {
        {WizardTask::kRecoverDisk, "howtorecoverdata.htm"},
        {WizardTask::kClone, "clonedisk.htm"},
        {WizardTask::kImaging, "diskimaging.htm"},
        {WizardTask::kRecoverImage, "howtorecoverdatafromimage.htm"},
    };
    for (const auto& [task, topic] : tasks) {
        WizardState state;
        state.taskChosen = true;
        state.task = task;
        QCOMPARE(WizardHelpTopic(kTaskPage, state), topic);
        QVERIFY(HelpTopicExists(topic));
    }
}

void HelpTest::HelpContentsOpensTheContents() {
    BuiltFrame built;
    QVERIFY(built.Build());
    built.frame->resize(900, 600);
    built.frame->show();
    built.frame->Command(kCmdHelpContents)->trigger();
    QVERIFY(built.frame->Help() != nullptr);
    QCOMPARE(built.frame->Help()->Topic(), QString(kHelpContents));
    SavePicture(*built.frame, "main-window.png");

    fixtures::TempDir dir;
    CopyJob job{CopyKind::kImage, DriveIdOf(0), kImageDriveId, dir.File("x.tw1"), 2000000};
    Prompter prompter(nullptr);
    CloneDialog copy(std::make_unique<RecoverySession>(), job, prompter);
    copy.ShowCopyProgress(1200000, 2000000);
    RescueStatus status;
    status.pass = "copying";
    status.position = 1200000;
    status.total = 2000000;
    status.finished = 1199872;
    status.bad = 128;
    status.badAreas = 1;
    status.pending = 800000;
    status.bytesPerSecond = 48 << 20;
    status.secondsLeft = 8;
    copy.ShowRescueStatus(status);
    copy.resize(560, copy.sizeHint().height());
    SavePicture(copy, "copy-progress.png");
}

QTEST_MAIN(HelpTest)
#include "HelpTest.moc"
