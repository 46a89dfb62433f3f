#pragma once

// Where saved files must not go: into the disk or image being recovered from. Writing there
// could overwrite the very data being recovered.

#include "session/RecoverySession.h"

#include <string>

namespace twl {

// Why `folder` must not take saved files (the image being read, or a file system mounted from
// the disk being read); "" when it may.
std::string RefuseSaveFolder(const RecoverySession& session, const std::string& folder);

} // namespace twl
