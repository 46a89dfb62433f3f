#include "ext2/VolumeOpen.h"

#include "ext2/SuperblockValidation.h"

#include <algorithm>

namespace twl {
namespace {

std::vector<const FoundVolumeEntry*> ListedFoundVolumes(const FoundVolumeList& list) {
    std::vector<const FoundVolumeEntry*> rows;
    for (const FoundVolumeEntry& entry : list.entries) {
        if (entry.type == kLinuxPartitionType && entry.size != 0)
            rows.push_back(&entry);
    }
    return rows;
}

SelectedVolumeRecord RecordOf(const PartitionEntry& entry) {
    const auto bytes = entry.Encode(false);
    SelectedVolumeRecord record{};
    std::copy_n(bytes.begin(), record.size(), record.begin());
    return record;
}

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

OpenOutcome OpenFromPartition(RecoverySession& session, Ext2Volume& volume,
                              const std::function<bool()>& searchForBackup) {
    SectorSource& source = session.Source();
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

// The open itself; `opened` receives the superblock the attempt ended with.
OpenOutcome OpenListedVolumeRecord(RecoverySession& session, std::size_t row,
                                   const std::function<bool()>& searchForBackup,
                                   Superblock& opened);

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
    const std::string features = UnknownReadOnlyFeatures(sb);
    if (features.empty())
        return {};
    return "The file system uses read-only features this program does not know (" + features +
           "); it is read as ext2/ext3 and never written";
}

std::string MountPointSelectedText(std::string_view mountPoint) {
    return "Mount Point " + std::string(mountPoint) + " Selected ";
}

bool ListsPartitions(const RecoverySession& session) {
    return session.Mode() == ProcessingMode::kTable ||
           (session.Mode() == ProcessingMode::kAuto && !session.Lists().partitions.entries.empty());
}

std::size_t ListedVolumeCount(const RecoverySession& session) {
    if (ListsPartitions(session))
        return ListedLinuxPartitions(session.Lists().partitions).size();
    return ListedFoundVolumes(session.Lists().found).size();
}

std::vector<ListedVolume> ListedVolumes(const RecoverySession& session) {
    std::vector<ListedVolume> rows;
    const VolumeLists& lists = session.Lists();
    if (ListsPartitions(session)) {
        for (const std::size_t i : ListedLinuxPartitions(lists.partitions)) {
            const PartitionEntry& e = lists.partitions.entries[i];
            rows.push_back({e.start, e.size, LabelText(e.label)});
        }
    } else {
        for (const FoundVolumeEntry* e : ListedFoundVolumes(lists.found))
            rows.push_back({e->start, e->size, LabelText(e->label)});
    }
    return rows;
}

int PartitionFitsSource(SectorNo start, SectorCount size, ByteCount sourceBytes) {
    const std::uint64_t total = sourceBytes / kSectorSize;
    if (start > total || std::uint64_t{start} + size > total)
        return 0;
    return 1;
}

OpenOutcome OpenListedVolume(RecoverySession& session, std::size_t row,
                             const std::function<bool()>& searchForBackup, std::string* text) {
    Superblock opened;
    const OpenOutcome outcome = OpenListedVolumeRecord(session, row, searchForBackup, opened);
    if (text != nullptr) {
        if (outcome == OpenOutcome::kUnreadableFeatures)
            *text = UnreadableFeaturesText(opened);
        else if (outcome == OpenOutcome::kOpened)
            *text = UnknownReadOnlyFeaturesNote(opened);
        else
            *text = OpenOutcomeText(outcome);
    }
    return outcome;
}

namespace {

OpenOutcome OpenListedVolumeRecord(RecoverySession& session, std::size_t row,
                                   const std::function<bool()>& searchForBackup,
                                   Superblock& opened) {
    SectorSource& source = session.Source();
    if (session.ScanInfoLoaded() && !source.CheckSourceFingerprint())
        return OpenOutcome::kFingerprintMismatch;
    auto volume = std::make_unique<Ext2Volume>();
    volume->selectedVolumeNumber = static_cast<std::uint32_t>(row + 1);
    const bool partitionPath = ListsPartitions(session);
    if (partitionPath) {
        const auto rows = ListedLinuxPartitions(session.Lists().partitions);
        if (row >= rows.size())
            return OpenOutcome::kNoSuchVolume;
        const PartitionEntry& entry = session.Lists().partitions.entries[rows[row]];
        volume->start = entry.start;
        volume->size = entry.size;
        volume->selectedVolumeRecord = RecordOf(entry);
    } else {
        const auto rows = ListedFoundVolumes(session.Lists().found);
        if (row >= rows.size())
            return OpenOutcome::kNoSuchVolume;
        const FoundVolumeEntry& entry = *rows[row];
        volume->start = entry.start;
        volume->size = entry.size;
        volume->superblockSector = entry.superblockSector;
        PartitionEntry asPartition;
        asPartition.type = entry.type;
        asPartition.start = entry.start;
        asPartition.size = entry.size;
        asPartition.label = entry.label;
        volume->selectedVolumeRecord = RecordOf(asPartition);
    }
    const std::optional<ByteCount> sourceBytes = SourceBytes(source);
    if (!sourceBytes)
        return OpenOutcome::kNoSource;
    if (PartitionFitsSource(volume->start, volume->size, *sourceBytes) == 0)
        return OpenOutcome::kBeyondSource;

    OpenOutcome outcome = OpenOutcome::kOpened;
    if (partitionPath)
        outcome = OpenFromPartition(session, *volume, searchForBackup);
    else if (LoadSuperblockAt(source, *volume, volume->start, volume->superblockSector) == 0 &&
             !volume->HasDescriptorTable())
        outcome = OpenOutcome::kUnusableScanEntry;
    opened = volume->sb;
    // A copy found by the search, or a scan entry, may name features the primary did not.
    if (outcome == OpenOutcome::kOpened && !UnreadableFeatures(volume->sb).empty())
        outcome = OpenOutcome::kUnreadableFeatures;
    if (outcome == OpenOutcome::kOpened)
        session.SetVolume(std::move(volume));
    return outcome;
}

} // namespace

} // namespace twl
