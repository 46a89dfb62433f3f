// twl volumes SOURCE [--mode table] [--all]: the Linux volumes of a disk or image, as the
// volume page lists them, one tab-separated row each.

#include "Arguments.h"
#include "Commands.h"
#include "SourceArgument.h"
#include "TextEscape.h"
#include "VolumeDiscovery.h"
#include "platform/DriveInventory.h"

#include <cstdio>
#include <ostream>

namespace twl::cli {
namespace {

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

int ListVolumes(RecoverySession& session, bool all, CliContext& context) {
    const std::size_t count = DiscoverVolumes(session, context);
    const PartitionList& list = session.Lists().partitions;
    if (all)
        PrintAllEntries(list, context.out);
    else if (count != 0)
        PrintListedRows(list, context.out);
    return count != 0 ? kExitOk : kExitNotFound;
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
    const std::string modeWord = args.Value("--mode").value_or("table");
    const std::optional<ProcessingMode> mode = ParseMode(modeWord);
    if (!mode) {
        context.err << "twl volumes: unknown mode '" << modeWord << "' (" << kModeChoices << ")\n";
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives));
    const Status opened = OpenSourceArgument(args.positional.front(), session);
    if (!opened.Ok()) {
        context.err << "twl volumes: " << Describe(opened) << '\n';
        return kExitUsage;
    }
    session.SetMode(*mode);
    return ListVolumes(session, args.Has("--all"), context);
}

} // namespace twl::cli
