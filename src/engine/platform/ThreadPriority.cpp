#include "platform/ThreadPriority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace twl {

bool LowerCurrentThreadPriority(int nice) {
    const sched_param normal{};
    const bool normalClass = pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal) == 0;
    // On Linux the nice value belongs to the thread when its kernel id is named.
    const bool niced = setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()), nice) == 0;
    return normalClass && niced;
}

long CurrentThreadId() {
    return static_cast<long>(syscall(SYS_gettid));
}

} // namespace twl
