#pragma once

// One row of the process log: what ran, what happened, and when (the time text of
// CurrentTimeText), with one of three icons.

#include <ctime>
#include <string>
#include <vector>

namespace twl {

enum class LogIcon {
    kInformation = 0, // a process started
    kError = 1,       // aborted or failed
    kSuccess = 7,     // completed
};

struct ProcessLogEntry {
    int rowOffset = 0;
    std::string processName;
    std::string description;
    std::string status;
};

// A process log as its saved text file: the header, then each row as its process name, its
// description and its status on lines of their own, rows separated by 68 hyphens. Every line
// end is CR LF; the text ends after the last separator, without a line end.
std::string ProcessLogFileText(const std::vector<ProcessLogEntry>& rows);

// "TW Linux Process Log # Sat, 05-Dec-2026.txt", with "Sept" for September.
std::string DefaultProcessLogName(std::time_t when);

} // namespace twl
