#pragma once

// The imaging page: the drive to image and the image file to write.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

namespace twl::gui {

class ImagingPage : public QWizardPage {
    Q_OBJECT
public:
    ImagingPage(WizardState& state, RecoverySession& session, Prompter& prompter,
                QWidget* parent = nullptr);

    int nextId() const override;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
};

} // namespace twl::gui
