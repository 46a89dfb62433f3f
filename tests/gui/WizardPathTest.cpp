// The program's main path through the wizard, on image files standing in for drives: a task, a
// drive or an image file, a processing mode, the volume page, Finish, and the tree in the main
// window; and where the path stops, the message that says why.

#include "FrameFixtures.h"
#include "app/DiskAccessOffer.h"
#include "dialogs/DiskScanDialog.h"
#include "dialogs/SectorRangeDialog.h"
#include "fixtures/LoopDevice.h"
#include "fixtures/TestDisks.h"
#include "wizard/DiskPage.h"
#include "wizard/DriveTree.h"
#include "wizard/ImageFilePage.h"
#include "wizard/TaskPage.h"
#include "wizard/VolumePage.h"
#include "wizard/WizardContainer.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

std::string Disk(const std::string& name, const std::string& file = "disk.img") {
    return fixtures::TestDisk(name) + "/" + file;
}

// A copy of the GPT test disk in `dir` with its primary header zeroed, and also its backup
// header (the disk's last sector) when `both`.
std::string DamagedGptDisk(const fixtures::TempDir& dir, bool both) {
    const std::string copy = dir.File(both ? "gpt-both.img" : "gpt-primary.img");
    std::filesystem::copy_file(Disk("gpt"), copy);
    std::fstream disk(copy, std::ios::in | std::ios::out | std::ios::binary);
    const std::string zeros(512, '\0');
    disk.seekp(512).write(zeros.data(), 512);
    if (both)
        disk.seekp(-512, std::ios::end).write(zeros.data(), 512);
    return copy;
}

// One walk through the wizard: what the user chooses on each page.
struct Walk {
    WizardTask task = WizardTask::kRecoverDisk;
    int drive = 0;     // on the disk page
    std::string image; // on the image file page
    ProcessingMode mode = ProcessingMode::kAuto;
    std::optional<ScanMode> sweep;                     // the scan-mode dialog's answer, when asked
    std::optional<std::pair<int, int>> range;          // the sector-range dialog's answer
    std::optional<QMessageBox::StandardButton> backup; // the backup question's answer
    int row = 0;                                       // on the volume page
};

// What the walk reached.
struct Reached {
    int page = -1;         // the page the wizard stood on at the end
    QStringList volumes;   // the volume page's first column, when it was reached
    QString notes;         // and what it said under the list
    bool finished = false; // the wizard closed with Finish
};

// Queues `walk` as the user's answers, for the wizard the frame is about to run.
void QueueWalk(MainFrame& frame, const Walk& walk, Reached& reached) {
    Prompter& prompts = frame.Prompts();
    if (!walk.image.empty())
        prompts.QueueFile(QString::fromStdString(walk.image));
    if (walk.backup)
        prompts.QueueAnswer(*walk.backup);
    prompts.QueueDialog([&frame, walk, &reached](QDialog& dialog) {
        if (walk.sweep) {
            frame.Prompts().QueueDialog([walk](QDialog& modes) {
                dynamic_cast<DiskScanDialog&>(modes).SetMode(*walk.sweep);
                return int(QDialog::Accepted);
            });
        }
        if (walk.range) {
            frame.Prompts().QueueDialog([walk](QDialog& asked) {
                auto& range = dynamic_cast<SectorRangeDialog&>(asked);
                range.SetTexts(QString::number(walk.range->first),
                               QString::number(walk.range->second));
                range.accept();
                return range.result();
            });
        }
        auto& wizard = dynamic_cast<WizardContainer&>(dialog);
        wizard.show();
        qobject_cast<TaskPage*>(wizard.currentPage())->TaskButton(walk.task)->click();
        wizard.next();
        if (auto* disks = qobject_cast<DiskPage*>(wizard.currentPage())) {
            QTreeWidgetItem* root = disks->Drives().topLevelItem(0);
            disks->Drives().setCurrentItem(root->child(walk.drive));
            disks->ModeButton(walk.mode)->click();
        } else if (auto* images = qobject_cast<ImageFilePage*>(wizard.currentPage())) {
            images->ChooseImage();
            images->ModeButton(walk.mode)->click();
        }
        wizard.next();
        reached.page = wizard.currentId();
        if (auto* volumes = qobject_cast<VolumePage*>(wizard.currentPage())) {
            for (int row = 0; row < volumes->List().topLevelItemCount(); ++row)
                reached.volumes << volumes->List().topLevelItem(row)->text(1);
            reached.notes = volumes->NotesText();
            volumes->List().setCurrentItem(volumes->List().topLevelItem(walk.row));
            wizard.button(QWizard::FinishButton)->click();
        }
        reached.finished = wizard.State().finished;
        return wizard.isVisible() ? int(QDialog::Rejected) : wizard.result();
    });
}

