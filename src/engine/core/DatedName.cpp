#include "core/DatedName.h"

#include <cstdio>

namespace twl {

std::string DatedFileName(std::string_view title, std::string_view extension,
                          SeptemberStyle september, std::time_t when) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm parts{};
    localtime_r(&when, &parts);
    const char* month =
        parts.tm_mon == 8 && september == SeptemberStyle::kSept ? "Sept" : kMonths[parts.tm_mon];
    char date[48];
    std::snprintf(date, sizeof date, " # %s, %02d-%s-%u.", kDays[parts.tm_wday], parts.tm_mday,
                  month, static_cast<unsigned>(parts.tm_year + 1900));
    return std::string(title) + date + std::string(extension);
}

} // namespace twl
