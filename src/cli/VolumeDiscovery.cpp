#include "VolumeDiscovery.h"

#include "CliEvents.h"
#include "session/ListedVolumes.h"
#include "volumes/LogicalVolumeScan.h"
#include "volumes/PartitionTableWalk.h"
#include "volumes/ScanRange.h"

#include <cstdint>
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

// The sweep's range from the options; the error text of the range check when it does not fit.
std::string ScanRangeOf(SectorSource& source, const ScanOptions& scan, SectorRange& range) {
    const std::optional<SectorRange> whole = WholeSourceRange(source);
    if (!whole)
        return "the source holds no sectors to scan";
    range = *whole;
    if (!scan.thorough)
        return {};
    const auto start = static_cast<std::int64_t>(scan.start.value_or(0));
    const auto end = static_cast<std::int64_t>(scan.end.value_or(whole->end));
    const RangeCheck check = CheckSectorRange(start, end, std::uint64_t{whole->end} + 1);
    if (check != RangeCheck::kOk)
        return std::string(RangeCheckText(check));
    range = {static_cast<SectorNo>(start), static_cast<SectorNo>(end)};
    return {};
}

std::string Sweep(RecoverySession& session, const ScanOptions& scan, CliContext& context) {
    SectorRange range;
    const std::string error = ScanRangeOf(session.Source(), scan, range);
    if (!error.empty())
        return error;
    CliEvents events(context);
    session.ScanStop().Clear();
    ScanWorker(session.Source(), session.Lists(),
               scan.thorough ? ScanMode::kThorough : ScanMode::kQuick, range.start, range.end,
               session.ScanStop(), events);
    events.EndProgressLine();
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
    return {};
}

} // namespace

const std::vector<OptionDef> kDiscoveryOptions = {
    {"--mode", true}, {"--thorough", false}, {"--start", true}, {"--end", true}};

std::optional<ProcessingMode> ParseMode(const std::string& word) {
    if (word == "table")
        return ProcessingMode::kTable;
    if (word == "scan")
        return ProcessingMode::kScan;
    if (word == "auto")
        return ProcessingMode::kAuto;
    return std::nullopt;
}

std::string ParseScanOptions(const ParsedArguments& args, ScanOptions& scan) {
    scan.thorough = args.Has("--thorough");
    if (!scan.thorough && (args.Has("--start") || args.Has("--end")))
        return "--start and --end set the range of --thorough and go only with it";
    for (const auto& [name, value] : {std::pair{"--start", &scan.start}, {"--end", &scan.end}}) {
        if (const auto text = args.Value(name)) {
            *value = ParseUnsigned(*text, INT64_MAX);
            if (!*value)
                return std::string(name) + " takes a sector number (0 or more): " + *text;
        }
    }
    return {};
}

Discovery DiscoverVolumes(RecoverySession& session, const ScanOptions& scan, CliContext& context) {
    Discovery discovery;
    SectorSource& source = session.Source();
    bool sweep = session.Mode() == ProcessingMode::kScan;
    if (!sweep) {
        const TableListing listing =
            ListVolumesFromTable(source, source.CurrentDriveId(), session.Lists());
        ReportWalk(listing.walk, context.err);
        sweep = listing.linuxFound == 0 && session.Mode() == ProcessingMode::kAuto;
    }
    if (sweep)
        discovery.error = Sweep(session, scan, context);
    if (!discovery.error.empty())
        return discovery;
    if (source.UnreadableSectors() != 0)
        context.err << "twl: " << source.UnreadableSectors()
                    << " sectors could not be read and were taken as zeros\n";
    discovery.listed = ListedVolumeCount(session);
    if (discovery.listed == 0)
        context.err << kNoLogicalDrives << '\n';
    return discovery;
}

} // namespace twl::cli
