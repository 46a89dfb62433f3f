#include "dialogs/VolumeScanDialog.h"

#include "app/WorkerThread.h"
#include "volumes/ScanRange.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace twl::gui {
namespace {

// Progress reaches the screen at most this often; finds and the end are never dropped.
constexpr int kRefreshMs = 33;
constexpr char kQuestionCaption[] = "Tarnwell Linux ";

} // namespace

void VolumeScanDialog::Events::ScanProgress(std::uint64_t position, std::uint64_t total) {
    std::lock_guard lock(m_mutex);
    m_pending.position = position;
    m_pending.total = total;
}

void VolumeScanDialog::Events::Found(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_pending.found.push_back(text);
}

void VolumeScanDialog::Events::Message(MessageIcon icon, const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_messages.emplace_back(icon, text);
}

// The dialog learns of the end from the thread itself.
void VolumeScanDialog::Events::WorkerDone(WorkerResult /*result*/) {}

VolumeScanDialog::Events::Taken VolumeScanDialog::Events::Take() {
    std::lock_guard lock(m_mutex);
    Taken taken = std::move(m_pending);
    m_pending = {};
    m_pending.position = taken.position;
    m_pending.total = taken.total;
    return taken;
}

std::vector<std::pair<MessageIcon, std::string>> VolumeScanDialog::Events::TakeMessages() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_messages, {});
}

VolumeScanDialog::VolumeScanDialog(RecoverySession& session, VolumeSearch search,
                                   Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_session(session), m_search(std::move(search)), m_prompter(prompter) {
    setWindowTitle("Tarnwell Linux Logical Volume Search");
    m_found = new QListWidget;
    m_found->setMinimumWidth(380);
    auto* heading = new QLabel("Logical Drive Information");
    m_percent = new QLabel("0%");
    m_bar = new QProgressBar;
    m_bar->setRange(0, 100);
    m_bar->setTextVisible(false);
    m_status = new QLabel;
    m_stop = new QPushButton("Stop Scanning");
    m_stop->setDefault(true);
    connect(m_stop, &QPushButton::clicked, this, &VolumeScanDialog::reject);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(new QLabel("Progress Completed"));
    progressRow->addWidget(m_percent);
    progressRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_found);
    layout->addLayout(progressRow);
    layout->addWidget(m_bar);
    layout->addWidget(m_status);
    layout->addWidget(m_stop, 0, Qt::AlignRight);
    m_refresh = new QTimer(this);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &VolumeScanDialog::ShowProgress);
}

VolumeScanDialog::~VolumeScanDialog() {
    // Never leave the sweep running into a dialog that is gone.
    if (m_worker != nullptr) {
        m_session.ScanStop().RequestStop();
        m_session.ScanStop().Resume();
        m_worker->wait();
        delete m_worker;
    }
}

void VolumeScanDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_worker == nullptr)
        QTimer::singleShot(0, this, &VolumeScanDialog::Start);
}

void VolumeScanDialog::Start() {
    if (m_worker != nullptr)
        return;
    m_session.ScanStop().Clear();
    // The worker posts its own end as its last act: a sweep that ends at once is not missed.
    m_worker = StartWorkerThread(
        [this] {
            m_listing = FindVolumes(m_session, m_search, m_events);
            QMetaObject::invokeMethod(this, &VolumeScanDialog::OnWorkerEnded, Qt::QueuedConnection);
        },
        m_workerThreadId);
    m_refresh->start();
}

void VolumeScanDialog::ShowProgress() {
    Events::Taken taken = m_events.Take();
    for (const std::string& text : taken.found)
        m_found->insertItem(0, QString::fromStdString(text));
    if (taken.total == 0)
        return;
    const int percent = ScanPercent(taken.position, taken.total);
    m_status->setText(QString::fromStdString(ScanProgressText(taken.position, taken.total)));
    m_percent->setText(QString("%1%").arg(percent));
    m_bar->setValue(percent);
}

void VolumeScanDialog::reject() {
    if (m_worker == nullptr || m_ended || m_asking)
        return;
    // The sweep waits at its next window while the question is open.
    m_asking = true;
    m_session.ScanStop().Pause();
    QWidget* before = m_prompter.SetParent(this);
    const bool stop =
        m_prompter.Ask(QMessageBox::Question, kQuestionCaption, "Do you want to stop Process?",
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    m_prompter.SetParent(before);
    if (stop)
        m_session.ScanStop().RequestStop();
    m_session.ScanStop().Resume();
    m_asking = false;
    if (m_ended) // the worker ended while the question was open
        OnWorkerEnded();
}

void VolumeScanDialog::OnWorkerEnded() {
    m_ended = true;
    if (m_asking)
        return; // taken up again once the question is answered
    m_refresh->stop();
    ShowProgress();
    m_worker->wait();
    delete m_worker;
    m_worker = nullptr;
    if (!m_session.ScanStop().StopRequested()) {
        m_percent->setText("100%");
        m_bar->setValue(100);
    }
    QWidget* before = m_prompter.SetParent(this);
    if (!m_listing.rangeError.empty())
        m_prompter.Tell(QMessageBox::Critical, "Tarnwell Linux",
                        QString::fromStdString(m_listing.rangeError));
    for (const auto& [icon, text] : m_events.TakeMessages())
        m_prompter.Tell(BoxIcon(icon), kQuestionCaption, QString::fromStdString(text));
    m_prompter.SetParent(before);
    QDialog::accept();
}

QStringList VolumeScanDialog::FoundRows() const {
    QStringList rows;
    for (int row = 0; row < m_found->count(); ++row)
        rows << m_found->item(row)->text();
    return rows;
}

QString VolumeScanDialog::StatusText() const {
    return m_status->text();
}

QString VolumeScanDialog::PercentText() const {
    return m_percent->text();
}

int VolumeScanDialog::ProgressValue() const {
    return m_bar->value();
}

} // namespace twl::gui
