#include "SourceArgument.h"

#include "Arguments.h"
#include "platform/BlockDevice.h"

#include <cerrno>

namespace twl::cli {
namespace {

constexpr std::string_view kDiskPrefix = "disk:";

Status OpenDrive(std::uint64_t index, RecoverySession& session) {
    SectorSource& source = session.Source();
    if (index >= source.Inventory().size())
        return Status::Failure(ErrorCode::kNotInInventory, "disk:" + std::to_string(index));
    return source.SelectDrive(DriveIdOf(static_cast<std::uint32_t>(index)));
}

Status OpenPath(const std::string& path, RecoverySession& session) {
    SectorSource& source = session.Source();
    if (IsBlockDevice(path)) {
        const auto& drives = source.Inventory();
        for (std::size_t i = 0; i < drives.size(); ++i) {
            if (IsSameFile(drives[i].devicePath, path))
                return OpenDrive(i, session);
        }
    }
    if (source.SelectImageFile(path) != ImageSelectResult::kOk)
        return source.OpenStatus();
    return Status::Success();
}

} // namespace

Status OpenSourceArgument(const std::string& argument, RecoverySession& session) {
    if (argument.rfind(kDiskPrefix, 0) == 0) {
        const auto index = ParseUnsigned(argument.substr(kDiskPrefix.size()), 0x7FFFFF7F);
        if (!index)
            return Status::Failure(ErrorCode::kNotInInventory, argument);
        return OpenDrive(*index, session);
    }
    return OpenPath(argument, session);
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
