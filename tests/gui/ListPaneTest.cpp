// The file list pane as a user sees it: sorting by header clicks, names shown so that no two
// look alike, one-line rows, and a picture for each kind of item.

#include "FrameFixtures.h"
#include "fixtures/JournalImages.h"
#include "models/ItemIcons.h"
#include "models/ShownName.h"

#include <QHeaderView>
#include <QListView>
#include <QTableView>
#include <QTreeView>
#include <QtTest>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

void ClickHeader(QHeaderView* header, int column) {
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
}

// A frame over a bare ext2 image of `src` changed by `debugfs` commands, its tree built.
struct FrameOver {
    RecoverySession session;
    std::unique_ptr<MainFrame> frame;
    FrameOver(const fixtures::TempDir& dir, const std::string& src,
              const std::string& debugfs = {}) {
        OpenBareVolume(session, dir, src, debugfs);
        frame = std::make_unique<MainFrame>(session);
        frame->Prompts().SetUnattended(true);
        frame->resize(1280, 800);
        frame->show();
        frame->StartTreeCreation();
        QTRY_VERIFY(!frame->Running());
    }
};

// Whether `icon`, drawn in `mode`, is the program's icon `name`.
bool Draws(const QVariant& icon, const QString& name, QIcon::Mode mode = QIcon::Normal) {
    return icon.value<QIcon>().pixmap(16, mode).toImage() == NamedIcon(name).pixmap(16).toImage();
}

} // namespace

class ListPaneTest : public QObject {
    Q_OBJECT
private slots:
    void HeaderClicksFollowTheDirectionRuleAndShowItsArrow();
    void EveryNameIsShownOnOneLineAndDistinctly();
    void NamesGetTheirRoomInEveryModeAndRowsAreOneLineHigh();
    void EachKindOfItemHasItsOwnPicture();
    void FilesFromTheJournalAreDeletedOnesAndAnOverwrittenOneIsMarked();
};

// The same column again reverses the order; another column keeps the direction of the last
// sort; the arrow always shows the order the rows are in.
void ListPaneTest::HeaderClicksFollowTheDirectionRuleAndShowItsArrow() {
    BuiltFrame built;
    QVERIFY(built.Build());
    MainFrame& frame = *built.frame;
    frame.show();
    const QModelIndex docs = frame.Tree().index(1, 0, frame.Tree().RootIndex());
    frame.ShowFolder(frame.Tree().NodeOf(docs)); // a.txt (6 bytes), deep (1024 bytes)
    QHeaderView* header = frame.findChild<QTableView*>("fileList")->horizontalHeader();
    const QStringList ascending{"a.txt", "deep"};
    const QStringList descending{"deep", "a.txt"};
    struct Click {
        int column;
        QStringList rows;
        Qt::SortOrder arrow;
    };
    const Click clicks[] = {
        {1, ascending, Qt::AscendingOrder},   // first sort: ascending
        {1, descending, Qt::DescendingOrder}, // same column: reversed
        {1, ascending, Qt::AscendingOrder},   // and back
        {0, ascending, Qt::AscendingOrder},   // new column: the last direction kept
        {0, descending, Qt::DescendingOrder},
        {2, ascending, Qt::DescendingOrder}, // type: "Regular File" before "Folder"
    };
    for (const Click& click : clicks) {
        ClickHeader(header, click.column);
        QCOMPARE(Column(frame.List(), 0), click.rows);
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorSection(), click.column);
        QCOMPARE(header->sortIndicatorOrder(), click.arrow);
    }
}

void ListPaneTest::EveryNameIsShownOnOneLineAndDistinctly() {
    struct Case {
        std::string bytes;
        QString shown;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},
        {"back\\slash", "back\\slash"},                    // a backslash that starts no escape
        {"tab\tname", "tab\\tname"},                       // a tab
        {"tab\\tname", "tab\\\\tname"},                    // a backslash and a t
        {"new\nline\r", "new\\nline\\r"},                  // newline, carriage return
        {"bad\xffname", "bad\\xffname"},                   // a byte that is not UTF-8
        {"bad\\xffname", "bad\\\\xffname"},                // the same as text
        {"\\\t", "\\\\\\t"},                               // a backslash, then a tab
        {"cut\xc3", "cut\\xc3"},                           // UTF-8 cut short
        {"over\xc0\xaflong", "over\\xc0\\xaflong"},        // an overlong form
        {"caf\xc3\xa9", QString::fromUtf8("caf\xc3\xa9")}, // valid UTF-8 stays
        {"txt.\xe2\x80\xae"
         "exe",
         "txt.\\u{202e}exe"}, // a right-to-left override
        {"del\x7f", "del\\u{007f}"},
    };
    QSet<QString> seen;
    for (const Case& c : cases) {
        const QString shown = ShownName(c.bytes);
        QCOMPARE(shown, c.shown);
        QVERIFY2(!seen.contains(shown), qPrintable(shown));
        seen.insert(shown);
    }
}

