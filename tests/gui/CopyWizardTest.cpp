// Clone and imaging from the wizard: the copy runs under its progress window while the main
// window stays usable, unreadable sectors become the filler in their place, Stop holds the
// copy while the user is asked, and a destination that must not be written is refused before
// anything is written.

#include "FrameFixtures.h"
#include "dialogs/CloneDialog.h"
#include "fixtures/FileReaders.h"
#include "wizard/ClonePage.h"
#include "wizard/DriveTree.h"
#include "wizard/ImagingPage.h"
#include "wizard/TaskPage.h"
#include "wizard/WizardContainer.h"

#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <fstream>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

// A file of `sectors` sectors, sector i filled with the byte i % 251 + 1.
std::string NumberedDisk(const fixtures::TempDir& dir, const std::string& name,
                         std::uint64_t sectors) {
    const std::string path = dir.File(name);
    std::ofstream out(path, std::ios::binary);
    for (std::uint64_t i = 0; i < sectors; ++i)
        out << std::string(kSectorSize, static_cast<char>(i % 251 + 1));
    return path;
}

std::string FilledDisk(const fixtures::TempDir& dir, const std::string& name, std::uint64_t sectors,
                       char fill) {
    const std::string path = dir.File(name);
    std::ofstream(path, std::ios::binary) << std::string(sectors * kSectorSize, fill);
    return path;
}

// What a copy of the numbered disk of `sectors` sectors must hold: its sectors, with the
// filler at `bad`.
std::vector<std::uint8_t> ExpectedCopy(std::uint64_t sectors, std::uint64_t bad) {
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t i = 0; i < sectors; ++i) {
        if (i == bad)
            bytes.insert(bytes.end(), FillerSector().begin(), FillerSector().end());
        else
            bytes.insert(bytes.end(), kSectorSize, static_cast<std::uint8_t>(i % 251 + 1));
    }
    return bytes;
}

struct CopyFrame {
    RecoverySession session;
    MainFrame frame{session};
    CopyFrame(std::vector<DriveInfo> drives, ReaderFactory factory)
        : session(std::move(drives), std::move(factory)) {
        frame.Prompts().SetUnattended(true);
    }
    // Runs the wizard to the clone (source, destination) or imaging (source, image) page's
    // Finish; returns whether the wizard finished.
    bool Run(WizardTask task, int source, int destination, const std::string& image = {}) {
        if (!image.empty())
            frame.Prompts().QueueFile(QString::fromStdString(image));
        bool finished = false;
        frame.Prompts().QueueDialog([&](QDialog& dialog) {
            auto& wizard = dynamic_cast<WizardContainer&>(dialog);
            wizard.show();
            qobject_cast<TaskPage*>(wizard.currentPage())->TaskButton(task)->click();
            wizard.next();
            if (auto* clone = qobject_cast<ClonePage*>(wizard.currentPage())) {
                clone->Sources().ChooseDrive(source);
                clone->Destinations().ChooseDrive(destination);
            } else if (auto* imaging = qobject_cast<ImagingPage*>(wizard.currentPage())) {
                imaging->Drives().ChooseDrive(source);
                imaging->ChoosePath();
            }
            wizard.button(QWizard::FinishButton)->click();
            finished = wizard.State().finished;
            return wizard.isVisible() ? int(QDialog::Rejected) : wizard.result();
        });
        frame.RunWizard(WizardEntry::kCommand);
        return finished;
    }
    bool LogHas(const std::string& process, const std::string& description) {
        const std::vector<ProcessLogEntry> rows = frame.Log().Rows();
        return std::any_of(rows.begin(), rows.end(), [&](const ProcessLogEntry& row) {
            return row.processName == process && row.description == description;
        });
    }
};

} // namespace

class CopyWizardTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void ACloneCopiesEverySectorWithTheFillerInPlace();
    void AnImageCopiesEverySectorWithTheFillerInPlace();
    void StopAnsweredNoGoesOnAndYesEndsTheCopy();
    void DestinationsThatMustNotBeWrittenAreRefused();
    void TheProgressShowsFullCountsPastTwoTerabytes();
};

