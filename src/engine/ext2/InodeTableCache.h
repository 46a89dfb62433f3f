#pragma once

// Inode-table runs read in large requests and kept in a small least-recently-used set. The
// volume reader decides where a run starts and ends (the sectors a folder's inodes need, read
// in ascending order); the cache only holds runs and finds the one holding a sector. A run
// never passes the last sector a 32-bit number reaches. A sector of a run that cannot be read
// reads as zeros and is told apart.

#include "core/AlignedBuffer.h"
#include "sector/SectorSource.h"

#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace twl {

class InodeTableCache {
public:
    static constexpr std::uint64_t kMostRunSectors = 128; // 64 KiB a read
    static constexpr std::size_t kMostRuns = 16;          // 1 MiB at most

    explicit InodeTableCache(SectorSource& source) : m_source(source) {}

    struct SectorView {
        const std::uint8_t* bytes = nullptr; // kSectorSize bytes, valid until the next Load
        bool readable = true;
    };
    // Absolute sector `sector`, when a held run has it.
    std::optional<SectorView> Find(std::uint64_t sector);
    // Reads `sectors` sectors (1 to kMostRunSectors) from absolute sector `start` as one run,
    // in place of the run used longest ago when the cache is full.
    SectorView Load(std::uint64_t start, std::uint64_t sectors);
    // The first sector of the held run that starts after `sector`, or the largest number.
    std::uint64_t NextHeldStart(std::uint64_t sector) const;

    // Read requests made so far (for tests of how the tables are read).
    std::uint64_t Reads() const { return m_reads; }

private:
    struct Run {
        std::uint64_t start = 0; // absolute first sector
        std::uint64_t sectors = 0;
        std::uint64_t lastUse = 0;
        std::bitset<kMostRunSectors> unreadable;
        AlignedBuffer bytes;
    };
    SectorView View(Run& run, std::uint64_t sector);
    Run& FreeRun();
    void FindUnreadable(Run& run);

    SectorSource& m_source;
    std::vector<Run> m_runs;
    std::map<std::uint64_t, std::size_t> m_byStart; // run start -> index in m_runs
    std::size_t m_last = 0;                         // the run used last, when any
    std::uint64_t m_uses = 0;
    std::uint64_t m_reads = 0;
};

} // namespace twl
