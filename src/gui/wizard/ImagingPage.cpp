#include "wizard/ImagingPage.h"

#include "wizard/PageParts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace twl::gui {

ImagingPage::ImagingPage(WizardState& state, RecoverySession& /*session*/, Prompter& /*prompter*/,
                         QWidget* parent)
    : QWizardPage(parent) {
    setTitle("Create disk image");
    setFinalPage(true);
    auto* text = new QLabel(
        "Imaging a disk from the wizard comes with the copy progress window. Meanwhile the "
        "command-line tool does it:<br><br><tt>twl image disk:N -o IMAGE</tt><br><br>"
        "(twl drives lists the disks.)");
    text->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addStretch();
    layout->addWidget(new RunOnStartupBox(state));
}

} // namespace twl::gui
