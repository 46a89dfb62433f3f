#pragma once

// The wizard's first page: four task buttons, the description of the task chosen (or an
// introduction before any), and the run-on-startup check box. Choosing a task only records
// it; Next lets go of the volumes found before and leads to the task's first page.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>
#include <array>

class QListWidget;
class QPushButton;

namespace twl::gui {

class TaskPage : public QWizardPage {
    Q_OBJECT
public:
    TaskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
             QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override;

    // The button of a task, and the description shown.
    QPushButton* TaskButton(WizardTask task) const;
    QStringList Description() const;

private:
    void Choose(WizardTask task);

    WizardState& m_state;
    RecoverySession& m_session;
    std::array<QPushButton*, 4> m_buttons{}; // by WizardTask
    QListWidget* m_description = nullptr;
};

} // namespace twl::gui
