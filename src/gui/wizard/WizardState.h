#pragma once

// What the wizard's pages share and what it leaves for the code that opened it: the chosen
// task and target, the texts the frame logs, and the flags that steer the pages. Valid for the
// caller only when `finished` is set.

#include "core/Types.h"
#include "session/RecoverySession.h"

#include <QString>
#include <cstdint>

namespace twl::gui {

// The pages, by their place in the wizard.
enum WizardPageId : int {
    kTaskPage = 0,
    kDiskPage = 1,
    kImageFilePage = 2,
    kVolumePage = 3,
    kClonePage = 4,
    kImagingPage = 5,
};

enum class WizardTask : std::uint32_t {
    kRecoverDisk = 0,
    kClone = 1,
    kImaging = 2,
    kRecoverImage = 3,
};

struct WizardState {
    QString selectedSource; // the log text of the chosen source
    QString selectedVolume; // "Mount Point %s Selected "
    // The imaging target and source (filled by the imaging page).
    QString imageDirectory;
    QString imageFileName;
    std::uint64_t imagingSectors = 0;
    DriveId imagingSource = 0;
    bool finished = false;
    WizardTask task = WizardTask::kRecoverDisk;
    bool taskChosen = false;
    // The clone's drives (filled by the clone page); 0 while none is chosen.
    DriveId cloneSource = 0;
    DriveId cloneDestination = 0;
    // The map file of the clone or imaging run (filled by its page); none when empty.
    std::string copyMap;
    // Opened by "Open found Logical Drive": the volume page shows no Back.
    bool openedAtVolumePage = false;
    bool runOnStartup = false;
    ProcessingMode mode = ProcessingMode::kAuto;
    // Set when a task is chosen: the target pages start afresh on their next showing.
    bool freshEntry = false;
};

} // namespace twl::gui
