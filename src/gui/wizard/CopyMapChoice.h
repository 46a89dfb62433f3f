#pragma once

// The map file a copy started from the wizard keeps, so that a stopped copy can go on where
// it stopped: beside the image, or for a clone in this program's data folder, named after
// both disks. When a map of an earlier copy is already there, the user chooses between going
// on from it and starting again.

#include "app/Prompter.h"
#include "sector/SectorSource.h"

#include <optional>
#include <string>

namespace twl::gui {

// The map file of an image.
std::string ImageMapPath(const std::string& imagePath);
// The map file of a clone of drive `from` onto drive `to`; empty when none can be kept (no
// data folder, or it lies on the disk being copied).
std::string CloneMapPath(const SectorSource& drives, DriveId from, DriveId to);

// Asks, when `mapPath` holds a map already, whether to go on from it (the map is kept) or
// start again (it is removed). nullopt when the user cancelled; else the map path to use.
std::optional<std::string> ChooseCopyMap(Prompter& prompter, const std::string& mapPath);

} // namespace twl::gui
