// twl tree SOURCE: opens a volume of SOURCE, builds its catalogue and prints it.

#include "Arguments.h"
#include "CatalogPrinter.h"
#include "CliEvents.h"
#include "Commands.h"
#include "SourceArgument.h"
#include "VolumeDiscovery.h"
#include "ext2/TurboScan.h"
#include "ext2/VolumeOpen.h"

#include <ostream>

namespace twl::cli {
namespace {

constexpr const char* kTreeUsage =
    "usage: twl tree SOURCE [--volume N] [--mode table|scan|auto] [--thorough [--start S] "
    "[--end E]] [--format text|tsv|json] [--no-backup-search] [--turbo]\n";

std::vector<OptionSpec> TreeOptions() {
    std::vector<OptionSpec> options = kDiscoveryOptions;
    options.insert(options.end(), {{"--volume", true},
                                   {"--format", true},
                                   {"--no-backup-search", false},
                                   {"--turbo", false}});
    return options;
}

struct TreeRequest {
    std::string source;
    std::size_t volume = 1;
    ProcessingMode mode = ProcessingMode::kAuto;
    ScanOptions scan;
    TreeFormat format = TreeFormat::kText;
    bool backupSearch = true;
    bool turbo = false;
};

// Reads the command line into a request; returns the error text, "" when it is sound.
std::string ParseRequest(std::span<const std::string> words, TreeRequest& request) {
    const ParsedArguments args = ParseArguments(words, TreeOptions());
    if (!args.error.empty())
        return args.error;
    if (args.positional.size() != 1)
        return "expects one SOURCE";
    request.source = args.positional.front();
    const auto volume = ParseUnsigned(args.Value("--volume").value_or("1"), 0xFFFFFFFF);
    if (!volume || *volume == 0)
        return "--volume takes a row number from 1";
    request.volume = *volume;
    const auto mode = ParseMode(args.Value("--mode").value_or("auto"));
    if (!mode)
        return std::string("--mode takes one of: ") + kModeChoices;
    request.mode = *mode;
    request.scan = ScanOptionsFrom(args);
    const auto format = ParseTreeFormat(args.Value("--format").value_or("text"));
    if (!format)
        return "--format takes text, tsv or json";
    request.format = *format;
    request.backupSearch = !args.Has("--no-backup-search");
    request.turbo = args.Has("--turbo");
    return {};
}

// Opens the requested row; prints the outcome's text when it fails.
bool OpenVolume(RecoverySession& session, const TreeRequest& request, CliContext& context) {
    const auto askSearch = [&] {
        context.err << kPrimaryDamagedQuestion << '\n';
        return request.backupSearch;
    };
    const OpenOutcome outcome = OpenListedVolume(session, request.volume - 1, askSearch);
    if (outcome == OpenOutcome::kOpened)
        return true;
    const std::string_view text = OpenOutcomeText(outcome);
    if (!text.empty())
        context.err << text << '\n';
    return false;
}

void PrintClosingTexts(const CliEvents& events, const std::string& sizeLine, CliContext& context) {
    context.err << sizeLine << '\n';
    for (const std::string& message : events.Messages())
        context.err << message << '\n';
}

// Tree creation; returns whether it completed.
bool CreateTree(RecoverySession& session, VolumeReader& reader, CliContext& context) {
    CliEvents events(context);
    session.Counters() = {};
    session.Stop().Clear();
    TreeBuilder builder(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    RunTreeCreation(builder, session.Stop(), events);
    events.EndProgressLine();
    PrintClosingTexts(events, SizeLineText(session.Counters()), context);
    return events.Result() == 0;
}

// Turbo Scan over the catalogue; returns whether it completed.
bool RunTurbo(RecoverySession& session, VolumeReader& reader, CliContext& context) {
    CliEvents events(context);
    session.Stop().Clear();
    TurboScan scan(reader, session.Catalogue(), session.Counters(), session.Stop(), events);
    RunTurboScan(scan, session.Catalogue(), session.Stop(), events);
    events.EndProgressLine();
    PrintClosingTexts(events, events.Pane1(), context);
    return !session.Stop().StopRequested();
}

int BuildAndPrint(RecoverySession& session, const TreeRequest& request, CliContext& context) {
    VolumeReader reader(session.Source(), *session.Volume());
    bool completed = CreateTree(session, reader, context);
    if (completed && request.turbo)
        completed = RunTurbo(session, reader, context);
    PrintCatalog(session.Catalogue(), request.format, context.out);
    context.out.flush();
    if (session.Source().UnreadableSectors() != 0)
        context.err << "twl: " << session.Source().UnreadableSectors()
                    << " sectors could not be read and were taken as zeros\n";
    return completed ? kExitOk : kExitNotFound;
}

} // namespace

int RunTreeCommand(std::span<const std::string> words, CliContext& context) {
    TreeRequest request;
    const std::string error = ParseRequest(words, request);
    if (!error.empty()) {
        context.err << "twl tree: " << error << '\n' << kTreeUsage;
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives));
    const Status opened = OpenSourceArgument(request.source, session);
    if (!opened.Ok()) {
        context.err << "twl tree: " << Describe(opened) << '\n';
        return kExitUsage;
    }
    session.SetMode(request.mode);
    const Discovery discovery = DiscoverVolumes(session, request.scan, context);
    if (!discovery.error.empty()) {
        context.err << "twl tree: " << discovery.error << '\n';
        return kExitUsage;
    }
    const std::size_t listed = discovery.listed;
    if (listed == 0)
        return kExitNotFound;
    if (request.volume > listed) {
        context.err << "twl tree: no volume " << request.volume << "; " << request.source
                    << " lists " << listed << '\n';
        return kExitUsage;
    }
    if (!OpenVolume(session, request, context))
        return kExitNotFound;
    return BuildAndPrint(session, request, context);
}

} // namespace twl::cli
