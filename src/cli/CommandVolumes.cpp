// twl volumes SOURCE [--mode table] [--all]: the Linux volumes of a disk or image, as the
// volume page lists them, one tab-separated row each.

#include "Arguments.h"
#include "Commands.h"
#include "SourceArgument.h"
#include "TextEscape.h"
#include "platform/DriveInventory.h"
#include "volumes/PartitionTableWalk.h"

#include <cstdio>
#include <ostream>

namespace twl::cli {
namespace {

constexpr const char* kNoLogicalDrives =
    "No Logical Drives found\nPlease use Scan for logical Drives";

const OptionSpec kVolumesOptions[] = {{"--mode", true}, {"--all", false}};

std::string Hex2(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

void PrintListedRows(const PartitionList& list, std::ostream& out) {
    out << "row\tstart\tsectors\tlabel\n";
    std::size_t row = 0;
    for (const std::size_t index : ListedLinuxPartitions(list)) {
        const PartitionEntry& entry = list.entries[index];
        out << ++row << '\t' << entry.start << '\t' << entry.size << '\t'
            << EscapeField(LabelText(entry.label)) << '\n';
    }
}

// Every entry of the partition list; row is the volume's listed number, "-" for entries the
// volume page does not show (other types, extended containers, empty Linux entries).
void PrintAllEntries(const PartitionList& list, std::ostream& out) {
    out << "row\tstatus\ttype\tstart\tsectors\tlabel\n";
    std::size_t row = 0;
    for (const PartitionEntry& entry : list.entries) {
        const bool listed = entry.type == kLinuxPartitionType && entry.size != 0;
        out << (listed ? std::to_string(++row) : "-") << '\t' << Hex2(entry.status) << '\t'
            << Hex2(entry.type) << '\t' << entry.start << '\t' << entry.size << '\t'
            << EscapeField(LabelText(entry.label)) << '\n';
    }
}

void ReportWalk(const WalkReport& walk, const SectorSource& source, std::ostream& err) {
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
    if (source.UnreadableSectors() != 0)
        err << "twl: " << source.UnreadableSectors()
            << " sectors could not be read and were taken as zeros\n";
}

int ListFromTable(RecoverySession& session, bool all, CliContext& context) {
    SectorSource& source = session.Source();
    const TableListing listing =
        ListVolumesFromTable(source, source.CurrentDriveId(), session.Lists());
    const PartitionList& list = session.Lists().partitions;
    if (all)
        PrintAllEntries(list, context.out);
    ReportWalk(listing.walk, source, context.err);
    if (ListedLinuxPartitions(list).empty()) {
        context.err << kNoLogicalDrives << '\n';
        return kExitNotFound;
    }
    if (!all)
        PrintListedRows(list, context.out);
    return kExitOk;
}

} // namespace

int RunVolumesCommand(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, kVolumesOptions);
    if (!args.error.empty() || args.positional.size() != 1) {
        context.err << "twl volumes: " << (args.error.empty() ? "expects one SOURCE" : args.error)
                    << '\n'
                    << "usage: twl volumes SOURCE [--mode table] [--all]\n";
        return kExitUsage;
    }
    const std::string mode = args.Value("--mode").value_or("table");
    if (mode != "table") {
        context.err << "twl volumes: unknown mode '" << mode << "' (table)\n";
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives));
    const Status opened = OpenSourceArgument(args.positional.front(), session);
    if (!opened.Ok()) {
        context.err << "twl volumes: " << Describe(opened) << '\n';
        return kExitUsage;
    }
    session.SetMode(ProcessingMode::kTable);
    return ListFromTable(session, args.Has("--all"), context);
}

} // namespace twl::cli
