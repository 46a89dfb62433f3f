// The wizard's dialogs: the sector range and its checks, the scan procedure's cancels, the
// volume scan with a stop answered No and then Yes, and the volume page's Finish step with
// its messages.

#include "dialogs/DiskScanDialog.h"
#include "dialogs/SectorRangeDialog.h"
#include "dialogs/VolumeFinish.h"
#include "dialogs/VolumeScanDialog.h"
#include "dialogs/VolumeScanProcedure.h"
#include "fixtures/FileReaders.h"
#include "fixtures/TempDir.h"
#include "fixtures/TestDisks.h"
#include "session/ListedVolumes.h"
#include "volumes/ScanRange.h"

#include <QtTest>
#include <filesystem>

using namespace twl;
using namespace twl::gui;

namespace {

std::string PartitionedDisk() {
    return fixtures::TestDisk("partitioned") + "/disk.img";
}

// A session over `image`, opened as the image file source.
void OpenImage(RecoverySession& session, const std::string& image) {
    QVERIFY(OpenSource(session, {kImageDriveId, image}).Ok());
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void TheRangeIsCheckedInOrderAndKeptOpenOnAMistake();
    void CancellingTheModeIsQuietAndCancellingTheRangeIsSaid();
    void QuickAndThoroughScansListWhatTheyFindInTheirRange();
    void AStopAnsweredNoGoesOnAndYesKeepsTheFinds();
    void FinishOpensTheVolumeOrSaysWhyNot();
};

void DialogsTest::TheRangeIsCheckedInOrderAndKeptOpenOnAMistake() {
    struct Case {
        QString start, end;
        QString message; // "" when the range is taken
        SectorNo first, last;
    };
    const Case cases[] = {
        {"0", "999", "", 0, 999},
        {"12abc", "40", "", 12, 40}, // digits end at the first other character
        {"x", "5", "", 0, 5},        // no digits read as 0
        {"0", "1000", "Invalid value for end Sector", 0, 0},
        {"1000", "999", " Invalid value for start Sector", 0, 0},
        {"500", "500", "End Sector should be greater then start sector", 0, 0},
        {"700", "-3", "End Sector should be greater then start sector", 0, 0},
        {"99999999999999999999999", "5", " Invalid value for start Sector", 0, 0},
    };
    for (const Case& c : cases) {
        Prompter prompter(nullptr);
        prompter.SetUnattended(true);
        SectorRangeDialog dialog(1000, prompter);
        QCOMPARE(dialog.RangeText(), QString("range : 0 to 999"));
        dialog.SetTexts(c.start, c.end);
        dialog.accept();
        if (c.message.isEmpty()) {
            QVERIFY2(prompter.Shown().isEmpty(), qPrintable(c.start));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.Start(), c.first);
            QCOMPARE(dialog.End(), c.last);
        } else {
            QCOMPARE(prompter.Shown(), QStringList{c.message});
            QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open
        }
    }
}

void DialogsTest::CancellingTheModeIsQuietAndCancellingTheRangeIsSaid() {
    RecoverySession session;
    OpenImage(session, PartitionedDisk());
    Prompter prompter(nullptr);
    prompter.SetUnattended(true); // the mode dialog is cancelled
    QVERIFY(!RunScanProcedure(nullptr, prompter, session));
    QVERIFY(prompter.Shown().isEmpty());

    prompter.QueueDialog([](QDialog& dialog) {
        dynamic_cast<DiskScanDialog&>(dialog).SetMode(ScanMode::kThorough);
        return int(QDialog::Accepted);
    }); // and the range dialog is cancelled
    QVERIFY(!RunScanProcedure(nullptr, prompter, session));
    QCOMPARE(prompter.Shown(), QStringList{"Operation canceled"});
}