// A folder with a tab in one name, invalid UTF-8 in another and a long third: the list and
// the tree show each distinctly, on rows one line high, with room for the long name.
void ListPaneTest::NamesGetTheirRoomInEveryModeAndRowsAreOneLineHigh() {
    fixtures::TempDir dir;
    const std::string src = dir.File("src");
    const std::string longName(50, 'n');
    for (const std::string& name : {std::string("names/tab\tname"), std::string("names/tab\\tname"),
                                    std::string("names/bad\xffname"), "names/" + longName})
        std::filesystem::create_directories(src + "/" + name);
    FrameOver over(dir, src);
    MainFrame& frame = *over.frame;
    const QModelIndex names = frame.Tree().index(1, 0, frame.Tree().RootIndex());
    QCOMPARE(names.data().toString(), QString("names"));
    frame.ShowFolder(frame.Tree().NodeOf(names));
    const QStringList listed = Column(frame.List(), 0);
    QCOMPARE(QSet<QString>(listed.begin(), listed.end()),
             (QSet<QString>{"tab\\tname", "tab\\\\tname", "bad\\xffname",
                            QString::fromStdString(longName)}));
    const QStringList items = Column(frame.Tree(), 0, names);
    QCOMPARE(QSet<QString>(items.begin(), items.end()),
             QSet<QString>(listed.begin(), listed.end()));
    const int longRow = listed.indexOf(QString::fromStdString(longName));
    QCOMPARE(frame.List().index(longRow, 0).data(Qt::ToolTipRole).toString(),
             QString::fromStdString(longName));

    auto* table = frame.findChild<QTableView*>("fileList");
    const int line = table->fontMetrics().height();
    const int nameWidth = table->fontMetrics().horizontalAdvance(QString::fromStdString(longName));
    for (int row = 0; row < frame.List().rowCount(); ++row)
        QVERIFY(table->rowHeight(row) < 2 * line);
    QVERIFY(table->columnWidth(0) > nameWidth);
    QHeaderView* header = table->horizontalHeader();
    for (int column = 0; column < 7; ++column)
        QVERIFY2(header->sectionSize(column) >= header->sectionSizeHint(column),
                 qPrintable(
                     frame.List().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()));

    auto* icons = frame.findChild<QListView*>("fileIcons");
    for (const int mode : {kCmdList, kCmdSmallIcons}) {
        frame.Command(mode)->trigger();
        QVERIFY(icons->visualRect(frame.List().index(longRow, 0)).width() > nameWidth);
    }
}

