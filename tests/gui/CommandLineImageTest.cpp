// `tarnwell-linux IMAGE`: bare file-system images and partitioned disks open as twl opens
// them, several volumes are offered for choosing, and bad arguments are named and explained.

#include "app/CommandLineImage.h"

#include "FrameFixtures.h"
#include "app/DiskAccessOffer.h"
#include "fixtures/LoopDevice.h"

#include <QtTest>
#include <cerrno>
#include <filesystem>
#include <fstream>

using namespace twl;
using namespace twl::gui;
using namespace twl::gui::testing;

namespace {

// A frame over an empty session, as the program starts, answering every box itself.
struct EmptyFrame {
    RecoverySession session;
    MainFrame frame{session};
    EmptyFrame() { frame.Prompts().SetUnattended(true); }
    ImageOpening Open(const std::string& path) {
        return OpenCommandLineImage(frame, session, QString::fromStdString(path));
    }
};

} // namespace

class CommandLineImageTest : public QObject {
    Q_OBJECT
private slots:
    void ArgumentsAreReadAndBadOnesNamedWithTheirReason();
    void ABareFileSystemImageOpensThroughTheQuickScan();
    void OfSeveralVolumesTheChosenOneOpens();
    void ADiskTheUserCannotReadIsOfferedOrToldHowToGetAccess();
};

void CommandLineImageTest::ArgumentsAreReadAndBadOnesNamedWithTheirReason() {
    using Kind = CommandLine::Kind;
    const std::pair<QStringList, Kind> lines[] = {
        {{"tarnwell-linux"}, Kind::kNone},
        {{"tarnwell-linux", "disk.img"}, Kind::kImage},
        {{"tarnwell-linux", "--help"}, Kind::kHelp},
        {{"tarnwell-linux", "disk.img", "-h"}, Kind::kHelp},
        {{"tarnwell-linux", "a.img", "b.img"}, Kind::kMistake},
        {{"tarnwell-linux", "--verbose"}, Kind::kMistake},
        {{"tarnwell-linux", "--man"}, Kind::kManPage},
        {{"tarnwell-linux", "disk.img", "--man"}, Kind::kMistake},
    };
    for (const auto& [arguments, kind] : lines)
        QCOMPARE(ParseCommandLine(arguments).kind, kind);
    // The manual page says what the usage text says, in troff.
    const QString page = QString::fromStdString(ManPage("9.9"));
    QVERIFY(page.startsWith(".TH TARNWELL\\-LINUX 1 \"\" \"tarnwell\\-linux 9.9\""));
    QVERIFY(page.contains("IMAGE is a raw disk image or a block device"));
    QVERIFY(page.contains(".B \\-\\-help"));

    fixtures::TempDir dir;
    std::ofstream(dir.File("empty.img")).flush();
    std::ofstream(dir.File("text.img")) << std::string(1 << 20, 'x'); // no volume anywhere
    // An ext4 volume with dirdata (0x1000, beside flex_bg's 0x0200 in the same byte), which
    // changes what folder records hold.
    fixtures::RunShell("mke2fs -q -F -t ext4 -O 64bit,^metadata_csum " + dir.File("ext4.img") +
                       " 8192 >/dev/null 2>&1 && printf '\\022' | dd of=" + dir.File("ext4.img") +
                       " bs=1 seek=$((1024 + 0x61)) conv=notrunc 2>/dev/null");
    const std::pair<std::string, QString> bad[] = {
        {dir.File("missing.img"), "No such file or directory"},
        {dir.Path(), "is a folder, not a disk image"},
        {dir.File("empty.img"), "is empty"},
        {"/dev/null", "is neither a disk image file nor a block device"},
        {dir.File("text.img"), "holds no Linux volume"},
        {dir.File("ext4.img"), ": The file system uses features this program cannot read "
                               "(dirdata), cannot process"},
    };
    for (const auto& [path, reason] : bad) {
        EmptyFrame empty;
        QCOMPARE(empty.Open(path), ImageOpening::kFailed);
        const QString shown = empty.frame.Prompts().Shown().back();
        QVERIFY2(shown.startsWith(QString::fromStdString(path)) && shown.contains(reason),
                 qPrintable(shown));
        QVERIFY(empty.session.Volume() == nullptr);
        QCOMPARE(empty.frame.windowTitle(), QString(kFrameTitle));
    }
}

