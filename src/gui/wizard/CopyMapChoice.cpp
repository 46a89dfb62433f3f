#include "wizard/CopyMapChoice.h"

#include "clone/CopyEngine.h"
#include "platform/Mounts.h"
#include "wizard/PageParts.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <filesystem>

namespace twl::gui {
namespace {

// A disk's identity as one file-name word: what is not a letter, digit, '-' or '.' becomes '_'.
std::string NameWord(std::string text) {
    for (char& c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.';
        c = plain ? c : '_';
    }
    return text.substr(0, 80);
}

} // namespace

std::string ImageMapPath(const std::string& imagePath) {
    return imagePath + ".map";
}

std::string CloneMapPath(const SectorSource& drives, DriveId from, DriveId to) {
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/clone maps";
    if (folder.startsWith("/clone maps") || !QDir().mkpath(folder))
        return {};
    const std::string path = QFile::encodeName(folder).toStdString();
    if (FolderIsOnDisk(path, drives.DrivePath(from)))
        return {};
    const MapSource names = MapSourceOf(drives, {CopyKind::kClone, from, to, {}, 0});
    return path + "/" + NameWord(names.identity) + " onto " + NameWord(names.destination) + ".map";
}

std::optional<std::string> ChooseCopyMap(Prompter& prompter, const std::string& mapPath) {
    std::error_code ec;
    if (mapPath.empty() || !std::filesystem::exists(mapPath, ec))
        return mapPath;
    const QMessageBox::StandardButton answer = prompter.Ask(
        QMessageBox::Question, kWizardCaption,
        "A map of an earlier copy of this disk is kept in\n" + EngineText(mapPath) +
            "\nYes goes on from where that copy stopped; No starts again and replaces the map.",
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel)
        return std::nullopt;
    if (answer == QMessageBox::No && std::filesystem::is_regular_file(mapPath, ec))
        std::filesystem::remove(mapPath, ec);
    return mapPath;
}

} // namespace twl::gui
