#include "volumes/LogicalVolumeScan.h"

#include "ext2/SuperblockValidation.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace twl {
namespace {

constexpr std::uint64_t kSpanWindows = 16; // about 500 KiB per read
constexpr std::size_t kMagicOffset = 0x38;
constexpr std::uint64_t kMebibyteSectors = 2048;

std::uint64_t WindowFloor(std::uint64_t sector) {
    return sector / kScanWindowSectors * kScanWindowSectors;
}

// The first sector of a window whose bytes 0x38-0x39 are 0x53 0xEF, or -1.
int FirstMagicSector(ConstBytes window) {
    for (std::size_t i = 0; i < kScanWindowSectors; ++i) {
        const std::size_t at = i * kSectorSize + kMagicOffset;
        if (at + 1 < window.size() && window[at] == 0x53 && window[at + 1] == 0xEF)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

std::string FoundText(SectorNo sector) {
    char text[80];
    // Unsigned: past sector 2^31 (1 TiB) a signed number would show a negative sector.
    std::snprintf(text, sizeof text, "Unique Logical Drive Super block found at sector %llu",
                  static_cast<unsigned long long>(sector));
    return text;
}

LogicalVolumeScan::LogicalVolumeScan(SectorSource& source, StopControl& stop, EngineEvents& events)
    : m_source(source), m_stop(stop), m_events(events),
      m_span(kSpanWindows * kScanWindowSectors * kSectorSize) {}

int LogicalVolumeScan::QuickScan(SectorNo start, SectorNo end) {
    return Sweep(start, end, false);
}

int LogicalVolumeScan::ThoroughScan(SectorNo start, SectorNo end) {
    return Sweep(WindowFloor(start), end, true);
}

ConstBytes LogicalVolumeScan::Window(std::uint64_t w, SectorNo end) {
    const std::uint64_t windowBytes = kScanWindowSectors * kSectorSize;
    if (w < m_spanStart || w + kScanWindowSectors > m_spanStart + m_spanSectors) {
        // Read from w on, as far as the last window that can start before the range's end.
        const std::uint64_t last = std::min<std::uint64_t>(kLastSector, end + kScanWindowSectors);
        const std::uint64_t sectors = std::min<std::uint64_t>(
            kSpanWindows * kScanWindowSectors, std::max<std::uint64_t>(last - w + 1, 63));
        m_spanStart = w;
        m_spanSectors = sectors;
        const std::uint64_t readable = std::min(sectors, kLastSector - w + 1);
        // Only what lies past the end of the source is left untouched by the read; a sector
        // that fails comes back as zeros.
        const std::uint64_t sourceSectors = m_source.SourceSize() / kSectorSize;
        const std::uint64_t filled = sourceSectors > w ? std::min(readable, sourceSectors - w) : 0;
        const MutableBytes span = m_span.Bytes();
        std::fill(span.begin() + static_cast<std::ptrdiff_t>(filled * kSectorSize), span.end(),
                  std::uint8_t{0});
        m_source.ReadSectors(static_cast<SectorNo>(w), span.first(readable * kSectorSize));
    }
    return m_span.Bytes().subspan((w - m_spanStart) * kSectorSize, windowBytes);
}

int LogicalVolumeScan::Sweep(std::uint64_t first, SectorNo end, bool thorough) {
    m_slots = {};
    m_count = 0;
    m_slotsFull = false;
    m_spanStart = 0;
    m_spanSectors = 0;
    const std::uint64_t stopBefore = thorough ? 2 : 1; // the sweep runs while w < end - this
    for (std::uint64_t w = first;
         w + stopBefore < end && w <= kLastSector && !m_stop.ShouldStop();) {
        if (thorough)
            m_events.ScanProgress(w - first + 1, std::uint64_t{end} - first + 1);
        else
            m_events.ScanProgress(w + 1, std::uint64_t{end} + 1);
        const int i = FirstMagicSector(Window(w, end));
        if (i >= 0) {
            const std::uint64_t c = w + static_cast<std::uint64_t>(i);
            std::uint64_t start = 0;
            const bool accepted = TryCandidate(c, thorough, start);
            if (m_slotsFull)
                break;
            std::uint64_t next = WindowFloor(c);
            if (accepted && !thorough) {
                // Skip the accepted file system; never step backwards.
                const std::uint64_t size =
                    std::uint64_t{m_scratch.sb.s_blocks_count} * m_scratch.sectorsPerBlock;
                next = std::max(next, WindowFloor(start + size));
            }
            w = next;
        }
        w += kScanWindowSectors;
    }
    return 1;
}

bool LogicalVolumeScan::TryCandidate(std::uint64_t c, bool thorough, std::uint64_t& start) {
    RawSuperblock raw{};
    if (m_source.ReadSectors(static_cast<SectorNo>(c), raw) == 0)
        return false;
    m_scratch.SetSuperblock(raw);
    const auto sector = static_cast<SectorNo>(c);
    if (ValidateScanSuperblock(m_source, m_scratch, sector) == 0)
        return false;
    const std::optional<std::uint64_t> derived = DerivedVolumeStart(m_scratch, sector);
    // The quick scan takes volumes that start where partitioning tools put them: on a track
    // of 63 sectors, or on a 1 MiB boundary as tools of the last decade do.
    if (!derived ||
        (!thorough && *derived % kScanWindowSectors != 0 && *derived % kMebibyteSectors != 0))
        return false;
    const SuperblockSummary summary = SummarizeSuperblock(raw);
    if (m_count > 0 && summary == m_lastSummary)
        return false;
    if (m_count == kFoundSlots) {
        m_slotsFull = true;
        m_slotsFullAt = sector;
        return false;
    }
    m_lastSummary = summary;
    m_slots[m_count] = {true, sector, raw};
    ++m_count;
    m_events.Found(FoundText(sector));
    start = *derived;
    return true;
}

void LogicalVolumeScan::PostProcess(FoundVolumeList& list) {
    for (std::size_t i = 0; i < kFoundSlots; ++i) {
        if (!m_slots[i].inUse)
            continue;
        const SuperblockSummary summary = SummarizeSuperblock(m_slots[i].superblock);
        for (std::size_t j = i + 1; j < kFoundSlots; ++j) {
            if (m_slots[j].inUse && SummarizeSuperblock(m_slots[j].superblock) == summary)
                m_slots[j].inUse = false;
        }
    }
    for (const FoundSlot& slot : m_slots) {
        if (!slot.inUse)
            continue;
        Ext2Volume volume;
        volume.SetSuperblock(slot.superblock);
        FoundVolumeEntry entry;
        entry.start = DerivedVolumeStart(volume, slot.sector).value_or(0);
        entry.superblockSector = slot.sector;
        entry.size = std::uint64_t{volume.sb.s_blocks_count} * volume.sectorsPerBlock;
        entry.label = LabelFromBytes(ConstBytes(slot.superblock).subspan(0x78, kLabelSize));
        if (!list.entries.empty() && list.entries.front().start == entry.start &&
            list.entries.front().size == entry.size)
            continue;
        list.entries.push_back(entry);
    }
}

void ScanWorker(SectorSource& source, VolumeLists& lists, ScanMode mode, SectorNo start,
                SectorNo end, StopControl& stop, EngineEvents& events) {
    lists.FreeBoth();
    LogicalVolumeScan scan(source, stop, events);
    if (mode == ScanMode::kQuick)
        scan.QuickScan(start, end);
    else
        scan.ThoroughScan(start, end);
    scan.PostProcess(lists.found);
    if (scan.SlotsFull())
        events.Message(MessageIcon::kWarning,
                       "The scan keeps at most 100 super blocks; it stopped at sector " +
                           std::to_string(scan.SlotsFullAt()));
    if (stop.StopRequested()) {
        events.Message(MessageIcon::kError, "Logical Volume Scan Aborted");
        events.WorkerDone(WorkerResult::kAborted);
    } else {
        events.Message(MessageIcon::kInformation, "Logical Volume Scan Completed");
        events.WorkerDone(WorkerResult::kCompleted);
    }
}

} // namespace twl
