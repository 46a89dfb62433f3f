// twl save SOURCE --out DIR [PATH...]: saves files out of a volume's catalogue (all of it,
// or the given paths and everything below them) into a folder.

#include "CatalogSteps.h"
#include "CliEvents.h"
#include "CommandHelp.h"
#include "Commands.h"
#include "InterruptRelay.h"
#include "TextEscape.h"
#include "platform/BlockDevice.h"
#include "platform/DriveInventory.h"
#include "platform/Mounts.h"
#include "recover/FtpDestination.h"
#include "recover/LocalDestination.h"
#include "recover/SaveOperation.h"
#include "session/SaveRefusal.h"

#include <fstream>
#include <map>
#include <ostream>

namespace twl::cli {
namespace {

struct SaveRequest {
    VolumeRequest volume;
    std::optional<std::string> scanInfo;
    std::string out;
    std::optional<FtpSettings> ftp;
    std::vector<std::string> paths; // as twl tree prints them
    bool turbo = false;
    bool scripts = false;
};

std::string ParseFtp(const ParsedArguments& args, FtpSettings& ftp) {
    if (!ParseFtpUrl(*args.Value("--ftp"), ftp))
        return "--ftp takes ftp://[user@]host[:port]/folder";
    const auto retries = ParseUnsigned(args.Value("--retries").value_or("3"), 100);
    const auto delay = ParseUnsigned(args.Value("--retry-delay").value_or("5"), 3600);
    if (!retries || !delay)
        return "--retries takes 0 to 100 and --retry-delay 0 to 3600 seconds";
    ftp.retries = static_cast<unsigned>(*retries);
    ftp.retryDelaySeconds = static_cast<unsigned>(*delay);
    if (const auto file = args.Value("--password-file")) {
        std::ifstream in(*file);
        if (!std::getline(in, ftp.password))
            return "cannot read the password from " + *file;
    }
    return {};
}

std::string ParseSave(std::span<const std::string> words, SaveRequest& request) {
    const ParsedArguments args = ParseArguments(words, OptionsOf("save"));
    if (!args.error.empty())
        return args.error;
    request.scanInfo = args.Value("--scaninfo");
    std::vector<std::string> positional = args.positional;
    if (request.scanInfo) {
        // PATHs as tree prints them start at the root; any other word is a SOURCE.
        for (const std::string& word : positional) {
            if (word.empty() || word.front() != '/')
                return "takes no SOURCE with --scaninfo (the file names its source): " + word;
        }
    } else {
        if (positional.empty())
            return "expects a SOURCE";
        request.volume.source = positional.front();
        positional.erase(positional.begin());
    }
    if (args.Has("--out") == args.Has("--ftp"))
        return "needs --out DIR or --ftp URL";
    request.out = args.Value("--out").value_or("");
    if (args.Has("--ftp")) {
        const std::string error = ParseFtp(args, request.ftp.emplace());
        if (!error.empty())
            return error;
    }
    request.paths = positional;
    request.turbo = args.Has("--turbo");
    request.scripts = args.Has("--scripts");
    return ParseVolumeOptions(args, request.volume);
}

// Marks the nodes the paths name, each with everything below it; returns the first path
// that names none, or "".
std::string MarkPaths(Catalog& catalog, const std::vector<std::string>& paths) {
    std::map<std::string, bool> wanted;
    for (const std::string& path : paths)
        wanted[path] = false;
    std::vector<std::pair<NodeId, std::string>> stack{{kRootAnchor, ""}};
    while (!stack.empty()) {
        const auto [parent, prefix] = stack.back();
        stack.pop_back();
        for (NodeId id = catalog.Node(parent).first_child; id != kNoNode;
             id = catalog.Node(id).next_sibling) {
            CatalogNode& node = catalog.Node(id);
            // A folder is walked before its child list: its mark passes on to all below it.
            const bool inherited = parent != kRootAnchor && catalog.Node(parent).marked != 0;
            node.marked = inherited ? 1 : 0;
            if (node.is_header)
                continue;
            const std::string path = prefix + "/" + EscapeField(catalog.Name(id));
            if (const auto it = wanted.find(path); it != wanted.end()) {
                node.marked = 1;
                it->second = true;
            }
            stack.emplace_back(id, path);
        }
    }
    for (const auto& [path, found] : wanted) {
        if (!found)
            return path;
    }
    return {};
}

class SaveEvents final : public CliEvents {
public:
    using CliEvents::CliEvents;
    void SaveProgress(const SaveProgressInfo& progress) override {
        Show("Saving file " + std::to_string(progress.filesDone + 1) + " of " +
             std::to_string(progress.filesTotal) + ": " + EscapeField(progress.path));
    }
};

std::unique_ptr<SaveDestination> OpenDestination(const RecoverySession& session,
                                                 const SaveRequest& request, CliContext& context) {
    Status status;
    std::unique_ptr<SaveDestination> destination;
    std::string detail;
    if (request.ftp) {
        destination = FtpDestination::Open(*request.ftp, status, detail);
    } else if (const std::string refusal = RefuseSaveFolder(session, request.out);
               !refusal.empty()) {
        context.err << "twl save: " << refusal << '\n';
        return nullptr;
    } else {
        destination = LocalDestination::Open(request.out, status);
    }
    if (!destination)
        context.err << "twl save: " << Describe(status) << (detail.empty() ? "" : ": " + detail)
                    << '\n';
    return destination;
}

int RunSave(RecoverySession& session, const SaveRequest& request, CliContext& context) {
    const auto destination = OpenDestination(session, request, context);
    if (!destination)
        return kExitUsage;
    SaveEvents events(context);
    session.Stop().Clear();
    VolumeReader reader(session.Source(), *session.Volume());
    const SaveOptions options{!request.paths.empty(), request.scripts, request.scripts};
    const SaveSummary summary =
        SaveCatalogue(reader, session.Catalogue(), *destination, options, session.Stop(), events);
    events.EndProgressLine();
    context.err << SummaryText(summary) << '\n';
    if (summary.destinationFull)
        context.err << "The destination is full; the save stopped. What was written stays.\n";
    if (summary.reportName.empty()) { // the report could not be written: its lines here
        for (const std::string& line : summary.problems)
            context.err << line << '\n';
    } else {
        context.err << "See " << (request.ftp ? "the report " : request.out + "/")
                    << summary.reportName << '\n';
    }
    const bool whole =
        summary.partial == 0 && summary.failed == 0 && !summary.stopped && !summary.destinationFull;
    return whole ? kExitOk : kExitNotFound;
}

} // namespace

int RunSaveCommand(std::span<const std::string> words, CliContext& context) {
    SaveRequest request;
    if (const std::string error = ParseSave(words, request); !error.empty()) {
        context.err << "twl save: " << error << '\n' << UsageLines("save");
        return kExitUsage;
    }
    RecoverySession session(LoadDriveInventory(context.twlDrives), context.readerFactory);
    const InterruptRelay::Watch interrupts(context.interrupts,
                                           {&session.Stop(), &session.ScanStop()});
    bool completed = false;
    if (const int status = ObtainCatalogue(session, request.scanInfo, request.volume, request.turbo,
                                           "save", context, completed);
        status != kExitOk)
        return status;
    if (!completed)
        return kExitNotFound;
    if (const std::string missing = MarkPaths(session.Catalogue(), request.paths);
        !missing.empty()) {
        context.err << "twl save: no such path in the catalogue: " << missing << '\n';
        return kExitUsage;
    }
    return RunSave(session, request, context);
}

} // namespace twl::cli
