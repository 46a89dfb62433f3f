#pragma once

// Turns the SOURCE word of a command into the session's sector source: "disk:N" is drive N of
// the inventory, a block device path that the inventory holds is that drive, and any other
// path is read as an image file (a block device outside the inventory included).

#include "core/Status.h"
#include "session/RecoverySession.h"

#include <optional>
#include <string>

namespace twl::cli {

// Makes `argument` the current source. On failure the returned status says why, ready for
// Describe(); nothing is left open.
Status OpenSourceArgument(const std::string& argument, RecoverySession& session);

// The drive a word names: disk:N of the inventory, or a device (or TWL_DRIVES file) that the
// inventory holds. Empty for anything else.
std::optional<DriveId> DriveOfArgument(const std::string& word, const SectorSource& source);

// A human name of the current source for messages: the path, or "disk:N (/dev/sda)".
std::string SourceName(const RecoverySession& session);

} // namespace twl::cli
