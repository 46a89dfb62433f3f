#include "app/GuiEvents.h"

#include "app/MainFrame.h"
#include "models/ShownName.h"

#include <QMetaObject>
#include <QThread>
#include <algorithm>

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

// Kept as it comes, and made text only when the frame shows it: a save reports every file.
void GuiEvents::SaveProgress(const SaveProgressInfo& progress) {
    std::lock_guard lock(m_mutex);
    if (progress.filesDone == 0 || !m_saveClock.isValid())
        m_saveClock.start();
    m_save = progress;
}

// "Saving file 12 of 300, 4.1 MB of 10.2 MB, 38.5 MB/s: /docs/a.txt", and the bytes' share.
void GuiEvents::SaveText(Pending& pending) const {
    const SaveProgressInfo& progress = *m_save;
    const double seconds = static_cast<double>(m_saveClock.elapsed()) / 1e3;
    QString text = QString("Saving file %1 of %2, %3 MB of %4 MB")
                       .arg(progress.filesDone + 1)
                       .arg(progress.filesTotal)
                       .arg(static_cast<double>(progress.bytesDone) / 1e6, 0, 'f', 1)
                       .arg(static_cast<double>(progress.bytesTotal) / 1e6, 0, 'f', 1);
    if (seconds > 0.5)
        text += QString(", %1 MB/s")
                    .arg(static_cast<double>(progress.bytesDone) / 1e6 / seconds, 0, 'f', 1);
    pending.panes[0] = text + ": " + ShownName(progress.path);
    pending.progress = static_cast<int>(progress.bytesDone * 100 /
                                        std::max<std::uint64_t>(1, progress.bytesTotal));
}

GuiEvents::Pending GuiEvents::Take() {
    std::lock_guard lock(m_mutex);
    Pending taken = m_pending;
    if (m_tree) {
        taken.panes[0] = QString::fromStdString(EntriesFoundText(*m_tree));
        taken.panes[1] = QString::fromStdString(SizeLineText(*m_tree));
    }
    if (m_save) {
        SaveText(taken);
        m_save.reset();
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
