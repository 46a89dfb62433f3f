#include "dialogs/CloneDialog.h"

#include "app/WorkerThread.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

constexpr char kTitle[] = "Tarnwell Linux Data Recovery ver 1.0.1";
constexpr int kRefreshMs = 250;

QString Duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    return QString("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QChar('0'))
        .arg(whole % 60, 2, 10, QChar('0'));
}

} // namespace

void CloneDialog::Events::CopyProgress(std::uint64_t copied, std::uint64_t all) {
    done.store(copied);
    total.store(all);
}

void CloneDialog::Events::CopyUnreadable(std::uint64_t count) {
    unreadable.store(count);
}

void CloneDialog::Events::RescueProgress(const RescueStatus& status) {
    const std::lock_guard lock(m_statusMutex);
    m_status = status;
}

std::optional<RescueStatus> CloneDialog::Events::LastStatus() {
    const std::lock_guard lock(m_statusMutex);
    return m_status;
}

// The worker's closing words are a box the worker waits on, as every worker's are.
void CloneDialog::Events::Message(MessageIcon icon, const std::string& text) {
    if (m_dialog.m_closing.load())
        return;
    QMetaObject::invokeMethod(
        &m_dialog,
        [this, icon, &text] {
            if (m_dialog.m_closing.load())
                return;
            m_dialog.Refresh();
            m_dialog.m_prompter.Tell(BoxIcon(icon), "Tarnwell Linux", QString::fromStdString(text));
        },
        Qt::BlockingQueuedConnection);
}

void CloneDialog::Events::WorkerDone(WorkerResult result) {
    QMetaObject::invokeMethod(
        &m_dialog,
        [dialog = &m_dialog, completed = result == WorkerResult::kCompleted] {
            dialog->OnWorkerDone(completed);
        },
        Qt::QueuedConnection);
}

CloneDialog::CloneDialog(std::unique_ptr<RecoverySession> session, CopyJob job, Prompter& prompter,
                         QWidget* parent)
    : QDialog(parent), m_session(std::move(session)), m_job(std::move(job)), m_prompter(prompter) {
    const bool clone = m_job.kind == CopyKind::kClone;
    setWindowTitle(QString(kTitle) + (clone ? " Disk Cloning" : " Disk Imaging"));
    setModal(false);
    m_percent = new QLabel("0%");
    m_bar = new QProgressBar;
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    m_status = new QLabel;
    m_detail = new QLabel;
    m_detail->setWordWrap(true); // the copy's state is a long line
    m_stop = new QPushButton(clone ? "Stop Cloning" : "Stop Imaging");
    connect(m_stop, &QPushButton::clicked, this, &CloneDialog::AskStop);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(new QLabel("Progress Completed"));
    progressRow->addWidget(m_percent);
    progressRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(progressRow);
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
    layout->addWidget(m_detail);
    layout->addWidget(m_stop, 0, Qt::AlignRight);
    setMinimumWidth(420);
    m_refresh = new QTimer(this);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &CloneDialog::Refresh);
}

CloneDialog::~CloneDialog() {
    // Never leave the copy running into a window that is gone. A closing message the worker
    // is already waiting on is let through without a box.
    if (m_worker != nullptr) {
        m_closing.store(true);
        m_session->Stop().RequestStop();
        m_session->Stop().Resume();
        while (!m_worker->wait(10))
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        delete m_worker;
    }
}

void CloneDialog::Start() {
    if (m_worker != nullptr)
        return;
    m_session->Stop().Clear();
    m_clock.start();
    ShowCopyProgress(0, m_job.count);
    m_worker = StartWorkerThread(
        [this] { RunCopyWorker(m_session->Source(), m_job, m_session->Stop(), m_events); },
        m_workerThreadId);
    m_refresh->start();
}

void CloneDialog::Refresh() {
    ShowCopyProgress(m_events.done.load(), m_events.total.load());
    if (const std::optional<RescueStatus> status = m_events.LastStatus())
        ShowRescueStatus(*status);
}

void CloneDialog::ShowRescueStatus(const RescueStatus& status) {
    m_detail->setText(QString::fromStdString(RescueProgressText(status)));
}

void CloneDialog::ShowCopyProgress(std::uint64_t done, std::uint64_t total) {
    const int percent = CopyPercent(done, total);
    m_status->setText(QString::fromStdString(CopyProgressText(done, total)));
    m_percent->setText(QString("%1%").arg(percent));
    m_bar->setValue(percent);
    const double seconds = m_clock.isValid() ? static_cast<double>(m_clock.elapsed()) / 1e3 : 0;
    QString detail;
    if (seconds > 0 && done > 0) {
        const double bytesPerSecond = static_cast<double>(done) * kSectorSize / seconds;
        detail = QString("%1 MB/s").arg(bytesPerSecond / 1e6, 0, 'f', 1);
        if (total > done)
            detail += ", time left " +
                      Duration(static_cast<double>(total - done) * kSectorSize / bytesPerSecond);
    }
    const std::uint64_t unreadable = m_events.unreadable.load();
    if (!detail.isEmpty())
        detail += ", ";
    detail += QString("%1 unreadable sector%2").arg(unreadable).arg(unreadable == 1 ? "" : "s");
    m_detail->setText(detail);
}

void CloneDialog::AskStop() {
    if (m_worker == nullptr || m_asking)
        return;
    // The copy waits at its next sector while the question is open.
    m_asking = true;
    m_session->Stop().Pause();
    QWidget* before = m_prompter.SetParent(this);
    const bool stop = m_prompter.Ask(QMessageBox::Question, kTitle, "Do you want to stop process?",
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    m_prompter.SetParent(before);
    if (stop)
        m_session->Stop().RequestStop();
    m_session->Stop().Resume();
    m_asking = false;
}

void CloneDialog::closeEvent(QCloseEvent* event) {
    event->ignore(); // the window goes when the copy has ended
    AskStop();
}

void CloneDialog::OnWorkerDone(bool completed) {
    m_refresh->stop();
    if (m_worker != nullptr) {
        m_worker->wait();
        delete m_worker;
        m_worker = nullptr;
    }
    Refresh();
    hide();
    emit Ended(completed);
}

QString CloneDialog::StatusText() const {
    return m_status->text();
}

QString CloneDialog::PercentText() const {
    return m_percent->text();
}

QString CloneDialog::DetailText() const {
    return m_detail->text();
}

int CloneDialog::ProgressValue() const {
    return m_bar->value();
}

} // namespace twl::gui
