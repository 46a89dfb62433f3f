#pragma once

#include <ctime>
#include <string>

namespace twl {

// The local time as ctime writes it ("Thu Dec 10 05:21:34 2026"), without its newline.
std::string TimeText(std::time_t when);
std::string CurrentTimeText();

} // namespace twl
