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

} // namespace twl
