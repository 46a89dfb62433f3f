#include "dialogs/VolumeFinish.h"

#include "app/WorkerThread.h"
#include "dialogs/WaitDialog.h"
#include "session/ListedVolumes.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <memory>

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";

QMessageBox::Icon FailureIcon(OpenOutcome outcome) {
    return outcome == OpenOutcome::kFingerprintMismatch ? QMessageBox::NoIcon
                                                        : QMessageBox::Critical;
}

} // namespace

bool FinishVolumeOpen(QWidget* parent, Prompter& prompter, RecoverySession& session,
                      std::size_t row) {
    QWidget* before = prompter.SetParent(parent);
    std::unique_ptr<WaitDialog> wait;
    QObject uiThread; // where the worker's question is asked
    // Asked on the worker when the primary superblock is damaged: the question and the wait
    // dialog belong to the UI thread, and the worker waits for the answer.
    const std::function<bool()> searchForBackup = [&] {
        bool search = false;
        QMetaObject::invokeMethod(
            &uiThread,
            [&] {
                search = prompter.Ask(QMessageBox::Warning, kCaption,
                                      EngineText(kPrimaryDamagedQuestion),
                                      QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
                if (search) {
                    wait = std::make_unique<WaitDialog>(parent);
                    wait->show();
                }
            },
            Qt::BlockingQueuedConnection);
        return search;
    };
    OpenOutcome outcome = OpenOutcome::kNoSource;
    std::string text;
    std::atomic<long> threadId{0};
    // The window stays live meanwhile: the question and the wait dialog are modal, and the
    // page does not take a second Finish while this one runs. The worker itself posts the
    // end of the wait as its last act, so that it can never end unseen.
    QEventLoop loop;
    QThread* worker = StartWorkerThread(
        [&] {
            outcome = OpenListedVolume(session, row, searchForBackup, &text);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        },
        threadId);
    loop.exec();
    worker->wait();
    delete worker;
    wait.reset();
    if (outcome == OpenOutcome::kOpened && !text.empty())
        prompter.Tell(QMessageBox::Warning, kCaption, QString::fromStdString(text));
    else if (outcome != OpenOutcome::kOpened && !text.empty())
        prompter.Tell(FailureIcon(outcome), kCaption, QString::fromStdString(text));
    prompter.SetParent(before);
    return outcome == OpenOutcome::kOpened;
}

} // namespace twl::gui
