#pragma once

// The sector range of a logical volume scan: the whole source for the quick scan, or a range
// the user typed for the thorough scan, checked as the sector-range dialog checks it.

#include "core/Types.h"
#include "sector/SectorSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace twl {

struct SectorRange {
    SectorNo start = 0;
    SectorNo end = 0; // last sector of the range
};

// 0 to size / 512 - 1 of the current source (a drive's size asked afresh). Empty when the
// source has no sectors.
std::optional<SectorRange> WholeSourceRange(SectorSource& source);

enum class RangeCheck {
    kOk,
    kBadStart, // " Invalid value for start Sector"
    kBadEnd,   // "Invalid value for end Sector"
    kNotAfter, // "End Sector should be greater then start sector"
};

// Checks a typed range against a source of `sectors` sectors, in the dialog's order.
RangeCheck CheckSectorRange(std::int64_t start, std::int64_t end, std::uint64_t sectors);
std::string_view RangeCheckText(RangeCheck check);

// A number as the range dialog reads it: leading decimal digits, anything else ends it; no
// digits give 0.
std::int64_t ParseSectorText(std::string_view text);

// "Reading sector %d of %d" and the dialog's percent for a scan progress report.
std::string ScanProgressText(std::uint64_t position, std::uint64_t total);
int ScanPercent(std::uint64_t position, std::uint64_t total);

} // namespace twl
