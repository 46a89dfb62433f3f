// The main window driven as the user drives it, on the offscreen platform. Message boxes and
// file dialogs are answered through the window's Prompter.

#include "FrameFixtures.h"
#include "app/AboutBox.h"
#include "ext2/TurboScan.h"
#include "scaninfo/ScanInfoCommands.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableView>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

// Reads the image file, but while the gate is closed each read waits until it opens: a worker
// is held at its first read until the test has asked its question, however fast it would run.
// A read never waits more than ten seconds, so that work done on the UI thread, which would
// wait for a gate only that thread can open, ends late instead of never.
class Gate {
public:
    void Close() { m_open = false; }
    void Open() { m_open = true; }
    void Pass() const {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!m_open && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    std::atomic<bool> m_open{true};
};

class GatedReader final : public BlockReader {
public:
    GatedReader(std::unique_ptr<BlockReader> inner, const Gate& gate)
        : m_inner(std::move(inner)), m_gate(gate) {}
    ReadOutcome ReadAt(ByteOffset offset, MutableBytes buffer) override {
        m_gate.Pass();
        return m_inner->ReadAt(offset, buffer);
    }
    ByteCount Size(Status& status) override { return m_inner->Size(status); }

private:
    std::unique_ptr<BlockReader> m_inner;
    const Gate& m_gate;
};

// Opens images through `gate`.
ReaderFactory GatedFactory(const Gate& gate) {
    return [&gate](const std::string& path) {
        OpenedReader opened = OpenFileReader(path);
        if (opened.reader)
            opened.reader = std::make_unique<GatedReader>(std::move(opened.reader), gate);
        return opened;
    };
}

// A frame over the demo disk read through `gate`, with its tree built.
struct GatedFrame {
    DemoDisk disk;
    RecoverySession session;
    MainFrame frame;
    explicit GatedFrame(const Gate& gate) : session({}, GatedFactory(gate)), frame(session) {
        frame.Prompts().SetUnattended(true);
        disk.Open(session);
        frame.StartTreeCreation();
    }
};

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void TheFrameHasItsMenusToolbarPanesAndStartTexts();
    void TreeCreationAndTurboScanRunOnTheWorkerAndFillThePanes();
    void StopAskedNoResumesAndYesStops();
    void ScanInformationOpensIntoThePanes();
    void SavingAndOpeningRunOnTheWorkerWhileTheFrameStaysLive();
    void AStoppedSaveLeavesNoFileAndSaysSo();
    void TheProcessLogSavesAsTextAndSaysWhenItCannot();
    void ExitIsRefusedWhileRunningAndConfirmedOtherwise();
    void MarksFollowSubtreesAncestorsAndTheList();
    void RowsAlternateInDetailsModeAndTheViewModesSwitch();
    void AFolderWithABackslashInItsNameIsListedAndMarked();
    void ExitAfterARecoveryOffersToSaveTheScanInformation();
    void TheWorkerRunsNicedInTheNormalSchedulingClass();
    void TheFrameFitsASmallScreenAndKeepsItsPanesThroughPrompts();
};

