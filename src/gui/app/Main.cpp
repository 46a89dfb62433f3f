// tarnwell-linux [IMAGE]: the desktop program. With an image it opens the image's first
// Linux volume and builds its tree at once, as the wizard's volume page does on Finish.

#include "app/MainFrame.h"
#include "ext2/VolumeOpen.h"
#include "platform/DriveInventory.h"
#include "volumes/PartitionTableWalk.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>

namespace {

// Opens the first listed volume of `image`; returns the message to show when it cannot.
QString OpenFirstVolume(twl::RecoverySession& session, const std::string& image) {
    if (session.Source().SelectImageFile(image) != twl::ImageSelectResult::kOk)
        return "Could not open Image File";
    session.SetMode(twl::ProcessingMode::kTable);
    twl::ListVolumesFromTable(session.Source(), twl::kImageDriveId, session.Lists());
    if (twl::ListedVolumeCount(session) == 0)
        return "No Logical Drives found\nPlease use Scan for logical Drives";
    const twl::OpenOutcome outcome = twl::OpenListedVolume(session, 0, [] { return true; });
    return QString::fromUtf8(std::string(twl::OpenOutcomeText(outcome)).c_str());
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const char* drives = std::getenv("TWL_DRIVES");
    twl::RecoverySession session(twl::LoadDriveInventory(
        drives != nullptr ? std::optional<std::string>(drives) : std::nullopt));
    twl::gui::MainFrame frame(session);
    frame.showMaximized();
    const QStringList arguments = application.arguments();
    if (arguments.size() > 1) {
        QTimer::singleShot(0, &frame, [&] {
            const QString problem = OpenFirstVolume(session, arguments[1].toStdString());
            if (session.Volume() != nullptr && problem.isEmpty())
                frame.StartTreeCreation();
            else
                frame.Prompts().Tell(QMessageBox::Critical, "Tarnwell Linux", problem);
        });
    }
    return application.exec();
}
