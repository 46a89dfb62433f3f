#pragma once

// The work on the open volume's catalogue that a front end starts, usually on a worker
// thread: tree creation and Turbo Scan, each with a reader of the session's source and
// volume, the session's catalogue, counters and stop, reporting to the front end's events.
// The stop is polled as it is found (a front end clears it before it starts the work), and
// tree creation counts on from the counters as they are (a front end sets them to zero when
// a recovery begins).

#include "core/EngineEvents.h"
#include "session/RecoverySession.h"

namespace twl {

// Builds the open volume's tree into the catalogue (replacing it): the tree-creation worker's
// progress, closing text and WorkerDone, which tells how it ended. Does nothing, reporting
// nothing, when no volume is open.
void CreateTree(RecoverySession& session, EngineEvents& events);

// Runs Turbo Scan over the open volume and its catalogue: the Turbo Scan worker's log rows,
// closing text, size line and WorkerDone. Returns false at once, reporting nothing, when no
// volume is open; else whether the scan ran to its end.
bool RunTurboScan(RecoverySession& session, EngineEvents& events);

} // namespace twl
