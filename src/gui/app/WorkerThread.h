#pragma once

// Every worker of the desktop program starts here: on its own thread, in the normal
// scheduling class with a raised nice value, so that long work neither makes the desktop
// sluggish nor starves while other programs keep the processor busy.

#include <QThread>
#include <atomic>
#include <functional>

namespace twl::gui {

// Starts `work` on a new thread and returns it (the caller owns it). While the work runs,
// `threadId` holds the thread's kernel id; 0 before and after.
QThread* StartWorkerThread(std::function<void()> work, std::atomic<long>& threadId);

} // namespace twl::gui
