#include "CatalogSteps.h"

#include "CliEvents.h"
#include "SourceArgument.h"
#include "ext2/TreeBuilder.h"
#include "scaninfo/ScanInfoCommands.h"
#include "session/ListedVolumes.h"
#include "session/TreeOperations.h"

#include <ostream>

namespace twl::cli {
namespace {

// Opens the requested row; prints the outcome's text when it fails, and a note on features
// the volume is read without understanding when it opens.
bool OpenVolume(RecoverySession& session, const VolumeRequest& request, CliContext& context) {
    const auto askSearch = [&] {
        context.err << kPrimaryDamagedQuestion << '\n';
        return request.backupSearch;
    };
    std::string text;
    const OpenOutcome outcome = OpenListedVolume(session, request.volume - 1, askSearch, &text);
    if (!text.empty())
        context.err << text << '\n';
    return outcome == OpenOutcome::kOpened;
}

void PrintClosingTexts(const CliEvents& events, const std::string& sizeLine, CliContext& context) {
    context.err << sizeLine << '\n';
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
}

} // namespace

std::string ParseVolumeOptions(const ParsedArguments& args, VolumeRequest& request) {
    const auto volume = ParseUnsigned(args.Value("--volume").value_or("1"), 0xFFFFFFFF);
    if (!volume || *volume == 0)
        return "--volume takes a row number from 1";
    request.volume = *volume;
    const auto mode = ParseMode(args.Value("--mode").value_or("auto"));
    if (!mode)
        return std::string("--mode takes one of: ") + kModeChoices;
    request.mode = *mode;
    request.backupSearch = !args.Has("--no-backup-search");
    return ParseScanOptions(args, request.scan);
}

int OpenRequestedVolume(RecoverySession& session, const VolumeRequest& request, const char* command,
                        CliContext& context) {
    const Status opened = OpenSourceArgument(request.source, session);
    if (!opened.Ok()) {
        context.err << "twl " << command << ": " << Describe(opened) << '\n';
        return kExitUsage;
    }
    session.SetMode(request.mode);
    const Discovery discovery = DiscoverVolumes(session, request.scan, context);
    if (!discovery.error.empty()) {
        context.err << "twl " << command << ": " << discovery.error << '\n';
        return kExitUsage;
    }
    if (discovery.listed == 0)
        return kExitNotFound;
    if (request.volume > discovery.listed) {
        context.err << "twl " << command << ": no volume " << request.volume << "; "
                    << request.source << " lists " << discovery.listed << '\n';
        return kExitUsage;
    }
    return OpenVolume(session, request, context) ? kExitOk : kExitNotFound;
}

int LoadScanInfo(RecoverySession& session, const std::string& path, CliContext& context) {
    CliEvents events(context);
    const ScanInfoOpening opening = OpenScanInformationFile(session, path, events);
    if (!opening.openStatus.Ok()) {
        context.err << kCouldNotOpenScanInfo << ": " << Describe(opening.openStatus) << '\n';
        return kExitUsage;
    }
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
    return opening.opened ? kExitOk : kExitNotFound;
}

bool CreateTree(RecoverySession& session, CliContext& context) {
    CliEvents events(context);
    session.Counters() = {};
    session.Stop().Clear();
    twl::CreateTree(session, events);
    events.EndProgressLine();
    PrintClosingTexts(events, SizeLineText(session.Counters()), context);
    return events.Result() == WorkerResult::kCompleted;
}

bool RunTurbo(RecoverySession& session, CliContext& context) {
    CliEvents events(context);
    session.Stop().Clear();
    const bool ranToEnd = RunTurboScan(session, events);
    events.EndProgressLine();
    PrintClosingTexts(events, events.Pane1(), context);
    return ranToEnd;
}

int ObtainCatalogue(RecoverySession& session, const std::optional<std::string>& scanInfo,
                    const VolumeRequest& request, bool turbo, const char* command,
                    CliContext& context, bool& completed) {
    if (scanInfo) {
        if (const int status = LoadScanInfo(session, *scanInfo, context); status != kExitOk)
            return status;
    } else if (const int status = OpenRequestedVolume(session, request, command, context);
               status != kExitOk) {
        return status;
    }
    completed = scanInfo || CreateTree(session, context);
    if (completed && turbo)
        completed = RunTurbo(session, context);
    return kExitOk;
}

void ReportUnreadable(const RecoverySession& session, CliContext& context) {
    if (session.Source().UnreadableSectors() != 0)
        context.err << "twl: " << session.Source().UnreadableSectors()
                    << " sectors could not be read and were taken as zeros\n";
}

} // namespace twl::cli
