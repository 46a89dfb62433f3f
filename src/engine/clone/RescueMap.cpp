#include "clone/RescueMap.h"

#include "core/TextEscape.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>

namespace twl {

constexpr std::uint64_t kSectorBytes = 512;

RescueMap::RescueMap(std::uint64_t sectors) : m_sectors(sectors) {
    if (sectors != 0)
        m_runs.emplace(0, Run{sectors, SectorState::kUntried});
    m_counts[Index(SectorState::kUntried)] = sectors;
}

std::size_t RescueMap::Index(SectorState state) {
    switch (state) {
    case SectorState::kUntried:
        return 0;
    case SectorState::kUntrimmed:
        return 1;
    case SectorState::kUnscraped:
        return 2;
    case SectorState::kBad:
        return 3;
    case SectorState::kFinished:
        break;
    }
    return 4;
}

void RescueMap::SplitAt(std::uint64_t sector) {
    if (sector == 0 || sector >= m_sectors)
        return;
    auto at = std::prev(m_runs.upper_bound(sector));
    if (at->first == sector)
        return;
    const std::uint64_t head = sector - at->first;
    m_runs.emplace(sector, Run{at->second.count - head, at->second.state});
    at->second.count = head;
}

void RescueMap::JoinWithPrevious(std::map<std::uint64_t, Run>::iterator at) {
    if (at == m_runs.begin() || at == m_runs.end())
        return;
    const auto before = std::prev(at);
    if (before->second.state != at->second.state)
        return;
    before->second.count += at->second.count;
    m_runs.erase(at);
}

void RescueMap::Set(std::uint64_t first, std::uint64_t count, SectorState state) {
    if (first >= m_sectors || count == 0)
        return;
    const std::uint64_t end = count > m_sectors - first ? m_sectors : first + count;
    SplitAt(first);
    SplitAt(end);
    auto at = m_runs.find(first);
    while (at != m_runs.end() && at->first < end) {
        m_counts[Index(at->second.state)] -= at->second.count;
        at = m_runs.erase(at);
    }
    m_counts[Index(state)] += end - first;
    const auto made = m_runs.emplace(first, Run{end - first, state}).first;
    JoinWithPrevious(std::next(made));
    JoinWithPrevious(made);
}

MapRun RescueMap::RunAt(std::uint64_t sector) const {
    const auto at = std::prev(m_runs.upper_bound(sector));
    return {at->first, at->second.count, at->second.state};
}

std::optional<MapRun> RescueMap::NextRun(std::uint64_t from, SectorState state) const {
    if (from >= m_sectors)
        return std::nullopt;
    for (auto at = std::prev(m_runs.upper_bound(from)); at != m_runs.end(); ++at) {
        if (at->second.state != state)
            continue;
        const std::uint64_t first = std::max(from, at->first);
        return MapRun{first, at->first + at->second.count - first, state};
    }
    return std::nullopt;
}

std::uint64_t RescueMap::CountRuns(SectorState state) const {
    return static_cast<std::uint64_t>(std::count_if(
        m_runs.begin(), m_runs.end(), [&](const auto& run) { return run.second.state == state; }));
}

std::vector<MapRun> RescueMap::Runs() const {
    std::vector<MapRun> runs;
    runs.reserve(m_runs.size());
    for (const auto& [first, run] : m_runs)
        runs.push_back({first, run.count, run.state});
    return runs;
}

namespace {

constexpr std::string_view kSourceComment = "# Source: ";
constexpr std::string_view kIdentityComment = "# Source identity: ";
constexpr std::string_view kDestinationComment = "# Destination identity: ";

bool IsState(char c) {
    return c == '?' || c == '*' || c == '/' || c == '-' || c == '+';
}

bool IsPhase(char c) {
    return IsState(c) || c == 'F' || c == 'G';
}

// A comment's value as it is kept and shown. This program writes them escaped, so that they
// are printable; one that is not was written by hand or damaged, and is escaped here, so that
// no byte of a map file reaches a terminal as it stands.
std::string CommentValue(std::string_view value) {
    const bool printable =
        std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    return printable ? std::string(value) : EscapeBytes(value);
}

// The words of a line split at blanks.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() <= 3) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// A number as ddrescue writes it: hex after "0x", else decimal.
std::optional<std::uint64_t> Number(std::string_view word) {
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (error != std::errc() || end != word.data() + word.size() || word.empty())
        return std::nullopt;
    return value;
}

// A byte count that is a whole number of sectors, as sectors.
std::optional<std::uint64_t> Sectors(std::string_view word) {
    const std::optional<std::uint64_t> bytes = Number(word);
    if (!bytes || *bytes % kSectorBytes != 0)
        return std::nullopt;
    return *bytes / kSectorBytes;
}

std::string Hex(std::uint64_t sectors) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08" PRIX64, sectors * kSectorBytes);
    return text;
}

} // namespace

