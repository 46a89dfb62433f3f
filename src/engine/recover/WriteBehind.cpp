#include "recover/WriteBehind.h"

#include "platform/FullIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace twl {
namespace {

timespec Seconds(std::uint32_t seconds) {
    return seconds == 0 ? timespec{0, UTIME_OMIT} : timespec{static_cast<time_t>(seconds), 0};
}

} // namespace

std::array<timespec, 2> TimeStamps(const ItemTimes& times) {
    return {Seconds(times.atime), Seconds(times.mtime)};
}

int WriteAndClose(int fd, const HeldBytes& held, ByteCount written, ByteCount size,
                  const ItemTimes& times) {
    int error = 0;
    for (const HeldBytes::Run& run : held.runs) {
        if (error == 0)
            error = WriteAllAt(fd, run.offset, ConstBytes(held.bytes).subspan(run.at, run.length))
                        .error;
        written = std::max<ByteCount>(written, run.offset + run.length);
    }
    // The file was made new: when the writes end at its size, it has that size already.
    // Otherwise its tail is a hole, or more was written than it holds.
    if (error == 0 && written != size && ::ftruncate(fd, static_cast<off_t>(size)) != 0)
        error = errno;
    if (error == 0 && ::futimens(fd, TimeStamps(times).data()) != 0)
        error = errno;
    const int closed = ::close(fd) == 0 ? 0 : errno;
    return error != 0 ? error : closed;
}

WriteBehind::WriteBehind() : m_thread([this] { Run(); }) {}

WriteBehind::~WriteBehind() {
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_work.notify_one();
    m_thread.join();
}

void WriteBehind::Submit(WriteJob job) {
    std::unique_lock lock(m_mutex);
    while (m_queued.size() >= kMaxQueued) {
        m_waiting = true;
        m_room.wait(lock);
        m_waiting = false;
    }
    m_queued.push_back(std::move(job));
    const bool wake = m_idle && m_queued.size() >= kWakeAt;
    lock.unlock();
    if (wake)
        m_work.notify_one();
}

std::vector<WriteJob> WriteBehind::Drain() {
    std::unique_lock lock(m_mutex);
    if (m_idle && !m_queued.empty())
        m_work.notify_one();
    while (!m_queued.empty() || m_busy) {
        m_waiting = true;
        m_room.wait(lock);
        m_waiting = false;
    }
    m_failed.store(false, std::memory_order_relaxed);
    return std::exchange(m_done, {});
}

// Takes every job queued at once and does them in turn.
void WriteBehind::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (m_queued.empty() && !m_closing) {
            m_idle = true;
            m_work.wait(lock);
            m_idle = false;
        }
        if (m_queued.empty())
            return; // closing, and nothing is left
        std::deque<WriteJob> jobs = std::exchange(m_queued, {});
        m_busy = true;
        if (m_waiting)
            m_room.notify_one(); // the queue has room
        lock.unlock();
        for (WriteJob& job : jobs) {
            job.error = WriteAndClose(job.fd, job.held, 0, job.size, job.times);
            job.held = {}; // its bytes are written: only the outcome waits
            if (job.error != 0)
                m_failed.store(true, std::memory_order_relaxed);
        }
        lock.lock();
        std::move(jobs.begin(), jobs.end(), std::back_inserter(m_done));
        m_busy = false;
        if (m_waiting)
            m_room.notify_one();
    }
}

} // namespace twl
