#pragma once

// Priorities of the program's worker threads. A long scan must not make the desktop sluggish,
// but it must not starve either: the idle scheduling class runs a thread only when nothing
// else wants the processor, which on a busy machine stretches seconds of work into minutes.

namespace twl {

// The nice value of workers: below every interactive program, still in the normal class.
inline constexpr int kWorkerNice = 10;

// Puts the calling thread in the normal scheduling class with nice value `nice`. Returns
// false when the system refuses either (the thread then runs as it was).
bool LowerCurrentThreadPriority(int nice);

// The calling thread's id as the kernel knows it (/proc/self/task/ID).
long CurrentThreadId();

} // namespace twl
