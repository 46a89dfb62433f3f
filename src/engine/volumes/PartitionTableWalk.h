#pragma once

// The partition table walk: the master boot record and the chain of extended boot records,
// every partition recorded in the partition list, then the Linux ones looked at for an ext2
// superblock and its volume name.

#include "core/Types.h"
#include "sector/SectorSource.h"
#include "volumes/GptTable.h"
#include "volumes/VolumeLists.h"

#include <cstddef>

namespace twl {

// The walk gives up on a chain whose entries pass this count: no real disk has that many
// partitions, and a damaged chain could otherwise go on for a long time.
inline constexpr std::size_t kMaxPartitionEntries = 256;

// Reads table sector `tableSector` and appends its non-empty entries. Logical starts are
// relative to the table sector, extended ones to `extendedBase`. A failed read leaves zeros,
// which yield no entries. Returns false when the list was already full.
bool ParsePartitionSector(SectorSource& source, DriveId driveId, SectorNo tableSector,
                          SectorNo extendedBase, PartitionList& list);

// Builds `list` from the partition tables of `driveId` (0: the open image).
WalkReport WalkPartitionTable(SectorSource& source, DriveId driveId, PartitionList& list);

// Returns 1 when the list holds a type-0x83 entry, else 0. Fills label and superblock found of
// those entries from the superblock at start + 2, read through the current drive id.
int CheckLinuxPartitions(SectorSource& source, PartitionList& list);

struct TableListing {
    WalkReport walk;
    int linuxFound = 0; // CheckLinuxPartitions' result
};

// The volume listing of the disk and image pages: both lists freed, the size of a drive taken
// afresh, the walk, the drive made current, the Linux partitions checked.
TableListing ListVolumesFromTable(SectorSource& source, DriveId driveId, VolumeLists& lists);

} // namespace twl
