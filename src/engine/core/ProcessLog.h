#pragma once

// One row of the process log: what ran, what happened, and when (the time text of
// CurrentTimeText), with one of three icons.

#include <string>

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

} // namespace twl
