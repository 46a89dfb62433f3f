#pragma once

// Writes the scan information file of a session: the source with its fingerprint, the volume
// list, the open volume's record, superblock and descriptors, and the whole catalogue.

#include "core/Status.h"
#include "scaninfo/ScanInfoFormat.h"
#include "session/RecoverySession.h"

#include <functional>
#include <string>

namespace twl {

// The first sector from sector 1 on that is not all zero, and its contents: the sector count
// and zeros when there is none, sector 1 and zeros for a source under two sectors.
struct Fingerprint {
    SectorNo sector = 1;
    std::array<std::uint8_t, kSectorSize> contents{};
};
Fingerprint FindFingerprint(SectorSource& source);

// Told the percent of nodes written whenever it changes; answers false to give the file up.
using ScanInfoProgress = std::function<bool(int percent)>;

// Writes the file at `path`. Fails, leaving no file, when the file cannot be created or
// written, when `path` is the source itself, when no volume is open, when the image's folder
// or name does not fit its 259-character field, or (kStopped) when `progress` gives it up.
Status WriteScanInfoFile(RecoverySession& session, const std::string& path,
                         const ScanInfoProgress& progress);

} // namespace twl
