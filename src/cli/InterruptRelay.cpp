#include "InterruptRelay.h"

namespace twl::cli {

InterruptRelay::Watch::Watch(InterruptRelay* relay, std::initializer_list<StopControl*> stops)
    : m_relay(relay) {
    if (m_relay == nullptr)
        return;
    const std::lock_guard lock(m_relay->m_mutex);
    m_relay->m_stops.assign(stops);
}

InterruptRelay::Watch::~Watch() {
    if (m_relay == nullptr)
        return;
    const std::lock_guard lock(m_relay->m_mutex);
    m_relay->m_stops.clear();
}

bool InterruptRelay::Interrupt(int signal) {
    const std::lock_guard lock(m_mutex);
    int none = 0;
    if (m_stops.empty() || !m_signal.compare_exchange_strong(none, signal))
        return false;
    for (StopControl* stop : m_stops)
        stop->RequestStop();
    return true;
}

} // namespace twl::cli
