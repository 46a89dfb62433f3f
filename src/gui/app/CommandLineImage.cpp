#include "app/CommandLineImage.h"

#include "app/MainFrame.h"
#include "app/WorkerThread.h"
#include "core/ManPage.h"
#include "core/Status.h"
#include "models/ShownName.h"
#include "platform/BlockDevice.h"
#include "session/SourceOpening.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";

// The sweep's progress, kept for the dialog that the UI thread updates.
class SweepEvents final : public EngineEvents {
public:
    void ScanProgress(std::uint64_t position, std::uint64_t total) override {
        m_percent.store(total == 0 ? 0 : static_cast<int>(position * 100 / total));
    }
    int Percent() const { return m_percent.load(); }

private:
    std::atomic<int> m_percent{0};
};

// Finds the image's volumes on a worker, under a progress dialog with Stop: the tables first,
// the quick sweep of the whole image when they list no Linux volume. Returns the rows listed.
std::size_t FindImageVolumes(MainFrame& frame, RecoverySession& session, const QString& name) {
    SweepEvents events;
    QProgressDialog progress("Scanning " + name + " for Linux volumes...", "Stop", 0, 100, &frame);
    progress.setWindowTitle(kCaption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    session.ScanStop().Clear();
    std::atomic<long> threadId{0};
    std::size_t listed = 0;
    QThread* worker = StartWorkerThread(
        [&] { listed = FindVolumes(session, VolumeSearch{}, events).listed; }, threadId);
    while (!worker->wait(20)) {
        progress.setValue(events.Percent());
        // Until the dialog shows and holds the window, the user's clicks wait: no command may
        // touch the session while the worker fills its lists.
        QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        if (progress.wasCanceled())
            session.ScanStop().RequestStop();
    }
    delete worker;
    return listed;
}

QString VolumeText(const ListedVolume& volume, std::size_t row, std::size_t rows) {
    QString text = QString("volume %1 of %2 at sector %3").arg(row + 1).arg(rows).arg(volume.start);
    if (!volume.label.empty())
        text += " (" + ShownName(volume.label) + ")";
    return text;
}

// The row to open: the only one, or the user's choice; -1 when none was chosen.
int ChooseVolume(MainFrame& frame, const std::vector<ListedVolume>& volumes, const QString& name) {
    if (volumes.size() == 1)
        return 0;
    QStringList items;
    for (std::size_t row = 0; row < volumes.size(); ++row)
        items << VolumeText(volumes[row], row, volumes.size());
    return frame.Prompts().ChooseItem(kCaption, name + " holds several Linux volumes: which one?",
                                      items);
}

ImageOpening Fail(MainFrame& frame, const QString& text) {
    frame.Prompts().Tell(QMessageBox::Critical, kCaption, text);
    return ImageOpening::kFailed;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    const QStringList words = arguments.mid(1);
    if (words.isEmpty())
        return {};
    if (words.contains("--help") || words.contains("-h"))
        return {CommandLine::Kind::kHelp, {}, {}};
    if (words == QStringList{"--man"})
        return {CommandLine::Kind::kManPage, {}, {}};
    if (words.size() > 1)
        return {CommandLine::Kind::kMistake, {}, "only one IMAGE can be opened"};
    if (words[0].startsWith('-') && words[0] != "-")
        return {CommandLine::Kind::kMistake, {}, "unknown option " + words[0]};
    return {CommandLine::Kind::kImage, words[0], {}};
}

std::string ManPage(const std::string& version) {
    ManPageSource page;
    page.name = "tarnwell-linux";
    page.version = version;
    page.summary = "recover files from damaged Linux ext2, ext3 and ext4 disks and disk images";
    page.synopsis = {"[IMAGE]"};
    // The usage text's lines after its first, as one paragraph.
    const std::string usage = kUsageText;
    page.description = usage.substr(usage.find('\n') + 1);
    page.description +=
        "The program reads a disk or image and never writes to it. Its wizard (File > Wizard) "
        "leads through a recovery from a disk or an image, a clone of a disk onto another, or "
        "an image of a disk; Help > Contents explains each step.";
    page.sections = {
        {"OPTIONS", {}, {{"--help", "print the usage and end"}}},
        {"FILES",
         {},
         {{"~/.config/Tarnwell Linux/Tarnwell Linux.conf", "the program's settings"},
          {"IMAGE.map", "the map file an imaging run keeps beside its image"}}},
        {"SEE ALSO", "twl(1), ddrescue(1)", {}},
    };
    return ManPageText(page);
}

QString ImageProblem(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (stat(native.constData(), &info) != 0)
        return path + ": " + QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return path + " is a folder, not a disk image";
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode))
        return path + " is neither a disk image file nor a block device";
    if (S_ISBLK(info.st_mode))
        return {}; // opened by the source, which can offer administrator rights
    if (info.st_size == 0)
        return path + " is empty: it holds no disk image";
    const int fd = open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return path + ": " + QString::fromLocal8Bit(std::strerror(errno));
    close(fd);
    return {};
}

ImageOpening OpenCommandLineImage(MainFrame& frame, RecoverySession& session, const QString& path) {
    if (const QString problem = ImageProblem(path); !problem.isEmpty())
        return Fail(frame, problem);
    const std::string native = QFile::encodeName(path).toStdString();
    if (const Status opened = OpenSource(session, {kImageDriveId, native}); !opened.Ok())
        return Fail(frame, IsBlockDevice(native) ? EngineText(Describe(opened))
                                                 : path + ": Could not open Image File");
    const QString name = QFileInfo(path).fileName();
    if (FindImageVolumes(frame, session, name) == 0)
        return Fail(frame, path + " holds no Linux volume: neither its partition tables nor a "
                                  "quick scan for ext2/ext3 superblocks found one");
    const std::vector<ListedVolume> volumes = ListedVolumes(session);
    const int row = ChooseVolume(frame, volumes, name);
    if (row < 0 || static_cast<std::size_t>(row) >= volumes.size())
        return ImageOpening::kCancelled;
    std::string text;
    const OpenOutcome outcome = OpenListedVolume(
        session, static_cast<std::size_t>(row),
        [&] {
            frame.Prompts().Tell(QMessageBox::Information, kCaption,
                                 EngineText(kPrimaryDamagedQuestion));
            return true;
        },
        &text);
    if (outcome != OpenOutcome::kOpened)
        return Fail(frame, path + ": " + QString::fromStdString(text));
    if (!text.empty()) // read-only features the engine reads past: said, not refused
        frame.Prompts().Tell(QMessageBox::Warning, kCaption, QString::fromStdString(text));
    frame.ShowImageVolume(path, name,
                          VolumeText(volumes[static_cast<std::size_t>(row)],
                                     static_cast<std::size_t>(row), volumes.size()));
    frame.StartTreeCreation();
    return ImageOpening::kStarted;
}

} // namespace twl::gui
