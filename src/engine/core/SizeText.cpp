#include "core/SizeText.h"

#include <cstdio>

namespace twl {

std::string SizeText(std::uint64_t bytes) {
    char text[64];
    const auto value = static_cast<double>(bytes);
    if (bytes >= (std::uint64_t{1} << 30))
        std::snprintf(text, sizeof text, "%7.3f GB", value * 9.313225746154785e-10);
    else if (bytes >= (std::uint64_t{1} << 20))
        std::snprintf(text, sizeof text, "%7.3f MB", value * 9.5367431640625e-07);
    else
        std::snprintf(text, sizeof text, "%7.3f KB", value * 0.0009765625);
    return text;
}

std::string SizeLine(std::uint64_t bytes, std::uint32_t files, std::uint32_t folders) {
    return SizeText(bytes) + " in " + std::to_string(files) + " Files in " +
           std::to_string(folders) + " Folders";
}

} // namespace twl
