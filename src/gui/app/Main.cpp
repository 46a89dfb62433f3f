// tarnwell-linux: the desktop program.

#include "app/MainFrame.h"
#include "platform/DriveInventory.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const char* drives = std::getenv("TWL_DRIVES");
    twl::RecoverySession session(twl::LoadDriveInventory(
        drives != nullptr ? std::optional<std::string>(drives) : std::nullopt));
    twl::gui::MainFrame frame(session);
    frame.showMaximized();
    return application.exec();
}
