#pragma once

// Opening the volume the user chose on the volume page: the row's entry checked against the
// source, its superblock validated (or a backup searched for), and the open volume replaced
// only when all of that succeeded, so a failed open leaves the previous volume as it was.

#include "session/RecoverySession.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace twl {

enum class OpenOutcome {
    kOpened,
    kNoSuchVolume,        // the row is not among the listed volumes
    kNoSource,            // nothing to read from
    kFingerprintMismatch, // a loaded scan information file belongs to another disk or image
    kBeyondSource,        // the entry lies beyond the end of the disk or image
    kBackupDeclined,      // primary superblock damaged, and the user did not want a search
    kNoValidSuperblock,   // no backup superblock passed
    kUnusableScanEntry,   // the superblock a scan found no longer describes a volume
    kUnreadableFeatures,  // the file system uses incompatible features the engine cannot read
};

// The message a front end shows for an outcome ("" for kOpened and kBackupDeclined).
std::string_view OpenOutcomeText(OpenOutcome outcome);

// The question asked before the backup superblock search.
inline constexpr std::string_view kPrimaryDamagedQuestion =
    "Primary Super block damaged\nSearching for others";

// The wizard's text after a successful open: "Mount Point %s Selected ".
std::string MountPointSelectedText(std::string_view mountPoint);

// Whether the volume page lists the partition list (the table mode, or auto with a partition
// list) rather than the found-volume list.
bool ListsPartitions(const RecoverySession& session);

// Rows of the volume page, 0-based, for the session's processing mode: the Linux entries with
// a non-zero size of the partition list (or of the found-volume list on the scan path).
std::size_t ListedVolumeCount(const RecoverySession& session);

// One row of the volume page: where the volume lies and its label.
struct ListedVolume {
    SectorNo start = 0;
    SectorCount size = 0;
    std::string label; // the volume name, as stored (any bytes)
};
std::vector<ListedVolume> ListedVolumes(const RecoverySession& session);

// The texts naming the features of a superblock the engine does not understand: why it
// cannot be read ("" when it can), and a note that it is read despite read-only compatible
// features it does not know ("" when there are none).
std::string UnreadableFeaturesText(const Superblock& sb);
std::string UnknownReadOnlyFeaturesNote(const Superblock& sb);

// Opens listed row `row`. `searchForBackup` is asked when the primary superblock is damaged
// and answers whether to search the volume for a backup. A volume whose superblock passes the
// field test but names incompatible features the engine cannot read is not opened
// (kUnreadableFeatures). When `text` is given it receives what a front end shows: on failure
// the outcome's text (with the features named), after kOpened the read-only features note.
OpenOutcome OpenListedVolume(RecoverySession& session, std::size_t row,
                             const std::function<bool()>& searchForBackup,
                             std::string* text = nullptr);

// Sector-range check of the selected entry against a source of sourceBytes: 1 when the
// whole entry lies on it (ending exactly at its last sector counts), else 0.
int PartitionFitsSource(SectorNo start, SectorCount size, ByteCount sourceBytes);

} // namespace twl