void MainFrameTest::TheFrameHasItsMenusToolbarPanesAndStartTexts() {
    RecoverySession session;
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    QCOMPARE(frame.windowTitle(), QString("Tarnwell Linux Data Recovery ver 1.1.0"));
    const QList<QAction*> menus = frame.menuBar()->actions();
    QCOMPARE(Texts(menus), (QStringList{"&File", "&Tools", "&View", "&Help"}));
    QCOMPARE(Texts(menus[1]->menu()->actions()),
             (QStringList{"Find", "Find Next", "Save Checked", "Save All", "Save Scan Information",
                          "Stop", "Turbo Scan", "Cl&ear Process  Log", "Sa&ve Process Log"}));
    const QToolBar* standard = frame.findChild<QToolBar*>("Standard");
    QVERIFY(standard != nullptr);
    QCOMPARE(Texts(standard->actions()),
             (QStringList{"Wizard ", "Turbo Scan", "Find", "Find Next", "Save All", "Save Checked",
                          "Stop", "&Contents"}));
    QCOMPARE(frame.Command(kCmdTurboScan)->shortcut(), QKeySequence("Ctrl+T"));
    QCOMPARE(frame.findChild<QDockWidget*>("processLogDock")->windowTitle(),
             QString("Process Log"));
    QCOMPARE(frame.StatusPane(0), QString("0 Entries Found"));
    QCOMPARE(frame.StatusPane(1), QString("0 KB in 0 Files in 0 Folders"));
    QCOMPARE(frame.StatusPane(2), QString("0 KB Marked in 0 Files in 0 Folders"));
    for (const int id : {kCmdTurboScan, kCmdStop, kCmdSaveScanInfo, kCmdClearLog, kCmdSaveLog})
        QVERIFY2(!frame.Command(id)->isEnabled(), qPrintable(frame.Command(id)->text()));
    QVERIFY(frame.Command(kCmdOpenScanInfo)->isEnabled());
    bool aboutShown = false;
    frame.Prompts().QueueDialog([&aboutShown](QDialog& dialog) {
        aboutShown = qobject_cast<AboutBox*>(&dialog) != nullptr;
        return int(QDialog::Accepted);
    });
    frame.Command(kCmdAbout)->trigger();
    QVERIFY(aboutShown);
    QVERIFY(frame.Command(kCmdWizard)->isEnabled());
    QVERIFY(!frame.Command(kCmdOpenFoundDrive)->isEnabled()); // no volumes found yet
    QVERIFY(frame.Command(kCmdOffice2003)->isChecked());
    frame.Command(kCmdOfficeXp)->trigger();
    QVERIFY(frame.Command(kCmdOfficeXp)->isChecked());
    QVERIFY(!frame.Command(kCmdOffice2003)->isChecked());
}

void MainFrameTest::TreeCreationAndTurboScanRunOnTheWorkerAndFillThePanes() {
    BuiltFrame built;
    MainFrame& frame = *built.frame;
    frame.StartTreeCreation();
    QVERIFY(frame.Running());
    QVERIFY(frame.Command(kCmdStop)->isEnabled());
    QTRY_VERIFY(!frame.Running());
    QCOMPARE(frame.Prompts().Shown().at(0), QString("Tree Creation Completed"));
    QVERIFY(frame.Prompts().Shown().at(1).startsWith("Please use Turbo scan Option"));
    QCOMPARE(frame.Log().Rows().back().processName, std::string("Disk Scan Done"));
    QCOMPARE(frame.StatusPane(0), QString("4 Entries Found")); // lost+found, docs, deep, a.txt
    const QModelIndex root = frame.Tree().RootIndex();
    QCOMPARE(root.data().toString(), QString("Root\\"));
    QCOMPARE(Column(frame.Tree(), 0, root), (QStringList{"lost+found", "docs"}));
    const QModelIndex docs = frame.Tree().index(1, 0, root);
    QCOMPARE(frame.Tree().PathOf(frame.Tree().index(0, 0, docs)), QString("docs\\deep"));
    frame.ShowFolder(frame.Tree().NodeOf(docs));
    const QStringList names = Column(frame.List(), 0);
    QCOMPARE(QSet<QString>(names.begin(), names.end()), (QSet<QString>{"deep", "a.txt"}));
    const int file = names.indexOf("a.txt");
    QCOMPARE(frame.List().index(file, 1).data().toString(), QString("6"));
    QCOMPARE(frame.List().index(file, 2).data().toString(), QString("Regular File"));
    QCOMPARE(frame.List().index(1 - file, 2).data().toString(), QString("Folder"));
    QCOMPARE(frame.List().index(file, 6).data().toString(), QString("r w - r - - - - -"));
    QVERIFY(frame.List().index(file, 5).data().toString().contains("  ")); // date  time
    QVERIFY(frame.Command(kCmdTurboScan)->isEnabled());

    frame.TurboScan();
    QVERIFY(!frame.Command(kCmdTurboScan)->isEnabled());
    QTRY_VERIFY(!frame.Running());
    QVERIFY(frame.Prompts().Shown().contains("Turbo Scan Completed"));
    QCOMPARE(Column(frame.Tree(), 0, frame.Tree().RootIndex()).last(), QString("Lost Files1"));
    QVERIFY(frame.StatusPane(1).endsWith("Folders"));
    const std::vector<ProcessLogEntry> rows = frame.Log().Rows();
    QCOMPARE(rows[rows.size() - 2].processName, std::string(kTurboScanProcess));
    QCOMPARE(rows[rows.size() - 1].description, std::string("Process completed..."));
}

