// twl volumes SOURCE: the Linux volumes of a disk or image, as the volume page lists them,
// one tab-separated row each; from the partition tables, a superblock sweep, or both.

#include "Arguments.h"
#include "CommandHelp.h"
#include "Commands.h"
#include "InterruptRelay.h"
#include "SourceArgument.h"
#include "TextEscape.h"
#include "VolumeDiscovery.h"
#include "platform/DriveInventory.h"
#include "session/ListedVolumes.h"

#include <cstdio>
#include <ostream>

namespace twl::cli {
namespace {

// One entry of whichever list the volume page shows.
struct VolumeRow {
    std::uint8_t status = 0;
    std::uint8_t type = 0;
    SectorNo start = 0;
    SectorCount size = 0;
    VolumeLabel label{};
};

std::vector<VolumeRow> RowsOf(const RecoverySession& session) {
    std::vector<VolumeRow> rows;
    if (ListsPartitions(session)) {
        for (const PartitionEntry& e : session.Lists().partitions.entries)
            rows.push_back({e.status, e.type, e.start, e.size, e.label});
    } else {
        for (const FoundVolumeEntry& e : session.Lists().found.entries)
            rows.push_back({e.status, e.type, e.start, e.size, e.label});
    }
    return rows;
}

std::string Hex2(std::uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

// Listed rows only, or (all) every entry with its boot flag and type, "-" in the row column
// for entries the volume page does not show (other types, extended containers, empty ones).
void PrintRows(const std::vector<VolumeRow>& rows, bool all, std::ostream& out) {
    out << (all ? "row\tstatus\ttype\tstart\tsectors\tlabel\n" : "row\tstart\tsectors\tlabel\n");
    std::size_t number = 0;
    for (const VolumeRow& row : rows) {
        const bool listed = row.type == kLinuxPartitionType && row.size != 0;
        if (!listed && !all)
            continue;
        out << (listed ? std::to_string(++number) : "-") << '\t';
        if (all)
            out << Hex2(row.status) << '\t' << Hex2(row.type) << '\t';
        out << row.start << '\t' << row.size << '\t' << EscapeField(LabelText(row.label)) << '\n';
    }
}

// Every entry of a GUID partition table: the row its Linux volume has on the volume page ("-"
// for entries that are not Linux volumes, "damaged" for those past the disk), its place in
// the array, type, extent, name and volume label.
void PrintGptRows(const PartitionList& list, std::ostream& out) {
    out << "row\tindex\ttype\tstart\tsectors\tname\tlabel\n";
    std::size_t number = 0;
    for (const GptEntry& entry : list.gptEntries) {
        std::string label;
        if (entry.linuxVolume) {
            if (number < list.entries.size())
                label = LabelText(list.entries[number].label);
            out << ++number;
        } else {
            out << (entry.withinDisk ? "-" : "damaged");
        }
        const std::string known = GuidTypeName(entry.type);
        out << '\t' << entry.index << '\t' << entry.type.Text()
            << (known.empty() ? "" : " (" + known + ")") << '\t' << entry.firstLba << '\t'
            << (entry.lastLba >= entry.firstLba ? entry.lastLba - entry.firstLba + 1 : 0) << '\t'
            << EscapeField(entry.name) << '\t' << EscapeField(label) << '\n';
    }
}

} // namespace

int RunVolumesCommand(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("volumes"));
    if (!args.error.empty() || args.positional.size() != 1) {
        context.err << "twl volumes: " << (args.error.empty() ? "expects one SOURCE" : args.error)
                    << '\n'
                    << UsageLines("volumes");
        return kExitUsage;
    }
    const std::string modeWord = args.Value("--mode").value_or("auto");
    const std::optional<ProcessingMode> mode = ParseMode(modeWord);
    if (!mode) {
        context.err << "twl volumes: unknown mode '" << modeWord << "' (" << kModeChoices << ")\n";
        return kExitUsage;
    }
    ScanOptions scan;
    if (const std::string error = ParseScanOptions(args, scan); !error.empty()) {
        context.err << "twl volumes: " << error << '\n' << UsageLines("volumes");
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives), context.readerFactory);
    const InterruptRelay::Watch interrupts(context.interrupts,
                                           {&session.Stop(), &session.ScanStop()});
    const Status opened = OpenSourceArgument(args.positional.front(), session);
    if (!opened.Ok()) {
        context.err << "twl volumes: " << Describe(opened) << '\n';
        return kExitUsage;
    }
    session.SetMode(*mode);
    const Discovery discovery = DiscoverVolumes(session, scan, context);
    if (!discovery.error.empty()) {
        context.err << "twl volumes: " << discovery.error << '\n';
        return kExitUsage;
    }
    const PartitionList& partitions = session.Lists().partitions;
    if (args.Has("--all") && ListsPartitions(session) && !partitions.gptEntries.empty())
        PrintGptRows(partitions, context.out);
    else if (discovery.listed != 0 || args.Has("--all"))
        PrintRows(RowsOf(session), args.Has("--all"), context.out);
    // A volume listed but not readable by this version says so rather than fail later.
    const std::vector<ListedVolume> listed = ListedVolumes(session);
    for (std::size_t row = 0; row < listed.size(); ++row)
        if (const std::string note = ListedVolumeNote(session, listed[row]); !note.empty())
            context.err << "twl: row " << row + 1 << ": " << note << '\n';
    return discovery.listed != 0 ? kExitOk : kExitNotFound;
}

} // namespace twl::cli
