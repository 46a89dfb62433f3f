// Find and Find Next in the main window: every match shown once in search order with its
// folder open and its row highlighted, then "Search Item not found"; case only where asked; a
// folder match standing for its content; every match marked when asked; the find state gone
// with a new recovery.

#include "FrameFixtures.h"
#include "app/FindDialog.h"
#include "ext2/CatalogPath.h"

#include <QTreeView>
#include <QtTest>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

// A frame over a bare volume holding a.txt, b.txt, docs/a.txt, docs/notes/A.TXT and the
// folder a.txt.d/ with inner.txt, its tree built.
struct FindFrame {
    fixtures::TempDir dir;
    RecoverySession session;
    std::unique_ptr<MainFrame> frame;
    FindFrame() {
        const std::string src = dir.File("src");
        std::filesystem::create_directories(src + "/docs/notes");
        std::filesystem::create_directories(src + "/a.txt.d");
        for (const char* file :
             {"a.txt", "b.txt", "docs/a.txt", "docs/notes/A.TXT", "a.txt.d/inner.txt"})
            std::ofstream(src + "/" + file) << file << '\n';
        OpenBareVolume(session, dir, src);
        frame = std::make_unique<MainFrame>(session);
        frame->Prompts().SetUnattended(true);
        frame->StartTreeCreation();
        QTRY_VERIFY(!frame->Running());
    }
    // The path of what Find showed, checking that its folder is the one open and chosen in
    // the tree and that its row is highlighted.
    QString Shown() {
        const NodeId match = frame->FindPosition();
        if (match == kNoNode)
            return {};
        const Catalog& catalog = session.Catalogue();
        const NodeId folder = catalog.Node(match).parent;
        const auto* tree = frame->findChild<QTreeView*>("folderTree");
        if (frame->Tree().NodeOf(tree->currentIndex()) != folder)
            return "(folder not chosen)";
        const QString name = QString::fromStdString(std::string(catalog.Name(match)));
        const int row = Column(frame->List(), 0).indexOf(name);
        if (row < 0 || frame->List().index(row, 2).data(Qt::BackgroundRole).value<QColor>() !=
                           QColor(255, 159, 89))
            return "(row not highlighted)";
        std::string path = FolderPath(catalog, folder);
        return QString::fromStdString(path.substr(std::string(kRootPath).size())) + "\\" + name;
    }
    // Find with `pattern`, then Find Next until nothing is left: the paths shown, in order.
    QStringList FindAll(const QString& pattern, bool ignoreCase) {
        frame->Prompts().QueueDialog([&](QDialog& dialog) {
            dynamic_cast<FindDialog&>(dialog).Fill(pattern, ignoreCase, false);
            return int(QDialog::Accepted);
        });
        frame->Command(kCmdFind)->trigger();
        QStringList shown;
        for (int step = 0; frame->FindPosition() != kNoNode && step < 20; ++step) {
            shown << Shown();
            if (!frame->Command(kCmdFindNext)->isEnabled()) {
                shown << "(Find Next off)";
                break;
            }
            frame->Command(kCmdFindNext)->trigger();
        }
        return shown;
    }
};

} // namespace

#define QVERIFY_RETURN(cond, value)                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            return value;                                                                          \
    } while (false)

class FindTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); } // the wizard's settings
    void MatchesAreShownOnceEachInSearchOrder();
    void EveryMatchCanBeMarked();
    void ANewRecoveryEndsTheFind();
};

void FindTest::MatchesAreShownOnceEachInSearchOrder() {
    FindFrame find;
    struct Case {
        QString pattern;
        bool ignoreCase;
        QStringList shown; // in search order, where the catalogue's order decides it sorted
        bool sorted;
    };
    const Case cases[] = {
        {"a.txt", false, {"\\a.txt", "\\docs\\a.txt"}, true},
        {"A.TXT", true, {"\\a.txt", "\\docs\\a.txt", "\\docs\\notes\\A.TXT"}, true},
        {"ab", true, {}, false},
        // The folder a.txt.d matches and stands for inner.txt.
        {"a.txt*", false, {"\\a.txt", "\\a.txt.d", "\\docs\\a.txt"}, true},
        {"docs/*/*", true, {"\\docs\\notes\\A.TXT"}, false},
    };
    for (const Case& c : cases) {
        QStringList shown = find.FindAll(c.pattern, c.ignoreCase);
        if (c.sorted)
            shown.sort();
        QCOMPARE(shown, c.shown);
        // The end is said once, and Find Next has nothing to go on with.
        QCOMPARE(find.frame->Prompts().Shown().back(), QString("Search Item not found"));
        QVERIFY(!find.frame->Command(kCmdFindNext)->isEnabled());
    }
    // A folder's content comes after the folder: docs/a.txt before docs/notes/A.TXT.
    const QStringList ordered = find.FindAll("*.TXT", true);
    QVERIFY(ordered.indexOf("\\docs\\a.txt") < ordered.indexOf("\\docs\\notes\\A.TXT"));
    QCOMPARE(ordered.size(), 5);
}

void FindTest::EveryMatchCanBeMarked() {
    FindFrame find;
    find.frame->Prompts().QueueDialog([](QDialog& dialog) {
        dynamic_cast<FindDialog&>(dialog).Fill("*.txt", false, true);
        return int(QDialog::Accepted);
    });
    find.frame->Command(kCmdFind)->trigger();
    const QStringList shown = find.frame->Prompts().Shown();
    QVERIFY(shown.contains("4 matching entries were marked."));
    QCOMPARE(find.frame->StatusPane(2).contains("in 4 files"), true);
    QVERIFY(find.frame->FindPosition() != kNoNode); // and the first is shown
}

void FindTest::ANewRecoveryEndsTheFind() {
    FindFrame find;
    find.FindAll("nothing", false);
    FindDialog empty;
    QVERIFY(!empty.CanFind()); // OK only with a pattern
    empty.Fill("a", false, false);
    QVERIFY(empty.CanFind());
    find.frame->Prompts().QueueDialog([](QDialog& dialog) {
        dynamic_cast<FindDialog&>(dialog).Fill("*", false, false);
        return int(QDialog::Accepted);
    });
    find.frame->Command(kCmdFind)->trigger();
    QVERIFY(find.frame->Command(kCmdFindNext)->isEnabled());
    find.frame->RunWizard(WizardEntry::kCommand); // cancelled, unattended
    QCOMPARE(find.frame->FindPosition(), kNoNode);
    QVERIFY(!find.frame->Command(kCmdFindNext)->isEnabled());
}

QTEST_MAIN(FindTest)
#include "FindTest.moc"
