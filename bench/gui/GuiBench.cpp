// Times the desktop program on an image, offscreen: from starting tree creation to the tree
// pane showing the tree, and listing the largest folder in the list pane. Prints seconds and
// the peak memory of the process.
//
//   twl_gui_bench IMAGE

#include "app/MainFrame.h"
#include "ext2/VolumeOpen.h"
#include "volumes/PartitionTableWalk.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>

#include <cstdio>
#include <sys/resource.h>

using namespace twl;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: twl_gui_bench IMAGE\n");
        return 2;
    }
    RecoverySession session;
    session.Source().SelectImageFile(argv[1]);
    session.SetMode(ProcessingMode::kTable);
    ListVolumesFromTable(session.Source(), kImageDriveId, session.Lists());
    if (OpenListedVolume(session, 0, {}) != OpenOutcome::kOpened)
        return 1;
    gui::MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.resize(1200, 800);
    frame.show();
    QElapsedTimer timer;
    timer.start();
    frame.StartTreeCreation();
    while (frame.Running())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QApplication::processEvents();
    const double treeSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    // The folder with the most entries.
    const Catalog& catalog = session.Catalogue();
    NodeId largest = kRootAnchor;
    std::size_t most = 0;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        std::size_t count = 0;
        for (NodeId c = catalog.Node(id).first_child; c != kNoNode; c = catalog.Node(c).next_sibling)
            ++count;
        if (count > most) {
            most = count;
            largest = id;
        }
    });
    timer.restart();
    frame.ShowFolder(largest);
    frame.findChild<QTableView*>("fileList")->repaint();
    QApplication::processEvents();
    const double listSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("tree shown %.2f s\nlist of %zu entries %.3f s\npeak memory %.1f MiB\n",
                treeSeconds, most - 1, listSeconds, static_cast<double>(usage.ru_maxrss) / 1024);
    return 0;
}
