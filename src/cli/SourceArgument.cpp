#include "SourceArgument.h"

#include "Arguments.h"
#include "platform/BlockDevice.h"
#include "session/SourceOpening.h"

#include <cerrno>

namespace twl::cli {
namespace {

constexpr std::string_view kDiskPrefix = "disk:";

// A block device the inventory holds is that drive; any other path is read as an image.
SourceChoice ChoiceOfPath(const std::string& path, const SectorSource& source) {
    if (IsBlockDevice(path)) {
        if (const std::optional<DriveId> drive = DriveOfArgument(path, source))
            return {*drive, {}};
    }
    return {kImageDriveId, path};
}

} // namespace

std::optional<DriveId> DriveOfArgument(const std::string& word, const SectorSource& source) {
    const auto& drives = source.Inventory();
    if (word.rfind(kDiskPrefix, 0) == 0) {
        const auto index = ParseUnsigned(word.substr(kDiskPrefix.size()), drives.size());
        if (index && *index < drives.size())
            return DriveIdOf(static_cast<std::uint32_t>(*index));
        return std::nullopt;
    }
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (IsSameFile(drives[i].devicePath, word))
            return DriveIdOf(static_cast<std::uint32_t>(i));
    }
    return std::nullopt;
}

Status OpenSourceArgument(const std::string& argument, RecoverySession& session) {
    if (argument.rfind(kDiskPrefix, 0) != 0)
        return OpenSource(session, ChoiceOfPath(argument, session.Source()));
    const std::optional<DriveId> drive = DriveOfArgument(argument, session.Source());
    if (!drive)
        return Status::Failure(ErrorCode::kNotInInventory, argument);
    return OpenSource(session, {*drive, {}});
}

std::string SourceName(const RecoverySession& session) {
    const SectorSource& source = session.Source();
    if (IsPhysicalDrive(source.CurrentDriveId())) {
        return "disk:" + std::to_string(DriveIndex(source.CurrentDriveId())) + " (" +
               source.DrivePath(source.CurrentDriveId()) + ")";
    }
    return source.ImagePath();
}

} // namespace twl::cli
