#pragma once

#include "CliContext.h"

#include <span>
#include <string>

namespace twl::cli {

// Runs `twl` with the words after the program name; returns the exit status.
int CliMain(std::span<const std::string> words, CliContext& context);

} // namespace twl::cli
