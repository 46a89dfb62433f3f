#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace twl {

// The local time as ctime writes it ("Thu Dec 10 05:21:34 2026"), without its newline.
std::string TimeText(std::time_t when);
std::string CurrentTimeText();

// An ext2 timestamp (seconds since 1970) in UTC, written with a strftime format.
std::string UtcText(std::uint32_t seconds, const char* format);

} // namespace twl
