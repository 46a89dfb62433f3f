#include "session/ListedVolumes.h"

#include "ext2/MetadataChecksums.h"
#include "volumes/PartitionTableWalk.h"

#include <algorithm>
#include <limits>
#include <memory>

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

// The volume of listed row `row`, placed where its entry says and not yet read; null when the
// row is not listed.
std::unique_ptr<Ext2Volume> VolumeOfRow(const RecoverySession& session, std::size_t row) {
    auto volume = std::make_unique<Ext2Volume>();
    volume->selectedVolumeNumber = static_cast<std::uint32_t>(row + 1);
    if (ListsPartitions(session)) {
        const auto rows = ListedLinuxPartitions(session.Lists().partitions);
        if (row >= rows.size())
            return nullptr;
        const PartitionEntry& entry = session.Lists().partitions.entries[rows[row]];
        volume->start = entry.start;
        volume->size = entry.size;
        volume->selectedVolumeRecord = RecordOf(entry);
        return volume;
    }
    const auto rows = ListedFoundVolumes(session.Lists().found);
    if (row >= rows.size())
        return nullptr;
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
    return volume;
}

// The open itself; `opened` receives the superblock the attempt ended with.
OpenOutcome OpenListedVolumeRecord(RecoverySession& session, std::size_t row,
                                   const std::function<bool()>& searchForBackup,
                                   Superblock& opened) {
    if (!SourceMatchesLoadedScanInfo(session))
        return OpenOutcome::kFingerprintMismatch;
    std::unique_ptr<Ext2Volume> volume = VolumeOfRow(session, row);
    if (!volume)
        return OpenOutcome::kNoSuchVolume;
    const VolumeEntryKind kind =
        ListsPartitions(session) ? VolumeEntryKind::kPartition : VolumeEntryKind::kScanEntry;
    const OpenOutcome outcome = OpenVolumeAt(session.Source(), *volume, kind, searchForBackup);
    opened = volume->sb;
    if (outcome == OpenOutcome::kOpened)
        session.SetVolume(std::move(volume));
    return outcome;
}

} // namespace

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

std::string ListedVolumeNote(RecoverySession& session, const ListedVolume& volume) {
    if (volume.start > kLastSector - 3)
        return {};
    RawSuperblock raw{};
    if (session.Source().ReadSectors(volume.start + 2, raw) == 0)
        return {};
    const Superblock sb = Superblock::Decode(raw);
    if (!PassesFieldTest(sb))
        return {};
    const std::string unreadable = UnreadableVolumeNote(sb);
    if (!unreadable.empty() || FileSystemKind(sb) != "ext4")
        return unreadable;
    return "ext4"; // the kind is told where it is not the ext2/ext3 the program began with
}

std::vector<std::string> TableWalkNotes(const WalkReport& walk) {
    std::vector<std::string> notes;
    if (walk.noSignature)
        notes.push_back("sector 0 holds no partition table (no 0x55 0xAA signature)");
    if (walk.implausible)
        notes.push_back("a primary partition lies beyond the end of the disk; extended "
                        "partitions were not followed");
    if (walk.loopStopped)
        notes.push_back("the chain of extended partitions leads back to sector " +
                        std::to_string(walk.loopSector) + "; the walk stopped there");
    if (walk.gpt && walk.gptCopy == GptCopy::kBackup)
        notes.push_back("the GUID partition table's primary header or entry array is damaged; "
                        "its backup at the disk's last sector was used");
    if (walk.gpt && walk.gptCopy == GptCopy::kNone)
        notes.push_back("sector 0 marks a GUID partition table, but both of its copies are "
                        "damaged; none of its partitions is listed");
    if (walk.gptPastDisk != 0)
        notes.push_back(std::to_string(walk.gptPastDisk) +
                        " GUID partition table entries lie past the end of the disk and were "
                        "not followed");
    if (walk.capReached)
        notes.push_back("more than " + std::to_string(kMaxPartitionEntries) +
                        " partitions; the rest of the chain was not read");
    return notes;
}

bool SourceMatchesLoadedScanInfo(RecoverySession& session) {
    return !session.ScanInfoLoaded() || session.Source().CheckSourceFingerprint();
}

namespace {

// What an open that succeeded says: features read past, and checksums that do not match.
std::string OpenedVolumeNote(const RecoverySession& session, const Superblock& opened) {
    std::string note = UnknownReadOnlyFeaturesNote(opened);
    if (session.Volume() == nullptr)
        return note;
    if (const std::string damage = ChecksumMismatchNote(*session.Volume()); !damage.empty())
        note += (note.empty() ? "" : ". ") + damage;
    return note;
}

} // namespace

OpenOutcome OpenListedVolume(RecoverySession& session, std::size_t row,
                             const std::function<bool()>& searchForBackup, std::string* text) {
    Superblock opened;
    const OpenOutcome outcome = OpenListedVolumeRecord(session, row, searchForBackup, opened);
    if (text != nullptr) {
        if (outcome == OpenOutcome::kUnreadableFeatures)
            *text = UnreadableFeaturesText(opened);
        else if (outcome == OpenOutcome::kOpened)
            *text = OpenedVolumeNote(session, opened);
        else
            *text = OpenOutcomeText(outcome);
    }
    return outcome;
}

} // namespace twl
