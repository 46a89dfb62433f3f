#pragma once

// The physical disk page: the drives of the machine under "My Computer", the details of the
// one selected (marked when something of it is mounted), the processing mode, and on Next the
// volume discovery on that drive.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>
#include <array>

class QListWidget;
class QRadioButton;

namespace twl::gui {

class DriveTree;

class DiskPage : public QWizardPage {
    Q_OBJECT
public:
    DiskPage(WizardState& state, RecoverySession& session, Prompter& prompter,
             QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override;

    DriveTree& Drives() const { return *m_drives; }
    QStringList Details() const;
    QRadioButton* ModeButton(ProcessingMode mode) const;

private:
    void OnChosen(int drive);
    void SetMode(ProcessingMode mode);

    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
    DriveTree* m_drives = nullptr;
    QListWidget* m_details = nullptr;
    std::array<QRadioButton*, 3> m_modes{}; // by ProcessingMode
    int m_selected = -1;                    // inventory position of the chosen drive
};

} // namespace twl::gui
