#pragma once

// The steps that twl tree and twl scaninfo share: reading which volume to open from the
// command line, opening it, building its catalogue and running Turbo Scan over it.

#include "Arguments.h"
#include "CliContext.h"
#include "VolumeDiscovery.h"
#include "session/RecoverySession.h"

#include <optional>
#include <string>
#include <vector>

namespace twl::cli {

struct VolumeRequest {
    std::string source;
    std::size_t volume = 1;
    ProcessingMode mode = ProcessingMode::kAuto;
    ScanOptions scan;
    bool backupSearch = true;
};

// Fills `request` (not its source) from the parsed --volume, --mode, --thorough, --start,
// --end and --no-backup-search (CommandHelp.cpp says which commands take them); returns an
// error text, or "" when they are sound.
std::string ParseVolumeOptions(const ParsedArguments& args, VolumeRequest& request);

// Opens the source, finds its volumes and opens the requested one, printing what fails.
// Returns kExitOk or the exit status to end with.
int OpenRequestedVolume(RecoverySession& session, const VolumeRequest& request, const char* command,
                        CliContext& context);

// Loads the catalogue of a scan information file; prints why when it cannot. Returns kExitOk,
// kExitUsage for a file that cannot be opened, or kExitNotFound for one that was refused.
int LoadScanInfo(RecoverySession& session, const std::string& path, CliContext& context);

// The catalogue a command works on: loaded from a scan information file when `scanInfo` is
// given, else built from the requested volume; then Turbo Scan when `turbo` is set. Returns
// kExitOk or the exit status to end with; `completed` tells whether every step ran to its end.
int ObtainCatalogue(RecoverySession& session, const std::optional<std::string>& scanInfo,
                    const VolumeRequest& request, bool turbo, const char* command,
                    CliContext& context, bool& completed);

// Tree creation and Turbo Scan, with their closing texts on stderr; each returns whether it
// completed.
bool CreateTree(RecoverySession& session, CliContext& context);
bool RunTurbo(RecoverySession& session, CliContext& context);

// "twl: N sectors could not be read and were taken as zeros", when any were.
void ReportUnreadable(const RecoverySession& session, CliContext& context);

} // namespace twl::cli
