#pragma once

// Names from the disk as the panes show them. A name may hold any byte: control characters
// would break rows and invalid UTF-8 would turn into look-alike replacement marks, so two
// different names could look the same. Here every name gets its own visible text.

#include <QString>
#include <string_view>

namespace twl::gui {

// Valid UTF-8 as its characters; tab, newline and carriage return as \t \n \r; other control
// and format characters (which would hide or reorder text) as \u{XXXX}; each byte that is
// not part of valid UTF-8 as \xNN. A backslash that would read as the start of such an
// escape is shown doubled, so that distinct names always look distinct.
QString ShownName(std::string_view bytes);

} // namespace twl::gui
