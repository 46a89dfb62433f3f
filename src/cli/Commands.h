#pragma once

// One function per twl command; each takes the words after the command's name.

#include "CliContext.h"

#include <span>
#include <string>

namespace twl::cli {

int RunVolumesCommand(std::span<const std::string> words, CliContext& context);
int RunDrivesCommand(std::span<const std::string> words, CliContext& context);
int RunTreeCommand(std::span<const std::string> words, CliContext& context);
int RunScanInfoCommand(std::span<const std::string> words, CliContext& context);
int RunImageCommand(std::span<const std::string> words, CliContext& context);
int RunCloneCommand(std::span<const std::string> words, CliContext& context);
int RunSaveCommand(std::span<const std::string> words, CliContext& context);

} // namespace twl::cli
