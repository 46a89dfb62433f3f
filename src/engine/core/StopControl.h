#pragma once

// The stop flag of long engine work, and the pause gate that holds the worker while the user
// is asked whether to stop. The worker calls ShouldStop() at its checkpoints: it blocks there
// while paused and then answers whether a stop was requested.

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace twl {

class StopControl {
public:
    // Cleared by the owner before a worker starts; the engine never clears it.
    void Clear() {
        m_stop.store(false);
        Resume();
    }
    void RequestStop() { m_stop.store(true); }
    bool StopRequested() const { return m_stop.load(); }

    void Pause() {
        std::lock_guard lock(m_mutex);
        m_paused.store(true);
    }
    void Resume() {
        {
            std::lock_guard lock(m_mutex);
            m_paused.store(false);
        }
        m_resumed.notify_all();
    }

    // Waits while paused, then returns whether the work is to stop.
    bool ShouldStop() {
        if (m_paused.load()) {
            std::unique_lock lock(m_mutex);
            m_resumed.wait(lock, [this] { return !m_paused.load(); });
        }
        return m_stop.load();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_paused{false};
    std::mutex m_mutex;
    std::condition_variable m_resumed;
};

} // namespace twl
