#pragma once

// The image file page: an image file chosen from the disk, the free space where it lies, the
// processing mode, and on Next the image made the source and its volumes found.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>
#include <array>

class QLabel;
class QRadioButton;

namespace twl::gui {

class ImageFilePage : public QWizardPage {
    Q_OBJECT
public:
    ImageFilePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                  QWidget* parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;
    int nextId() const override;

    // "Select &Image File".
    void ChooseImage();
    QRadioButton* ModeButton(ProcessingMode mode) const;

private:
    void SetMode(ProcessingMode mode);
    void ShowChoice(bool chosen);

    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
    QLabel* m_path = nullptr;
    QLabel* m_space = nullptr;
    std::array<QRadioButton*, 3> m_modes{}; // by ProcessingMode
    QString m_image;                        // the chosen file; empty before one is chosen
};

} // namespace twl::gui
