#pragma once

// Default names of saved files, dated with the local date: "<title> # Sat, 05-Dec-2026.<ext>".

#include <ctime>
#include <string>
#include <string_view>

namespace twl {

enum class SeptemberStyle {
    kSept, // scan information files and process logs
    kSep,  // disk images
};

std::string DatedFileName(std::string_view title, std::string_view extension,
                          SeptemberStyle september, std::time_t when);

} // namespace twl
