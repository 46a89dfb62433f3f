#pragma once

// Opening a volume at a known place on the source: the place checked against the source, its
// superblock validated (or a backup searched for), and the features it names checked against
// what the engine can read. Which place the user chose is the session's business.

#include "ext2/Ext2Volume.h"
#include "ext2/Superblock.h"
#include "sector/SectorSource.h"

#include <functional>
#include <string>
#include <string_view>

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

// The texts naming the features of a superblock the engine does not understand: why it
// cannot be read ("" when it can), and a note that it is read despite read-only compatible
// features it does not know ("" when there are none).
std::string UnreadableFeaturesText(const Superblock& sb);
std::string UnknownReadOnlyFeaturesNote(const Superblock& sb);

// How the place of a volume was found: from a partition table, whose primary superblock is
// validated (and a backup searched for when it is damaged), or by the superblock sweep, whose
// entry names the superblock it found.
enum class VolumeEntryKind { kPartition, kScanEntry };

// Opens the volume at `volume.start` / `volume.size` (and, for a scan entry, at its
// `superblockSector`) on `source`. `searchForBackup` is asked when the primary superblock is
// damaged and answers whether to search the volume for a backup. Returns kOpened with
// `volume` read, or why not: kNoSource, kBeyondSource, kUnreadableFeatures, kBackupDeclined,
// kNoValidSuperblock or kUnusableScanEntry. After kOpened and kUnreadableFeatures
// `volume.sb` holds the superblock that was read.
OpenOutcome OpenVolumeAt(SectorSource& source, Ext2Volume& volume, VolumeEntryKind kind,
                         const std::function<bool()>& searchForBackup);

// Sector-range check of the selected entry against a source of sourceBytes: 1 when the
// whole entry lies on it (ending exactly at its last sector counts), else 0.
int PartitionFitsSource(SectorNo start, SectorCount size, ByteCount sourceBytes);

} // namespace twl