void CopyWizardTest::ACloneCopiesEverySectorWithTheFillerInPlace() {
    fixtures::TempDir dir;
    const std::string source = NumberedDisk(dir, "source.img", 200);
    const std::string target = FilledDisk(dir, "target.img", 256, 'U');
    fixtures::FileFaults damaged;
    damaged.badSectors = {40};
    CopyFrame run(DrivesFromList(source + ":" + target),
                  fixtures::FaultyFiles({{source, damaged}}));
    run.frame.Prompts().QueueAnswer(QMessageBox::Yes); // everything on Disk # 1 overwritten
    QVERIFY(run.Run(WizardTask::kClone, 0, 1));
    QVERIFY(run.frame.Running());
    QVERIFY(run.frame.CopyDialog() != nullptr);
    QVERIFY(!run.frame.Command(kCmdWizard)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!run.frame.Running(), 20000);
    std::vector<std::uint8_t> expected = ExpectedCopy(200, 40);
    expected.insert(expected.end(), 56 * kSectorSize, 'U'); // the rest is left as it was
    QVERIFY(fixtures::ReadFileBytes(target) == expected);
    const QStringList shown = run.frame.Prompts().Shown();
    QVERIFY2(shown.front().startsWith("Everything on Disk # 1 ("), qPrintable(shown.front()));
    QVERIFY(shown.contains("Cloning Completed"));
    QVERIFY(run.LogHas("Cloning started", "Cloning Disk # 0 to Disk #1"));
    QVERIFY(run.LogHas("Cloning Completed", "Cloning Disk # 0 to Disk # 1"));
    QVERIFY(run.frame.Command(kCmdWizard)->isEnabled());
}

void CopyWizardTest::AnImageCopiesEverySectorWithTheFillerInPlace() {
    fixtures::TempDir dir;
    const std::string source = NumberedDisk(dir, "source.img", 300);
    const std::string image = dir.File("copy.tw1");
    fixtures::FileFaults damaged;
    damaged.badSectors = {299};
    CopyFrame run(DrivesFromList(source), fixtures::FaultyFiles({{source, damaged}}));
    QVERIFY(run.Run(WizardTask::kImaging, 0, -1, image));
    QTRY_VERIFY_WITH_TIMEOUT(!run.frame.Running(), 20000);
    QVERIFY(fixtures::ReadFileBytes(image) == ExpectedCopy(300, 299));
    QVERIFY(run.frame.Prompts().Shown().contains("Imaging Completed"));
    QVERIFY(run.LogHas("Imaging started", "Imaging Disk # 0"));
    QVERIFY(run.LogHas("Imaging Completed", "Imaging Disk # 0"));
}