// While "Do you want to stop process?" is open the worker is held: the entries it has found
// stay where they are however long the question waits, short of the whole tree. "No" lets it
// go on to the end; "Yes" ends the run at once and the worker finds nothing more.
void MainFrameTest::StopAskedNoResumesAndYesStops() {
    constexpr int kLinks = 2000; // a walk long enough to be caught in the middle
    fixtures::TempDir dir;
    const std::string src = dir.File("src");
    std::filesystem::create_directories(src);
    std::ofstream(src + "/a") << "a";
    std::string links;
    for (int block = 0; block < 40; ++block) // room for every link in the root folder
        links += "expand_dir /\n";
    for (int i = 0; i < kLinks; ++i)
        links += "ln a l" + std::to_string(i) + "\n";
    Gate gate;
    RecoverySession session({}, GatedFactory(gate));
    OpenBareVolume(session, dir, src, links);
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    const QString all = QString::number(kLinks + 2) + " Entries Found"; // a, lost+found
    QStringList whileAsked;
    frame.Prompts().SetObserver([&](const QString& text) {
        if (text != "Do you want to stop process?")
            return;
        gate.Open();       // the worker, held at its first read, goes on to its next checkpoint
        QTest::qWait(200); // the worker reaches its checkpoint; the count is shown
        whileAsked << frame.StatusPane(0);
        QTest::qWait(300);
        whileAsked << frame.StatusPane(0);
    });

    gate.Close();
    frame.StartTreeCreation();
    frame.Prompts().QueueAnswer(QMessageBox::No);
    frame.Stop();
    QVERIFY(frame.Running());
    QCOMPARE(whileAsked.size(), 2);
    QCOMPARE(whileAsked[1], whileAsked[0]);
    QVERIFY2(whileAsked[0] != all, qPrintable(whileAsked[0]));
    frame.StartTreeCreation(); // a second worker is never started
    QTRY_VERIFY(!frame.Running());
    QCOMPARE(frame.StatusPane(0), all);
    std::vector<ProcessLogEntry> rows = frame.Log().Rows();
    QCOMPARE(rows.at(0).description, std::string("User Intervention - Process Paused"));
    QCOMPARE(rows.at(1).description, std::string("User Intervention - Process Resumed"));

    const std::uint32_t before = session.Counters().entriesFound; // the counters add up
    gate.Close();
    frame.StartTreeCreation();
    frame.Prompts().QueueAnswer(QMessageBox::Yes);
    frame.Stop();
    QVERIFY(!frame.Running()); // at once, before the worker's own end
    rows = frame.Log().Rows();
    QCOMPARE(rows.back().processName, std::string("Disk Scanning Stopped "));
    QCOMPARE(rows.back().description, std::string("User Intervention - Process Aborted"));
    frame.WaitForWorker();
    QVERIFY(session.Counters().entriesFound - before < kLinks + 2);
}