// A file, a folder, a link, a socket, a FIFO, a device, and after Turbo Scan a deleted file,
// a lost file and a lost folder: each kind has its own picture, and a link's type text
// stays "Regular File".
void ListPaneTest::EachKindOfItemHasItsOwnPicture() {
    fixtures::TempDir dir;
    const std::string src = dir.File("src");
    std::filesystem::create_directories(src + "/dir");
    std::filesystem::create_directories(src + "/orphan");
    for (const char* name : {"/file.txt", "/gone.txt", "/lost.txt", "/orphan/in.txt"})
        std::ofstream(src + name) << "data\n";
    std::filesystem::create_symlink("file.txt", src + "/link");
    fixtures::RunShell("cd " + src +
                       " && python3 -c \"import socket; "
                       "socket.socket(socket.AF_UNIX).bind('sock')\"");
    FrameOver over(dir, src,
                   "mknod fifo p\nmknod dev c 1 3\nrm gone.txt\nunlink lost.txt\n"
                   "unlink orphan\n");
    MainFrame& frame = *over.frame;
    frame.TurboScan();
    QTRY_VERIFY(!frame.Running());
    FileListModel& list = frame.List();
    const auto picture = [&](const QString& name) {
        return list.index(Column(list, 0).indexOf(name), 0).data(Qt::DecorationRole);
    };
    const std::pair<QString, QString> kinds[] = {
        {"dir", "folder"},
        {"file.txt", "file"},
        {"link", "symlink"},
        {"sock", "socket"},
        {"fifo", "fifo"},
        {"dev", "device"},
        {"Lost Files1", "folder-lost"},
        {"Deleted Files1", "folder-lost"},
        {"gone.txt", "file-deleted"}, // back at its place under its name, still deleted
    };
    for (const auto& [name, icon] : kinds)
        QVERIFY2(Draws(picture(name), icon), qPrintable(name));
    QCOMPARE(list.index(Column(list, 0).indexOf("link"), 2).data().toString(),
             QString("Regular File"));
    FolderTreeModel& tree = frame.Tree();
    const QStringList top = Column(tree, 0, tree.RootIndex());
    const auto open = [&](const QString& name) {
        const QModelIndex item = tree.index(top.indexOf(name), 0, tree.RootIndex());
        frame.ShowFolder(tree.NodeOf(item));
        return item;
    };
    const QModelIndex dirItem = open("dir");
    QVERIFY(Draws(dirItem.data(Qt::DecorationRole), "folder"));
    QVERIFY(Draws(dirItem.data(Qt::DecorationRole), "folder-open", QIcon::Selected));
    open("Deleted Files1");
    QCOMPARE(list.rowCount(), 0);
    open("Lost Files1");
    QVERIFY(list.rowCount() >= 1);
    for (int row = 0; row < list.rowCount(); ++row)
        QVERIFY(Draws(list.index(row, 0).data(Qt::DecorationRole), "file-lost"));
    const QModelIndex lostFolders = open("Lost Folders1");
    QVERIFY(Draws(lostFolders.data(Qt::DecorationRole), "folder-lost"));
    QCOMPARE(list.rowCount(), 1);
    QVERIFY(Draws(list.index(0, 0).data(Qt::DecorationRole), "folder-lost"));
    // The orphan's ".." still names the root folder: its tooltip says where it came from.
    QVERIFY2(list.index(0, 0).data(Qt::ToolTipRole).toString().endsWith("\ncame from D:\\$TW"),
             qPrintable(list.index(0, 0).data(Qt::ToolTipRole).toString()));

    // For people to look at: the volume after Turbo Scan, with marks, in build/.
    tree.setData(tree.index(top.indexOf("dir"), 0, tree.RootIndex()), Qt::Checked,
                 Qt::CheckStateRole);
    tree.setData(lostFolders, Qt::Checked, Qt::CheckStateRole);
    frame.resize(1100, 700);
    auto* view = frame.findChild<QTreeView*>("folderTree");
    view->expandAll();
    view->setCurrentIndex(tree.RootIndex());
    frame.MarkRow(Column(list, 0).indexOf("file.txt"));
    QVERIFY(frame.grab().save(QString(TWL_SCREENSHOT_DIR) + "/main-window.png"));
}

// Turbo Scan on a volume whose files a kernel deleted: they come back through the journal in
// their own container, drawn as deleted files; the one whose blocks a later file took is in
// red and its tooltip says why.
void ListPaneTest::FilesFromTheJournalAreDeletedOnesAndAnOverwrittenOneIsMarked() {
    fixtures::TempDir dir;
    const std::string image = fixtures::JournalImage("reused", dir);
    QVERIFY(!image.empty());
    RecoverySession session;
    EngineEvents quiet;
    QCOMPARE(OpenSourceVolume(session, {kImageDriveId, image}, VolumeSearch(ProcessingMode::kScan),
                              0, {}, quiet)
                 .outcome,
             OpenOutcome::kOpened);
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.StartTreeCreation();
    QTRY_VERIFY(!frame.Running());
    frame.TurboScan();
    QTRY_VERIFY(!frame.Running());
    FolderTreeModel& tree = frame.Tree();
    const QStringList top = Column(tree, 0, tree.RootIndex());
    QVERIFY2(top.contains("Journal Recovered Files1"), qPrintable(top.join(',')));
    frame.ShowFolder(
        tree.NodeOf(tree.index(top.indexOf("Journal Recovered Files1"), 0, tree.RootIndex())));
    FileListModel& list = frame.List();
    const QStringList names = Column(list, 0);
    const QModelIndex overwritten = list.index(names.indexOf("first.bin"), 0);
    const QModelIndex sound = list.index(names.indexOf("second.txt"), 0);
    QVERIFY(overwritten.isValid() && sound.isValid());
    QVERIFY(Draws(sound.data(Qt::DecorationRole), "file-deleted"));
    QCOMPARE(overwritten.data(Qt::ForegroundRole).value<QColor>(), QColor(160, 0, 0));
    QVERIFY(overwritten.data(Qt::ToolTipRole).toString().contains("possibly overwritten"));
    QVERIFY(!sound.data(Qt::ForegroundRole).isValid());
    QCOMPARE(sound.data(Qt::ToolTipRole).toString(), QString("second.txt"));
}

QTEST_MAIN(ListPaneTest)
#include "ListPaneTest.moc"
