#pragma once

// Byte totals as the status bar shows them: "%7.3f GB" from 2^30 bytes, "%7.3f MB" from 2^20,
// else "%7.3f KB".

#include <cstdint>
#include <string>

namespace twl {

std::string SizeText(std::uint64_t bytes);

// "<size> in <files> Files in <folders> Folders", the status line after a tree walk.
std::string SizeLine(std::uint64_t bytes, std::uint32_t files, std::uint32_t folders);

} // namespace twl