void CommandLineImageTest::ABareFileSystemImageOpensThroughTheQuickScan() {
    fixtures::TempDir dir;
    std::filesystem::create_directories(dir.File("src/docs"));
    std::ofstream(dir.File("src/docs/a.txt")) << "bare\n";
    const std::string image = dir.File("bare.img");
    fixtures::RunShell("mke2fs -q -F -t ext2 -L bare -d " + dir.File("src") + " " + image +
                       " 2048 >/dev/null 2>&1");
    EmptyFrame empty;
    QCOMPARE(empty.Open(image), ImageOpening::kStarted);
    QTRY_VERIFY(!empty.frame.Running());
    QCOMPARE(empty.frame.windowTitle(),
             QString(kFrameTitle) + " - bare.img, volume 1 of 1 at sector 0 (bare)");
    const ProcessLogEntry opened = empty.frame.Log().Rows().at(0);
    QCOMPARE(opened.processName, "Image File Selected :" + image);
    QCOMPARE(opened.description, std::string("Volume 1 of 1 at sector 0 (bare) Selected"));
    QVERIFY(Column(empty.frame.Tree(), 0, empty.frame.Tree().RootIndex()).contains("docs"));
}

void CommandLineImageTest::OfSeveralVolumesTheChosenOneOpens() {
    fixtures::TempDir dir;
    for (const std::string name : {"one", "two", "three"})
        std::filesystem::create_directories(dir.File(name + "/only-in-" + name));
    std::ofstream(dir.File("layout")) << "label: dos\nstart=2048, size=4096, type=83\n"
                                         "start=6144, size=4096, type=83\n"
                                         "start=10240, size=4096, type=83\n";
    const std::string image = dir.File("three.img");
    QCOMPARE(fixtures::RunShell(std::string(TWL_MAKE_DISK_IMAGE) + " " + image + " 8 " +
                                dir.File("layout") + " 1:ext2:" + dir.File("one") +
                                ":one 2:ext2:" + dir.File("two") +
                                ":two 3:ext2:" + dir.File("three") + ":three >/dev/null"),
             0);
    {
        EmptyFrame cancelled; // unattended: the choice is cancelled
        QCOMPARE(cancelled.Open(image), ImageOpening::kCancelled);
        QVERIFY(cancelled.session.Volume() == nullptr);
    }
    EmptyFrame empty;
    empty.frame.Prompts().QueueChoice(1);
    QCOMPARE(empty.Open(image), ImageOpening::kStarted);
    QCOMPARE(empty.frame.Prompts().Shown().at(0),
             QString("three.img holds several Linux volumes: which one?"));
    QTRY_VERIFY(!empty.frame.Running());
    QVERIFY(empty.frame.windowTitle().endsWith("three.img, volume 2 of 3 at sector 6144 (two)"));
    QVERIFY(Column(empty.frame.Tree(), 0, empty.frame.Tree().RootIndex()).contains("only-in-two"));
}

QTEST_MAIN(CommandLineImageTest)
// A disk given on the command line that the user may not open goes to the source like any
// other: with the disk helper it is offered and opened; without, the message says how to get
// access.
void CommandLineImageTest::ADiskTheUserCannotReadIsOfferedOrToldHowToGetAccess() {
    const DemoDisk disk;
    const fixtures::LoopDevice loop(disk.image);
    if (!loop.Ready())
        QSKIP("no loop device can be made here (it needs root and the loop driver)");
    for (const bool helper : {false, true}) {
        RecoverySession session({}, [](const std::string& path) {
            OpenedReader refused;
            refused.status = Status::Failure(ErrorCode::kCannotOpen, path, EACCES);
            return refused;
        });
        MainFrame frame(session);
        frame.Prompts().SetUnattended(true);
        if (helper) {
            session.SetDiskAccess(DiskAccessOffer(frame.Prompts(), {TWL_DISK_HELPER_PATH}));
            frame.Prompts().QueueAnswer(QMessageBox::Yes);
        }
        const ImageOpening opening =
            OpenCommandLineImage(frame, session, QString::fromStdString(loop.Path()));
        if (!helper) {
            QCOMPARE(opening, ImageOpening::kFailed);
            QCOMPARE(frame.Prompts().Shown().back(),
                     QString::fromStdString("cannot open " + loop.Path() +
                                            ": Permission denied (run as root or join the "
                                            "disk group)"));
            continue;
        }
        QCOMPARE(opening, ImageOpening::kStarted);
        QTRY_VERIFY(!frame.Running());
        QVERIFY(Column(frame.Tree(), 0, frame.Tree().RootIndex()).contains("docs"));
    }
}

#include "CommandLineImageTest.moc"
