#include "recover/SafeName.h"

namespace twl {

std::string SafeComponent(std::string_view name) {
    if (name.empty())
        return "%00";
    if (name == ".")
        return "%2E";
    if (name == "..")
        return "%2E%2E";
    std::string safe;
    safe.reserve(name.size());
    for (const char c : name) {
        if (c == '/')
            safe += "%2F";
        else if (c == '\0')
            safe += "%00";
        else
            safe += c;
    }
    return safe;
}

std::string NumberedName(std::string_view name, unsigned number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return std::string(name) + suffix;
    return std::string(name.substr(0, dot)) + suffix + std::string(name.substr(dot));
}

} // namespace twl
