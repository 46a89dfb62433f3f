// twl image SOURCE -o PATH and twl clone SOURCE DEST: sector copies of a disk (or image)
// into an image file or onto another disk, with unreadable sectors replaced by the filler;
// with --map MAPFILE a stopped copy goes on where it stopped when run again.

#include "Arguments.h"
#include "CliEvents.h"
#include "CommandHelp.h"
#include "Commands.h"
#include "InterruptRelay.h"
#include "SourceArgument.h"
#include "clone/CopyEngine.h"
#include "core/DatedName.h"
#include "core/SizeText.h"
#include "platform/DriveInventory.h"

#include <filesystem>
#include <istream>
#include <ostream>

namespace twl::cli {
namespace {

constexpr std::uint64_t kAddressableSectors = std::uint64_t{1} << 32;

// PATH itself, or the default image name inside PATH when it is a folder.
std::string ImagePath(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return (std::filesystem::path(path) /
                DatedFileName("TW Linux Image", "tw1", SeptemberStyle::kSep, std::time(nullptr)))
            .string();
    return path;
}

// The closing report: filler sectors and where they are, then the worker's texts. A copy
// with filler in it, or one that left part of the source out, is not whole.
int Finish(const CopyReport& report, const CliEvents& events, CliContext& context) {
    context.err << report.fillerSectors << " unreadable sectors were written as filler";
    for (std::size_t i = 0; i < report.firstFillers.size(); ++i)
        context.err << (i == 0 ? ": " : ", ") << report.firstFillers[i];
    if (report.fillerSectors > report.firstFillers.size())
        context.err << ", ...";
    context.err << '\n';
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
    const bool whole = events.Result() == WorkerResult::kCompleted &&
                       report.unwrittenSectors == 0 && report.fillerSectors == 0 &&
                       report.leftOutSectors == 0;
    return whole ? kExitOk : kExitNotFound;
}

// The sector count of the chosen source, held at what 32-bit sector numbers reach.
std::uint64_t SourceSectors(const SectorSource& source, CliContext& context) {
    const std::uint64_t sectors = source.SourceSize() / kSectorSize;
    if (sectors <= kAddressableSectors)
        return sectors;
    context.err << "twl: only the first 2 TiB (2^32 sectors) can be copied\n";
    return kAddressableSectors;
}

std::string DriveText(SectorSource& source, DriveId id) {
    ByteCount bytes = 0;
    source.GetDriveSize(id, bytes);
    return "disk:" + std::to_string(DriveIndex(id)) + " (" + source.DrivePath(id) + ", " +
           SizeText(bytes).substr(SizeText(bytes).find_first_not_of(' ')) + ")";
}

// --map and --retries, into the job; false (said on stderr) when --retries is not a count.
bool TakeRescueOptions(const ParsedArguments& args, CopyJob& job, const char* command,
                       CliContext& context) {
    job.mapPath = args.Value("--map").value_or("");
    if (const std::optional<std::string> retries = args.Value("--retries")) {
        const std::optional<std::uint64_t> count = ParseUnsigned(*retries, 1000);
        if (!count) {
            context.err << "twl " << command << ": --retries takes a count from 0 to 1000\n";
            return false;
        }
        job.retries = static_cast<unsigned>(*count);
    }
    return true;
}

bool Confirmed(SectorSource& source, const CopyJob& job, CliContext& context) {
    context.err << "Clone " << DriveText(source, job.source) << " onto "
                << DriveText(source, job.destination) << "?\n";
    if (const std::uint64_t leftOut = SectorsLeftOut(source, job); leftOut != 0)
        context.err << "disk:" << DriveIndex(job.destination) << " is the smaller: the last "
                    << leftOut << " sectors of disk:" << DriveIndex(job.source)
                    << " will not be copied.\n";
    context.err << "Everything on disk:" << DriveIndex(job.destination)
                << " will be overwritten. Type yes to go on: " << std::flush;
    std::string answer;
    if (context.in == nullptr || !std::getline(*context.in, answer) || answer != "yes") {
        context.err << "\nNothing was written.\n";
        return false;
    }
    return true;
}

} // namespace

int RunImageCommand(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("image"));
    if (!args.error.empty() || args.positional.size() != 1 || !args.Has("-o")) {
        context.err << "twl image: "
                    << (!args.error.empty() ? args.error : "expects SOURCE and -o PATH") << '\n'
                    << UsageLines("image");
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives), context.readerFactory);
    const InterruptRelay::Watch interrupts(context.interrupts,
                                           {&session.Stop(), &session.ScanStop()});
    const Status opened = OpenSourceArgument(args.positional.front(), session);
    if (!opened.Ok()) {
        context.err << "twl image: " << Describe(opened) << '\n';
        return kExitUsage;
    }
    SectorSource& source = session.Source();
    CopyJob job{CopyKind::kImage, source.CurrentDriveId(), kImageDriveId,
                ImagePath(*args.Value("-o")), SourceSectors(source, context)};
    if (!TakeRescueOptions(args, job, "image", context))
        return kExitUsage;
    context.err << "Imaging " << SourceName(session) << " into " << job.imagePath
                << (job.mapPath.empty() ? "" : " with the map file " + job.mapPath) << '\n';
    CliEvents events(context);
    session.Stop().Clear();
    const CopyReport report = RunCopyWorker(source, job, session.Stop(), events);
    events.EndProgressLine();
    return Finish(report, events, context);
}

int RunCloneCommand(std::span<const std::string> words, CliContext& context) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("clone"));
    if (!args.error.empty() || args.positional.size() != 2) {
        context.err << "twl clone: "
                    << (!args.error.empty() ? args.error : "expects SOURCE and DEST") << '\n'
                    << UsageLines("clone");
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives), context.readerFactory);
    SectorSource& source = session.Source();
    const std::optional<DriveId> from = DriveOfArgument(args.positional[0], source);
    const std::optional<DriveId> to = DriveOfArgument(args.positional[1], source);
    if (!from || !to) {
        context.err << "twl clone: " << args.positional[from ? 1 : 0]
                    << " is not a drive of 'twl drives'\n";
        return kExitUsage;
    }
    const Status opened = source.SelectDrive(*from);
    if (!opened.Ok()) {
        context.err << "twl clone: " << Describe(opened) << '\n';
        return kExitUsage;
    }
    CopyJob job{CopyKind::kClone, *from, *to, {}, CloneSectorCount(source, *from, *to)};
    if (!TakeRescueOptions(args, job, "clone", context))
        return kExitUsage;
    const std::string refusal = RefuseDestination(source, job);
    if (!refusal.empty()) {
        context.err << "twl clone: " << refusal << '\n';
        return kExitUsage;
    }
    if (!args.Has("--yes") && !Confirmed(source, job, context))
        return kExitNotFound;
    // Watched only now: an interrupt at the question ends twl there and then.
    const InterruptRelay::Watch interrupts(context.interrupts, {&session.Stop()});
    CliEvents events(context);
    session.Stop().Clear();
    const CopyReport report = RunCopyWorker(source, job, session.Stop(), events);
    events.EndProgressLine();
    return Finish(report, events, context);
}

} // namespace twl::cli