void CopyWizardTest::StopAnsweredNoGoesOnAndYesEndsTheCopy() {
    // Four 1 MiB spans; the copy is held as it reads the second and the third. No at the first
    // hold lets it go on, Yes at the second ends it once that span is written.
    fixtures::TempDir dir;
    const std::uint64_t span = 2048;
    const std::string source = NumberedDisk(dir, "source.img", 4 * span);
    const std::string image = dir.File("stopped.tw1");
    fixtures::ReadGates gates({span * kSectorSize, 2 * span * kSectorSize});
    fixtures::FileFaults held;
    held.gates = &gates;
    CopyFrame run(DrivesFromList(source), fixtures::FaultyFiles({{source, held}}));
    run.frame.Prompts().QueueAnswer(QMessageBox::No);
    run.frame.Prompts().QueueAnswer(QMessageBox::Yes);
    QTimer stopper;
    connect(&stopper, &QTimer::timeout, [&] {
        if (!gates.Waiting() || run.frame.CopyDialog() == nullptr)
            return;
        run.frame.Command(kCmdStop)->trigger(); // the frame's Stop reaches the copy
        gates.Release();
    });
    stopper.start(5);
    QVERIFY(run.Run(WizardTask::kImaging, 0, -1, image));
    QTRY_VERIFY_WITH_TIMEOUT(!run.frame.Running(), 20000);
    const QStringList shown = run.frame.Prompts().Shown();
    QCOMPARE(shown.count("Do you want to stop process?"), 2);
    QVERIFY(shown.contains("Imaging Aborted"));
    QVERIFY(run.LogHas("Imaging Aborted", "Imaging Disk # 0"));
    // Three spans were written, each in its place; the fourth never was, and reads as zeros in
    // an image that has its full size.
    QCOMPARE(std::filesystem::file_size(image), 4 * span * kSectorSize);
    const std::vector<std::uint8_t> whole = ExpectedCopy(4 * span, ~std::uint64_t{0});
    std::vector<std::uint8_t> expected = whole;
    std::fill(expected.begin() + 3 * span * kSectorSize, expected.end(), std::uint8_t{0});
    QVERIFY(fixtures::ReadFileBytes(image) == expected);
    QVERIFY(
        shown.contains(QString::fromStdString("The map file " + image +
                                              ".map holds where the copy stopped: the same "
                                              "copy with the same map file goes on from there")));

    // The same imaging again finds the map beside the image and, told to, goes on from it.
    CopyFrame again(DrivesFromList(source), {});
    again.frame.Prompts().QueueAnswer(QMessageBox::Yes);
    QVERIFY(again.Run(WizardTask::kImaging, 0, -1, image));
    QTRY_VERIFY_WITH_TIMEOUT(!again.frame.Running(), 20000);
    QVERIFY(again.frame.Prompts().Shown().front().startsWith(
        "A map of an earlier copy of this disk is kept in\n"));
    QVERIFY(again.frame.Prompts().Shown().contains("Imaging Completed"));
    QVERIFY(fixtures::ReadFileBytes(image) == whole);
}

void CopyWizardTest::DestinationsThatMustNotBeWrittenAreRefused() {
    fixtures::TempDir dir;
    const std::string source = NumberedDisk(dir, "source.img", 200);
    const std::string target = FilledDisk(dir, "target.img", 200, 'U'); // equal size is fine
    const std::string small = FilledDisk(dir, "small.img", 100, 'U');
    const std::string empty = FilledDisk(dir, "empty.img", 0, 'U');
    // Drives 3 and 4: an empty image, and one that is gone (it cannot be opened).
    const std::vector<DriveInfo> drives = DrivesFromList(source + ":" + target + ":" + small + ":" +
                                                         empty + ":" + dir.File("gone.img"));
    std::vector<DriveInfo> mounted = drives;
    mounted[1].mountPoints = {"/srv/data"};
    // A source that says it is bigger than any free space here: the imaging page warns.
    fixtures::FileFaults huge;
    huge.reportSize = ByteCount{1} << 50;
    struct Case {
        const char* what;
        std::vector<DriveInfo> drives;
        WizardTask task;
        int source, destination;
        std::string image;
        QMessageBox::StandardButton answer; // to the question, when one is asked
        QString said;                       // the start of the last message
        bool hugeSource = false;
    };
    const Case cases[] = {
        {"same drive",
         drives,
         WizardTask::kClone,
         0,
         0,
         {},
         QMessageBox::NoButton,
         "Please choose different destination drive"},
        {"smaller",
         drives,
         WizardTask::kClone,
         0,
         2,
         {},
         QMessageBox::NoButton,
         "Space in destination is less then source."},
        {"mounted",
         mounted,
         WizardTask::kClone,
         0,
         1,
         {},
         QMessageBox::NoButton,
         "Disk # 1 is in use: mounted at /srv/data."},
        {"not confirmed",
         drives,
         WizardTask::kClone,
         0,
         1,
         {},
         QMessageBox::No,
         "Everything on Disk # 1 ("},
        {"image onto its source", drives, WizardTask::kImaging, 0, -1, source,
         QMessageBox::NoButton, "will not write the image onto the disk or image it is made from"},
        {"short space", drives, WizardTask::kImaging, 0, -1, dir.File("big.tw1"), QMessageBox::No,
         "The image needs 2199023255552 bytes, but only ", true},
        // Never "completed" as an empty copy, nor called too small.
        {"empty source", drives, WizardTask::kImaging, 3, -1, dir.File("big.tw1"),
         QMessageBox::NoButton, "Disk # 3 holds no sectors to copy."},
        {"unopenable destination",
         drives,
         WizardTask::kClone,
         0,
         4,
         {},
         QMessageBox::NoButton,
         "cannot open " + QString::fromStdString(dir.File("gone.img"))},
    };
    for (const Case& c : cases) {
        CopyFrame run(c.drives, fixtures::FaultyFiles(
                                    {{source, c.hugeSource ? huge : fixtures::FileFaults{}}}));
        if (c.answer != QMessageBox::NoButton)
            run.frame.Prompts().QueueAnswer(c.answer);
        QVERIFY2(!run.Run(c.task, c.source, c.destination, c.image), c.what);
        const QString said = run.frame.Prompts().Shown().back();
        QVERIFY2(said.startsWith(c.said), qPrintable(QString(c.what) + ": " + said));
        QVERIFY2(!run.frame.Running() && run.frame.CopyDialog() == nullptr, c.what);
        QVERIFY2(run.frame.Log().Rows().empty(), c.what);
        QVERIFY(fixtures::ReadFileBytes(target) ==
                std::vector<std::uint8_t>(200 * kSectorSize, 'U'));
        QVERIFY(!std::filesystem::exists(dir.File("big.tw1")));
    }
}

