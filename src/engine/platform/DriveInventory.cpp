#include "platform/DriveInventory.h"

#include "platform/BlockDevice.h"
#include "platform/Mounts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <linux/hdreg.h>
#include <string_view>
#include <sys/ioctl.h>
#include <tuple>
#include <utility>

namespace twl {
namespace {

namespace fs = std::filesystem;

// sysfs attributes and udev property files are a few hundred bytes; anything past this is not
// one of them.
constexpr std::size_t kMaxSmallFile = 64 * 1024;

// Kernel names that are never whole physical disks. Software RAID (md) arrays are left out too:
// they are not drives of their own, and the disks they are built from are listed.
constexpr std::array<std::string_view, 4> kExcludedPrefixes = {"ram", "zram", "dm-", "md"};

// Families that number their disks with letters: a..z, then aa, ab, ... Such a suffix orders
// like a number: shorter first, then alphabetically.
constexpr std::array<std::string_view, 4> kLetterNumbered = {"sd", "vd", "hd", "xvd"};

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kSpace);
    return text.substr(first, last - first + 1);
}

// The whole content of a small file, or "" when it is missing or unreadable.
std::string ReadSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string content;
    std::array<char, 4096> chunk{};
    while (in && content.size() < kMaxSmallFile) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        content.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    return content;
}

std::string ReadTrimmed(const fs::path& path) {
    return std::string(Trim(ReadSmallFile(path)));
}

// The first of the files that holds something, trimmed; "" when none does.
std::string ReadFirstOf(std::initializer_list<fs::path> paths) {
    for (const auto& path : paths) {
        std::string value = ReadTrimmed(path);
        if (!value.empty())
            return value;
    }
    return {};
}

// The value of "E:<key>=<value>" in a udev database file, or "".
std::string UdevProperty(std::string_view content, std::string_view key) {
    while (!content.empty()) {
        const auto end = content.find('\n');
        const std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view{} : content.substr(end + 1);
        if (line.size() > key.size() + 3 && line.starts_with("E:") &&
            line.substr(2, key.size()) == key && line[2 + key.size()] == '=')
            return std::string(Trim(line.substr(3 + key.size())));
    }
    return {};
}

// One piece of a name for sorting: kind 0 is text, compared alphabetically; kind 1 is a
// number (a run of digits, or a disk's letter suffix), compared shorter first and then digit by
// digit: numeric order without parsing, as kernel names carry no leading zeros.
using SortToken = std::tuple<int, std::size_t, std::string>;
using SortKey = std::vector<SortToken>;

SortToken TextToken(std::string_view text) {
    return {0, 0, std::string(text)};
}

SortToken NumberToken(std::string_view digits) {
    return {1, digits.size(), std::string(digits)};
}

// "sdaa" -> {"sd", aa}; nullopt when the name is not a letter-numbered disk.
std::optional<SortKey> LetterNumberedKey(std::string_view name) {
    for (const auto family : kLetterNumbered) {
        if (!name.starts_with(family))
            continue;
        const auto suffix = name.substr(family.size());
        if (std::all_of(suffix.begin(), suffix.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            return SortKey{TextToken(family), NumberToken(suffix)};
    }
    return std::nullopt;
}

// Splits a name into runs of digits and runs of other characters: nvme10n1 -> nvme 10 n 1.
SortKey NaturalKey(std::string_view name) {
    if (auto key = LetterNumberedKey(name))
        return *key;
    SortKey key;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t pos = 0;
    while (pos < name.size()) {
        const bool digits = isDigit(name[pos]);
        std::size_t end = pos;
        while (end < name.size() && isDigit(name[end]) == digits)
            ++end;
        const std::string_view run = name.substr(pos, end - pos);
        key.push_back(digits ? NumberToken(run) : TextToken(run));
        pos = end;
    }
    return key;
}

bool IsExcludedName(std::string_view name) {
    return std::any_of(kExcludedPrefixes.begin(), kExcludedPrefixes.end(),
                       [name](std::string_view prefix) { return name.starts_with(prefix); });
}

// A real disk's folder has a "device" link to the hardware behind it; virtual block devices
// have none.
bool HasDeviceEntry(const fs::path& diskDir) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(diskDir / "device", ec));
}

// The file behind a loop device; "" when it is not set up.
std::string LoopBackingFile(const fs::path& diskDir) {
    return ReadTrimmed(diskDir / "loop" / "backing_file");
}

