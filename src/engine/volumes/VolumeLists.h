#pragma once

// The two volume lists, each in insertion order: the partition list from the partition
// tables and the found-volume list from the superblock sweep. Freeing a list empties it.

#include "volumes/GptTable.h"
#include "volumes/VolumeEntry.h"

#include <cstddef>
#include <vector>

namespace twl {

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

    void FreeBoth() {
        partitions.Free();
        found.Free();
    }
};

// Indices into the partition list of the volumes the volume page lists: type 0x83 with a
// non-zero size, in list order. Row r (1-based) is "LINUX PARTITION #r".
std::vector<std::size_t> ListedLinuxPartitions(const PartitionList& list);

} // namespace twl
