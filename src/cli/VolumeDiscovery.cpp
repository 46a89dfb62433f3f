#include "VolumeDiscovery.h"

#include "ext2/VolumeOpen.h"
#include "volumes/PartitionTableWalk.h"

#include <ostream>

namespace twl::cli {
namespace {

constexpr const char* kNoLogicalDrives =
    "No Logical Drives found\nPlease use Scan for logical Drives";

void ReportWalk(const WalkReport& walk, std::ostream& err) {
    if (walk.noSignature)
        err << "twl: sector 0 holds no partition table (no 0x55 0xAA signature)\n";
    if (walk.implausible)
        err << "twl: a primary partition lies beyond the end of the disk; extended partitions "
               "were not followed\n";
    if (walk.loopStopped)
        err << "twl: the chain of extended partitions leads back to sector " << walk.loopSector
            << "; the walk stopped there\n";
    if (walk.capReached)
        err << "twl: more than " << kMaxPartitionEntries
            << " partitions; the rest of the chain was not read\n";
}

} // namespace

std::optional<ProcessingMode> ParseMode(const std::string& word) {
    if (word == "table")
        return ProcessingMode::kTable;
    return std::nullopt;
}

std::size_t DiscoverVolumes(RecoverySession& session, CliContext& context) {
    SectorSource& source = session.Source();
    const TableListing listing =
        ListVolumesFromTable(source, source.CurrentDriveId(), session.Lists());
    ReportWalk(listing.walk, context.err);
    if (source.UnreadableSectors() != 0)
        context.err << "twl: " << source.UnreadableSectors()
                    << " sectors could not be read and were taken as zeros\n";
    const std::size_t count = ListedVolumeCount(session);
    if (count == 0)
        context.err << kNoLogicalDrives << '\n';
    return count;
}

} // namespace twl::cli