// A frame whose drives are `images`, as TWL_DRIVES makes them.
struct DriveFrame {
    RecoverySession session;
    MainFrame frame{session};
    explicit DriveFrame(const std::string& images, ReaderFactory factory = {})
        : session(DrivesFromList(images), std::move(factory)) {
        frame.Prompts().SetUnattended(true);
    }
    Reached Run(const Walk& walk, WizardEntry entry = WizardEntry::kCommand) {
        Reached reached;
        QueueWalk(frame, walk, reached);
        frame.RunWizard(entry);
        return reached;
    }
    bool LogHas(const std::string& process, const std::string& description) {
        const std::vector<ProcessLogEntry> rows = frame.Log().Rows();
        return std::any_of(rows.begin(), rows.end(), [&](const ProcessLogEntry& row) {
            return row.processName == process && row.description == description;
        });
    }
    // The names at the top of the tree the frame shows.
    QStringList TopNames() {
        QStringList names;
        const QModelIndex root = frame.Tree().index(0, 0);
        for (int row = 0; row < frame.Tree().rowCount(root); ++row)
            names << frame.Tree().index(row, 0, root).data().toString();
        return names;
    }
};

} // namespace

class WizardPathTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void EveryKindOfDiskReachesItsTree();
    void WhereThePathStopsTheUserIsToldWhy();
    void ADriveThatCannotBeReadSaysHowToGetAccess();
    void ADriveThatCannotBeReadIsOfferedWithAdministratorRights();
    void TheDiskPageShowsTheDrivesDetails();
    void OnlyTheWizardCommandsRecoveryAsksToBeSavedAtExit();
};

void WizardPathTest::EveryKindOfDiskReachesItsTree() {
    fixtures::TempDir dir;
    const std::string partitioned = Disk("partitioned");
    const std::string drives = Disk("unpartitioned") + ":" + partitioned + ":" +
                               Disk("tree-volumes", "damaged.img") + ":" +
                               DamagedGptDisk(dir, false);
    struct Case {
        const char* what;
        Walk walk;
        QStringList volumes;
        std::string source, volume;
        QString notes = {}; // under the volume page's list
    };
    Walk table;
    table.drive = 1;
    table.mode = ProcessingMode::kTable;
    table.row = 1;
    Walk autoSweep; // no partition table: the quick scan finds the volume at sector 63
    autoSweep.sweep = ScanMode::kQuick;
    Walk thorough; // the thorough scan of a range past the first volume
    thorough.drive = 1;
    thorough.mode = ProcessingMode::kScan;
    thorough.sweep = ScanMode::kThorough;
    thorough.range = {{14000, 28671}};
    thorough.row = 1;
    Walk damaged; // the primary superblock is gone: Yes searches for a backup
    damaged.drive = 2;
    damaged.mode = ProcessingMode::kTable;
    damaged.backup = QMessageBox::Yes;
    Walk image; // the image file page, tables in auto mode
    image.task = WizardTask::kRecoverImage;
    image.image = partitioned;
    Walk gptBackup; // a GUID partition table read from its backup: the page says so
    gptBackup.drive = 3;
    gptBackup.mode = ProcessingMode::kTable;
    gptBackup.row = 1;
    Walk gptImage; // a sound GUID partition table, through the image file page
    gptImage.task = WizardTask::kRecoverImage;
    gptImage.image = Disk("gpt");
    const Case cases[] = {
        {"table",
         table,
         {"root", "first", "third-logical"},
         "Physical Drive Selected #1",
         "Mount Point first Selected "},
        {"auto", autoSweep, {"swept"}, "Physical Drive Selected #0", "Mount Point swept Selected "},
        {"thorough",
         thorough,
         {"first", "third-logical"},
         "Physical Drive Selected #1",
         "Mount Point third-logical Selected "},
        {"damaged", damaged, {""}, "Physical Drive Selected #2", "Mount Point  Selected "},
        {"image",
         image,
         {"root", "first", "third-logical"},
         "Image File Selected :disk.img",
         "Mount Point root Selected "},
        {"gpt backup",
         gptBackup,
         {"root", "olddata"},
         "Physical Drive Selected #3",
         "Mount Point olddata Selected ",
         "The GUID partition table's primary header or entry array is damaged; its backup at "
         "the disk's last sector was used."},
        {"gpt",
         gptImage,
         {"root", "olddata"},
         "Image File Selected :disk.img",
         "Mount Point root Selected "},
    };
    for (const Case& c : cases) {
        DriveFrame run(drives);
        const Reached reached = run.Run(c.walk);
        QVERIFY2(reached.finished, c.what);
        QCOMPARE(reached.volumes, c.volumes);
        QCOMPARE(reached.notes, c.notes);
        QTRY_VERIFY(!run.frame.Running());
        QVERIFY2(run.LogHas(c.source, c.volume), c.what);
        QVERIFY2(run.frame.Tree().rowCount() > 0, c.what);
        QVERIFY2(!run.TopNames().isEmpty(), c.what);
        QVERIFY2(run.frame.StatusPane(0) != "0 Entries Found", c.what);
    }
}

