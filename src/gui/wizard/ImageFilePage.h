#pragma once

// The image file page: an image file and the processing mode, and on Next the volume discovery on
// the image.

#include "app/Prompter.h"
#include "session/RecoverySession.h"
#include "wizard/WizardState.h"

#include <QWizardPage>

namespace twl::gui {

class ImageFilePage : public QWizardPage {
    Q_OBJECT
public:
    ImageFilePage(WizardState& state, RecoverySession& session, Prompter& prompter,
                  QWidget* parent = nullptr);

    int nextId() const override;

private:
    WizardState& m_state;
    RecoverySession& m_session;
    Prompter& m_prompter;
};

} // namespace twl::gui
