#pragma once

// Finding the volumes of the chosen source for the commands that list or open them.

#include "CliContext.h"
#include "session/RecoverySession.h"

#include <optional>
#include <string>

namespace twl::cli {

// "table" (more modes come with the superblock sweep); empty for an unknown word.
std::optional<ProcessingMode> ParseMode(const std::string& word);
inline constexpr const char* kModeChoices = "table";

// Fills the session's volume lists the way its mode says, with warnings on context.err.
// Returns the number of listed volumes; with none, prints "No Logical Drives found\nPlease
// use Scan for logical Drives" on context.err.
std::size_t DiscoverVolumes(RecoverySession& session, CliContext& context);

} // namespace twl::cli
