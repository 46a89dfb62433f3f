#pragma once

// The logical volume scan under its progress window: the sweep runs on a worker while the
// dialog shows the sector being read, the percent and every superblock found (the newest on
// top). "Stop Scanning", Esc and the close box hold the sweep while the user is asked, and a
// stop keeps what was found. The dialog closes, with OK, only once the worker has ended, so
// the volume lists are complete when the wizard reads them.

#include "app/Prompter.h"
#include "core/EngineEvents.h"
#include "session/RecoverySession.h"
#include "session/SourceOpening.h"

#include <QDialog>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;

namespace twl::gui {

class VolumeScanDialog : public QDialog {
    Q_OBJECT
public:
    VolumeScanDialog(RecoverySession& session, VolumeSearch search, Prompter& prompter,
                     QWidget* parent = nullptr);
    ~VolumeScanDialog() override;

    // What the dialog shows, for tests.
    QStringList FoundRows() const;
    QString StatusText() const;
    QString PercentText() const;
    int ProgressValue() const;
    // What the sweep listed; valid once the dialog has closed.
    const VolumeListing& Listing() const { return m_listing; }

    // "Stop Scanning", Esc or the close box.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // What the worker reports, kept for the UI thread.
    class Events final : public EngineEvents {
    public:
        void ScanProgress(std::uint64_t position, std::uint64_t total) override;
        void Found(const std::string& text) override;
        void Message(MessageIcon icon, const std::string& text) override;
        void WorkerDone(WorkerResult result) override;

        struct Taken {
            std::uint64_t position = 0;
            std::uint64_t total = 0;
            std::vector<std::string> found;
        };
        Taken Take();
        std::vector<std::pair<MessageIcon, std::string>> TakeMessages();

    private:
        std::mutex m_mutex;
        Taken m_pending;
        std::vector<std::pair<MessageIcon, std::string>> m_messages;
    };

    void Start();
    void ShowProgress();
    void OnWorkerEnded();

    RecoverySession& m_session;
    VolumeSearch m_search;
    VolumeListing m_listing;
    Prompter& m_prompter;
    Events m_events;
    QListWidget* m_found = nullptr;
    QLabel* m_percent = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_stop = nullptr;
    QTimer* m_refresh = nullptr;
    QThread* m_worker = nullptr;
    std::atomic<long> m_workerThreadId{0};
    bool m_ended = false;
    bool m_asking = false;
};

} // namespace twl::gui
