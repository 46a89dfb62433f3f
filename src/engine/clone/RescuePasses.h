#pragma once

// The passes of a copy over a map of sector states, so that a failing disk gives up what
// reads easily before its hard parts are tried again:
//  1. copy: 1 MiB reads in order; a read that fails is read again in 64 KiB clusters, and a
//     cluster that fails is marked untrimmed and the copy skips ahead, further after each
//     failure in a row and less after each good read; then the areas skipped, without
//     skipping;
//  2. trim: each failed cluster read sector by sector from both ends until a bad sector;
//  3. scrape: the sectors between, one by one;
//  4. retry: the bad sectors again, `retries` times.
// A sector marked bad gets the filler at once, so the destination and the map always agree.
// A stopped run writes the filler into the areas it had not finished trimming or scraping.

#include "clone/CopyTarget.h"
#include "clone/RescueMap.h"
#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "sector/SectorSource.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace twl {

inline constexpr std::uint32_t kChunkSectors = 32;
inline constexpr std::uint32_t kClusterSectors = 128; // 64 KiB
inline constexpr std::uint32_t kSpanSectors = 2048;   // 1 MiB
inline constexpr std::size_t kListedFillers = 20;     // filler sector numbers kept for reports
inline constexpr unsigned kDefaultRetries = 2;

struct CopyReport {
    bool completed = false;                  // every pass ran to its end
    bool destinationFull = false;            // the copy ended because the destination was full
    std::uint64_t sectorsDone = 0;           // sectors finished or bad when the copy ended
    std::uint64_t fillerSectors = 0;         // sectors that could not be read
    std::vector<std::uint64_t> firstFillers; // the first 20 of them
    std::uint64_t unwrittenSectors = 0;      // sectors whose write failed
    std::uint64_t leftOutSectors = 0;        // source sectors past what the job copies
};

struct RescueOptions {
    unsigned retries = kDefaultRetries;
    // Keeps the map where it lasts; false when it could not. Called at least every
    // `saveEvery`, after every pass and at the end; none for a copy without a map file.
    std::function<bool(const RescueMap&)> saveMap;
    std::chrono::steady_clock::duration saveEvery = std::chrono::seconds(30);
};

// Runs the passes over what `map` does not hold as finished or bad, reading sector s of
// `source` (drive `from`) onto sector s of `target`, polling `stop` before every read.
// Progress goes to CopyProgress (finished and bad sectors), CopyUnreadable and
// RescueProgress; a map that cannot be saved is told once through Message.
CopyReport RunRescuePasses(SectorSource& source, DriveId from, CopyTarget& target, RescueMap& map,
                           const RescueOptions& options, StopControl& stop, EngineEvents& events);

// 32 times "**BAD SECTOR**" and two zero bytes.
const std::array<std::uint8_t, kSectorSize>& FillerSector();

} // namespace twl
