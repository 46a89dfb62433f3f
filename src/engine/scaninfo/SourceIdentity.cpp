#include "scaninfo/SourceIdentity.h"

namespace twl {

SourceSample SampleImage(BlockReader& image, SectorNo fingerprintSector) {
    SourceSample sample;
    Status status;
    const ByteCount size = image.Size(status);
    if (status.Ok())
        sample.size = size;
    std::array<std::uint8_t, kSectorSize> sector{};
    // Past the end of the image the sector reads as zeros, as a source read leaves it.
    if (image.ReadAt(SectorOffset(fingerprintSector), sector).error == 0)
        sample.fingerprint = sector;
    return sample;
}

SourceSample SampleDrive(SectorSource& source, DriveId driveId, SectorNo fingerprintSector) {
    SourceSample sample;
    ByteCount size = 0;
    if (source.GetDriveSize(driveId, size).Ok())
        sample.size = size;
    std::array<std::uint8_t, kSectorSize> sector{};
    if (source.ReadSectors(driveId, fingerprintSector, sector) == 1)
        sample.fingerprint = sector;
    return sample;
}

std::string SourceDifference(const SourceBlock& stored, const SourceSample& now) {
    if (now.size && *now.size != stored.sourceSize)
        return "it now holds " + std::to_string(*now.size) +
               " bytes, where the scan "
               "information was saved from " +
               std::to_string(stored.sourceSize);
    if (now.fingerprint && *now.fingerprint != stored.fingerprint)
        return "its sector " + std::to_string(stored.fingerprintSector) +
               " no longer holds what it held when the scan information was saved";
    return {};
}

} // namespace twl
