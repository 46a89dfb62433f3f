#include "ext2/InodeTableCache.h"

#include <algorithm>
#include <limits>

namespace twl {

std::optional<InodeTableCache::SectorView> InodeTableCache::Find(std::uint64_t sector) {
    const auto holds = [sector](const Run& run) {
        return sector >= run.start && sector - run.start < run.sectors;
    };
    if (!m_runs.empty() && holds(m_runs[m_last]))
        return View(m_runs[m_last], sector);
    auto it = m_byStart.upper_bound(sector);
    if (it == m_byStart.begin())
        return std::nullopt;
    --it;
    if (!holds(m_runs[it->second]))
        return std::nullopt;
    m_last = it->second;
    return View(m_runs[m_last], sector);
}

InodeTableCache::SectorView InodeTableCache::View(Run& run, std::uint64_t sector) {
    run.lastUse = ++m_uses;
    const std::uint64_t at = sector - run.start;
    return {run.bytes.data() + at * kSectorSize, !run.unreadable[at]};
}

std::uint64_t InodeTableCache::NextHeldStart(std::uint64_t sector) const {
    const auto it = m_byStart.upper_bound(sector);
    return it == m_byStart.end() ? std::numeric_limits<std::uint64_t>::max() : it->first;
}

InodeTableCache::SectorView InodeTableCache::Load(std::uint64_t start, std::uint64_t sectors) {
    sectors = std::clamp<std::uint64_t>(sectors, 1, kMostRunSectors);
    if (start > kLastSector)
        sectors = 0;
    else
        sectors = std::min(sectors, kLastSector - start + 1);
    Run& run = FreeRun();
    run.start = start;
    run.sectors = sectors;
    run.unreadable.reset();
    if (sectors != 0) {
        ++m_reads;
        const MutableBytes bytes = run.bytes.Bytes().first(sectors * kSectorSize);
        if (m_source.ReadSectorsCleared(static_cast<SectorNo>(start), bytes) == 0)
            FindUnreadable(run);
    }
    m_byStart[start] = m_last;
    return View(run, start);
}

// A new run while fewer than kMostRuns are held, else the one used longest ago.
InodeTableCache::Run& InodeTableCache::FreeRun() {
    if (m_runs.size() < kMostRuns) {
        m_runs.push_back({0, 0, 0, {}, AlignedBuffer(kMostRunSectors * kSectorSize)});
        m_last = m_runs.size() - 1;
        return m_runs.back();
    }
    const auto oldest =
        std::min_element(m_runs.begin(), m_runs.end(),
                         [](const Run& a, const Run& b) { return a.lastUse < b.lastUse; });
    const auto held = m_byStart.find(oldest->start);
    if (held != m_byStart.end() &&
        held->second == static_cast<std::size_t>(oldest - m_runs.begin()))
        m_byStart.erase(held);
    m_last = static_cast<std::size_t>(oldest - m_runs.begin());
    return *oldest;
}

// After a read of the run that failed somewhere: which of its sectors failed. Those read as
// zeros; each such sector is tried once more on its own, without being counted again.
void InodeTableCache::FindUnreadable(Run& run) {
    for (std::uint64_t i = 0; i < run.sectors; ++i) {
        const MutableBytes sector = run.bytes.Bytes().subspan(i * kSectorSize, kSectorSize);
        if (std::any_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b != 0; }))
            continue;
        const SectorNo number = static_cast<SectorNo>(run.start + i);
        if (m_source.ReadSectorsOnce(m_source.CurrentDriveId(), number, sector) == 0) {
            std::fill(sector.begin(), sector.end(), std::uint8_t{0});
            run.unreadable.set(i);
        }
    }
}

} // namespace twl
