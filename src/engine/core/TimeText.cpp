#include "core/TimeText.h"

namespace twl {

std::string TimeText(std::time_t when) {
    char text[64] = {};
    if (ctime_r(&when, text) == nullptr)
        return {};
    std::string result(text);
    if (!result.empty() && result.back() == '\n')
        result.pop_back();
    return result;
}

std::string CurrentTimeText() {
    return TimeText(std::time(nullptr));
}

std::string UtcText(std::uint32_t seconds, const char* format) {
    const std::time_t when = seconds;
    std::tm parts{};
    gmtime_r(&when, &parts);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, length);
}

} // namespace twl
