#pragma once

// Engine events from a worker thread, brought to the main frame on the UI thread. Progress
// and status texts are kept as the latest values and shown by the frame's timer a few dozen
// times a second; log rows, closing messages and the end of the worker are handed over one
// by one, and the worker waits until the UI thread has dealt with each, as it waits while
// a message box is open.

#include "core/EngineEvents.h"
#include "ext2/TreeBuilder.h"

#include <QElapsedTimer>
#include <QString>
#include <array>
#include <mutex>
#include <optional>

namespace twl::gui {

class MainFrame;

class GuiEvents final : public EngineEvents {
public:
    explicit GuiEvents(MainFrame& frame) : m_frame(frame) {}

    void StatusText(int pane, const std::string& text) override;
    void Progress(int percent) override;
    void TreeProgress(const TreeCounters& counters, int percent) override;
    void SaveProgress(const SaveProgressInfo& progress) override;
    void LogRow(const ProcessLogEntry& entry, LogIcon icon) override;
    void Message(MessageIcon icon, const std::string& text) override;
    void WorkerDone(WorkerResult result) override;

    // What changed since the last call, for the frame's timer: texts for panes 0 to 2 and
    // the progress bar's position.
    struct Pending {
        std::array<std::optional<QString>, 3> panes;
        std::optional<int> progress;
    };
    Pending Take();

private:
    void SaveText(Pending& pending) const;

    MainFrame& m_frame;
    std::mutex m_mutex;
    Pending m_pending;
    // The tree walk reports after every entry: its counters are kept as they come and turned
    // into texts only when the frame shows them.
    std::optional<TreeCounters> m_tree;
    std::optional<SaveProgressInfo> m_save;
    QElapsedTimer m_saveClock; // since the first file of a save, for its rate
};

} // namespace twl::gui
