#include "platform/Mounts.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace twl {
namespace {

std::optional<dev_t> DeviceNumber(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::nullopt;
    return st.st_rdev;
}

// The whole disk a block device belongs to: itself, or the parent of a partition, read from
// sysfs (a partition's folder holds a "partition" file and sits inside its disk's folder).
dev_t WholeDisk(dev_t device, const std::string& sysDevBlock) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path link = fs::path(sysDevBlock) /
                          (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
    const fs::path folder = fs::canonical(link, ec);
    if (ec || !fs::exists(folder / "partition", ec))
        return device;
    std::ifstream parentDev(folder.parent_path() / "dev");
    unsigned maj = 0;
    unsigned min = 0;
    char colon = 0;
    if (parentDev >> maj >> colon >> min && colon == ':')
        return makedev(maj, min);
    return device;
}

// Undoes the octal escapes of /proc/self/mounts (\040 for a blank, and so on).
std::string Unescape(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            field.find_first_not_of("01234567", i + 1) >= i + 4) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

} // namespace

std::vector<std::pair<std::string, std::string>> ReadMountTable(const std::string& mountTable) {
    // A mount table is a few kilobytes; a bound keeps a strange file from filling memory.
    constexpr std::size_t kMaxMounts = 100000;
    std::vector<std::pair<std::string, std::string>> mounts;
    std::ifstream table(mountTable);
    std::string line;
    while (mounts.size() < kMaxMounts && std::getline(table, line)) {
        std::istringstream fields(line);
        std::string source;
        std::string mountPoint;
        if (fields >> source >> mountPoint)
            mounts.emplace_back(Unescape(source), Unescape(mountPoint));
    }
    return mounts;
}

std::optional<std::string> MountedPartOf(const std::string& device, const std::string& mountTable,
                                         const std::string& sysDevBlock) {
    const std::optional<dev_t> disk = DeviceNumber(device);
    if (!disk)
        return std::nullopt;
    for (const auto& [source, mountPoint] : ReadMountTable(mountTable)) {
        const std::optional<dev_t> mounted = DeviceNumber(source);
        if (mounted && (*mounted == *disk || WholeDisk(*mounted, sysDevBlock) == *disk))
            return source + " on " + mountPoint;
    }
    return std::nullopt;
}

bool FolderIsOnDisk(const std::string& folder, const std::string& device,
                    const std::string& sysDevBlock) {
    const std::optional<dev_t> disk = DeviceNumber(device);
    if (!disk)
        return false;
    std::filesystem::path at = std::filesystem::absolute(folder);
    struct stat st {};
    while (::stat(at.c_str(), &st) != 0) {
        if (!at.has_parent_path() || at.parent_path() == at)
            return false;
        at = at.parent_path();
    }
    return st.st_dev == *disk || WholeDisk(st.st_dev, sysDevBlock) == *disk;
}

} // namespace twl
