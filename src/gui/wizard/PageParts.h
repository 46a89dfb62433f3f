#pragma once

// What the wizard's pages have in common: the bold title font, the description lists, and
// the "Run wizard on startup" check box that every page shows for the one shared flag.

#include "wizard/WizardState.h"

#include <QCheckBox>
#include <QFont>
#include <QStringList>
#include <array>
#include <functional>

class QGroupBox;
class QLabel;
class QListWidget;
class QRadioButton;

namespace twl::gui {

inline constexpr char kWizardCaption[] = "Tarnwell Linux";

// Bold "Times New Roman", or the nearest serif font the system has.
QFont TitleFont();
QLabel* TitleLabel(const QString& text);

// A list of text lines that can be read but not chosen.
QListWidget* DescriptionList();
void ShowLines(QListWidget& list, const QStringList& lines);

// The help text of a page that chooses a processing mode: `first` (what to select), then
// what each mode is for.
QStringList ProcessingModeHelp(const QStringList& first);

// The three processing-mode buttons in a group, by ProcessingMode; `scanText` names the sweep.
// Auto mode is checked; a click calls `chosen`.
struct ModeButtons {
    QGroupBox* group = nullptr;
    std::array<QRadioButton*, 3> buttons{};
};
ModeButtons MakeModeButtons(const char* scanText, QObject* owner,
                            const std::function<void(ProcessingMode)>& chosen);

// "&Run wizard on startup": shows the shared flag whenever its page is shown, and sets it at
// once when clicked.
class RunOnStartupBox : public QCheckBox {
    Q_OBJECT
public:
    explicit RunOnStartupBox(WizardState& state, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    WizardState& m_state;
};

} // namespace twl::gui