void WizardPathTest::WhereThePathStopsTheUserIsToldWhy() {
    fixtures::TempDir dir;
    const std::string blank = dir.File("blank.img"); // no partition table, no file system
    std::filesystem::resize_file((std::ofstream(blank).close(), std::filesystem::path(blank)),
                                 4 << 20);
    const std::string damaged = Disk("tree-volumes", "damaged.img");
    const std::string gptBroken = DamagedGptDisk(dir, true);
    struct Case {
        const char* what;
        std::string drives;
        Walk walk;
        int page; // where the wizard stays
        QString said;
    };
    Walk tableOnly;
    tableOnly.mode = ProcessingMode::kTable;
    Walk autoCancelled; // auto mode goes on to the scan-mode dialog, which is cancelled
    Walk declined;
    declined.mode = ProcessingMode::kTable;
    declined.backup = QMessageBox::No;
    const Case cases[] = {
        {"table", blank, tableOnly, kDiskPage,
         "No Logical Drives found\nPlease use Scan for logical Drives"},
        {"both GPT copies damaged", gptBroken, tableOnly, kDiskPage,
         "No Logical Drives found\nPlease use Scan for logical Drives\n\nSector 0 marks a GUID "
         "partition table, but both of its copies are damaged; none of its partitions is "
         "listed."},
        {"auto", blank, autoCancelled, kDiskPage, ""},
        {"declined", damaged, declined, kVolumePage,
         "Primary Super block damaged\nSearching for others"},
    };
    for (const Case& c : cases) {
        DriveFrame run(c.drives);
        const Reached reached = run.Run(c.walk);
        QVERIFY2(!reached.finished, c.what);
        QCOMPARE(reached.page, c.page);
        const QStringList shown = run.frame.Prompts().Shown();
        if (c.said.isEmpty())
            QVERIFY2(shown.isEmpty(), c.what);
        else
            QCOMPARE(shown.back(), c.said);
        QCOMPARE(run.frame.Tree().rowCount(), 0);
        QVERIFY(run.frame.Log().Rows().empty());
        // What the wizard chose and opened stays with it: the program's session is untouched.
        QCOMPARE(run.session.Source().CurrentDriveId(), kImageDriveId);
        QVERIFY(!run.session.Source().HasImage());
        QCOMPARE(run.session.Volume(), nullptr);
    }
}

void WizardPathTest::ADriveThatCannotBeReadSaysHowToGetAccess() {
    const std::string partitioned = Disk("partitioned");
    DriveFrame run(partitioned, [](const std::string& path) {
        OpenedReader refused;
        refused.status = Status::Failure(ErrorCode::kCannotOpen, path, EACCES);
        return refused;
    });
    const Reached reached = run.Run(Walk{});
    QCOMPARE(reached.page, int(kDiskPage));
    const QString said = run.frame.Prompts().Shown().back();
    QVERIFY2(said.contains("Permission denied") && said.contains("disk group"), qPrintable(said));
    QVERIFY(!said.contains("No Logical Drives found"));
}

