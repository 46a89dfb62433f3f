#pragma once

// How long engine work reports to whoever started it. Every call comes from the worker
// thread; the desktop program forwards them to its UI thread, twl prints them on stderr.
// Each has an empty default so a front end only implements what it shows.

#include "core/ProcessLog.h"
#include "core/WorkerResult.h"

#include <cstdint>
#include <string>

namespace twl {

struct TreeCounters;

enum class MessageIcon { kInformation, kError, kWarning };

// Where a save of files stands: files and bytes done of the totals, and the file at hand.
struct SaveProgressInfo {
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
    std::string path;
};

// Where a rescue copy stands, for a progress line or dialog. Sectors are 512 bytes.
struct RescueStatus {
    std::string pass;           // "copying", "trimming", "scraping", "retrying 1 of 2", ...
    std::uint64_t position = 0; // the sector being read
    std::uint64_t total = 0;    // sectors to copy
    std::uint64_t finished = 0; // sectors copied
    std::uint64_t bad = 0;      // sectors that failed when read alone
    std::uint64_t badAreas = 0; // runs of them
    std::uint64_t pending = 0;  // sectors still to try, trim or scrape
    double elapsedSeconds = 0;  // since this run began
    double sinceGoodRead = 0;   // seconds since a read last succeeded
    double bytesPerSecond = 0;  // copied in this run, over its time
    double secondsLeft = -1;    // at that rate, for what is still to try; -1 when unknown
};

class EngineEvents {
public:
    virtual ~EngineEvents() = default;

    // A text for status-bar pane 0 or 1.
    virtual void StatusText(int /*pane*/, const std::string& /*text*/) {}
    // The progress bar, 0 to 100.
    virtual void Progress(int /*percent*/) {}
    // After every entry the tree walk lists: the counters behind "%d Entries Found" and the
    // size line, and the percent. Formatting is left to the front end, which shows only as
    // many of these as it can draw.
    virtual void TreeProgress(const TreeCounters& /*counters*/, int /*percent*/) {}
    // The logical volume scan is about to read window `position` (1-based) of `total`.
    virtual void ScanProgress(std::uint64_t /*position*/, std::uint64_t /*total*/) {}
    // A text for the list of finds ("Unique Logical Drive Super block found at sector %d").
    virtual void Found(const std::string& /*text*/) {}
    // A clone or image copy has written `done` of `total` sectors.
    virtual void CopyProgress(std::uint64_t /*done*/, std::uint64_t /*total*/) {}
    // A copy has written the filler for a sector it could not read: `unreadable` so far.
    virtual void CopyUnreadable(std::uint64_t /*unreadable*/) {}
    // A rescue copy's state, a few times a second and when its pass changes.
    virtual void RescueProgress(const RescueStatus& /*status*/) {}
    // Saving files: called before each file.
    virtual void SaveProgress(const SaveProgressInfo& /*progress*/) {}
    // A row for the process log.
    virtual void LogRow(const ProcessLogEntry& /*entry*/, LogIcon /*icon*/) {}
    // A closing text of a worker ("Tree Creation Completed"), with its icon.
    virtual void Message(MessageIcon /*icon*/, const std::string& /*text*/) {}
    // The worker has finished, and how.
    virtual void WorkerDone(WorkerResult /*result*/) {}
};

} // namespace twl
