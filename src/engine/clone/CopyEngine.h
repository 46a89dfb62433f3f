#pragma once

// The clone and image copy: every sector of the source from sector 0, in order, onto a
// destination, with unreadable sectors replaced by the bad-sector filler. Destination sector
// i always holds source sector i or the filler.
//
// Reading: 1 MiB spans while the source reads cleanly; a span that fails is taken again in
// 32-sector chunks, and a chunk that fails sector by sector, each sector read once and
// retried twice before the filler takes its place.

#include "clone/CopyTarget.h"
#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "sector/SectorSource.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace twl {

inline constexpr std::uint32_t kChunkSectors = 32;
inline constexpr std::uint32_t kSpanSectors = 2048; // 1 MiB
inline constexpr std::size_t kListedFillers = 20;   // filler sector numbers kept for reports

// 32 times "**BAD SECTOR**" and two zero bytes.
const std::array<std::uint8_t, kSectorSize>& FillerSector();

struct CopyReport {
    bool completed = false;                  // every sector processed
    bool destinationFull = false;            // the copy ended because the destination was full
    std::uint64_t sectorsDone = 0;           // sectors written (data or filler)
    std::uint64_t fillerSectors = 0;         // sectors that could not be read
    std::vector<std::uint64_t> firstFillers; // the first 20 of them
    std::uint64_t unwrittenSectors = 0;      // sectors whose write failed
    std::uint64_t leftOutSectors = 0;        // source sectors past what the job copies
};

// Copies sectors 0 .. count - 1 of `source` (drive id `from`) onto `target`, polling `stop`
// before every span, chunk, sector, retry and filler write, and reporting CopyProgress after
// every write that succeeded. Stops early when the destination is full.
CopyReport CopySectors(SectorSource& source, DriveId from, CopyTarget& target, std::uint64_t count,
                       StopControl& stop, EngineEvents& events);

enum class CopyKind { kClone, kImage };

struct CopyJob {
    CopyKind kind = CopyKind::kImage;
    DriveId source = kImageDriveId;
    DriveId destination = kImageDriveId; // clones
    std::string imagePath;               // images
    std::uint64_t count = 0;             // sectors to copy
};

// Why a copy must not start: the destination is the source, or (clones) a drive in use by
// the system. Empty when it may.
std::string RefuseDestination(const SectorSource& source, const CopyJob& job);

// The clone and imaging workers: open the destination (nothing is written when it cannot be
// opened or is refused), copy, then report "Cloning Completed" / "Cloning Aborted" or
// "Imaging Completed" / "Imaging Aborted" (with "N sectors could not be written" first when
// writes failed, and how much of the source was left out when it did not all fit) and
// WorkerDone(kCompleted or kAborted).
CopyReport RunCopyWorker(SectorSource& source, const CopyJob& job, StopControl& stop,
                         EngineEvents& events);

// The sectors of the job's source past the `count` it copies: what a smaller clone
// destination (or the reach of 32-bit sector numbers) leaves out. 0 when the source cannot
// be sized.
std::uint64_t SectorsLeftOut(SectorSource& source, const CopyJob& job);

// The sectors a clone copies: the smaller of the two drives, a drive that cannot be sized
// counting as 0; at most 2^32 sectors, as far as 32-bit sector numbers reach.
std::uint64_t CloneSectorCount(SectorSource& source, DriveId from, DriveId to);

// "Copying Sector %lu of %lu" and its percent.
std::string CopyProgressText(std::uint64_t done, std::uint64_t total);
int CopyPercent(std::uint64_t done, std::uint64_t total);

} // namespace twl
