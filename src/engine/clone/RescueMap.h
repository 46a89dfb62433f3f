#pragma once

// The state of every sector of a rescue copy, kept as runs of one state: the five states of
// GNU ddrescue's map file, so that the map this program writes is read by ddrescuelog and map
// viewers, and a map ddrescue wrote can be continued here. Sectors here, bytes in the text.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twl {

enum class SectorState : char {
    kUntried = '?',   // not read yet
    kUntrimmed = '*', // failed in a large read; its edges not yet read sector by sector
    kUnscraped = '/', // the middle of a failed area, not yet read sector by sector
    kBad = '-',       // failed when read alone
    kFinished = '+',  // copied
};

// What a run is busy with: the map file's current_status.
enum class RescuePhase : char {
    kCopy = '?',
    kTrim = '*',
    kScrape = '/',
    kRetry = '-',
    kFill = 'F',
    kFinished = '+',
};

struct MapRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    SectorState state = SectorState::kUntried;
    bool operator==(const MapRun&) const = default;
};

class RescueMap {
public:
    // `sectors` sectors, all untried.
    explicit RescueMap(std::uint64_t sectors);

    std::uint64_t Sectors() const { return m_sectors; }
    // Gives sectors first .. first + count - 1 (cut at the end of the map) `state`.
    void Set(std::uint64_t first, std::uint64_t count, SectorState state);
    // The whole run holding `sector`, which must lie inside the map.
    MapRun RunAt(std::uint64_t sector) const;
    // The part from `from` on of the first run in `state` that ends after `from`.
    std::optional<MapRun> NextRun(std::uint64_t from, SectorState state) const;
    // Sectors in `state`.
    std::uint64_t Count(SectorState state) const { return m_counts[Index(state)]; }
    // Runs in `state`: a walk over the map.
    std::uint64_t CountRuns(SectorState state) const;
    std::vector<MapRun> Runs() const;

    // Where the run stands, as the map file's status line says it.
    std::uint64_t position = 0; // sector
    RescuePhase phase = RescuePhase::kCopy;
    unsigned pass = 1;

private:
    struct Run {
        std::uint64_t count;
        SectorState state;
    };
    static std::size_t Index(SectorState state);
    // Makes a run begin at `sector` (when it lies inside the map).
    void SplitAt(std::uint64_t sector);
    // Joins the run at `sector` with the one before it when both have one state.
    void JoinWithPrevious(std::map<std::uint64_t, Run>::iterator at);

    std::uint64_t m_sectors;
    std::map<std::uint64_t, Run> m_runs; // by first sector; together they cover the map
    std::array<std::uint64_t, 5> m_counts{};
};

// What a map was made for: written as comments, and checked when a copy is continued.
struct MapSource {
    std::string name;        // the source as the user gave it, for people
    std::string identity;    // what names it: a disk's model and serial, an image's path
    std::string destination; // what names the copy's destination, the same way
};

struct ParsedMap {
    std::optional<RescueMap> map; // nullopt when the text is damaged
    std::string error;            // why, with the line
    MapSource source;             // from this program's comments; empty for another's map
};

// Reads map file text for a copy of `sectors` sectors. A map that covers another size, that
// is not in order, or has a position or size that is not a whole number of sectors, is
// refused; a map with no runs at all is a new one.
ParsedMap ParseMapText(std::string_view text, std::uint64_t sectors);
// The map file text: comments naming this program and the source, the status line, a line
// per run.
std::string MapText(const RescueMap& map, const MapSource& source);

} // namespace twl
