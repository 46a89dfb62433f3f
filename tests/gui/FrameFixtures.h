#pragma once

// What the desktop program's tests share: a small partitioned disk made with sfdisk and
// mke2fs, a main frame over its open volume that answers every box itself, and readers of
// the texts that models and menus show.

#include "app/MainFrame.h"
#include "fixtures/TempDir.h"
#include "session/SourceOpening.h"

#include <QAction>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>

namespace twl::gui::testing {

// A disk image with one ext2 volume at sector 2048 holding docs/a.txt (mode 0640) and the
// empty folder docs/deep.
struct DemoDisk {
    fixtures::TempDir dir;
    std::string image = dir.File("disk.img");
    DemoDisk() {
        const std::string src = dir.File("src");
        std::filesystem::create_directories(src + "/docs/deep");
        std::ofstream(src + "/docs/a.txt") << "seven\n";
        std::filesystem::permissions(src + "/docs/a.txt", std::filesystem::perms(0640));
        std::ofstream(dir.File("layout")) << "label: dos\nstart=2048, size=4096, type=83\n";
        fixtures::RunShell(std::string(TWL_MAKE_DISK_IMAGE) + " " + image + " 3 " +
                           dir.File("layout") + " 1:ext2:" + src + ":gui >/dev/null");
    }
    // A session with the disk's volume open, as the wizard leaves it.
    void Open(RecoverySession& session) const {
        EngineEvents quiet;
        const VolumeOpening opening = OpenSourceVolume(
            session, {kImageDriveId, image}, VolumeSearch(ProcessingMode::kTable), 0, {}, quiet);
        QCOMPARE(opening.outcome, OpenOutcome::kOpened);
    }
};

// A frame over the demo disk's open volume, answering every box itself.
struct BuiltFrame {
    DemoDisk disk;
    RecoverySession session;
    std::unique_ptr<MainFrame> frame;

    BuiltFrame() {
        disk.Open(session);
        frame = std::make_unique<MainFrame>(session);
        frame->Prompts().SetUnattended(true);
    }
    // Builds the tree on the worker; false when it did not end in time.
    bool Build() {
        frame->StartTreeCreation();
        return QTest::qWaitFor([this] { return !frame->Running(); }, 10000);
    }
    // Runs Turbo Scan on the worker; false when it did not end in time.
    bool Turbo() {
        frame->TurboScan();
        return QTest::qWaitFor([this] { return !frame->Running(); }, 10000);
    }
};

// A bare ext2 image of `src` (no partition table, 1024 blocks of 1 KiB), changed by `debugfs`
// commands when given, found by the quick scan and opened in `session`.
inline void OpenBareVolume(RecoverySession& session, const fixtures::TempDir& dir,
                           const std::string& src, const std::string& debugfs = {}) {
    const std::string image = dir.File("bare.img");
    fixtures::RunShell("mke2fs -q -F -t ext2 -d '" + src + "' " + image + " 1024 >/dev/null 2>&1");
    if (!debugfs.empty()) {
        std::ofstream(dir.File("commands")) << debugfs;
        fixtures::RunShell("debugfs -w -f " + dir.File("commands") + " " + image +
                           " >/dev/null 2>&1");
    }
    EngineEvents quiet;
    const VolumeOpening opening = OpenSourceVolume(
        session, {kImageDriveId, image}, VolumeSearch(ProcessingMode::kScan), 0, {}, quiet);
    QCOMPARE(opening.outcome, OpenOutcome::kOpened);
}

inline QStringList Texts(const QList<QAction*>& actions) {
    QStringList texts;
    for (const QAction* action : actions) {
        if (!action->isSeparator())
            texts << action->text();
    }
    return texts;
}

inline QStringList Column(const QAbstractItemModel& model, int column,
                          const QModelIndex& parent = {}) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts << model.index(row, column, parent).data().toString();
    return texts;
}

} // namespace twl::gui::testing