ParsedMap ParseMapText(std::string_view text, std::uint64_t sectors) {
    ParsedMap parsed;
    RescueMap map(sectors);
    bool statusSeen = false;
    std::uint64_t next = 0; // where the next run must begin
    std::size_t lineNumber = 0;
    const auto refuse = [&](const std::string& why) {
        parsed.error = "line " + std::to_string(lineNumber) + ": " + why;
        return parsed;
    };
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with(kSourceComment))
            parsed.source.name = CommentValue(line.substr(kSourceComment.size()));
        if (line.starts_with(kIdentityComment))
            parsed.source.identity = CommentValue(line.substr(kIdentityComment.size()));
        if (line.starts_with(kDestinationComment))
            parsed.source.destination = CommentValue(line.substr(kDestinationComment.size()));
        const std::vector<std::string_view> words = Words(line);
        if (words.empty() || words[0].starts_with('#'))
            continue;
        if (!statusSeen) { // current_pos current_status [current_pass]
            const std::optional<std::uint64_t> position = Sectors(words[0]);
            if (words.size() < 2 || words.size() > 3 || !position || words[1].size() != 1 ||
                !IsPhase(words[1][0]))
                return refuse("not a status line (position, status, pass)");
            const std::optional<std::uint64_t> pass =
                words.size() == 3 ? Number(words[2]) : std::optional<std::uint64_t>(1);
            if (!pass || *pass > 1000000)
                return refuse("not a pass number: " + EscapeBytes(words[2]));
            map.position = std::min(*position, sectors);
            map.phase =
                words[1][0] == 'G' ? RescuePhase::kCopy : static_cast<RescuePhase>(words[1][0]);
            map.pass = static_cast<unsigned>(std::max<std::uint64_t>(*pass, 1));
            statusSeen = true;
            continue;
        }
        const std::optional<std::uint64_t> first =
            words.size() == 3 ? Sectors(words[0]) : std::nullopt;
        const std::optional<std::uint64_t> count =
            words.size() == 3 ? Sectors(words[1]) : std::nullopt;
        if (!first || !count || *count == 0 || words[2].size() != 1 || !IsState(words[2][0]))
            return refuse("not a run (position, size, status), each a whole number of sectors");
        if (*first != next)
            return refuse("a run that does not begin where the one before it ends");
        if (*count > sectors - std::min(next, sectors))
            return refuse("a run past the end of the source (" + std::to_string(sectors) +
                          " sectors)");
        map.Set(*first, *count, static_cast<SectorState>(words[2][0]));
        next = *first + *count;
    }
    if (next != 0 && next != sectors) {
        lineNumber = 0;
        parsed.error = "the map covers " + std::to_string(next) + " sectors, the source has " +
                       std::to_string(sectors);
        return parsed;
    }
    parsed.map = std::move(map);
    return parsed;
}

std::string MapText(const RescueMap& map, const MapSource& source) {
    std::string text = "# Mapfile. Created by Tarnwell Linux Data Recovery\n";
    text += std::string(kSourceComment) + EscapeBytes(source.name) + "\n";
    text += std::string(kIdentityComment) + EscapeBytes(source.identity) + "\n";
    text += std::string(kDestinationComment) + EscapeBytes(source.destination) + "\n";
    text += "# current_pos  current_status  current_pass\n";
    text += Hex(map.position) + "     " + static_cast<char>(map.phase) + "               " +
            std::to_string(map.pass) + "\n";
    text += "#      pos        size  status\n";
    for (const MapRun& run : map.Runs())
        text += Hex(run.first) + "  " + Hex(run.count) + "  " + static_cast<char>(run.state) + "\n";
    return text;
}

} // namespace twl
