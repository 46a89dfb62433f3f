#include "clone/RescuePasses.h"

#include "core/AlignedBuffer.h"

#include <algorithm>
#include <cerrno>

namespace twl {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMinSkip = kClusterSectors;
constexpr std::uint64_t kMaxSkip = std::uint64_t{1} << 21; // 1 GiB
constexpr auto kReportEvery = std::chrono::milliseconds(250);

bool IsFullError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

class Rescuer {
public:
    Rescuer(SectorSource& source, DriveId from, CopyTarget& target, RescueMap& map,
            const RescueOptions& options, StopControl& stop, EngineEvents& events)
        : m_source(source), m_from(from), m_target(target), m_map(map), m_options(options),
          m_stop(stop), m_events(events), m_buffer(std::size_t{kSpanSectors} * kSectorSize),
          m_unwritten(map.Sectors()), m_finishedBefore(map.Count(SectorState::kFinished)),
          m_maxSkip(std::clamp(map.Sectors() / 100, kMinSkip, kMaxSkip)) {}

    CopyReport Run();

private:
    bool CopyPass(bool skipping);
    bool TrimPass();
    bool ScrapePass();
    bool RetryPass(unsigned round);
    bool TrimArea(std::uint64_t first, std::uint64_t end);
    bool ReadAlone(std::uint64_t sector);
    void Begin(RescuePhase phase, unsigned pass, std::string name);
    bool Due(std::uint64_t sector);
    bool Read(std::uint64_t first, std::uint64_t count);
    bool StoreRead(std::uint64_t first, std::uint64_t count, std::uint64_t at = 0);
    bool StoreBad(std::uint64_t sector);
    bool Written(std::uint64_t first, std::uint64_t count, int error);
    void FillUnfinished();
    void SaveMap();
    void Report();

