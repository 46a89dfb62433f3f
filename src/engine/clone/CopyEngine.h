#pragma once

// The clone and image copy: every sector of the source from sector 0 onto a destination, with
// unreadable sectors replaced by the bad-sector filler. Destination sector i always holds
// source sector i or the filler. The copy runs in passes over a map of sector states
// (RescuePasses.h), good areas first; with a map file the map outlives the run, so a stopped
// copy continues where it stopped.

#include "clone/CopyTarget.h"
#include "clone/RescuePasses.h"
#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "sector/SectorSource.h"

#include <cstdint>
#include <string>

namespace twl {

// Copies sectors 0 .. count - 1 of `source` (drive id `from`) onto `target` with a map that
// lives only as long as the copy, polling `stop` before every read. Stops early when the
// destination is full.
CopyReport CopySectors(SectorSource& source, DriveId from, CopyTarget& target, std::uint64_t count,
                       StopControl& stop, EngineEvents& events);

enum class CopyKind { kClone, kImage };

struct CopyJob {
    CopyKind kind = CopyKind::kImage;
    DriveId source = kImageDriveId;
    DriveId destination = kImageDriveId; // clones
    std::string imagePath;               // images
    std::uint64_t count = 0;             // sectors to copy
    std::string mapPath = {};            // the map file; none when empty
    unsigned retries = kDefaultRetries;  // passes over the bad sectors at the end
};

// What names a copy's source and destination in a map file: a disk's model and serial (its
// path when it has no serial), an image's full path.
MapSource MapSourceOf(const SectorSource& source, const CopyJob& job);

// Why a copy must not start: the destination (or the map file) is the source, or lies on it,
// or (clones) a drive in use by the system. Empty when it may.
std::string RefuseDestination(const SectorSource& source, const CopyJob& job);

// The clone and imaging workers: read the map file when it exists (a damaged one, one made for
// another source or size, or one whose image is missing or short is refused), open the
// destination (nothing is written when it cannot be opened or is refused; an image being
// continued keeps what it holds), copy, give an image its full size, then report "Cloning
// Completed" / "Cloning Aborted" or "Imaging Completed" / "Imaging Aborted" (with "N sectors
// could not be written" first when writes failed, how much of the source was left out when it
// did not all fit, and how to continue a stopped copy with its map) and WorkerDone(kCompleted
// or kAborted).
CopyReport RunCopyWorker(SectorSource& source, const CopyJob& job, StopControl& stop,
                         EngineEvents& events);

// The sectors of the job's source past the `count` it copies: what a smaller clone
// destination (or the reach of 32-bit sector numbers) leaves out. 0 when the source cannot
// be sized.
std::uint64_t SectorsLeftOut(SectorSource& source, const CopyJob& job);

// The sectors a clone copies: the smaller of the two drives, a drive that cannot be sized
// counting as 0; at most 2^32 sectors, as far as 32-bit sector numbers reach.
std::uint64_t CloneSectorCount(SectorSource& source, DriveId from, DriveId to);

// One line for a rescue copy's state: "copying at sector 2048: 4% done, 120.000 MB/s, 3 bad
// sectors (1.500 KB) in 2 areas, last good read 0 s ago, 2 min 10 s left".
std::string RescueProgressText(const RescueStatus& status);

// "Copying Sector %lu of %lu" and its percent.
std::string CopyProgressText(std::uint64_t done, std::uint64_t total);
int CopyPercent(std::uint64_t done, std::uint64_t total);

} // namespace twl
