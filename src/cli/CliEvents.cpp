#include "CliEvents.h"

#include "ext2/TreeBuilder.h"

#include <ostream>

namespace twl::cli {

void CliEvents::ShowProgress(const std::string& text) {
    if (!m_context.errIsTerminal)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_lineShown && now - m_lastShown < std::chrono::milliseconds(200))
        return;
    m_lastShown = now;
    m_lineShown = true;
    m_context.err << '\r' << text << "\x1b[K" << std::flush;
}

void CliEvents::EndProgressLine() {
    if (!m_lineShown)
        return;
    m_context.err << "\r\x1b[K" << std::flush;
    m_lineShown = false;
}

void CliEvents::TreeProgress(const TreeCounters& counters, int percent) {
    if (m_context.errIsTerminal)
        ShowProgress(EntriesFoundText(counters) + " (" + std::to_string(percent) + "%)");
}

void CliEvents::Message(MessageIcon /*icon*/, const std::string& text) {
    m_message = text;
}

} // namespace twl::cli
