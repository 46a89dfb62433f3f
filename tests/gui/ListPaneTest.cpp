// The file list pane as a user sees it: sorting by header clicks, names shown so that no two
// look alike, one-line rows, and a picture for each kind of item.

#include "FrameFixtures.h"

#include <QHeaderView>
#include <QTableView>
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

} // namespace

class ListPaneTest : public QObject {
    Q_OBJECT
private slots:
    void HeaderClicksFollowTheDirectionRuleAndShowItsArrow();
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

QTEST_MAIN(ListPaneTest)
#include "ListPaneTest.moc"
