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
    for (const std::string& note : TableWalkNotes(walk))
        err << "twl: " << note << "\n";
}

} // namespace

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
