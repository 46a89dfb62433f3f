#pragma once

// The volume page: the Linux volumes the page before found (or, opened by "Open found Logical
// Drive", those found earlier), one row each with its name, label, first sector and size.
// Finish opens the chosen one; the wizard closes only when it opened.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

class QLabel;
class QTreeWidget;

namespace twl::gui {

class VolumePage : public QWizardPage {
    Q_OBJECT
public:
    VolumePage(WizardState& state, RecoverySession& session, Prompter& prompter,
               QWidget* parent = nullptr);

    void initializePage() override;
    void cleanupPage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override { return -1; }

    QTreeWidget& List() const { return *m_list; }
    // What the page says under the list: what the partition tables showed amiss, and the
    // volumes this version cannot read ("" when neither).
    QString NotesText() const;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
    QTreeWidget* m_list = nullptr;
    QLabel* m_notes = nullptr; // one line per table fault and per volume it cannot read
    bool m_opening = false;    // a Finish is opening the volume
};

} // namespace twl::gui
