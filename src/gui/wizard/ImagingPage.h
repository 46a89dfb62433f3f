#pragma once

// The imaging page: the drive to image and the image file to write. Until the copy
// runs from the wizard, the page says how to make the copy with twl, and Finish stays off.

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

    bool isComplete() const override { return false; }
    int nextId() const override { return -1; }
};

} // namespace twl::gui