    SectorSource& m_source;
    DriveId m_from;
    CopyTarget& m_target;
    RescueMap& m_map;
    const RescueOptions& m_options;
    StopControl& m_stop;
    EngineEvents& m_events;
    AlignedBuffer m_buffer;
    // Sectors whose write failed, marked bad in a map of their own: the copy map says what
    // the source gave, this one what the destination did not take.
    RescueMap m_unwritten;
    std::uint64_t m_finishedBefore; // finished when this run began
    std::uint64_t m_maxSkip;
    std::string m_passName;
    CopyReport m_report;
    bool m_saveFailureTold = false;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_lastGood = m_start;
    Clock::time_point m_lastReport{};
    Clock::time_point m_lastSaved = m_start;
};

CopyReport Rescuer::Run() {
    bool going = CopyPass(true) && CopyPass(false) && TrimPass() && ScrapePass();
    for (unsigned round = 1; going && round <= m_options.retries; ++round)
        going = RetryPass(round);
    if (going) {
        Begin(RescuePhase::kFinished, 1, "finished");
        m_map.position = m_map.Sectors();
    } else if (!m_report.destinationFull) {
        FillUnfinished();
    }
    m_report.completed = going;
    m_report.sectorsDone = m_map.Count(SectorState::kFinished) + m_map.Count(SectorState::kBad);
    m_report.fillerSectors = m_map.Count(SectorState::kBad);
    for (std::uint64_t from = 0; m_report.firstFillers.size() < kListedFillers;) {
        const std::optional<MapRun> bad = m_map.NextRun(from, SectorState::kBad);
        if (!bad)
            break;
        for (std::uint64_t s = bad->first;
             s < bad->first + bad->count && m_report.firstFillers.size() < kListedFillers; ++s)
            m_report.firstFillers.push_back(s);
        from = bad->first + bad->count;
    }
    m_report.unwrittenSectors = m_unwritten.Count(SectorState::kBad);
    SaveMap();
    Report();
    return m_report;
}

void Rescuer::Begin(RescuePhase phase, unsigned pass, std::string name) {
    m_map.phase = phase;
    m_map.pass = pass;
    m_passName = std::move(name);
    Report();
}

// Large reads of what was never tried; a cluster that fails is left for trimming.
bool Rescuer::CopyPass(bool skipping) {
    if (m_map.Count(SectorState::kUntried) == 0)
        return true;
    Begin(RescuePhase::kCopy, skipping ? 1 : 2, skipping ? "copying" : "copying skipped areas");
    std::uint64_t skip = kMinSkip;
    std::uint64_t careful = 0; // below this sector reads are clusters: a span failed there
    for (std::uint64_t from = 0;;) {
        const std::optional<MapRun> run = m_map.NextRun(from, SectorState::kUntried);
        if (!run)
            break;
        const std::uint64_t end = run->first + run->count;
        for (std::uint64_t p = run->first; p < end;) {
            if (!Due(p))
                return false;
            const std::uint64_t n =
                std::min<std::uint64_t>(p < careful ? kClusterSectors : kSpanSectors, end - p);
            if (Read(p, n)) {
                if (!StoreRead(p, n))
                    return false;
                p += n;
                skip = std::max(kMinSkip, skip / 2);
                continue;
            }
            if (n > kClusterSectors) {
                careful = p + n;
                continue;
            }
            m_map.Set(p, n, SectorState::kUntrimmed);
            p += n;
            if (skipping) {
                p = std::min(end, p + skip);
                skip = std::min(m_maxSkip, skip * 2);
            }
        }
        from = end;
    }
    SaveMap();
    return true;
}

bool Rescuer::TrimPass() {
    if (m_map.Count(SectorState::kUntrimmed) == 0)
        return true;
    Begin(RescuePhase::kTrim, 1, "trimming");
    for (std::uint64_t from = 0;;) {
        const std::optional<MapRun> run = m_map.NextRun(from, SectorState::kUntrimmed);
        if (!run)
            break;
        if (!TrimArea(run->first, run->first + run->count))
            return false;
        from = run->first + run->count;
    }
    SaveMap();
    return true;
}

// Sector by sector from the front until one fails, then from the back until one fails; what
// lies between is left for scraping.
bool Rescuer::TrimArea(std::uint64_t first, std::uint64_t end) {
    std::uint64_t s = first;
    bool bad = false;
    while (s < end && !bad) {
        if (!Due(s))
            return false;
        bad = !Read(s, 1);
        if (!(bad ? StoreBad(s) : StoreRead(s, 1)))
            return false;
        ++s;
    }
    std::uint64_t e = end;
    while (bad && e > s) {
        if (!Due(e - 1))
            return false;
        const std::uint64_t at = --e;
        if (Read(at, 1)) {
            if (!StoreRead(at, 1))
                return false;
            continue;
        }
        if (!StoreBad(at))
            return false;
        break;
    }
    if (bad && e > s)
        m_map.Set(s, e - s, SectorState::kUnscraped);
    return true;
}

bool Rescuer::ScrapePass() {
    if (m_map.Count(SectorState::kUnscraped) == 0)
        return true;
    Begin(RescuePhase::kScrape, 1, "scraping");
    for (std::uint64_t from = 0;;) {
        const std::optional<MapRun> run = m_map.NextRun(from, SectorState::kUnscraped);
        if (!run)
            break;
        for (std::uint64_t s = run->first; s < run->first + run->count; ++s) {
            if (!ReadAlone(s))
                return false;
        }
        from = run->first + run->count;
    }
    SaveMap();
    return true;
}

bool Rescuer::RetryPass(unsigned round) {
    if (m_map.Count(SectorState::kBad) == 0)
        return true;
    Begin(RescuePhase::kRetry, round,
          "retrying " + std::to_string(round) + " of " + std::to_string(m_options.retries));
    for (std::uint64_t from = 0;;) {
        const std::optional<MapRun> run = m_map.NextRun(from, SectorState::kBad);
        if (!run)
            break;
        for (std::uint64_t s = run->first; s < run->first + run->count; ++s) {
            if (!Due(s))
                return false;
            if (Read(s, 1) && !StoreRead(s, 1))
                return false;
        }
        from = run->first + run->count;
    }
    SaveMap();
    return true;
}

// One read of a sector: its data, or the filler and the bad mark.
bool Rescuer::ReadAlone(std::uint64_t sector) {
    if (!Due(sector))
        return false;
    return Read(sector, 1) ? StoreRead(sector, 1) : StoreBad(sector);
}

// Before every read: where the run is, whether to stop, and what is due to be told or kept.
bool Rescuer::Due(std::uint64_t sector) {
    m_map.position = sector;
    if (m_stop.ShouldStop())
        return false;
    const Clock::time_point now = Clock::now();
    if (now - m_lastReport >= kReportEvery)
        Report();
    if (m_options.saveMap && now - m_lastSaved >= m_options.saveEvery)
        SaveMap();
    return true;
}

bool Rescuer::Read(std::uint64_t first, std::uint64_t count) {
    const MutableBytes bytes = m_buffer.Bytes().first(count * kSectorSize);
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (m_source.ReadSectorsOnce(m_from, static_cast<SectorNo>(first), bytes) == 0)
        return false;
    m_lastGood = Clock::now();
    return true;
}

// Writes `count` sectors read into the buffer (from its sector `at`) at their place and
// marks them finished. A span whose write fails is written again chunk by chunk, so a bad
// spot on the destination costs no more than its chunk; what was not written keeps its state
// and is tried again by a later pass. False when the destination is full.
bool Rescuer::StoreRead(std::uint64_t first, std::uint64_t count, std::uint64_t at) {
    const ConstBytes bytes = m_buffer.Bytes().subspan(at * kSectorSize, count * kSectorSize);
    const int error = m_target.WriteAt(first * kSectorSize, bytes);
    if (error != 0 && !IsFullError(error) && count > kChunkSectors) {
        for (std::uint64_t c = 0; c < count; c += kChunkSectors) {
            if (!StoreRead(first + c, std::min<std::uint64_t>(kChunkSectors, count - c), at + c))
                return false;
        }
        return true;
    }
    if (error == 0)
        m_map.Set(first, count, SectorState::kFinished);
    return Written(first, count, error);
}

// Marks a sector bad and writes the filler in its place.
bool Rescuer::StoreBad(std::uint64_t sector) {
    m_map.Set(sector, 1, SectorState::kBad);
    m_events.CopyUnreadable(m_map.Count(SectorState::kBad));
    return Written(sector, 1, m_target.WriteAt(sector * kSectorSize, FillerSector()));
}

// Keeps account of a write: false when the destination is full.
bool Rescuer::Written(std::uint64_t first, std::uint64_t count, int error) {
    m_unwritten.Set(first, count, error == 0 ? SectorState::kUntried : SectorState::kBad);
    if (error == 0)
        m_events.CopyProgress(m_map.Count(SectorState::kFinished) + m_map.Count(SectorState::kBad),
                              m_map.Sectors());
    m_report.destinationFull = m_report.destinationFull || IsFullError(error);
    return !m_report.destinationFull;
}

// A stopped run leaves the filler where it had found damage but not finished reading it, so
// the destination shows it; the map still says those areas are to be read.
void Rescuer::FillUnfinished() {
    Begin(RescuePhase::kFill, 1, "filling");
    const MutableBytes fill = m_buffer.Bytes().first(std::size_t{kClusterSectors} * kSectorSize);
    for (std::size_t at = 0; at < fill.size(); at += kSectorSize)
        std::copy(FillerSector().begin(), FillerSector().end(), fill.begin() + at);
    for (const SectorState state : {SectorState::kUntrimmed, SectorState::kUnscraped}) {
        for (std::uint64_t from = 0;;) {
            const std::optional<MapRun> run = m_map.NextRun(from, state);
            if (!run)
                break;
            for (std::uint64_t s = run->first; s < run->first + run->count; s += kClusterSectors) {
                const std::uint64_t n =
                    std::min<std::uint64_t>(kClusterSectors, run->first + run->count - s);
                const int error = m_target.WriteAt(s * kSectorSize, fill.first(n * kSectorSize));
                if (IsFullError(error))
                    return;
                if (error != 0)
                    m_unwritten.Set(s, n, SectorState::kBad);
            }
            from = run->first + run->count;
        }
    }
}

void Rescuer::SaveMap() {
    m_lastSaved = Clock::now();
    if (!m_options.saveMap || m_options.saveMap(m_map) || m_saveFailureTold)
        return;
    m_saveFailureTold = true;
    m_events.Message(MessageIcon::kWarning,
                     "The map file could not be written: the copy goes on, but a stop cannot be "
                     "continued from where it was");
}

void Rescuer::Report() {
    const Clock::time_point now = Clock::now();
    m_lastReport = now;
    RescueStatus status;
    status.pass = m_passName;
    status.position = m_map.position;
    status.total = m_map.Sectors();
    status.finished = m_map.Count(SectorState::kFinished);
    status.bad = m_map.Count(SectorState::kBad);
    status.badAreas = m_map.CountRuns(SectorState::kBad);
    status.pending = m_map.Count(SectorState::kUntried) + m_map.Count(SectorState::kUntrimmed) +
                     m_map.Count(SectorState::kUnscraped);
    status.elapsedSeconds = Seconds(now - m_start);
    status.sinceGoodRead = Seconds(now - m_lastGood);
    const std::uint64_t copied = status.finished - std::min(status.finished, m_finishedBefore);
    if (status.elapsedSeconds > 0)
        status.bytesPerSecond = static_cast<double>(copied * kSectorSize) / status.elapsedSeconds;
    if (status.bytesPerSecond > 0)
        status.secondsLeft =
            static_cast<double>(status.pending * kSectorSize) / status.bytesPerSecond;
    m_events.RescueProgress(status);
}

} // namespace

const std::array<std::uint8_t, kSectorSize>& FillerSector() {
    static const std::array<std::uint8_t, kSectorSize> filler = [] {
        std::array<std::uint8_t, kSectorSize> sector{};
        constexpr char kPattern[16] = {'*', '*', 'B', 'A', 'D', ' ', 'S', 'E',
                                       'C', 'T', 'O', 'R', '*', '*', 0,   0};
        for (std::size_t i = 0; i < sector.size(); ++i)
            sector[i] = static_cast<std::uint8_t>(kPattern[i % 16]);
        return sector;
    }();
    return filler;
}

CopyReport RunRescuePasses(SectorSource& source, DriveId from, CopyTarget& target, RescueMap& map,
                           const RescueOptions& options, StopControl& stop, EngineEvents& events) {
    return Rescuer(source, from, target, map, options, stop, events).Run();
}

} // namespace twl
