#include "app/ListPane.h"

#include <QHeaderView>
#include <QListView>
#include <QTableView>
#include <algorithm>
#include <vector>

namespace twl::gui {
namespace {

constexpr int kColumnWidths[] = {150, 80, 80, 80, 150, 150, 150};
constexpr int kNameWidthMost = 480; // a longer name is cut in the middle, whole in its tooltip
constexpr int kMeasuredNamesMost = 256;
constexpr int kBoxAndPicture = 60; // the mark box, the picture and their margins

} // namespace

ListPane::ListPane(FileListModel& model, QWidget* parent) : QStackedWidget(parent), m_model(model) {
    BuildTable();
    BuildIcons();
    addWidget(m_table);
    addWidget(m_icons);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &ListPane::FitNames);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_table), static_cast<QAbstractItemView*>(m_icons)})
        connect(view, &QAbstractItemView::doubleClicked, this, &ListPane::rowOpened);
}

void ListPane::BuildTable() {
    m_table = new QTableView(this);
    m_table->setObjectName("fileList");
    m_table->setModel(&m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setShowGrid(true);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    QHeaderView* rows = m_table->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(std::max(16, fontMetrics().height()) + 6);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    // Each column at least as wide as its header's text.
    for (int column = 0; column < 7; ++column)
        m_table->setColumnWidth(column,
                                std::max(kColumnWidths[column], header->sectionSizeHint(column)));
    header->setSortIndicatorShown(false);
    // Qt's header has flipped its arrow by the time it reports the click; the list's own
    // direction rule decides, and the arrow is set to match it.
    connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
        if (m_model.rowCount() == 0)
            return;
        header->setSortIndicator(column, m_model.SortByClick(column));
        header->setSortIndicatorShown(true);
    });
}

void ListPane::BuildIcons() {
    m_icons = new QListView(this);
    m_icons->setObjectName("fileIcons");
    m_icons->setModel(&m_model);
    m_icons->setUniformItemSizes(true); // one size for 100,000 rows: no per-row measuring
    m_icons->setWordWrap(false);
    m_icons->setTextElideMode(Qt::ElideMiddle);
    m_icons->setWrapping(true);
    m_icons->setResizeMode(QListView::Adjust);
}

void ListPane::SetMode(Mode mode) {
    m_mode = mode;
    if (mode != kDetails) {
        const bool icons = mode == kLargeIcons || mode == kSmallIcons;
        m_icons->setViewMode(icons ? QListView::IconMode : QListView::ListMode);
        m_icons->setFlow(icons ? QListView::LeftToRight : QListView::TopToBottom);
        m_icons->setWrapping(true); // the view mode resets it
        const int size = mode == kLargeIcons ? 32 : 16;
        m_icons->setIconSize(QSize(size, size));
    }
    m_model.SetDetailsMode(mode == kDetails); // its reset fits the names to the new mode
    setCurrentWidget(mode == kDetails ? static_cast<QWidget*>(m_table) : m_icons);
}

// The widest shown name among the rows: only the longest names are measured, so that a
// folder of 100,000 entries is fitted at once.
int ListPane::WidestName() const {
    const int rows = m_model.rowCount();
    std::vector<std::pair<std::size_t, int>> lengths; // bytes of the name, row
    lengths.reserve(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row)
        lengths.emplace_back(m_model.NameBytes(row), row);
    const std::size_t measured = std::min<std::size_t>(lengths.size(), kMeasuredNamesMost);
    std::partial_sort(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(measured),
                      lengths.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    int widest = 0;
    for (std::size_t i = 0; i < measured; ++i) {
        const QString name = m_model.index(lengths[i].second, 0).data().toString();
        widest = std::max(widest, fontMetrics().horizontalAdvance(name));
    }
    return widest;
}

void ListPane::FitNames() {
    const int widest = std::min(WidestName(), kNameWidthMost);
    if (m_mode == kDetails) {
        const int wanted = widest + kBoxAndPicture;
        m_table->setColumnWidth(0, std::clamp(wanted, kColumnWidths[0], kNameWidthMost));
        return;
    }
    const int line = fontMetrics().height();
    const int icon = m_icons->iconSize().width();
    QSize item;
    if (m_mode == kLargeIcons)
        item = QSize(std::clamp(widest + 16, 80, 240), icon + line + 16);
    else
        item = QSize(std::clamp(widest + icon + kBoxAndPicture, 96, kNameWidthMost),
                     std::max(icon, line) + 6);
    m_model.SetItemSize(item);
    m_icons->doItemsLayout();
}

} // namespace twl::gui