// sysfs gives sizes in 512-byte units whatever the disk's own sector size.
ByteCount ReadSizeBytes(const fs::path& sizeFile) {
    const std::string text = ReadTrimmed(sizeFile);
    std::uint64_t units = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), units);
    if (error != std::errc{} || end != text.data() + text.size() ||
        units > std::numeric_limits<ByteCount>::max() / kSectorSize)
        return 0;
    return units * kSectorSize;
}

bool IsListedDisk(const fs::path& diskDir, const std::string& name) {
    std::error_code ec;
    if (IsExcludedName(name) || !fs::is_directory(diskDir, ec) ||
        ReadSizeBytes(diskDir / "size") == 0)
        return false;
    if (name.starts_with("loop"))
        return !LoopBackingFile(diskDir).empty();
    return HasDeviceEntry(diskDir);
}

// The disk names under sysBlock that stand for physical disks, in natural order.
std::vector<std::string> DiskNames(const fs::path& sysBlock) {
    std::vector<std::pair<SortKey, std::string>> disks;
    std::error_code ec;
    for (fs::directory_iterator it(sysBlock, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!IsListedDisk(it->path(), name))
            continue;
        disks.emplace_back(NaturalKey(name), std::move(name));
    }
    std::sort(disks.begin(), disks.end());
    std::vector<std::string> names;
    for (auto& disk : disks)
        names.push_back(std::move(disk.second));
    return names;
}

// udev's property file for the disk, found through its "major:minor" number; "" without one.
std::string ReadUdevData(const fs::path& diskDir, const std::string& udevData) {
    const std::string devNumber = ReadTrimmed(diskDir / "dev");
    const auto colon = devNumber.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == devNumber.size())
        return {};
    return ReadSmallFile(fs::path(udevData) / ("b" + devNumber));
}

std::string BusFromUdev(const std::string& idBus) {
    constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kBuses = {
        {{"ata", "ATA"}, {"usb", "USB"}, {"scsi", "SCSI"}, {"nvme", "NVMe"}}};
    for (const auto& [udevName, busName] : kBuses) {
        if (idBus == udevName)
            return std::string(busName);
    }
    return {};
}

// Without udev, the bus is guessed from where the device link leads and from the disk's name.
std::string BusFromSysfs(const fs::path& diskDir, std::string_view name) {
    std::error_code ec;
    const std::string hardware = fs::weakly_canonical(diskDir / "device", ec).string();
    if (!ec && hardware.find("/usb") != std::string::npos)
        return "USB";
    if (name.starts_with("nvme"))
        return "NVMe";
    if (name.starts_with("vd"))
        return "virtio";
    if (name.starts_with("mmcblk"))
        return "MMC";
    if (name.starts_with("loop"))
        return "Loop";
    return {};
}

