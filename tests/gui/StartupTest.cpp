// Starting the program: one copy per user (a crashed copy does not block the next), the tip of
// the day shipped with the program and its setting kept in the settings store, and the About
// box.

#include "app/AboutBox.h"
#include "app/ProgramSettings.h"
#include "app/SingleInstance.h"
#include "app/TipOfTheDay.h"
#include "fixtures/TempDir.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QtTest>
#include <sys/wait.h>
#include <unistd.h>

using namespace twl;
using namespace twl::gui;

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void OnlyOneCopyRunsAndACrashedOneDoesNotBlock();
    void TipsShipWithTheProgramAndTheirSettingIsStored();
    void TheAboutBoxClosesOnAClick();
};

void StartupTest::OnlyOneCopyRunsAndACrashedOneDoesNotBlock() {
    fixtures::TempDir dir;
    const QString path = QString::fromStdString(dir.File("instance.lock"));
    {
        SingleInstance first(path);
        QCOMPARE(first.Take(), SingleInstance::Outcome::kTaken);
        SingleInstance second(path);
        QCOMPARE(second.Take(), SingleInstance::Outcome::kHeldElsewhere);
    }
    SingleInstance afterwards(path);
    QCOMPARE(afterwards.Take(), SingleInstance::Outcome::kTaken);

    // A copy that ends without letting go (as a crash does) leaves its lock file behind.
    const QString crashed = QString::fromStdString(dir.File("crashed.lock"));
    const pid_t child = ::fork();
    if (child == 0) {
        SingleInstance dying(crashed);
        ::_exit(dying.Take() == SingleInstance::Outcome::kTaken ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(QFile::exists(crashed));
    SingleInstance next(crashed);
    QCOMPARE(next.Take(), SingleInstance::Outcome::kTaken);

    // A folder where the lock should go is a failure, not "already running".
    SingleInstance nowhere(QString::fromStdString(dir.File("missing/folder/x.lock")));
    QCOMPARE(nowhere.Take(), SingleInstance::Outcome::kFailed);
}

void StartupTest::TipsShipWithTheProgramAndTheirSettingIsStored() {
    const QStringList tips = LoadTips();
    QVERIFY(tips.size() >= 10);
    SetShowTipsAtStartup(true);
    TipOfTheDay dialog;
    const QString first = dialog.Tip();
    QVERIFY(tips.contains(first));
    QSet<QString> seen;
    for (int i = 0; i < tips.size(); ++i) {
        seen.insert(dialog.Tip());
        dialog.NextTip();
    }
    QCOMPARE(seen.size(), tips.size()); // every tip once, then round again
    QCOMPARE(dialog.Tip(), first);
    QVERIFY(dialog.ShowAtStartup().isChecked());
    dialog.ShowAtStartup().click();
    QVERIFY(!ShowTipsAtStartup());
    dialog.ShowAtStartup().click();
    QVERIFY(ShowTipsAtStartup());
    // Nothing is written beside the program.
    QVERIFY(!QFile::exists(QCoreApplication::applicationDirPath() + "/tips.txt"));
}

void StartupTest::TheAboutBoxClosesOnAClick() {
    AboutBox about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(&about, Qt::RightButton);
    QVERIFY(about.isVisible());
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(20, 20));
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
