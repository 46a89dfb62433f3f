#pragma once

// The logical volume scan: sweeps a sector range for ext2/ext3 superblocks in 63-sector
// windows, validates each candidate, keeps one superblock per file system in up to 100 slots
// and turns the survivors into the found-volume list. It works in its own buffers and never
// touches the open volume.

#include "core/AlignedBuffer.h"
#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "ext2/Ext2Volume.h"
#include "sector/SectorSource.h"
#include "volumes/SuperblockSummary.h"
#include "volumes/VolumeLists.h"

#include <array>
#include <cstdint>
#include <vector>

namespace twl {

enum class ScanMode {
    kQuick,    // jumps over every file system it accepts; starts must be multiples of 63 or 2048
    kThorough, // reads the whole range and meets every backup superblock too
};

inline constexpr std::size_t kFoundSlots = 100;
inline constexpr SectorCount kScanWindowSectors = 63;

struct FoundSlot {
    bool inUse = false;
    SectorNo sector = 0; // where the superblock was found
    RawSuperblock superblock{};
};

// "Unique Logical Drive Super block found at sector %d", the sector as a signed decimal.
std::string FoundText(SectorNo sector);

class LogicalVolumeScan {
public:
    LogicalVolumeScan(SectorSource& source, StopControl& stop, EngineEvents& events);

    // Both return 1, also when stopped. Every slot is emptied first.
    int QuickScan(SectorNo start, SectorNo end);
    int ThoroughScan(SectorNo start, SectorNo end);

    // One slot per file system (the first found), each made a found-volume entry appended to
    // `list`, except an entry with the start and size of the list's first entry.
    void PostProcess(FoundVolumeList& list);

    const std::array<FoundSlot, kFoundSlots>& Slots() const { return m_slots; }
    // True when a superblock was accepted with every slot taken: the sweep stopped there.
    bool SlotsFull() const { return m_slotsFull; }
    SectorNo SlotsFullAt() const { return m_slotsFullAt; }

private:
    int Sweep(std::uint64_t first, SectorNo end, bool thorough);
    ConstBytes Window(std::uint64_t w, SectorNo end);
    // Validates the candidate at c; on acceptance fills the next slot, reports it and sets
    // `start` to the file system's start. Returns whether it was accepted.
    bool TryCandidate(std::uint64_t c, bool thorough, std::uint64_t& start);

    SectorSource& m_source;
    StopControl& m_stop;
    EngineEvents& m_events;
    Ext2Volume m_scratch; // the scan's own superblock, descriptor and inode buffers
    std::array<FoundSlot, kFoundSlots> m_slots{};
    std::size_t m_count = 0;
    SuperblockSummary m_lastSummary{};
    bool m_slotsFull = false;
    SectorNo m_slotsFullAt = 0;

    // Windows are read many at a time; each is still judged on its own.
    AlignedBuffer m_span;
    std::uint64_t m_spanStart = 0;
    std::uint64_t m_spanSectors = 0;
};

// The scan worker: frees both volume lists, sweeps [start, end] in `mode`, post-processes
// into the found-volume list and reports "Logical Volume Scan Completed" (kCompleted) or
// "Logical Volume Scan Aborted" (kAborted) after a stop.
void ScanWorker(SectorSource& source, VolumeLists& lists, ScanMode mode, SectorNo start,
                SectorNo end, StopControl& stop, EngineEvents& events);

} // namespace twl
