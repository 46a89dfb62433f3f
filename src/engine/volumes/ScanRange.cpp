#include "volumes/ScanRange.h"

#include <algorithm>
#include <cstdio>

namespace twl {

std::optional<SectorRange> WholeSourceRange(SectorSource& source) {
    ByteCount bytes = source.SourceSize();
    if (IsPhysicalDrive(source.CurrentDriveId()))
        source.GetDriveSize(source.CurrentDriveId(), bytes);
    const std::uint64_t sectors = bytes / kSectorSize;
    if (sectors == 0)
        return std::nullopt;
    return SectorRange{0, std::min(sectors - 1, kLastSector)};
}

RangeCheck CheckSectorRange(std::int64_t start, std::int64_t end, std::uint64_t sectors) {
    const auto last = static_cast<std::int64_t>(sectors) - 1;
    if (start < 0 || start > last)
        return RangeCheck::kBadStart;
    if (end < 0 || end > last)
        return RangeCheck::kBadEnd;
    if (end <= start)
        return RangeCheck::kNotAfter;
    return RangeCheck::kOk;
}

std::string_view RangeCheckText(RangeCheck check) {
    switch (check) {
    case RangeCheck::kOk:
        return "";
    case RangeCheck::kBadStart:
        return " Invalid value for start Sector";
    case RangeCheck::kBadEnd:
        return "Invalid value for end Sector";
    case RangeCheck::kNotAfter:
        return "End Sector should be greater then start sector";
    }
    return "";
}

std::int64_t ParseSectorText(std::string_view text) {
    std::int64_t value = 0;
    for (const char c : text.substr(0, 48)) {
        if (c < '0' || c > '9')
            break;
        if (value > (INT64_MAX - 9) / 10)
            return INT64_MAX; // far beyond any disk: refused by the range check
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string ScanProgressText(std::uint64_t position, std::uint64_t total) {
    // Unsigned: past sector 2^31 (1 TiB) a signed number would show a negative position.
    return "Reading sector " + std::to_string(position) + " of " +
           std::to_string(total == 0 ? 0 : total - 1);
}

int ScanPercent(std::uint64_t position, std::uint64_t total) {
    if (total == 0)
        return 0;
    return static_cast<int>(static_cast<double>(position) / static_cast<double>(total) * 100.0);
}

} // namespace twl
