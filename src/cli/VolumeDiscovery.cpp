#include "VolumeDiscovery.h"

#include "CliEvents.h"
#include "session/SourceOpening.h"

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
    if (walk.gpt && walk.gptCopy == GptCopy::kBackup)
        err << "twl: the GUID partition table's primary header or entry array is damaged; its "
               "backup at the disk's last sector was used\n";
    if (walk.gpt && walk.gptCopy == GptCopy::kNone)
        err << "twl: sector 0 marks a GUID partition table, but both of its copies are damaged; "
               "none of its partitions is listed\n";
    if (walk.gptPastDisk != 0)
        err << "twl: " << walk.gptPastDisk
            << " GUID partition table entries lie past the end of the disk and were not "
               "followed\n";
    if (walk.capReached)
        err << "twl: more than " << kMaxPartitionEntries
            << " partitions; the rest of the chain was not read\n";
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
    VolumeSearch search(session.Mode(), scan.thorough ? ScanMode::kThorough : ScanMode::kQuick);
    search.start = scan.start;
    search.end = scan.end;
    search.walked = [&](const WalkReport& walk) { ReportWalk(walk, context.err); };
    CliEvents events(context);
    session.ScanStop().Clear();
    const VolumeListing listing = FindVolumes(session, search, events);
    events.EndProgressLine();
    Discovery discovery{0, listing.rangeError};
    if (!discovery.error.empty())
        return discovery;
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
    const SectorSource& source = session.Source();
    if (source.UnreadableSectors() != 0)
        context.err << "twl: " << source.UnreadableSectors()
                    << " sectors could not be read and were taken as zeros\n";
    discovery.listed = listing.listed;
    if (discovery.listed == 0)
        context.err << kNoLogicalDrives << '\n';
    return discovery;
}

} // namespace twl::cli
