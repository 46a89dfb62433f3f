#pragma once

// The clone page: the drive to copy and the drive to copy it onto, each chosen in its own
// drive tree, with the details of the drive chosen last. Finish checks the pair and asks once
// before a disk is overwritten; the copy itself is started by whoever opened the wizard.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

class QLabel;
class QListWidget;

namespace twl::gui {

class DriveTree;

class ClonePage : public QWizardPage {
    Q_OBJECT
public:
    ClonePage(WizardState& state, RecoverySession& session, Prompter& prompter,
              QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override { return -1; }

    DriveTree& Sources() const { return *m_sources; }
    DriveTree& Destinations() const { return *m_destinations; }

private:
    void OnSource(int drive);
    void OnDestination(int drive);
    // Why the copy must not be made, or "" when it may.
    QString Refusal(int source, int destination);

    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
    DriveTree* m_sources = nullptr;
    DriveTree* m_destinations = nullptr;
    QListWidget* m_details = nullptr;
    QLabel* m_sourceText = nullptr;
    QLabel* m_destinationText = nullptr;
};

} // namespace twl::gui
