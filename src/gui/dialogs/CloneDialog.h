#pragma once

// The progress window of a clone or an imaging run: it starts the copy on a worker and shows
// "Copying Sector %lu of %lu", the percent and the bar, and under them the copy's pass, its
// position, the rate, the bad sectors, the time since the last good read and the time left. Stop,
// Esc and the close box hold the copy while the user is asked whether to stop. It is modeless: the
// main window stays usable meanwhile. It ends (Ended) only once the worker has ended and its
// closing message was shown.

#include "app/Prompter.h"
#include "clone/CopyEngine.h"
#include "session/RecoverySession.h"

#include <QDialog>
#include <QElapsedTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;

namespace twl::gui {

class CloneDialog : public QDialog {
    Q_OBJECT
public:
    // `session` holds the drives the copy reads; the dialog keeps it until the copy ends.
    CloneDialog(std::unique_ptr<RecoverySession> session, CopyJob job, Prompter& prompter,
                QWidget* parent = nullptr);
    ~CloneDialog() override;

    const CopyJob& Job() const { return m_job; }
    // Starts the copy; a second call while it runs does nothing.
    void Start();
    // "Stop Cloning" / "Stop Imaging", Esc and the close box.
    void AskStop();

    // Shows `done` of `total` sectors, and the rate and time left since the start.
    void ShowCopyProgress(std::uint64_t done, std::uint64_t total);
    // Shows the copy's pass, position, rate, bad sectors and time left under the bar.
    void ShowRescueStatus(const RescueStatus& status);
    QString StatusText() const;
    QString PercentText() const;
    QString DetailText() const;
    int ProgressValue() const;

    void reject() override { AskStop(); }

signals:
    // The copy has ended: completed, or stopped or failed.
    void Ended(bool completed);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Events final : public EngineEvents {
    public:
        explicit Events(CloneDialog& dialog) : m_dialog(dialog) {}
        void CopyProgress(std::uint64_t done, std::uint64_t total) override;
        void CopyUnreadable(std::uint64_t unreadable) override;
        void RescueProgress(const RescueStatus& status) override;
        // The last state the copy told, if it told one.
        std::optional<RescueStatus> LastStatus();
        void Message(MessageIcon icon, const std::string& text) override;
        void WorkerDone(WorkerResult result) override;

        std::atomic<std::uint64_t> done{0};
        std::atomic<std::uint64_t> total{0};
        std::atomic<std::uint64_t> unreadable{0};

    private:
        std::mutex m_statusMutex;
        std::optional<RescueStatus> m_status;
        CloneDialog& m_dialog;
    };

    void Refresh();
    void OnWorkerDone(bool completed);

    std::unique_ptr<RecoverySession> m_session;
    CopyJob m_job;
    Prompter& m_prompter;
    Events m_events{*this};
    QLabel* m_percent = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_detail = nullptr;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_stop = nullptr;
    QTimer* m_refresh = nullptr;
    QThread* m_worker = nullptr;
    std::atomic<long> m_workerThreadId{0};
    QElapsedTimer m_clock;
    bool m_asking = false;
    std::atomic<bool> m_closing{false}; // the window is going: no more boxes
};

} // namespace twl::gui
