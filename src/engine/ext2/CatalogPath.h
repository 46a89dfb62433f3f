#pragma once

// Paths of catalogue folders, made from the names up the parent chain. Header nodes made by
// the walks store no name of their own: a header's name is the path of its folder, so memory
// stays linear in nodes and name bytes however deep folders nest.

#include "ext2/Catalog.h"

#include <string>
#include <string_view>

namespace twl {

// The volume root as paths name it: D, colon, backslash, dollar sign, T, W.
inline constexpr char kRootPath[] = "D:\\$TW";

// The path of `folder`: kRootPath for the root anchor, else its parent's path, a backslash and
// its name. A parent chain longer than the catalogue (damage) is cut there.
std::string FolderPath(const Catalog& catalog, NodeId folder);

// The same with every name escaped as EscapeBytes does, for one line of a log.
std::string ShownPath(const Catalog& catalog, NodeId folder);

// Whether `text` is the path of `folder`, compared from its end up the parent chain, in time
// linear in the length of `text`.
bool IsFolderPath(const Catalog& catalog, NodeId folder, std::string_view text);

// The name of node `id` as the scan information file stores it: for a header made by a walk,
// its folder's path; for every other node, its stored name.
std::string StoredName(const Catalog& catalog, NodeId id);

} // namespace twl
