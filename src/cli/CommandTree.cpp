// twl tree SOURCE | --scaninfo FILE: opens a volume of SOURCE and builds its catalogue, or
// loads the catalogue of a scan information file; optionally runs Turbo Scan; prints it.

#include "CatalogPrinter.h"
#include "CatalogSteps.h"
#include "CliEvents.h"
#include "CommandHelp.h"
#include "Commands.h"
#include "InterruptRelay.h"
#include "platform/DriveInventory.h"

#include <ostream>

namespace twl::cli {
namespace {

struct TreeRequest {
    VolumeRequest volume;
    std::optional<std::string> scanInfo;
    TreeFormat format = TreeFormat::kText;
    bool turbo = false;
};

// Reads the command line into a request; returns the error text, "" when it is sound.
std::string ParseRequest(std::span<const std::string> words, TreeRequest& request) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("tree"));
    if (!args.error.empty())
        return args.error;
    request.scanInfo = args.Value("--scaninfo");
    if (args.positional.size() != (request.scanInfo ? 0u : 1u))
        return request.scanInfo ? "takes no SOURCE with --scaninfo" : "expects one SOURCE";
    if (!request.scanInfo)
        request.volume.source = args.positional.front();
    const auto format = ParseTreeFormat(args.Value("--format").value_or("text"));
    if (!format)
        return "--format takes text, tsv or json";
    request.format = *format;
    request.turbo = args.Has("--turbo");
    return ParseVolumeOptions(args, request.volume);
}

} // namespace

int RunTreeCommand(std::span<const std::string> words, CliContext& context) {
    TreeRequest request;
    const std::string error = ParseRequest(words, request);
    if (!error.empty()) {
        context.err << "twl tree: " << error << '\n' << UsageLines("tree");
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives), context.readerFactory);
    const InterruptRelay::Watch interrupts(context.interrupts,
                                           {&session.Stop(), &session.ScanStop()});
    bool completed = false;
    if (const int status = ObtainCatalogue(session, request.scanInfo, request.volume, request.turbo,
                                           "tree", context, completed);
        status != kExitOk)
        return status;
    PrintCatalog(session.Catalogue(), request.format, context.out);
    context.out.flush();
    ReportUnreadable(session, context);
    return completed ? kExitOk : kExitNotFound;
}

} // namespace twl::cli
