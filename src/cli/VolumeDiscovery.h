#pragma once

// Finding the volumes of the chosen source for the commands that list or open them: from the
// partition tables, by sweeping for superblocks, or both (auto: the sweep when the tables hold
// no Linux partition).

#include "Arguments.h"
#include "CliContext.h"
#include "session/RecoverySession.h"

#include <optional>
#include <string>
#include <vector>

namespace twl::cli {

// "table", "scan" or "auto"; empty for any other word.
std::optional<ProcessingMode> ParseMode(const std::string& word);
inline constexpr const char* kModeChoices = "table, scan or auto";

// The options of the superblock sweep: quick over the whole source unless --thorough, whose
// range is --start (default 0) to --end (default the last sector).
struct ScanOptions {
    bool thorough = false;
    std::optional<std::uint64_t> start;
    std::optional<std::uint64_t> end;
};
// Fills `scan` from the options; returns an error text, or "" when they are sound: --start
// and --end take whole sector numbers and only go with --thorough.
std::string ParseScanOptions(const ParsedArguments& args, ScanOptions& scan);

struct Discovery {
    std::size_t listed = 0; // volumes the volume page would list
    std::string error;      // a scan range that does not fit the source ("" when sound)
};

// Fills the session's volume lists the way its mode says. Warnings, the sweep's finds and
// its closing text go to context.err. With no volume listed, prints "No Logical Drives
// found\nPlease use Scan for logical Drives" there.
Discovery DiscoverVolumes(RecoverySession& session, const ScanOptions& scan, CliContext& context);

} // namespace twl::cli
