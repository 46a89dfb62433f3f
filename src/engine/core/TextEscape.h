#pragma once

#include <string>
#include <string_view>

namespace twl {

// Bytes from the medium as one line of text: tab, newline, carriage return and backslash
// become \t \n \r \\, every other byte outside printable ASCII becomes \xHH.
std::string EscapeBytes(std::string_view bytes);
// The same, appended to `text`: plain runs go in whole.
void AppendEscaped(std::string& text, std::string_view bytes);

} // namespace twl
