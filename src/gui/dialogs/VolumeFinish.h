#pragma once

// The volume page's Finish: opening the chosen volume as the user sees it. The open runs on a
// worker while the wizard waits: the fingerprint re-check of a loaded scan information file,
// the size check and the primary superblock, and when that is damaged the question whether
// to search for a backup, whose search runs under the wait dialog.

#include "app/Prompter.h"
#include "session/RecoverySession.h"

#include <cstddef>

class QWidget;

namespace twl::gui {

// Opens listed row `row` (0-based). Each failure is shown in its words: the fingerprint
// mismatch without an icon, a volume beyond the source, no valid superblock and a file system
// the engine cannot read with the error icon; a declined search shows nothing more. True when
// the volume is open (a note on read-only features it reads past was shown); false leaves the
// previously open volume as it was.
bool FinishVolumeOpen(QWidget* parent, Prompter& prompter, RecoverySession& session,
                      std::size_t row);

} // namespace twl::gui
