// Times the desktop program on an image, offscreen: from starting tree creation to the tree
// pane showing the tree, and listing the largest folder in the list pane. Prints seconds and
// the peak memory of the process.
//
//   twl_gui_bench IMAGE
//   twl_gui_bench --wide N     (a catalogue with one folder of N files, listed)
//   twl_gui_bench --find IMAGE (Find of a name that is not there, then Find of "file-00*"
//                               and 100 Find Next steps through its matches)
//   twl_gui_bench --save IMAGE OUT (Save All into the folder OUT through the save dialog)

#include "app/FindDialog.h"
#include "app/MainFrame.h"
#include "dialogs/SaveDialog.h"
#include "session/SourceOpening.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/resource.h>

using namespace twl;

// Marks the root item, which marks every node, and shows the result; returns the seconds.
double MarkEverything(gui::MainFrame& frame) {
    QElapsedTimer timer;
    timer.start();
    frame.Tree().setData(frame.Tree().RootIndex(), Qt::Checked, Qt::CheckStateRole);
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Lists a folder of `count` files in the list pane; prints the seconds it took, and those
// of marking everything.
void ListWideFolder(std::size_t count) {
    RecoverySession session;
    Catalog& catalog = session.Catalogue();
    const NodeId wide = catalog.AddNode("wide");
    catalog.Node(wide).type = kTypeFolder;
    catalog.AttachChildList(kRootAnchor, wide);
    NodeId tail = catalog.AddNode("D:\\$TW\\wide");
    catalog.Node(tail).is_header = 1;
    catalog.AttachChildList(wide, tail);
    for (std::size_t i = 0; i < count; ++i) {
        const NodeId file = catalog.AddNode("entry-" + std::to_string(i));
        catalog.Node(file).type = kTypeFile;
        catalog.Node(file).size = i;
        catalog.Node(file).inode = static_cast<InodeNo>(i + 12);
        catalog.LinkSibling(tail, file);
        tail = file;
    }
    gui::MainFrame frame(session);
    frame.Prompts().SetUnattended(true);
    frame.resize(1200, 800);
    frame.show();
    frame.Tree().Rebuild(catalog);
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    frame.ShowFolder(wide);
    frame.findChild<QTableView*>("fileList")->repaint();
    QApplication::processEvents();
    const double listSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::printf("list of %zu entries %.3f s\nmarking everything %.3f s\n", count, listSeconds,
                MarkEverything(frame));
}

// Finds `pattern` through the Find dialog; returns the seconds.
double TimeFind(gui::MainFrame& frame, const QString& pattern) {
    frame.Prompts().QueueDialog([&pattern](QDialog& dialog) {
        dynamic_cast<gui::FindDialog&>(dialog).Fill(pattern, false, false);
        return int(QDialog::Accepted);
    });
    QElapsedTimer timer;
    timer.start();
    frame.Command(gui::kCmdFind)->trigger();
    QApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

int FindBench(gui::MainFrame& frame) {
    std::printf("find of a missing name %.3f s\n", TimeFind(frame, "no-such-name"));
    std::printf("find of file-00* %.3f s\n", TimeFind(frame, "file-00*"));
    double slowest = 0;
    QElapsedTimer all;
    all.start();
    for (int step = 0; step < 100; ++step) {
        QElapsedTimer timer;
        timer.start();
        frame.Command(gui::kCmdFindNext)->trigger();
        QApplication::processEvents();
        slowest = std::max(slowest, static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("100 find next steps %.3f s, slowest step %.4f s\n",
                static_cast<double>(all.nsecsElapsed()) / 1e9, slowest);
    return frame.FindPosition() != kNoNode ? 0 : 1;
}

// Save All into `out` through the save dialog; prints the seconds to the save's end.
int SaveBench(gui::MainFrame& frame, const QString& out) {
    frame.Prompts().QueueDialog([&out](QDialog& dialog) {
        dynamic_cast<gui::SaveDialog&>(dialog).ChooseFolder(out);
        dialog.accept();
        return dialog.result();
    });
    QElapsedTimer timer;
    timer.start();
    frame.Command(gui::kCmdSaveAll)->trigger();
    while (frame.Running())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    QApplication::processEvents();
    std::printf("save all %.2f s\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
    return 0;
}

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const bool find = argc == 3 && std::string(argv[1]) == "--find";
    const bool save = argc == 4 && std::string(argv[1]) == "--save";
    const QString out = save ? QString::fromLocal8Bit(argv[3]) : QString();
    if (find || save) {
        argv[1] = argv[2];
        argc = 2;
    }
    if (argc == 3 && std::string(argv[1]) == "--wide") {
        const std::size_t count = std::stoul(argv[2]);
        ListWideFolder(count);
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: twl_gui_bench IMAGE | --wide N | --find IMAGE | --save IMAGE OUT\n");
        return 2;
    }
    RecoverySession session;
    EngineEvents quiet;
    if (OpenSourceVolume(session, {kImageDriveId, argv[1]}, VolumeSearch(ProcessingMode::kTable), 0,
                         {}, quiet)
            .outcome != OpenOutcome::kOpened)
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
    if (find)
        return FindBench(frame);
    if (save)
        return SaveBench(frame, out);

    // The folder with the most entries.
    const Catalog& catalog = session.Catalogue();
    NodeId largest = kRootAnchor;
    std::size_t most = 0;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId id) {
        std::size_t count = 0;
        for (NodeId c = catalog.Node(id).first_child; c != kNoNode;
             c = catalog.Node(c).next_sibling)
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
    const double markSeconds = MarkEverything(frame);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("tree shown %.2f s\nlist of %zu entries %.3f s\nmarking everything %.3f s\n"
                "peak memory %.1f MiB\n",
                treeSeconds, most - 1, listSeconds, markSeconds,
                static_cast<double>(usage.ru_maxrss) / 1024);
    return 0;
}
