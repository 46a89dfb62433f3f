#pragma once

// Whether the disk or image a loaded scan information file names is still the one the file
// was saved from: its size and its fingerprint sector (the first sector from 1 on that was
// not all zero) must be as the file recorded them. A catalogue is never used to read a
// source that fails this, since its inode numbers and block maps would name other data.

#include "scaninfo/ScanInfoFormat.h"
#include "sector/BlockReader.h"
#include "sector/SectorSource.h"

#include <array>
#include <optional>
#include <string>

namespace twl {

// What the source holds now; each part empty when it cannot be read, which (as in the volume
// page's re-check) does not count against the source.
struct SourceSample {
    std::optional<ByteCount> size;
    std::optional<std::array<std::uint8_t, kSectorSize>> fingerprint;
};

// The size and fingerprint sector of a reopened image.
SourceSample SampleImage(BlockReader& image, SectorNo fingerprintSector);
// The same of physical drive `driveId` of the source's inventory.
SourceSample SampleDrive(SectorSource& source, DriveId driveId, SectorNo fingerprintSector);

// Why the sampled source is not the one `stored` describes; empty when it is. The text follows
// the volume page's "not at its original location" message.
std::string SourceDifference(const SourceBlock& stored, const SourceSample& now);

} // namespace twl