void CopyWizardTest::TheProgressShowsFullCountsPastTwoTerabytes() {
    fixtures::TempDir dir;
    const std::string source = NumberedDisk(dir, "source.img", 8);
    CopyJob job{CopyKind::kImage, DriveIdOf(0), kImageDriveId, dir.File("x.tw1"), 6000000000};
    Prompter prompter(nullptr);
    CloneDialog dialog(std::make_unique<RecoverySession>(DrivesFromList(source)), job, prompter);
    QCOMPARE(dialog.windowTitle(), QString("Tarnwell Linux Data Recovery ver 1.0.1 Disk Imaging"));
    dialog.ShowCopyProgress(5000000000, 6000000000);
    QCOMPARE(dialog.StatusText(), QString("Copying Sector 5000000000 of 6000000000"));
    QCOMPARE(dialog.PercentText(), QString("83%"));
    QCOMPARE(dialog.ProgressValue(), 83);
    dialog.ShowCopyProgress(100, 400);
    QCOMPARE(dialog.StatusText(), QString("Copying Sector 100 of 400"));
    QCOMPARE(dialog.PercentText(), QString("25%"));
    QVERIFY(dialog.DetailText().endsWith("0 unreadable sectors"));
    RescueStatus status;
    status.pass = "trimming";
    status.position = 5000;
    status.total = 10000;
    status.finished = 4990;
    status.bad = 10;
    status.badAreas = 2;
    status.pending = 1000;
    status.sinceGoodRead = 75;
    status.bytesPerSecond = 2 << 20;
    status.secondsLeft = 3725;
    dialog.ShowRescueStatus(status);
    QCOMPARE(dialog.DetailText(),
             QString("trimming at sector 5000: 50% done, 2.000 MB/s, 10 bad sectors (5.000 KB) in "
                     "2 areas, last good read 1 min 15 s ago, 1 h 02 min left"));
    status.bad = 1;
    status.badAreas = 1;
    dialog.ShowRescueStatus(status);
    QVERIFY2(dialog.DetailText().contains(", 1 bad sector (0.500 KB) in 1 area, "),
             qPrintable(dialog.DetailText()));
}

QTEST_MAIN(CopyWizardTest)
#include "CopyWizardTest.moc"
