#include "CliEvents.h"

#include "clone/CopyEngine.h"
#include "ext2/TreeBuilder.h"
#include "volumes/ScanRange.h"

#include <ostream>

namespace twl::cli {

bool CliEvents::ProgressDue() {
    if (!m_context.errIsTerminal)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (m_lineShown && now - m_lastShown < std::chrono::milliseconds(200))
        return false;
    m_lastShown = now;
    return true;
}

void CliEvents::ShowProgress(const std::string& text) {
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
    if (ProgressDue())
        ShowProgress(EntriesFoundText(counters) + " (" + std::to_string(percent) + "%)");
}

void CliEvents::ScanProgress(std::uint64_t position, std::uint64_t total) {
    if (ProgressDue())
        ShowProgress(ScanProgressText(position, total) + " (" +
                     std::to_string(ScanPercent(position, total)) + "%)");
}

void CliEvents::RescueProgress(const RescueStatus& status) {
    if (ProgressDue())
        ShowProgress(RescueProgressText(status));
}

void CliEvents::Found(const std::string& text) {
    EndProgressLine();
    m_context.err << text << '\n' << std::flush;
}

void CliEvents::StatusText(int pane, const std::string& text) {
    if (pane == 1) {
        m_pane1 = text;
        return;
    }
    // Pane 0 carries progress ("Reading Inode Sector ...", "Processing Lost File ...").
    if (ProgressDue() && text.find_first_not_of(' ') != std::string::npos)
        ShowProgress(text);
}

void CliEvents::LogRow(const ProcessLogEntry& entry, LogIcon /*icon*/) {
    EndProgressLine();
    m_context.err << entry.processName << ": " << entry.description << " " << entry.status << '\n';
}

void CliEvents::Message(MessageIcon /*icon*/, const std::string& text) {
    m_messages.push_back(text);
}

} // namespace twl::cli
