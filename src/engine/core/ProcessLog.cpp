#include "core/ProcessLog.h"

#include "core/DatedName.h"

namespace twl {

std::string ProcessLogFileText(const std::vector<ProcessLogEntry>& rows) {
    const std::string hyphens24(24, '-');
    const std::string separator = "\r\n" + std::string(68, '-');
    std::string text = hyphens24 + "Tarnwell Linux Data Recovery ver 1.0.1" + " Process Log" +
                       hyphens24 + "\r\n\r\n" + separator;
    for (const ProcessLogEntry& row : rows) {
        text += "\r\n" + row.processName;
        text += "\r\n\t\t" + row.description;
        text += "\r\n\t\t" + row.status;
        text += separator;
    }
    return text;
}

std::string DefaultProcessLogName(std::time_t when) {
    return DatedFileName("TW Linux Process Log", "txt", SeptemberStyle::kSept, when);
}

} // namespace twl
