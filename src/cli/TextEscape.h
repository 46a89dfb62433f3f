#pragma once

#include "core/TextEscape.h"

namespace twl::cli {

// A field for tab-separated output: the bytes escaped so that a row stays one line.
inline std::string EscapeField(std::string_view bytes) {
    return EscapeBytes(bytes);
}

} // namespace twl::cli
