#include "session/SaveRefusal.h"

#include "platform/BlockDevice.h"
#include "platform/Mounts.h"

namespace twl {

std::string RefuseSaveFolder(const RecoverySession& session, const std::string& folder) {
    const SectorSource& source = session.Source();
    if (source.CurrentDriveId() == kImageDriveId) {
        if (IsSameFile(folder, source.ImagePath()))
            return "will not save into the image being recovered from: " + folder;
        if (FolderIsOnDisk(folder, source.ImagePath())) // an image that is a block device
            return "will not save onto the disk being recovered from: " + folder + " lies on " +
                   source.ImagePath();
        return {};
    }
    const std::string disk = source.DrivePath(source.CurrentDriveId());
    if (!disk.empty() && FolderIsOnDisk(folder, disk))
        return "will not save onto the disk being recovered from: " + folder + " lies on " + disk;
    return {};
}

} // namespace twl
