#pragma once

// Ctrl-C (SIGINT) and SIGTERM for twl: a signal stops the long work under way at its next
// safe point (a copy writes its map first), so the command ends cleanly and says so. With
// no work under way, or at a second signal, twl ends at once.

#include "core/StopControl.h"

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace twl::cli {

class InterruptRelay {
public:
    // Sends an interrupt to `stops` for as long as it lives.
    class Watch {
    public:
        Watch(InterruptRelay* relay, std::initializer_list<StopControl*> stops);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        InterruptRelay* m_relay;
    };

    // From the thread that waits for signals: stops the watched work. False when there is
    // none, or when an interrupt came before: the caller then ends the program.
    bool Interrupt(int signal);
    // The signal that stopped the work; 0 when none did.
    int Signal() const { return m_signal.load(); }

private:
    std::mutex m_mutex;
    std::vector<StopControl*> m_stops;
    std::atomic<int> m_signal{0};
};

} // namespace twl::cli
