#include "app/DiskAccessOffer.h"

#include "app/Prompter.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <cstdlib>
#include <thread>

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";

bool OnUiThread() {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs the helper away from the UI thread while the windows keep drawing; input waits, so
// nothing can be started twice meanwhile.
HelperOpened RunWhileDrawing(const std::vector<std::string>& command, DiskUse use,
                             const std::string& device) {
    HelperOpened opened;
    QEventLoop loop;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread helper([&] {
        opened = OpenThroughHelper(command, use, device);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    helper.join();
    QApplication::restoreOverrideCursor();
    return opened;
}

UniqueFd OfferToRead(Prompter& prompter, const std::vector<std::string>& command,
                     const std::string& device) {
    const QString name = QString::fromStdString(device);
    const QMessageBox::StandardButton answer = prompter.Ask(
        QMessageBox::Question, kCaption,
        QString("You have no permission to read %1.\n\nRead it with administrator rights? The "
                "system asks for the password; the disk is opened read-only and nothing is "
                "ever written to it.")
            .arg(name),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return {};
    HelperOpened opened = RunWhileDrawing(command, DiskUse::kRead, device);
    if (!opened.fd.Valid() && opened.failure != HelperFailure::kDeclined)
        prompter.Tell(QMessageBox::Warning, kCaption,
                      QString("%1 could not be opened with administrator rights: %2")
                          .arg(name, QString::fromStdString(opened.reason)));
    return std::move(opened.fd);
}

} // namespace

std::vector<std::string> DiskHelperCommand(const QString& programFolder) {
    if (const char* given = std::getenv("TWL_DISK_HELPER"))
        return *given != '\0' ? std::vector<std::string>{given} : std::vector<std::string>{};
    if (FindProgram("pkexec").empty())
        return {};
    for (const QString& helper :
         {programFolder + "/" + TWL_HELPER_FROM_PROGRAM, QString(TWL_HELPER_BUILT)}) {
        if (QFile::exists(helper))
            return PkexecCommand(QFile::encodeName(helper).toStdString());
    }
    return {};
}

DiskAccess DiskAccessOffer(Prompter& prompter, std::vector<std::string> command) {
    if (command.empty())
        return {};
    return [&prompter, command = std::move(command)](const std::string& device,
                                                     DiskUse use) -> UniqueFd {
        if (use == DiskUse::kOverwrite)
            return std::move(OpenThroughHelper(command, use, device).fd);
        if (!OnUiThread())
            return {};
        return OfferToRead(prompter, command, device);
    };
}

} // namespace twl::gui
