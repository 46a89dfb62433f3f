#include "app/WorkerThread.h"

#include "platform/ThreadPriority.h"

namespace twl::gui {

QThread* StartWorkerThread(std::function<void()> work, std::atomic<long>& threadId) {
    QThread* thread = QThread::create([work = std::move(work), &threadId] {
        LowerCurrentThreadPriority(kWorkerNice);
        threadId.store(CurrentThreadId());
        work();
        threadId.store(0);
    });
    // Not QThread::IdlePriority: Linux maps it to the idle class, which starves the worker.
    thread->start(QThread::InheritPriority);
    return thread;
}

} // namespace twl::gui
