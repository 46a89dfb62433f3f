#pragma once

// Paths written into a POSIX shell script as words no byte of them can end: a quote, a
// newline, a backquote, "$(...)" or a leading "-" in a name from the medium stays part of the
// name. Plain names are single-quoted. A name holding a control byte, or bytes that are not
// UTF-8, needs escapes, which single quotes cannot hold.

#include <string>
#include <string_view>

namespace twl {

// The path single-quoted, with each ' written as '\''.
std::string ShellQuote(std::string_view path);

// True when the path holds a control byte (newline, tab, escape, ...) or is not UTF-8.
bool NeedsShellEscapes(std::string_view path);

// The path for a comment line: single-quoted when plain, else $'...' with every control,
// non-UTF-8, quote and backslash byte written as an octal escape. No byte ends the line.
std::string ShellCommentWord(std::string_view path);

// A command line that runs `command` with the path as its last word. A plain path is
// single-quoted; any other is rebuilt by printf from octal escapes into a variable first, as
// every POSIX shell can (the $'...' form is not known to all of them).
std::string ShellCommand(std::string_view command, std::string_view path);

} // namespace twl
