#pragma once

// Runs twl commands in-process with captured output, for the CLI tests.

#include "CliMain.h"

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace twl::cli::testing {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// `factory` stands in media for paths (see fixtures::MemoryFactory); files are read without.
inline CliRun RunTwl(const std::vector<std::string>& words,
                     std::optional<std::string> twlDrives = std::nullopt,
                     const std::string& input = {}, ReaderFactory factory = {}) {
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream in(input);
    CliContext context{out, err, &in, std::move(twlDrives), false, std::move(factory)};
    CliRun run;
    run.status = CliMain(words, context);
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace twl::cli::testing
