#pragma once

// What a command needs from the process around it, passed in so that tests can run commands
// in-process with their own streams and environment.

#include "sector/SectorSource.h"

#include <iosfwd>
#include <optional>
#include <string>

namespace twl::cli {

class InterruptRelay;

struct CliContext {
    std::ostream& out;                    // results: tables and data
    std::ostream& err;                    // errors, warnings, progress
    std::istream* in = nullptr;           // answers to questions; none answers no
    std::optional<std::string> twlDrives; // TWL_DRIVES, when set
    bool errIsTerminal = false;           // progress lines only go to a terminal
    ReaderFactory readerFactory;          // opens sources; the files themselves when empty
    InterruptRelay* interrupts = nullptr; // stops long work on SIGINT and SIGTERM; none in tests
};

// Exit statuses shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotFound = 1; // ran, but found nothing to work on
inline constexpr int kExitUsage = 2;    // bad command line or a source that cannot be read

} // namespace twl::cli
