#pragma once

// Whether a disk is in use by the system: mounted itself, or holding a mounted partition.
// A clone destination in use is refused: writing under a mounted file system destroys it.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace twl {

// The mount table to read; tests pass their own.
inline constexpr char kProcMounts[] = "/proc/self/mounts";

// The mounts of a mount table, as (source, mount point), escapes undone. A table that cannot
// be read lists nothing.
std::vector<std::pair<std::string, std::string>> ReadMountTable(const std::string& mountTable);

// The first mounted block device that is `device` or one of its partitions, as "DEVICE on
// MOUNTPOINT"; empty when none is. Devices are compared by device number, so any name of the
// disk (a symlink under /dev/disk/by-id, say) is recognised.
std::optional<std::string> MountedPartOf(const std::string& device,
                                         const std::string& mountTable = kProcMounts,
                                         const std::string& sysDevBlock = "/sys/dev/block");

// True when `folder` (or, when it does not exist yet, the nearest folder above it) lies on a
// file system mounted from block device `device` or from one of its partitions.
bool FolderIsOnDisk(const std::string& folder, const std::string& device,
                    const std::string& sysDevBlock = "/sys/dev/block");

} // namespace twl
