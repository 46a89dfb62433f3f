#include "wizard/PageParts.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

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

QStringList ProcessingModeHelp(const QStringList& first) {
    return first + QStringList{"",
                               "Processing Options:",
                               "",
                               "\"Use Volume table to get volume list\"",
                               "this option helps to select volume",
                               "immediately when volume table is intact.",
                               "",
                               "\"Scan for volumes\" this option should",
                               "be used when volume table has been",
                               "damaged or to search any lost volume.",
                               "",
                               "When you do not know anything let the",
                               "option to be at default i.e. \"Auto Mode\"."};
}

ModeButtons MakeModeButtons(const char* scanText, QObject* owner,
                            const std::function<void(ProcessingMode)>& chosen) {
    ModeButtons made;
    made.group = new QGroupBox("Processing mode");
    auto* layout = new QVBoxLayout(made.group);
    auto* exclusive = new QButtonGroup(made.group);
    const std::pair<ProcessingMode, const char*> texts[] = {
        {ProcessingMode::kTable, "&Use Volume Table to get Volume(s) List"},
        {ProcessingMode::kScan, scanText},
        {ProcessingMode::kAuto, "&Auto Mode (Recommended)"}};
    for (const auto& [mode, text] : texts) {
        auto* button = new QRadioButton(text);
        exclusive->addButton(button);
        layout->addWidget(button);
        made.buttons[static_cast<std::size_t>(mode)] = button;
        QObject::connect(button, &QRadioButton::clicked, owner,
                         [chosen, mode = mode] { chosen(mode); });
    }
    made.buttons[static_cast<std::size_t>(ProcessingMode::kAuto)]->setChecked(true);
    return made;
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