void MainFrameTest::ScanInformationOpensIntoThePanes() {
    DemoDisk disk;
    const std::string saved = disk.dir.File("saved.ds1");
    {
        RecoverySession first;
        disk.Open(first);
        MainFrame builder(first);
        builder.Prompts().SetUnattended(true);
        builder.StartTreeCreation();
        QTRY_VERIFY(!builder.Running());
        builder.Prompts().QueueFile(QString::fromStdString(saved));
        builder.SaveScanInformation();
        QTRY_VERIFY(!builder.Running());
        QVERIFY(builder.Prompts().Shown().contains("Saving scan information completed"));
    }
    RecoverySession session;
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.Prompts().QueueFile(QString::fromStdString(saved));
    frame.OpenScanInformation();
    QTRY_VERIFY(!frame.Running());
    QCOMPARE(Column(frame.Tree(), 0, frame.Tree().RootIndex()),
             (QStringList{"lost+found", "docs"}));
    QCOMPARE(frame.StatusPane(0), QString("4 Entries Found")); // as when the tree was built
    QVERIFY(frame.StatusPane(1).endsWith("in 1 Files in 3 Folders"));
    QVERIFY(frame.Prompts().Shown().back().startsWith("Please use Turbo scan Option"));
    QVERIFY(frame.Command(kCmdTurboScan)->isEnabled());
    QVERIFY(frame.Command(kCmdSaveScanInfo)->isEnabled());
    const std::vector<ProcessLogEntry> rows = frame.Log().Rows();
    QCOMPARE(rows.size(), std::size_t{2}); // no "Disk Scan Done" after a load
    QCOMPARE(rows[1].processName, std::string("Scan Information Retrieved."));

    // Once the image no longer holds what the file was saved from, Turbo Scan does not run.
    {
        std::fstream image(disk.image, std::ios::in | std::ios::out | std::ios::binary);
        image.seekp(static_cast<std::streamoff>(session.Source().FingerprintSector()) * 512);
        image.write("changed", 7);
    }
    frame.Command(kCmdTurboScan)->trigger();
    QCOMPARE(frame.Prompts().Shown().back(),
             QString("The disk/image to which this scan info belongs is not at its original "
                     "location"));
    QVERIFY(!frame.Running());
    QVERIFY(frame.Command(kCmdTurboScan)->isEnabled());
}

// Saving and opening run on the worker. Held at its first read of the disk, the worker leaves
// the frame running, its commands ruled as for any worker and its panes taking no marks, while
// the worker's rows reach the log; nothing of an opened file is shown before the worker ends.
// Let go, each ends as the commands always ended.
void MainFrameTest::SavingAndOpeningRunOnTheWorkerWhileTheFrameStaysLive() {
    Gate gate;
    GatedFrame built(gate);
    MainFrame& builder = built.frame;
    QTRY_VERIFY(!builder.Running());
    const std::string saved = built.disk.dir.File("held.ds1");
    const auto expectRunning = [](MainFrame& frame) {
        QVERIFY(frame.Running());
        QVERIFY(frame.Command(kCmdStop)->isEnabled());
        QVERIFY(!frame.Command(kCmdOpenScanInfo)->isEnabled());
        QVERIFY(!frame.Command(kCmdTurboScan)->isEnabled());
        QVERIFY(!frame.centralWidget()->isEnabled());
    };
    gate.Close();
    builder.Prompts().QueueFile(QString::fromStdString(saved));
    builder.SaveScanInformation();
    expectRunning(builder);
    QTRY_COMPARE(builder.Log().Rows().back().processName,
                 std::string("Saving Scan Information Started"));
    QTest::qWait(100);
    expectRunning(builder);
    QVERIFY(!std::filesystem::exists(saved));
    gate.Open();
    QTRY_VERIFY(!builder.Running());
    QCOMPARE(builder.Prompts().Shown().back(), QString("Saving scan information completed"));
    QCOMPARE(builder.Log().Rows().back().processName,
             std::string("Saving Scan Information Completed"));
    QVERIFY(std::filesystem::exists(saved));
    QCOMPARE(builder.ProgressValue(), 0);
    QVERIFY(builder.centralWidget()->isEnabled());
    QVERIFY(builder.Command(kCmdOpenScanInfo)->isEnabled());

    RecoverySession session({}, GatedFactory(gate));
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    gate.Close();
    frame.Prompts().QueueFile(QString::fromStdString(saved));
    frame.OpenScanInformation();
    expectRunning(frame);
    QTRY_COMPARE(frame.Log().Rows().size(), std::size_t{1}); // "Retrieving Scan Information"
    QTest::qWait(100);
    expectRunning(frame);
    QCOMPARE(frame.Tree().rowCount(), 0);
    QVERIFY(session.Volume() == nullptr);
    gate.Open();
    QTRY_VERIFY(!frame.Running());
    QCOMPARE(Column(frame.Tree(), 0, frame.Tree().RootIndex()),
             (QStringList{"lost+found", "docs"}));
    QCOMPARE(frame.StatusPane(0), QString("4 Entries Found"));
    QCOMPARE(frame.Log().Rows().back().processName, std::string("Scan Information Retrieved."));
    QVERIFY(frame.Prompts().Shown().back().startsWith("Please use Turbo scan Option"));
    QVERIFY(frame.Command(kCmdTurboScan)->isEnabled());
    QVERIFY(frame.centralWidget()->isEnabled());
}

