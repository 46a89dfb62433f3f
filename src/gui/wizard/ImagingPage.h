#pragma once

// The imaging page: the drive to image and the image file to write, with the free space where
// it goes. Finish refuses a place on the disk being imaged and warns when the space is short;
// the imaging itself is started by whoever opened the wizard.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

class QLabel;
class QListWidget;
class QPushButton;

namespace twl::gui {

class DriveTree;

class ImagingPage : public QWizardPage {
    Q_OBJECT
public:
    ImagingPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override { return -1; }

    DriveTree& Drives() const { return *m_drives; }
    // "Select &Destination Path".
    void ChoosePath();

private:
    void OnDrive(int drive);
    void ForgetPath();

    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
    DriveTree* m_drives = nullptr;
    QListWidget* m_details = nullptr;
    QPushButton* m_choosePath = nullptr;
    QLabel* m_path = nullptr;
    QLabel* m_space = nullptr;
    QString m_image;               // the image file to write; empty until chosen
    std::uint64_t m_freeBytes = 0; // where it goes
    QString m_sizeProblem;         // why the drive could not be sized, when it could not
};

} // namespace twl::gui