void DialogsTest::QuickAndThoroughScansListWhatTheyFindInTheirRange() {
    struct Case {
        std::string image;
        ScanMode mode;
        QString start, end;
        std::vector<SectorNo> starts; // of the listed volumes
    };
    const Case cases[] = {
        {fixtures::TestDisk("unpartitioned") + "/disk.img", ScanMode::kQuick, {}, {}, {63}},
        // From past the first volume to the end: the root volume at 2048 is not met.
        {PartitionedDisk(), ScanMode::kThorough, "14000", "28671", {14336, 22528}},
    };
    for (const Case& c : cases) {
        RecoverySession session;
        OpenImage(session, c.image);
        session.SetMode(ProcessingMode::kAuto);
        Prompter prompter(nullptr);
        prompter.SetUnattended(true);
        prompter.QueueDialog([&](QDialog& dialog) {
            dynamic_cast<DiskScanDialog&>(dialog).SetMode(c.mode);
            return int(QDialog::Accepted);
        });
        prompter.QueueDialog([&](QDialog& dialog) {
            auto& range = dynamic_cast<SectorRangeDialog&>(dialog);
            range.SetTexts(c.start, c.end);
            range.accept();
            return range.result();
        });
        QVERIFY(RunScanProcedure(nullptr, prompter, session));
        QCOMPARE(prompter.Shown().back(), QString("Logical Volume Scan Completed"));
        QCOMPARE(session.Mode(), ProcessingMode::kAuto); // the page's mode stays
        std::vector<SectorNo> starts;
        for (const ListedVolume& volume : ListedVolumes(session))
            starts.push_back(volume.start);
        QCOMPARE(starts, c.starts);
    }
}

void DialogsTest::AStopAnsweredNoGoesOnAndYesKeepsTheFinds() {
    // The sweep is held between the first and second volume, and again between the second and
    // third: No at the first hold lets it find the second, Yes at the next stops it there.
    fixtures::ReadGates gates({10000 * kSectorSize, 20000 * kSectorSize});
    fixtures::FileFaults held;
    held.gates = &gates;
    RecoverySession session({}, fixtures::FaultyFiles({{PartitionedDisk(), held}}));
    OpenImage(session, PartitionedDisk());
    Prompter prompter(nullptr);
    prompter.SetUnattended(true);
    prompter.QueueAnswer(QMessageBox::No);
    prompter.QueueAnswer(QMessageBox::Yes);
    VolumeScanDialog dialog(session, VolumeSearch(ProcessingMode::kScan, ScanMode::kThorough),
                            prompter);
    QTimer stopper;
    connect(&stopper, &QTimer::timeout, [&] {
        if (!gates.Waiting())
            return;
        dialog.reject(); // the user's Stop, answered from the queue
        gates.Release();
    });
    stopper.start(5);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(prompter.Shown().count("Do you want to stop Process?"), 2);
    QCOMPARE(prompter.Shown().back(), QString("Logical Volume Scan Aborted"));
    QCOMPARE(dialog.FoundRows(),
             (QStringList{"Unique Logical Drive Super block found at sector 14338",
                          "Unique Logical Drive Super block found at sector 2050"}));
    QCOMPARE(session.Lists().found.entries.size(), std::size_t{2});
    // Stopped short of the end: the progress says where it was, not 100%.
    QVERIFY(dialog.ProgressValue() < 100);
    QVERIFY(dialog.PercentText() != "100%");
    QVERIFY2(dialog.StatusText().startsWith("Reading sector "), qPrintable(dialog.StatusText()));
}

void DialogsTest::FinishOpensTheVolumeOrSaysWhyNot() {
    fixtures::TempDir dir;
    // The partitioned disk cut short: its third volume (at 22528, 2048 sectors) ends past it.
    const std::string cut = dir.File("cut.img");
    std::filesystem::copy_file(PartitionedDisk(), cut);
    std::filesystem::resize_file(cut, 12 * 1024 * 1024 - 4096);
    const std::string damaged = fixtures::TestDisk("tree-volumes") + "/damaged.img";
    const QString question = "Primary Super block damaged\nSearching for others";
    struct Case {
        std::string image;
        std::size_t row;
        QMessageBox::StandardButton answer; // to the backup question, when asked
        bool opened;
        QStringList shown;
    };
    const Case cases[] = {
        {cut, 0, QMessageBox::NoButton, true, {}},
        {cut,
         2,
         QMessageBox::NoButton,
         false,
         {"The selected partition lies beyond the disk/image size.\nCannot process further."}},
        {damaged, 0, QMessageBox::Yes, true, {question}},
        {damaged, 0, QMessageBox::No, false, {question}},
    };
    for (const Case& c : cases) {
        RecoverySession session;
        OpenImage(session, c.image);
        EngineEvents quiet;
        FindVolumes(session, VolumeSearch(ProcessingMode::kTable), quiet);
        QWidget page;
        Prompter prompter(&page);
        prompter.SetUnattended(true);
        if (c.answer != QMessageBox::NoButton)
            prompter.QueueAnswer(c.answer);
        QCOMPARE(FinishVolumeOpen(&page, prompter, session, c.row), c.opened);
        QCOMPARE(prompter.Shown(), c.shown);
        QCOMPARE(session.Volume() != nullptr, c.opened);
        QCOMPARE(prompter.Parent(), &page); // given back as it was
    }
}

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
