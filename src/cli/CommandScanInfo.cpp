// twl scaninfo save SOURCE -o PATH | show FILE: writes the scan information of a volume's
// catalogue, or describes a scan information file.

#include "CatalogSteps.h"
#include "CliEvents.h"
#include "CommandHelp.h"
#include "Commands.h"
#include "InterruptRelay.h"
#include "TextEscape.h"
#include "core/SizeText.h"
#include "ext2/TurboScan.h"
#include "platform/DriveInventory.h"
#include "scaninfo/ScanInfoCommands.h"
#include "scaninfo/ScanInfoFormat.h"
#include "scaninfo/ScanInfoReader.h"

#include <filesystem>
#include <ostream>

namespace twl::cli {
namespace {

// PATH itself, or the default name inside PATH when it is a folder.
std::string SavePath(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return (std::filesystem::path(path) / DefaultScanInfoName(std::time(nullptr))).string();
    return path;
}

int Save(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("scaninfo"));
    VolumeRequest request;
    std::string error = args.error;
    if (error.empty() && args.positional.size() != 1)
        error = "expects one SOURCE";
    if (error.empty() && !args.Has("-o"))
        error = "needs -o PATH";
    if (error.empty())
        error = ParseVolumeOptions(args, request);
    if (!error.empty()) {
        context.err << "twl scaninfo save: " << error << '\n' << UsageLines("scaninfo");
        return kExitUsage;
    }
    request.source = args.positional.front();
    RecoverySession session(LoadDriveInventory(context.twlDrives), context.readerFactory);
    const InterruptRelay::Watch interrupts(context.interrupts,
                                           {&session.Stop(), &session.ScanStop()});
    bool completed = false;
    if (const int status = ObtainCatalogue(session, std::nullopt, request, args.Has("--turbo"),
                                           "scaninfo save", context, completed);
        status != kExitOk)
        return status;
    if (!completed)
        return kExitNotFound;
    CliEvents events(context);
    const bool saved = SaveScanInformation(session, SavePath(*args.Value("-o")), events);
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
    return saved ? kExitOk : kExitNotFound;
}

void PrintVolumeList(const VolumeLists& lists, std::ostream& out) {
    if (!lists.partitions.entries.empty()) {
        out << "volume list\tpartition list, " << lists.partitions.entries.size() << " entries\n";
        for (const PartitionEntry& e : lists.partitions.entries)
            out << "  entry\ttype 0x" << std::hex << int{e.type} << std::dec << "\tstart "
                << e.start << "\tsectors " << e.size << "\tlabel "
                << EscapeField(LabelText(e.label)) << '\n';
    } else if (!lists.found.entries.empty()) {
        out << "volume list\tfound volumes, " << lists.found.entries.size() << " entries\n";
        for (const FoundVolumeEntry& e : lists.found.entries)
            out << "  entry\tstart " << e.start << "\tsuperblock " << e.superblockSector
                << "\tsectors " << e.size << "\tlabel " << EscapeField(LabelText(e.label)) << '\n';
    } else {
        out << "volume list\tnone\n";
    }
}

void PrintScanInfo(const LoadedScanInfo& loaded, std::ostream& out) {
    const SourceBlock& source = loaded.source;
    if (source.driveId == kImageDriveId)
        out << "source\timage " << EscapeField(source.imageFolder + "/" + source.imageName) << '\n';
    else
        out << "source\tdisk:" << DriveIndex(source.driveId) << '\n';
    out << "source size\t" << source.sourceSize << " bytes\n"
        << "fingerprint sector\t" << source.fingerprintSector << '\n';
    PrintVolumeList(loaded.lists, out);
    const Ext2Volume& volume = *loaded.volume;
    VolumeLabel label{};
    std::copy_n(volume.selectedVolumeRecord.begin() + 10, kLabelSize, label.begin());
    out << "selected volume\tstart " << volume.start << "\tsectors " << volume.size << "\tlabel "
        << EscapeField(LabelText(label)) << '\n'
        << "superblock\tblock size " << volume.BlockSize() << ", " << volume.sb.s_inodes_count
        << " inodes, " << volume.sb.s_blocks_count << " blocks, " << volume.groupCount
        << " groups, group " << volume.sb.s_block_group_nr << "'s copy\n";
    std::size_t headers = 0;
    loaded.catalog.ForEachBelow(kRootAnchor,
                                [&](NodeId id) { headers += loaded.catalog.Node(id).is_header; });
    const TreeCounters counters = RecountCatalogue(loaded.catalog);
    out << "nodes\t" << counters.files + counters.folders + headers << " (" << counters.folders
        << " folders, " << counters.files << " files, " << headers << " headers)\n"
        << "size\t" << SizeLine(counters.bytes, counters.files, counters.folders) << '\n';
}

int Show(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, {});
    if (!args.error.empty() || args.positional.size() != 1) {
        context.err << "twl scaninfo show: "
                    << (args.error.empty() ? "expects one FILE" : args.error) << '\n'
                    << UsageLines("scaninfo");
        return kExitUsage;
    }
    LoadedScanInfo loaded;
    const std::string& path = args.positional.front();
    switch (ReadScanInfoFile(path, loaded)) {
    case ScanInfoReadResult::kOk:
        PrintScanInfo(loaded, context.out);
        return kExitOk;
    case ScanInfoReadResult::kCannotOpen:
        context.err << kCouldNotOpenScanInfo << ": " << Describe(loaded.openStatus) << '\n';
        return kExitUsage;
    case ScanInfoReadResult::kNotScanInfo:
        context.err << kNotScanInfoText << ": " << path << '\n';
        return kExitNotFound;
    case ScanInfoReadResult::kDamaged:
        context.err << "The scan info file " << path << " is damaged: " << loaded.damage << '\n';
        return kExitNotFound;
    }
    return kExitNotFound;
}

} // namespace

int RunScanInfoCommand(std::span<const std::string> words, CliContext& context) {
    if (!words.empty() && words.front() == "save")
        return Save(words.subspan(1), context);
    if (!words.empty() && words.front() == "show")
        return Show(words.subspan(1), context);
    context.err << "twl scaninfo: expects save or show\n" << UsageLines("scaninfo");
    return kExitUsage;
}

} // namespace twl::cli
