#pragma once

// Names from the medium are untrusted bytes. A name that cannot be a path component as it
// stands is given a recognisable replacement: "/" becomes %2F and NUL %00 inside it, and
// ".", ".." and the empty name become %2E, %2E%2E and %00. Every other name stays as it is,
// byte for byte.

#include <string>
#include <string_view>

namespace twl {

std::string SafeComponent(std::string_view name);

// "name (2)", "name (3)", ...: the name to try after `name` was taken, keeping an extension.
std::string NumberedName(std::string_view name, unsigned number);

} // namespace twl
