#include "session/SourceOpening.h"

#include "volumes/ScanRange.h"

namespace twl {
namespace {

// The sweep's range: the whole source, or the thorough range the search names. Returns the
// range check's text when it does not fit.
std::string SweepRange(SectorSource& source, const VolumeSearch& search, SectorRange& range) {
    const std::optional<SectorRange> whole = WholeSourceRange(source);
    if (!whole)
        return "the source holds no sectors to scan";
    range = *whole;
    if (search.sweep != ScanMode::kThorough)
        return {};
    const auto start = static_cast<std::int64_t>(search.start.value_or(0));
    const auto end = static_cast<std::int64_t>(search.end.value_or(whole->end));
    const RangeCheck check = CheckSectorRange(start, end, std::uint64_t{whole->end} + 1);
    if (check != RangeCheck::kOk)
        return std::string(RangeCheckText(check));
    range = {static_cast<SectorNo>(start), static_cast<SectorNo>(end)};
    return {};
}

} // namespace

Status OpenSource(RecoverySession& session, const SourceChoice& choice) {
    if (choice.drive == kImageDriveId)
        return session.Source().SelectImageFile(choice.imagePath);
    return session.Source().SelectDrive(choice.drive);
}

VolumeListing FindVolumes(RecoverySession& session, const VolumeSearch& search,
                          EngineEvents& events) {
    VolumeListing listing;
    SectorSource& source = session.Source();
    session.SetMode(search.mode);
    bool sweep = search.mode == ProcessingMode::kScan;
    session.Lists().walk = {};
    if (!sweep) {
        const TableListing tables =
            ListVolumesFromTable(source, source.CurrentDriveId(), session.Lists());
        if (search.walked)
            search.walked(tables.walk);
        sweep = tables.linuxFound == 0 && search.mode == ProcessingMode::kAuto;
    }
    if (sweep) {
        SectorRange range;
        listing.rangeError = SweepRange(source, search, range);
        if (listing.rangeError.empty())
            ScanWorker(source, session.Lists(), search.sweep, range.start, range.end,
                       session.ScanStop(), events);
    }
    listing.listed = ListedVolumeCount(session);
    return listing;
}

VolumeOpening OpenSourceVolume(RecoverySession& session, const SourceChoice& choice,
                               const VolumeSearch& search, std::size_t row,
                               const std::function<bool()>& searchForBackup, EngineEvents& events) {
    VolumeOpening opening;
    opening.source = OpenSource(session, choice);
    if (!opening.source.Ok())
        return opening;
    opening.listing = FindVolumes(session, search, events);
    if (row >= opening.listing.listed) {
        opening.text = OpenOutcomeText(opening.outcome);
        return opening;
    }
    opening.outcome = OpenListedVolume(session, row, searchForBackup, &opening.text);
    return opening;
}

} // namespace twl
