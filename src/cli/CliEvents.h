#pragma once

// Engine events for twl: progress on one rewritten stderr line, a few times a second and only
// when stderr is a terminal; closing texts kept for the command to print.

#include "CliContext.h"
#include "core/EngineEvents.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace twl::cli {

class CliEvents : public EngineEvents {
public:
    explicit CliEvents(CliContext& context) : m_context(context) {}
    ~CliEvents() override { EndProgressLine(); }

    void TreeProgress(const TreeCounters& counters, int percent) override;
    void ScanProgress(std::uint64_t position, std::uint64_t total) override;
    void Found(const std::string& text) override;
    void RescueProgress(const RescueStatus& status) override;
    void Message(MessageIcon icon, const std::string& text) override;
    void StatusText(int pane, const std::string& text) override;
    void LogRow(const ProcessLogEntry& entry, LogIcon icon) override;
    void WorkerDone(WorkerResult result) override { m_result = result; }

    // Shows a progress text, when one is due.
    void Show(const std::string& text) {
        if (ProgressDue())
            ShowProgress(text);
    }

    // Clears the progress line, if one is shown, so the next text starts on a clean line.
    void EndProgressLine();

    // The closing texts, in the order they came.
    const std::vector<std::string>& Messages() const { return m_messages; }
    // The last text for status pane 1 (the size line after Turbo Scan).
    const std::string& Pane1() const { return m_pane1; }
    // How the worker ended; empty when it has not reported.
    std::optional<WorkerResult> Result() const { return m_result; }

private:
    bool ProgressDue();
    void ShowProgress(const std::string& text);

    CliContext& m_context;
    std::chrono::steady_clock::time_point m_lastShown{};
    bool m_lineShown = false;
    std::vector<std::string> m_messages;
    std::string m_pane1;
    std::optional<WorkerResult> m_result;
};

} // namespace twl::cli