// The kernel names a mount source stands for: the device itself (links such as
// /dev/disk/by-uuid/... resolved), and for a mapped volume (LVM, encryption) the devices it is
// built on, one level down.
std::vector<std::string> MountedNames(const std::string& source, const fs::path& sysBlock) {
    if (!source.starts_with("/dev/"))
        return {};
    std::error_code ec;
    const fs::path resolved = fs::canonical(source, ec);
    const std::string name = (ec ? fs::path(source) : resolved).filename().string();
    std::vector<std::string> names{name};
    constexpr std::size_t kMaxSlaves = 64;
    for (fs::directory_iterator it(sysBlock / name / "slaves", ec), end;
         !ec && it != end && names.size() <= kMaxSlaves; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

// Every mount point of the disk or of one of its partitions (a partition's folder sits inside
// its disk's folder in sysfs).
using MountTable = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> MountPointsOf(const InventoryRoots& roots, const MountTable& mounts,
                                       const std::string& disk) {
    const fs::path sysBlock(roots.sysBlock);
    std::vector<std::string> points;
    for (const auto& [source, mountPoint] : mounts) {
        for (const std::string& name : MountedNames(source, sysBlock)) {
            std::error_code ec;
            if (name == disk || (!name.empty() && fs::exists(sysBlock / disk / name, ec))) {
                points.push_back(mountPoint);
                break;
            }
        }
    }
    return points;
}

// The legacy geometry the kernel reports for the disk; left unknown when the device cannot be
// opened (no permission, or a test's folder) or does not answer.
void ReadLegacyGeometry(DriveInfo& drive) {
    const int fd = ::open(drive.devicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    hd_geometry geometry{};
    const bool known =
        ::ioctl(fd, HDIO_GETGEO, &geometry) == 0 && geometry.heads != 0 && geometry.sectors != 0;
    ::close(fd);
    if (!known)
        return;
    drive.heads = geometry.heads;
    drive.sectorsPerTrack = geometry.sectors;
    // The ioctl's own cylinder count is 16 bits wide; the full count follows from the size.
    drive.cylinders = drive.sectors / (std::uint64_t{geometry.heads} * geometry.sectors);
}

std::string MediaType(const DriveInfo& drive, const std::string& backingFile) {
    if (!backingFile.empty())
        return "Loop device backed by " + backingFile;
    std::string what = drive.vendor;
    if (!drive.model.empty())
        what += (what.empty() ? "" : " ") + drive.model;
    const std::string kind = drive.removable ? "Removable media" : "Fixed hard disk media";
    return what.empty() ? kind : kind + ": " + what;
}

DriveInfo ReadSysfsDisk(const InventoryRoots& roots, const MountTable& mounts,
                        const std::string& name) {
    const fs::path diskDir = fs::path(roots.sysBlock) / name;
    const fs::path device = diskDir / "device";
    const std::string udev = ReadUdevData(diskDir, roots.udevData);
    DriveInfo drive;
    drive.devicePath = roots.dev + "/" + name;
    drive.model = ReadTrimmed(device / "model");
    drive.vendor = ReadTrimmed(device / "vendor");
    drive.firmware = ReadFirstOf({device / "rev", device / "firmware_rev"});
    // virtio disks keep their serial next to the size rather than under device/.
    drive.serial = ReadFirstOf({device / "serial", diskDir / "serial"});
    if (drive.serial.empty())
        drive.serial = UdevProperty(udev, "ID_SERIAL_SHORT");
    if (drive.serial.empty())
        drive.serial = UdevProperty(udev, "ID_SERIAL");
    drive.bus = BusFromUdev(UdevProperty(udev, "ID_BUS"));
    if (drive.bus.empty())
        drive.bus = BusFromSysfs(diskDir, name);
    drive.removable = ReadTrimmed(diskDir / "removable") == "1";
    drive.sizeBytes = ReadSizeBytes(diskDir / "size");
    drive.sectors = drive.sizeBytes / kSectorSize;
    drive.mediaType = MediaType(drive, LoopBackingFile(diskDir));
    drive.mountPoints = MountPointsOf(roots, mounts, name);
    ReadLegacyGeometry(drive);
    return drive;
}

DriveInfo ImageFileDrive(const std::string& path) {
    DriveInfo drive;
    drive.devicePath = path;
    drive.model = "Image file";
    drive.mediaType = "Image file " + path;
    const OpenedFile file = OpenForReading(path);
    if (file.fd.Valid()) {
        const SizeQuery size = QuerySize(file.fd.Get(), path);
        if (size.status.Ok())
            drive.sizeBytes = size.bytes;
    }
    drive.sectors = drive.sizeBytes / kSectorSize;
    return drive;
}

} // namespace

std::vector<DriveInfo> ScanSysfsDrives(const InventoryRoots& roots) {
    std::vector<DriveInfo> drives;
    const MountTable mounts = ReadMountTable(roots.mountTable); // once for all the disks
    for (const auto& name : DiskNames(roots.sysBlock))
        drives.push_back(ReadSysfsDisk(roots, mounts, name));
    return drives;
}

std::vector<DriveInfo> DrivesFromList(const std::string& twlDrives) {
    std::vector<DriveInfo> drives;
    std::size_t start = 0;
    while (start <= twlDrives.size()) {
        auto end = twlDrives.find(':', start);
        if (end == std::string::npos)
            end = twlDrives.size();
        if (end > start)
            drives.push_back(ImageFileDrive(twlDrives.substr(start, end - start)));
        start = end + 1;
    }
    return drives;
}

std::vector<DriveInfo> LoadDriveInventory(const std::optional<std::string>& twlDrives,
                                          const InventoryRoots& roots) {
    return twlDrives ? DrivesFromList(*twlDrives) : ScanSysfsDrives(roots);
}

} // namespace twl
