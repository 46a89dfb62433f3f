// Marks in the desktop program: the folder tree, the file list and the marked totals show
// the catalogue's marks, also after a rebuild, and Save Checked takes what the totals count.

#include "FrameFixtures.h"
#include "ext2/MarkedTotals.h"
#include "recover/LocalDestination.h"
#include "recover/SaveOperation.h"

#include <QtTest>
#include <filesystem>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

QModelIndex Item(const FolderTreeModel& tree, const QString& name, const QModelIndex& parent) {
    const int row = Column(tree, 0, parent).indexOf(name);
    return row < 0 ? QModelIndex() : tree.index(row, 0, parent);
}

Qt::CheckState RowMark(const FileListModel& list, const QString& name) {
    const int row = Column(list, 0).indexOf(name);
    return row < 0 ? Qt::CheckState(-1) : list.MarkOf(row);
}

// Tree, list and totals of a frame showing the root folder, with docs marked as a whole.
void ExpectDocsMarked(MainFrame& frame, const QString& totals) {
    FolderTreeModel& tree = frame.Tree();
    const QModelIndex docs = Item(tree, "docs", tree.RootIndex());
    QVERIFY(docs.isValid());
    QCOMPARE(tree.MarkState(tree.NodeOf(docs)), 2);
    QCOMPARE(tree.MarkState(tree.NodeOf(Item(tree, "deep", docs))), 2);
    QCOMPARE(tree.MarkState(kRootAnchor), 3);
    QCOMPARE(frame.List().Folder(), kRootAnchor);
    QCOMPARE(RowMark(frame.List(), "docs"), Qt::Checked);
    QCOMPARE(RowMark(frame.List(), "lost+found"), Qt::Unchecked);
    QCOMPARE(frame.StatusPane(2), totals);
}

} // namespace

class MarksTest : public QObject {
    Q_OBJECT
private slots:
    void MarksSurviveTurboScanAndAReloadAndSaveCheckedTakesTheTotals();
    void AFolderLeftMarkedOnlyAsAPathShowsUnmarkedInTreeAndList();
};

void MarksTest::MarksSurviveTurboScanAndAReloadAndSaveCheckedTakesTheTotals() {
    BuiltFrame built;
    QVERIFY(built.Build());
    MainFrame& frame = *built.frame;
    FolderTreeModel& tree = frame.Tree();
    tree.setData(Item(tree, "docs", tree.RootIndex()), Qt::Checked, Qt::CheckStateRole);
    const QString totals("Marked   0.006 KB in 1 files in 2 Folders ");
    ExpectDocsMarked(frame, totals);

    QVERIFY(built.Turbo());
    QVERIFY(Column(tree, 0, tree.RootIndex()).contains("Lost Files1"));
    ExpectDocsMarked(frame, totals);

    const std::string saved = built.disk.dir.File("marks.ds1");
    frame.Prompts().QueueFile(QString::fromStdString(saved));
    frame.SaveScanInformation();
    QTRY_VERIFY(!frame.Running());
    RecoverySession session;
    MainFrame reopened(session);
    reopened.Prompts().SetUnattended(true);
    reopened.Prompts().QueueFile(QString::fromStdString(saved));
    reopened.OpenScanInformation();
    QTRY_VERIFY(!reopened.Running());
    ExpectDocsMarked(reopened, totals);

    // Save Checked from the reloaded scan: what is written is what the totals say.
    Status status;
    const std::unique_ptr<LocalDestination> out =
        LocalDestination::Open(built.disk.dir.File("out"), status);
    QVERIFY(out != nullptr);
    VolumeReader reader(session.Source(), *session.Volume());
    EngineEvents quiet;
    const SaveSummary summary = SaveCatalogue(reader, session.Catalogue(), *out,
                                              {true, false, false}, session.Stop(), quiet);
    const TreeCounters marked = MarkedTotals(session.Catalogue());
    QCOMPARE(summary.files, std::uint64_t{marked.files});
    QCOMPARE(summary.folders, std::uint64_t{marked.folders});
    QCOMPARE(summary.bytes, marked.bytes);
    QVERIFY(std::filesystem::is_directory(built.disk.dir.File("out/docs/deep")));
    QCOMPARE(fixtures::ReadFileText(built.disk.dir.File("out/docs/a.txt")), std::string("seven\n"));
    QVERIFY(!std::filesystem::exists(built.disk.dir.File("out/lost+found")));
}

// Marking docs/deep marks docs as a folder on its path; unmarking deep leaves that mark
// (docs still counts as a marked folder) but nothing below docs is marked, so its item and
// its row in the root's list both show it unmarked.
void MarksTest::AFolderLeftMarkedOnlyAsAPathShowsUnmarkedInTreeAndList() {
    BuiltFrame built;
    QVERIFY(built.Build());
    MainFrame& frame = *built.frame;
    FolderTreeModel& tree = frame.Tree();
    const QModelIndex docs = Item(tree, "docs", tree.RootIndex());
    const QModelIndex deep = Item(tree, "deep", docs);
    tree.setData(deep, Qt::Checked, Qt::CheckStateRole);
    QCOMPARE(tree.MarkState(tree.NodeOf(docs)), 3);
    QCOMPARE(RowMark(frame.List(), "docs"), Qt::PartiallyChecked);
    tree.setData(deep, Qt::Unchecked, Qt::CheckStateRole);
    QCOMPARE(tree.MarkState(tree.NodeOf(docs)), 1);
    QCOMPARE(tree.MarkState(kRootAnchor), 1);
    QCOMPARE(RowMark(frame.List(), "docs"), Qt::Unchecked);
    QCOMPARE(frame.StatusPane(2), QString("Marked   0.000 KB in 0 files in 1 Folders "));

    // A file row marked in the list: its folder is partly marked, then fully with the rest.
    frame.ShowFolder(tree.NodeOf(docs));
    frame.MarkRow(Column(frame.List(), 0).indexOf("a.txt"));
    QCOMPARE(tree.MarkState(tree.NodeOf(docs)), 3);
    frame.MarkRow(Column(frame.List(), 0).indexOf("deep"));
    QCOMPARE(tree.MarkState(tree.NodeOf(docs)), 2);
    QCOMPARE(tree.MarkState(tree.NodeOf(deep)), 2);
    QCOMPARE(RowMark(frame.List(), "deep"), Qt::Checked);
}

QTEST_MAIN(MarksTest)
#include "MarksTest.moc"
