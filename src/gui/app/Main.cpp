// tarnwell-linux [IMAGE]: the desktop program. One copy runs per user. With an image it finds
// the image's Linux volumes, lets the user choose one when there are several, and builds its
// tree at once; without one it offers the tip of the day and, when the user asked for it, the
// wizard.

#include "app/CommandLineImage.h"
#include "app/DiskAccessOffer.h"
#include "app/MainFrame.h"
#include "app/ProgramSettings.h"
#include "app/SingleInstance.h"
#include "models/ItemIcons.h"
#include "platform/DriveInventory.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // Read before the application starts, so that --help works without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const twl::gui::CommandLine line = twl::gui::ParseCommandLine(arguments);
    if (line.kind == twl::gui::CommandLine::Kind::kHelp) {
        std::fputs(twl::gui::kUsageText, stdout);
        return 0;
    }
    if (line.kind == twl::gui::CommandLine::Kind::kManPage) {
        std::fputs(twl::gui::ManPage(TWL_VERSION).c_str(), stdout);
        return 0;
    }
    if (line.kind == twl::gui::CommandLine::Kind::kMistake) {
        std::fprintf(stderr, "tarnwell-linux: %s\n%s", qPrintable(line.mistake),
                     twl::gui::kUsageText);
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setWindowIcon(twl::gui::NamedIcon("tarnwell-linux"));
    twl::gui::SingleInstance instance;
    if (const auto taken = instance.Take(); taken != twl::gui::SingleInstance::Outcome::kTaken) {
        QMessageBox::critical(nullptr, "Tarnwell Linux",
                              taken == twl::gui::SingleInstance::Outcome::kHeldElsewhere
                                  ? twl::gui::kAlreadyRunningText
                                  : twl::gui::kLoadFailedText);
        return 1;
    }
    const char* drives = std::getenv("TWL_DRIVES");
    const std::optional<std::string> driveList =
        drives != nullptr ? std::optional<std::string>(drives) : std::nullopt;
    twl::RecoverySession session(twl::LoadDriveInventory(driveList));
    // Each wizard lists the drives as they are then: a disk plugged in meanwhile is there.
    session.SetInventoryLoader([driveList] { return twl::LoadDriveInventory(driveList); });
    twl::gui::MainFrame frame(session);
    session.SetDiskAccess(twl::gui::DiskAccessOffer(
        frame.Prompts(), twl::gui::DiskHelperCommand(QCoreApplication::applicationDirPath())));
    frame.showMaximized();
    if (line.kind == twl::gui::CommandLine::Kind::kImage) {
        // Once the window is up: an image that cannot be shown ends the program after its
        // message, instead of leaving an empty window behind.
        QTimer::singleShot(0, &frame, [&] {
            if (twl::gui::OpenCommandLineImage(frame, session, line.image) ==
                twl::gui::ImageOpening::kFailed) {
                std::fprintf(stderr, "tarnwell-linux: %s\n",
                             qPrintable(frame.Prompts().Shown().back()));
                application.exit(1);
            }
        });
    } else {
        // Once the window is up: the tip of the day, then the wizard when it is wanted.
        QTimer::singleShot(0, &frame, [&frame] {
            if (twl::gui::ShowTipsAtStartup())
                frame.ShowTips();
            if (twl::gui::RunWizardOnStartup())
                frame.RunWizard(twl::gui::WizardEntry::kStartup);
        });
    }
    return application.exec();
}
