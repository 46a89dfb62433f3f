#pragma once

// The two volume lists, each in insertion order: the partition list from the partition
// tables and the found-volume list from the superblock sweep. Freeing a list empties it.

#include "volumes/GptTable.h"
#include "volumes/VolumeEntry.h"

#include <cstddef>
#include <vector>

namespace twl {

// What a partition-table walk met on the way, for the front ends to tell.
struct WalkReport {
    bool noSignature = false;         // sector 0 read but without 0x55 0xAA: no list built
    bool gpt = false;                 // sector 0 holds a protective entry: a GUID partition table
    GptCopy gptCopy = GptCopy::kNone; // the copy of it listed (kNone: both damaged)
    bool gptPrimaryDamaged = false;   // the primary copy failed a check
    std::uint32_t gptPastDisk = 0;    // entries lying past the disk, not followed
    bool implausible = false;         // a primary entry beyond the disk: chain not followed
    bool loopStopped = false;         // an extended entry led to a table sector already parsed
    bool capReached = false;          // kMaxPartitionEntries recorded; the rest was left
    SectorNo loopSector = 0;          // the table sector that was reached a second time
};

struct PartitionList {
    std::vector<PartitionEntry> entries;
    std::size_t linuxCount = 0; // type-0x83 entries, set by CheckLinuxPartitions
    // On a disk with a GUID partition table, every used entry of it, for listing. Its Linux
    // volumes are in `entries` too, as type-0x83 entries, so that the rest of the program
    // reads them as it reads those of a master boot record. Not kept in scan information.
    std::vector<GptEntry> gptEntries;

    void Free() {
        entries.clear();
        linuxCount = 0;
        gptEntries.clear();
    }
};

struct FoundVolumeList {
    std::vector<FoundVolumeEntry> entries;

    void Free() { entries.clear(); }
};

struct VolumeLists {
    PartitionList partitions;
    FoundVolumeList found;
    // What the last table walk met. It outlives the sweep that may follow the walk, whose
    // findings it explains; a scan information file does not keep it.
    WalkReport walk;

    void FreeBoth() {
        partitions.Free();
        found.Free();
    }
};

// Indices into the partition list of the volumes the volume page lists: type 0x83 with a
// non-zero size, in list order. Row r (1-based) is "LINUX PARTITION #r".
std::vector<std::size_t> ListedLinuxPartitions(const PartitionList& list);

} // namespace twl
