#include "wizard/ClonePage.h"

#include "wizard/PageParts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace twl::gui {

ClonePage::ClonePage(WizardState& state, RecoverySession& /*session*/, Prompter& /*prompter*/,
                     QWidget* parent)
    : QWizardPage(parent) {
    setTitle("Clone disk");
    setFinalPage(true);
    auto* text = new QLabel(
        "Cloning a disk from the wizard comes with the copy progress window. Meanwhile the "
        "command-line tool does it:<br><br><tt>twl clone disk:N DESTINATION</tt><br><br>"
        "(twl drives lists the disks.)");
    text->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addStretch();
    layout->addWidget(new RunOnStartupBox(state));
}

} // namespace twl::gui
