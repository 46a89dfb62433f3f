#pragma once

// How a background worker (tree creation, Turbo Scan, the logical volume scan, a clone or image
// copy) ended, as reported through EngineEvents::WorkerDone.

namespace twl {

enum class WorkerResult {
    kCompleted,     // the worker ran to its end
    kAborted,       // a stop was asked for, or the walk ended early on a limit
    kTurboScanDone, // Turbo Scan ended; stopped or not, what it found is in the catalogue
};

} // namespace twl