// A real disk (a loop device) the user may not open: the program offers to read it with
// administrator rights. Agreed, the disk helper (run here without pkexec) hands it over and
// the path goes on to the tree; declined, or refused by the helper, the user is told how to
// get access, and nothing was run without the user's yes.
void WizardPathTest::ADriveThatCannotBeReadIsOfferedWithAdministratorRights() {
    fixtures::TempDir dir;
    const std::string copy = dir.File("disk.img");
    std::filesystem::copy_file(Disk("partitioned"), copy);
    const fixtures::LoopDevice loop(copy);
    if (!loop.Ready())
        QSKIP("no loop device can be made here (it needs root and the loop driver)");
    const std::string ran = dir.File("helper-ran");
    const QStringList volumesOfTheFile = DriveFrame(copy).Run(Walk{}).volumes;
    QVERIFY(!volumesOfTheFile.isEmpty());
    struct Case {
        const char* name;
        std::vector<std::string> helper;
        QMessageBox::StandardButton answer;
        bool reachesTree;
        QString told; // the message before the one that says how to get access
    };
    const std::vector<Case> cases = {
        {"agreed", {TWL_DISK_HELPER_PATH}, QMessageBox::Yes, true, {}},
        {"declined", {"sh", "-c", "touch " + ran}, QMessageBox::No, false, {}},
        {"refused",
         {"sh", "-c", "printf 'refused: it is busy' >&0; exit 1"},
         QMessageBox::Yes,
         false,
         QString::fromStdString(loop.Path()) +
             " could not be opened with administrator rights: it is busy"},
    };
    for (const Case& c : cases) {
        DriveFrame run(loop.Path(), [](const std::string& path) {
            OpenedReader refused;
            refused.status = Status::Failure(ErrorCode::kCannotOpen, path, EACCES);
            return refused;
        });
        run.session.SetDiskAccess(DiskAccessOffer(run.frame.Prompts(), c.helper));
        run.frame.Prompts().QueueAnswer(c.answer);
        const Reached reached = run.Run(Walk{});
        const QStringList shown = run.frame.Prompts().Shown();
        QVERIFY2(shown.front().startsWith("You have no permission to read " +
                                          QString::fromStdString(loop.Path())),
                 c.name);
        QCOMPARE(reached.finished, c.reachesTree);
        if (c.reachesTree) {
            QCOMPARE(reached.volumes, volumesOfTheFile);
            QCOMPARE(run.session.Source().SourceSize(), std::filesystem::file_size(copy));
            QVERIFY(run.session.Volume() != nullptr);
            continue;
        }
        QCOMPARE(reached.page, int(kDiskPage));
        QVERIFY2(shown.back().contains("Permission denied") && shown.back().contains("disk group"),
                 qPrintable(shown.back()));
        if (!c.told.isEmpty())
            QCOMPARE(shown[shown.size() - 2], c.told);
        else
            QCOMPARE(shown.size(), 2);
    }
    QVERIFY2(!std::filesystem::exists(ran), "the helper ran although the user said no");
}

void WizardPathTest::TheDiskPageShowsTheDrivesDetails() {
    RecoverySession session(DrivesFromList(Disk("partitioned")));
    Prompter prompter(nullptr);
    WizardContainer wizard("w", session, prompter);
    wizard.show();
    qobject_cast<TaskPage*>(wizard.currentPage())->TaskButton(WizardTask::kRecoverDisk)->click();
    wizard.next();
    auto* page = qobject_cast<DiskPage*>(wizard.currentPage());
    QTreeWidgetItem* root = page->Drives().topLevelItem(0);
    QCOMPARE(root->text(0), QString("My Computer"));
    QCOMPARE(root->child(0)->text(0), QString("Disk # 0 (14.00 MB)"));
    QVERIFY(!page->ModeButton(ProcessingMode::kTable)->isEnabled());
    QCOMPARE(page->Details().front(), QString("Select the Linux drive from which data has"));
    page->Drives().setCurrentItem(root->child(0));
    QVERIFY(page->ModeButton(ProcessingMode::kTable)->isEnabled());
    QCOMPARE(root->child(0)->checkState(0), Qt::Checked);
    const QStringList details = page->Details();
    QCOMPARE(details.front(), QString("Drive: Disk # 0"));
    QVERIFY(details.contains("Total Sectors: 28672"));
    QVERIFY(details.contains("Device Size: 14680064"));
    page->Drives().setCurrentItem(root);
    QCOMPARE(root->child(0)->checkState(0), Qt::Unchecked);
    QVERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
}

void WizardPathTest::OnlyTheWizardCommandsRecoveryAsksToBeSavedAtExit() {
    for (const WizardEntry entry : {WizardEntry::kCommand, WizardEntry::kStartup}) {
        DriveFrame run(Disk("partitioned"));
        QVERIFY(run.Run(Walk{}, entry).finished);
        QTRY_VERIFY(!run.frame.Running());
        run.frame.Prompts().QueueAnswer(QMessageBox::Cancel); // to the save question, if asked
        run.frame.Prompts().QueueAnswer(QMessageBox::No);     // to "Do you want exit?"
        QVERIFY(!run.frame.close());
        QCOMPARE(run.frame.Prompts().Shown().contains("Do you want to save scan information?"),
                 entry == WizardEntry::kCommand);
    }
}

QTEST_MAIN(WizardPathTest)
#include "WizardPathTest.moc"
