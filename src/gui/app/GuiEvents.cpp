#include "app/GuiEvents.h"

#include "app/MainFrame.h"

#include <QMetaObject>
#include <QThread>

namespace twl::gui {
namespace {

// Runs `work` on the frame's thread and waits for it; runs it at once when already there.
template <typename Work>
void OnUiThread(MainFrame& frame, Work work) {
    if (QThread::currentThread() == frame.thread())
        work();
    else
        QMetaObject::invokeMethod(&frame, work, Qt::BlockingQueuedConnection);
}

} // namespace

void GuiEvents::StatusText(int pane, const std::string& text) {
    if (pane < 0 || pane > 2)
        return;
    std::lock_guard lock(m_mutex);
    m_pending.panes[static_cast<std::size_t>(pane)] = QString::fromStdString(text);
}

void GuiEvents::Progress(int percent) {
    std::lock_guard lock(m_mutex);
    m_pending.progress = percent;
}

void GuiEvents::TreeProgress(const TreeCounters& counters, int percent) {
    std::lock_guard lock(m_mutex);
    m_tree = counters;
    m_pending.progress = percent;
}

GuiEvents::Pending GuiEvents::Take() {
    std::lock_guard lock(m_mutex);
    Pending taken = m_pending;
    if (m_tree) {
        taken.panes[0] = QString::fromStdString(EntriesFoundText(*m_tree));
        taken.panes[1] = QString::fromStdString(SizeLineText(*m_tree));
    }
    m_pending = {};
    m_tree.reset();
    return taken;
}

void GuiEvents::LogRow(const ProcessLogEntry& entry, LogIcon icon) {
    OnUiThread(m_frame, [&] { m_frame.AddLogRow(entry, static_cast<int>(icon)); });
}

void GuiEvents::Message(MessageIcon icon, const std::string& text) {
    // Texts shown before the box must be on screen with it.
    OnUiThread(m_frame, [&] {
        m_frame.ShowPending();
        m_frame.ShowWorkerMessage(icon, QString::fromStdString(text));
    });
}

void GuiEvents::WorkerDone(WorkerResult result) {
    QMetaObject::invokeMethod(
        &m_frame, [frame = &m_frame, result] { frame->OnWorkerDone(result); },
        Qt::QueuedConnection);
}

} // namespace twl::gui
