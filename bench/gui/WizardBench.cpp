// The wizard of the desktop program, offscreen, on an image standing in for drive 0.
//
//   twl_wizard_bench finish IMAGE   time from Finish on the volume page (the first volume of
//                                   the partition table) to the tree shown in the main window
//   twl_wizard_bench scan IMAGE     the thorough scan of the whole image under its progress
//                                   dialog: its time, and the longest the window went without
//                                   taking events (a 10 ms timer's worst lateness) and without
//                                   a repaint of the progress

#include "app/MainFrame.h"
#include "dialogs/VolumeScanDialog.h"
#include "wizard/DiskPage.h"
#include "wizard/DriveTree.h"
#include "wizard/TaskPage.h"
#include "wizard/VolumePage.h"
#include "wizard/WizardContainer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <string>

using namespace twl;
using namespace twl::gui;

namespace {

double Seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

int Finish(const std::string& image) {
    RecoverySession session(DrivesFromList(image));
    MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.resize(1200, 800);
    frame.show();
    QElapsedTimer fromFinish; // runs on after the wizard closes, until the tree is shown
    frame.Prompts().QueueDialog([&](QDialog& dialog) {
        auto& wizard = dynamic_cast<WizardContainer&>(dialog);
        wizard.show();
        qobject_cast<TaskPage*>(wizard.currentPage())
            ->TaskButton(WizardTask::kRecoverDisk)
            ->click();
        wizard.next();
        auto* disks = qobject_cast<DiskPage*>(wizard.currentPage());
        disks->Drives().setCurrentItem(disks->Drives().topLevelItem(0)->child(0));
        disks->ModeButton(ProcessingMode::kTable)->click();
        wizard.next();
        auto* volumes = qobject_cast<VolumePage*>(wizard.currentPage());
        if (volumes == nullptr || volumes->List().topLevelItemCount() == 0)
            return int(QDialog::Rejected);
        volumes->List().setCurrentItem(volumes->List().topLevelItem(0));
        fromFinish.start();
        wizard.button(QWizard::FinishButton)->click();
        return wizard.result();
    });
    frame.RunWizard(WizardEntry::kCommand);
    if (!fromFinish.isValid())
        return 1;
    while (frame.Running())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QApplication::processEvents();
    std::printf("finish to tree shown %.2f s (%d top folders)\n", Seconds(fromFinish),
                frame.Tree().rowCount(frame.Tree().index(0, 0)));
    return 0;
}

// Counts how long the window went between two paints of a widget.
class PaintGaps : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (m_clock.isValid())
                m_longest = std::max(m_longest, m_clock.restart());
            else
                m_clock.start();
        }
        return QObject::eventFilter(watched, event);
    }
    qint64 Longest() const { return m_longest; }

private:
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

int Scan(const std::string& image) {
    RecoverySession session;
    if (!OpenSource(session, {kImageDriveId, image}).Ok())
        return 1;
    Prompter prompter(nullptr);
    prompter.SetUnattended(true);
    VolumeScanDialog dialog(session, VolumeSearch(ProcessingMode::kScan, ScanMode::kThorough),
                            prompter);
    PaintGaps paints;
    for (QWidget* child : dialog.findChildren<QWidget*>())
        child->installEventFilter(&paints);
    QElapsedTimer tick;
    qint64 worstLate = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (tick.isValid())
            worstLate = std::max(worstLate, tick.restart() - 10);
        else
            tick.start();
    });
    ticker.start(10);
    QElapsedTimer timer;
    timer.start();
    dialog.exec();
    std::printf("thorough scan %.2f s, %lld volume(s) found\n"
                "longest wait for events %lld ms, longest gap between repaints %lld ms\n",
                Seconds(timer), static_cast<long long>(dialog.FoundRows().size()),
                static_cast<long long>(worstLate), static_cast<long long>(paints.Longest()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "finish")
        return Finish(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "scan")
        return Scan(argv[2]);
    std::fprintf(stderr, "usage: twl_wizard_bench finish|scan IMAGE\n");
    return 2;
}