// Stop while a save runs, answered Yes: the save gives its file up and says so; no file is
// left, and the frame is idle again once the worker has ended.
void MainFrameTest::AStoppedSaveLeavesNoFileAndSaysSo() {
    Gate gate;
    GatedFrame built(gate);
    MainFrame& frame = built.frame;
    QTRY_VERIFY(!frame.Running());
    const std::string saved = built.disk.dir.File("stopped.ds1");
    frame.Prompts().SetObserver([&](const QString& text) {
        if (text == "Do you want to stop process?")
            gate.Open(); // the worker goes on to its next node, where it is held or stops
    });
    gate.Close();
    frame.Prompts().QueueFile(QString::fromStdString(saved));
    frame.SaveScanInformation();
    frame.Prompts().QueueAnswer(QMessageBox::Yes);
    frame.Stop();
    QVERIFY(!frame.Running());
    QCOMPARE(frame.Log().Rows().back().description,
             std::string("User Intervention - Process Aborted"));
    QTRY_VERIFY(frame.centralWidget()->isEnabled()); // the worker has ended
    QCOMPARE(
        frame.Prompts().Shown().back(),
        QString::fromStdString("Scan information was not saved: stopped while writing " + saved));
    QCOMPARE(frame.Log().Rows().back().processName, std::string("Saving Scan Information Failed"));
    const auto left = std::filesystem::directory_iterator(built.disk.dir.Path());
    for (const auto& entry : left)
        QVERIFY2(entry.path().filename().string().rfind("stopped.ds1", 0) != 0,
                 entry.path().c_str());
}

