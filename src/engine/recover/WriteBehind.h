#pragma once

// Small local files whose bytes are all in memory, written, sized, timed and closed on a
// second thread while the saving thread reads and creates the next ones. Saving many small
// files costs mostly system calls; this lets two cores share them. Jobs are done in the
// order given, and their outcomes come back in that order.

#include "recover/SaveDestination.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace twl {

struct WriteJob {
    int fd = -1;    // the new file's descriptor, which the job closes
    HeldBytes held; // what to write
    ByteCount size = 0;
    ItemTimes times;
    int error = 0; // the outcome: 0 or an errno
};

// The times as futimens and utimensat take them. A time of 0 is one the catalogue does not
// know: the item keeps the time it has.
std::array<timespec, 2> TimeStamps(const ItemTimes& times);

// Writes the runs of `held`, gives file `fd` its size and times and closes it: 0 or the
// first errno. `written` is one past the last byte written before (0 for a new file).
int WriteAndClose(int fd, const HeldBytes& held, ByteCount written, ByteCount size,
                  const ItemTimes& times);

class WriteBehind {
public:
    WriteBehind();
    // Does what is still queued, then ends the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Queues a job; waits while kMaxQueued are waiting.
    void Submit(WriteJob job);
    // Waits until every job given is done; returns them in the order given.
    std::vector<WriteJob> Drain();
    // Whether a job failed since the last Drain: the saving thread then hears of it at once,
    // so that a full disk stops the save soon.
    bool Failed() const { return m_failed.load(std::memory_order_relaxed); }

    static constexpr std::size_t kMaxQueued = 64;
    // Jobs gathered before the idle thread is woken for them (Drain wakes it for fewer).
    static constexpr std::size_t kWakeAt = 16;

private:
    void Run();

    // Each side is woken only when it waits: a wake-up per job would cost more system calls
    // than the job saves.
    std::mutex m_mutex;
    std::condition_variable m_work; // the thread waits for jobs here
    std::condition_variable m_room; // the saving thread waits for room, or for Drain
    std::deque<WriteJob> m_queued;
    std::vector<WriteJob> m_done;
    bool m_busy = false;    // the thread is doing jobs it took
    bool m_idle = false;    // the thread waits on m_work
    bool m_waiting = false; // the saving thread waits on m_room
    bool m_closing = false;
    std::atomic<bool> m_failed{false};
    std::thread m_thread; // last: started once the members it uses exist
};

} // namespace twl
