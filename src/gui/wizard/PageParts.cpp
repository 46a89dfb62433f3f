#include "wizard/PageParts.h"

#include <QLabel>
#include <QListWidget>

namespace twl::gui {

QFont TitleFont() {
    QFont font("Times New Roman");
    font.setStyleHint(QFont::Serif);
    font.setBold(true);
    return font;
}

QLabel* TitleLabel(const QString& text) {
    auto* label = new QLabel(text);
    QFont font = TitleFont();
    font.setPointSize(font.pointSize() + 3);
    label->setFont(font);
    return label;
}

QListWidget* DescriptionList() {
    auto* list = new QListWidget;
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setFocusPolicy(Qt::NoFocus);
    list->setWordWrap(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return list;
}

void ShowLines(QListWidget& list, const QStringList& lines) {
    list.clear();
    list.addItems(lines);
}

RunOnStartupBox::RunOnStartupBox(WizardState& state, QWidget* parent)
    : QCheckBox("&Run wizard on startup", parent), m_state(state) {
    setChecked(state.runOnStartup);
    connect(this, &QCheckBox::toggled, this, [this](bool on) { m_state.runOnStartup = on; });
}

void RunOnStartupBox::showEvent(QShowEvent* event) {
    setChecked(m_state.runOnStartup);
    QCheckBox::showEvent(event);
}

} // namespace twl::gui
