#pragma once

// How the disk and image file pages sweep their source for volumes: the scan-mode dialog,
// for a thorough scan the sector-range dialog, then the logical volume scan under its
// progress dialog.

#include "app/Prompter.h"
#include "session/RecoverySession.h"

class QWidget;

namespace twl::gui {

// Sweeps the session's current source (the page has made the drive or image the source).
// Cancelling the mode dialog returns false quietly; cancelling the range says "Operation
// canceled". True when the wizard goes on to the volume page: the scan ended, completed or
// stopped (what was found is listed). Any other end says "Operation Cancelled by User".
// Every box goes through `prompter`. The session's processing mode is left as it was.
bool RunScanProcedure(QWidget* parent, Prompter& prompter, RecoverySession& session);

} // namespace twl::gui