void MainFrameTest::TheProcessLogSavesAsTextAndSaysWhenItCannot() {
    fixtures::TempDir dir;
    RecoverySession session;
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.AddLogRow({0, "Disk Scan Done", "Process Completed", "Sat Dec  5 11:18:34 2026"}, 7);
    QVERIFY(frame.Command(kCmdSaveLog)->isEnabled());
    frame.Prompts().QueueFile(QString::fromStdString(dir.File("log")));
    frame.Command(kCmdSaveLog)->trigger();
    QFile saved(QString::fromStdString(dir.File("log.txt")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll().toStdString(), ProcessLogFileText(frame.Log().Rows()));
    // A link at the chosen name is replaced by the log, never written through.
    const std::string victim = dir.File("victim");
    QVERIFY(fixtures::WriteFileBytes(victim, std::vector<std::uint8_t>{'v'}));
    QCOMPARE(::symlink(victim.c_str(), dir.File("linked.txt").c_str()), 0);
    frame.Prompts().QueueFile(QString::fromStdString(dir.File("linked.txt")));
    frame.Command(kCmdSaveLog)->trigger();
    QCOMPARE(fixtures::ReadFileBytes(victim), std::vector<std::uint8_t>{'v'});
    QFile replaced(QString::fromStdString(dir.File("linked.txt")));
    QVERIFY(replaced.open(QIODevice::ReadOnly));
    QCOMPARE(replaced.readAll().toStdString(), ProcessLogFileText(frame.Log().Rows()));
    frame.Prompts().QueueFile(QString::fromStdString(dir.File("no/such/folder/log.txt")));
    frame.Command(kCmdSaveLog)->trigger();
    QCOMPARE(frame.Prompts().Shown().back(), QString("Error creating log file"));
    frame.Command(kCmdClearLog)->trigger();
    QVERIFY(!frame.Command(kCmdSaveLog)->isEnabled());
}

void MainFrameTest::ExitIsRefusedWhileRunningAndConfirmedOtherwise() {
    BuiltFrame built;
    MainFrame& frame = *built.frame;
    frame.show();
    frame.StartTreeCreation();
    QVERIFY(!frame.close());
    QCOMPARE(frame.Prompts().Shown().back(), QString("please stop running process first"));
    QTRY_VERIFY(!frame.Running());
    frame.Prompts().QueueAnswer(QMessageBox::No);
    QVERIFY(!frame.close());
    QCOMPARE(frame.Prompts().Shown().back(), QString("Do you want exit?"));
    frame.Prompts().QueueAnswer(QMessageBox::Yes);
    QVERIFY(frame.close());
}

void MainFrameTest::MarksFollowSubtreesAncestorsAndTheList() {
    BuiltFrame built;
    QVERIFY(built.Build());
    MainFrame& frame = *built.frame;
    FolderTreeModel& tree = frame.Tree();
    const QModelIndex root = tree.RootIndex();
    const QModelIndex docs = tree.index(1, 0, root);
    const NodeId docsNode = tree.NodeOf(docs);
    const NodeId deepNode = tree.NodeOf(tree.index(0, 0, docs));

    tree.setData(docs, Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(tree.MarkState(docsNode), 2);
    QCOMPARE(tree.MarkState(deepNode), 2);
    QCOMPARE(tree.MarkState(kRootAnchor), 3); // lost+found is not marked
    QCOMPARE(frame.StatusPane(2), QString("Marked   0.006 KB in 1 files in 2 Folders "));
    tree.setData(docs, Qt::Unchecked, Qt::CheckStateRole);
    QCOMPARE(tree.MarkState(kRootAnchor), 1);
    QCOMPARE(frame.StatusPane(2), QString("Marked   0.000 KB in 0 files in 0 Folders "));
    tree.setData(root, Qt::Checked, Qt::CheckStateRole); // the root counts as no file
    QCOMPARE(frame.StatusPane(2), QString("Marked   0.006 KB in 1 files in 3 Folders "));
    tree.setData(root, Qt::Unchecked, Qt::CheckStateRole);

    // Marking one row of docs in the list: docs and the root become partly marked.
    frame.ShowFolder(docsNode);
    const int file = Column(frame.List(), 0).indexOf("a.txt");
    frame.List().setData(frame.List().index(file, 0), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(frame.List().index(file, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(tree.MarkState(docsNode), 3);
    QCOMPARE(tree.MarkState(kRootAnchor), 3);
    QCOMPARE(frame.StatusPane(2), QString("Marked   0.006 KB in 1 files in 0 Folders "));
    frame.List().setData(frame.List().index(1 - file, 0), Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(tree.MarkState(docsNode), 2); // every row marked
    QCOMPARE(tree.MarkState(deepNode), 2);

    // Sorting by size puts the folder (1024 bytes) after the file (6 bytes), and back.
    frame.List().sort(1, Qt::AscendingOrder);
    QCOMPARE(Column(frame.List(), 0), (QStringList{"a.txt", "deep"}));
    frame.List().sort(1, Qt::DescendingOrder);
    QCOMPARE(Column(frame.List(), 0), (QStringList{"deep", "a.txt"}));
}

void MainFrameTest::RowsAlternateInDetailsModeAndTheViewModesSwitch() {
    BuiltFrame built;
    MainFrame& frame = *built.frame;
    frame.resize(1100, 700);
    frame.show();
    frame.StartTreeCreation();
    QTRY_VERIFY(!frame.Running());
    FileListModel& list = frame.List();
    QCOMPARE(list.index(0, 3).data(Qt::BackgroundRole).value<QColor>(), QColor(232, 232, 244));
    QCOMPARE(list.index(1, 3).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    list.SetHighlight(list.index(1, 0).data().toString());
    QCOMPARE(list.index(1, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 159, 89));
    frame.Command(kCmdList)->trigger();
    QVERIFY(frame.Command(kCmdList)->isChecked());
    QVERIFY(!list.index(0, 3).data(Qt::BackgroundRole).isValid());
    auto* icons = frame.findChild<QListView*>("fileIcons");
    QVERIFY(icons->isVisible());
    QCOMPARE(icons->viewMode(), QListView::ListMode);
    frame.Command(kCmdLargeIcons)->trigger();
    QCOMPARE(icons->viewMode(), QListView::IconMode);
    QCOMPARE(icons->iconSize(), QSize(32, 32));
    frame.Command(kCmdDetails)->trigger();
    QVERIFY(frame.findChild<QTableView*>("fileList")->isVisible());
    // Expanding a folder makes it the folder shown.
    auto* treeView = frame.findChild<QTreeView*>("folderTree");
    const QModelIndex docs = frame.Tree().index(1, 0, frame.Tree().RootIndex());
    treeView->expand(docs);
    QCOMPARE(treeView->currentIndex(), docs);
    QCOMPARE(frame.List().Folder(), frame.Tree().NodeOf(docs));
}

void MainFrameTest::AFolderWithABackslashInItsNameIsListedAndMarked() {
    fixtures::TempDir dir;
    std::filesystem::create_directories(dir.File("src") + "/back\\slash");
    std::ofstream(dir.File("src") + "/back\\slash/inside.txt") << "in\n";
    const std::string image = dir.File("fs.img");
    fixtures::RunShell("mke2fs -q -F -t ext2 -d " + dir.File("src") + " " + image +
                       " 1024 >/dev/null 2>&1");
    RecoverySession session;
    session.Source().SelectImageFile(image);
    session.SetMode(ProcessingMode::kScan);
    session.Lists().found.entries = {FoundVolumeEntry{0, 0x83, 0, 2, 2048}};
    QCOMPARE(OpenListedVolume(session, 0, {}), OpenOutcome::kOpened);
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.StartTreeCreation();
    QTRY_VERIFY(!frame.Running());
    const QModelIndex root = frame.Tree().RootIndex();
    const int row = Column(frame.Tree(), 0, root).indexOf("back\\slash");
    QVERIFY(row >= 0);
    const QModelIndex folder = frame.Tree().index(row, 0, root);
    QCOMPARE(frame.Tree().PathOf(folder), QString("back\\slash"));
    // A double click on the folder's row in the root's list selects it and lists it.
    frame.ShowFolder(kRootAnchor);
    const int listed = Column(frame.List(), 0).indexOf("back\\slash");
    auto* view = frame.findChild<QTableView*>("fileList");
    emit view->doubleClicked(frame.List().index(listed, 0));
    QCOMPARE(Column(frame.List(), 0), QStringList{"inside.txt"});
    frame.Tree().setData(folder, Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(frame.StatusPane(2), QString("Marked   0.003 KB in 1 files in 1 Folders "));
}

void MainFrameTest::ExitAfterARecoveryOffersToSaveTheScanInformation() {
    BuiltFrame built;
    MainFrame& frame = *built.frame;
    frame.show();
    frame.BeginRecovery("Image File Selected :disk.img", "Mount Point gui Selected ");
    QCOMPARE(frame.Log().Rows().at(0).processName, std::string("Image File Selected :disk.img"));
    frame.StartTreeCreation();
    QTRY_VERIFY(!frame.Running());
    frame.Prompts().QueueAnswer(QMessageBox::Cancel);
    QVERIFY(!frame.close());
    QCOMPARE(frame.Prompts().Shown().back(), QString("Do you want to save scan information?"));
    // Yes saves (the file is chosen), then the exit is confirmed; no question after that.
    const std::string saved = built.disk.dir.File("exit.ds1");
    frame.Prompts().QueueAnswer(QMessageBox::Yes);
    frame.Prompts().QueueFile(QString::fromStdString(saved));
    frame.Prompts().QueueAnswer(QMessageBox::No);
    QVERIFY(!frame.close());
    QVERIFY(std::filesystem::exists(saved));
    QCOMPARE(frame.Prompts().Shown().back(), QString("Do you want exit?"));
    frame.Prompts().QueueAnswer(QMessageBox::Yes);
    QVERIFY(frame.close());
    // Asked at the first two attempts only: after the save the last attempt did not ask.
    QCOMPARE(frame.Prompts().Shown().count("Do you want to save scan information?"), 2);
}

namespace {

// Fields of /proc/self/task/TID/stat, numbered from 1 as proc(5) numbers them.
QStringList ThreadStat(long tid) {
    QFile file(QString("/proc/self/task/%1/stat").arg(tid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLatin1(file.readAll());
    // The name (field 2) is in parentheses and may hold blanks: split after its end.
    const qsizetype end = text.lastIndexOf(')');
    return QStringList{"", "", ""} + text.mid(end + 2).split(' ');
}

} // namespace

// The worker runs in the normal scheduling class, niced: the idle class starves it.
void MainFrameTest::TheWorkerRunsNicedInTheNormalSchedulingClass() {
    BuiltFrame built;
    MainFrame& frame = *built.frame;
    QStringList stat;
    // The worker waits while its closing message is shown: its thread is read meanwhile.
    frame.Prompts().SetObserver([&](const QString& text) {
        if (text == "Tree Creation Completed")
            stat = ThreadStat(frame.WorkerThreadId());
    });
    QVERIFY(built.Build());
    QVERIFY2(stat.size() > 41, "the worker's /proc entry was not read");
    QCOMPARE(stat[41], QString("0"));        // policy: SCHED_OTHER (SCHED_IDLE is 5)
    QCOMPARE(stat[19], QString::number(10)); // nice
    QCOMPARE(frame.WorkerThreadId(), 0L);
}

// At 1024 x 768: the tree pane is 250 wide and the progress bar fits. A command's prompt
// shows in pane 0 without hiding the other panes, and pane 0 comes back after it. Commands
// carry icons and title-and-description tooltips; the ticked look and toolbar state hold;
// boxes open over the middle of the window.
void MainFrameTest::TheFrameFitsASmallScreenAndKeepsItsPanesThroughPrompts() {
    RecoverySession session;
    MainFrame frame(session);
    frame.setGeometry(100, 80, 1024, 768);
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.findChild<QTreeView*>("folderTree")->width(), 250);
    auto* progress = frame.findChild<QProgressBar*>();
    QVERIFY(progress->isVisible());
    QVERIFY(progress->width() > 100);
    QVERIFY(progress->geometry().right() < frame.statusBar()->width());

    auto* pane0 = frame.findChild<QLabel*>("statusPane0");
    QStatusTipEvent hover(frame.Command(kCmdTurboScan)->statusTip());
    QApplication::sendEvent(&frame, &hover);
    QCOMPARE(pane0->text(), QString("Searches for lost files/folders"));
    QVERIFY(frame.findChild<QLabel*>("statusPane2")->isVisible());
    QVERIFY(progress->isVisible());
    QStatusTipEvent away{QString()};
    QApplication::sendEvent(&frame, &away);
    QCOMPARE(pane0->text(), QString("0 Entries Found"));

    for (const int id : {kCmdWizard, kCmdOpenScanInfo, kCmdExit, kCmdFind, kCmdSaveChecked,
                         kCmdStop, kCmdTurboScan, kCmdSaveLog, kCmdDetails, kCmdHelpContents}) {
        const QAction* command = frame.Command(id);
        QVERIFY2(!command->icon().isNull(), qPrintable(command->text()));
        QVERIFY(!command->statusTip().isEmpty());
        QVERIFY(command->toolTip().contains(command->statusTip()));
    }
    QVERIFY(frame.Command(kCmdStop)->toolTip().startsWith("<b>Stop</b>"));
    QCOMPARE(frame.Command(kCmdAbout)->shortcut(), QKeySequence("Ctrl+B"));
    QVERIFY(!frame.windowIcon().isNull());
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(221, 236, 254)); // 2003

    auto* standard = frame.findChild<QToolBar*>("Standard");
    standard->hide(); // as its context menu does
    QVERIFY(!frame.Command(kCmdToolbar)->isChecked());
    frame.Command(kCmdToolbar)->trigger();
    QVERIFY(standard->isVisible());

    QPoint boxCentre;
    QTimer::singleShot(50, &frame, [&] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box != nullptr);
        boxCentre = box->geometry().center();
        box->close();
    });
    frame.Prompts().Tell(QMessageBox::Information, "Tarnwell Linux", "centred?");
    QVERIFY((boxCentre - frame.frameGeometry().center()).manhattanLength() < 24);
}

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
