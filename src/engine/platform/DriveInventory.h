#pragma once

// The whole disks of this machine, in a stable order: physical drive n (drive id 0x80 + n) is
// the n-th entry. Read from sysfs (/sys/block) and udev's database; or, for tests and for
// working on images as if they were disks, from the TWL_DRIVES list of files.

#include "core/Types.h"

#include <optional>
#include <string>
#include <vector>

namespace twl {

struct DriveInfo {
    std::string devicePath; // /dev/sda, or the image file standing in for a drive
    std::string model;
    std::string serial;
    std::string firmware;
    std::string bus; // "ATA", "SCSI", "USB", "NVMe", "virtio", "MMC", or "" when unknown
    bool removable = false;
    ByteCount sizeBytes = 0;
    std::uint64_t sectors = 0; // sizeBytes / 512
    std::string vendor;
    // What kind of medium it is and what it is: "Fixed hard disk media: VENDOR MODEL",
    // "Removable media: ...", "Loop device backed by FILE", "Image file".
    std::string mediaType;
    // The legacy geometry, when the disk could be asked for it.
    std::optional<std::uint64_t> heads;
    std::optional<std::uint64_t> sectorsPerTrack;
    std::optional<std::uint64_t> cylinders;
    // Where the disk or one of its partitions (or a volume built on one) is mounted.
    std::vector<std::string> mountPoints;
};

struct InventoryRoots {
    std::string sysBlock = "/sys/block";     // one folder per whole disk
    std::string dev = "/dev";                // where device nodes live
    std::string udevData = "/run/udev/data"; // "b<major>:<minor>" property files
    std::string mountTable = "/proc/self/mounts";
};

// Whole disks under roots.sysBlock, sorted by name naturally (sda, sdb, ..., sdz, sdaa;
// nvme0n1 before nvme1n1 before nvme10n1). Only folders with a "device" entry count as disks,
// and loop devices backed by a file; partitions, unbacked loop, RAM, zram, device-mapper and
// software RAID (md) nodes are left out, and so are disks of size 0 (empty card readers,
// optical drives without a disc): there is nothing on them to read. Missing sysfs or udev
// files leave their fields empty; nothing here fails.
std::vector<DriveInfo> ScanSysfsDrives(const InventoryRoots& roots = {});

// The inventory made from a TWL_DRIVES value: colon-separated image files, drive n being the
// n-th file. Empty items are skipped; a file that cannot be sized is listed with size 0.
std::vector<DriveInfo> DrivesFromList(const std::string& twlDrives);

// TWL_DRIVES when set (even to an empty list), else the sysfs inventory.
std::vector<DriveInfo> LoadDriveInventory(const std::optional<std::string>& twlDrives,
                                          const InventoryRoots& roots = {});

} // namespace twl
