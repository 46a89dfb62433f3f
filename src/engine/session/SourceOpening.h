#pragma once

// Opening a source and its volumes, the way every front end does it: the disk or image made
// the session's source, its volumes found as the processing mode says (the partition tables,
// the superblock sweep, or the sweep when the tables hold no Linux partition), and a listed
// volume opened.

#include "core/EngineEvents.h"
#include "core/Status.h"
#include "session/ListedVolumes.h"
#include "session/RecoverySession.h"
#include "volumes/LogicalVolumeScan.h"
#include "volumes/PartitionTableWalk.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace twl {

// What to read: a drive of the inventory, or (kImageDriveId) the image file at `imagePath`,
// which may also be a block device read as an image.
struct SourceChoice {
    DriveId drive = kImageDriveId;
    std::string imagePath;
};

// Makes `choice` the session's source. On failure the status says why.
Status OpenSource(RecoverySession& session, const SourceChoice& choice);

// How the volumes of a source are found.
struct VolumeSearch {
    explicit VolumeSearch(ProcessingMode byMode = ProcessingMode::kAuto,
                          ScanMode sweepMode = ScanMode::kQuick)
        : mode(byMode), sweep(sweepMode) {}

    ProcessingMode mode = ProcessingMode::kAuto;
    ScanMode sweep = ScanMode::kQuick;
    // The thorough sweep's first and last sector; the whole source where not given.
    std::optional<std::uint64_t> start;
    std::optional<std::uint64_t> end;
    // Told what the partition-table walk met, before any sweep begins.
    std::function<void(const WalkReport&)> walked;
};

struct VolumeListing {
    std::string rangeError; // the sweep's range does not fit the source: nothing was swept
    std::size_t listed = 0; // rows of the volume page
};

// Finds the volumes of the session's source: the mode becomes `search.mode`, the partition
// tables are walked unless it is kScan, and the sweep runs for kScan, or for kAuto when the
// tables hold no Linux partition. The sweep reports to `events` and polls the session's scan
// stop as it finds it (a front end clears it before). A source with no sectors to sweep, or a
// thorough range that does not fit it, gives `rangeError` and sweeps nothing.
VolumeListing FindVolumes(RecoverySession& session, const VolumeSearch& search,
                          EngineEvents& events);

struct VolumeOpening {
    Status source;         // why the source could not be opened; Ok when it was
    VolumeListing listing; // the volumes found on it
    OpenOutcome outcome = OpenOutcome::kNoSuchVolume;
    std::string text; // what a front end shows about the open, as OpenListedVolume gives it
};

// Opens `choice`, finds its volumes as `search` says and opens listed row `row` (0 for the
// first) as OpenListedVolume does, with its outcome and text. A source that could not be
// opened (`source` says why), or that lists no row `row`, gives kNoSuchVolume and leaves the
// open volume as it was.
VolumeOpening OpenSourceVolume(RecoverySession& session, const SourceChoice& choice,
                               const VolumeSearch& search, std::size_t row,
                               const std::function<bool()>& searchForBackup, EngineEvents& events);

} // namespace twl
