#pragma once

#include <string>
#include <string_view>

namespace twl::cli {

// A field for tab-separated output: tab, newline, carriage return and backslash become \t \n
// \r \\, every other byte outside printable ASCII becomes \xHH, so a row stays one line.
std::string EscapeField(std::string_view bytes);

} // namespace twl::cli
