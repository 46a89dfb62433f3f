#include "ext2/VolumeOpen.h"

#include "ext2/SuperblockValidation.h"

#include <optional>

namespace twl {
namespace {

// The size the bounds check uses: a drive's size asked afresh (the size known from when it
// was chosen if it cannot be), or the open image's size. Empty when nothing can be read.
std::optional<ByteCount> SourceBytes(SectorSource& source) {
    if (IsPhysicalDrive(source.CurrentDriveId())) {
        ByteCount bytes = source.SourceSize();
        source.GetDriveSize(source.CurrentDriveId(), bytes);
        return bytes;
    }
    if (!source.HasImage())
        return std::nullopt;
    return source.SourceSize();
}

// A superblock that reads as one (the field test) but names features the engine cannot
// read: said as such rather than as damage, since every copy would say the same.
bool HasUnreadableFeatures(const Superblock& sb) {
    return PassesFieldTest(sb) && !UnreadableFeatures(sb).empty();
}

OpenOutcome OpenFromPartition(SectorSource& source, Ext2Volume& volume,
                              const std::function<bool()>& searchForBackup) {
    const SectorNo superblockSector = volume.start + 2;
    ReadPrimarySuperblock(source, volume, superblockSector);
    if (HasUnreadableFeatures(volume.sb))
        return OpenOutcome::kUnreadableFeatures;
    if (ValidatePrimarySuperblock(source, volume, superblockSector) == 1)
        return OpenOutcome::kOpened;
    volume.ReleaseDescriptorTable();
    if (!searchForBackup || !searchForBackup())
        return OpenOutcome::kBackupDeclined;
    if (SearchBackupSuperblock(source, volume, volume.start, volume.size) == 1)
        return OpenOutcome::kOpened;
    volume.ReleaseDescriptorTable();
    return OpenOutcome::kNoValidSuperblock;
}

} // namespace

std::string_view OpenOutcomeText(OpenOutcome outcome) {
    switch (outcome) {
    case OpenOutcome::kOpened:
    case OpenOutcome::kBackupDeclined:
        return "";
    case OpenOutcome::kNoSuchVolume:
        return "No volume is listed in that row";
    case OpenOutcome::kNoSource:
        return "No disk or image file is open";
    case OpenOutcome::kFingerprintMismatch:
        return "The disk/image to which this scan info belongs is not at its original location";
    case OpenOutcome::kBeyondSource:
        return "The selected partition lies beyond the disk/image size.\nCannot process "
               "further.";
    case OpenOutcome::kNoValidSuperblock:
        return "No valid Super Block found, cannot process";
    case OpenOutcome::kUnusableScanEntry:
        return "The super block found by the scan no longer describes a volume, cannot "
               "process";
    case OpenOutcome::kUnreadableFeatures:
        return "The file system uses features this program cannot read, cannot process";
    }
    return "";
}

std::string UnreadableFeaturesText(const Superblock& sb) {
    const std::string features = UnreadableFeatures(sb);
    if (features.empty())
        return {};
    return "The file system uses features this program cannot read (" + features +
           "), cannot process";
}

std::string UnknownReadOnlyFeaturesNote(const Superblock& sb) {
    std::string note;
    if (const std::string features = UnknownReadOnlyFeatures(sb); !features.empty())
        note = "The file system uses read-only features this program does not know (" + features +
               "); it is read as " + FileSystemKind(sb) + " and never written";
    if (const std::string features = ShownAsStoredFeatures(sb); !features.empty())
        note += std::string(note.empty() ? "" : ". ") +
                "The file system uses features whose meaning this program does not show (" +
                features +
                "): encrypted names and contents, and cluster bitmaps, are read as stored";
    return note;
}

std::string MountPointSelectedText(std::string_view mountPoint) {
    return "Mount Point " + std::string(mountPoint) + " Selected ";
}

int PartitionFitsSource(SectorNo start, SectorCount size, ByteCount sourceBytes) {
    const std::uint64_t total = sourceBytes / kSectorSize;
    if (start > total || size > total - start)
        return 0;
    return 1;
}

OpenOutcome OpenVolumeAt(SectorSource& source, Ext2Volume& volume, VolumeEntryKind kind,
                         const std::function<bool()>& searchForBackup) {
    const std::optional<ByteCount> sourceBytes = SourceBytes(source);
    if (!sourceBytes)
        return OpenOutcome::kNoSource;
    if (PartitionFitsSource(volume.start, volume.size, *sourceBytes) == 0)
        return OpenOutcome::kBeyondSource;
    OpenOutcome outcome = OpenOutcome::kOpened;
    if (kind == VolumeEntryKind::kPartition)
        outcome = OpenFromPartition(source, volume, searchForBackup);
    else if (LoadSuperblockAt(source, volume, volume.start, volume.superblockSector) == 0 &&
             !volume.HasDescriptorTable())
        outcome = OpenOutcome::kUnusableScanEntry;
    // A copy found by the search, or a scan entry, may name features the primary did not.
    if (outcome == OpenOutcome::kOpened && !UnreadableFeatures(volume.sb).empty())
        outcome = OpenOutcome::kUnreadableFeatures;
    return outcome;
}

} // namespace twl
