#pragma once

// The engine side of the Save and Open Scan Information commands: the process-log rows, the
// progress, the closing texts, and (for Open) taking the file's state into the session.

#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "scaninfo/ScanInfoReader.h"
#include "session/RecoverySession.h"

#include <string>

namespace twl {

// Writes the session's scan information to `path`. Rows "Saving Scan Information Started" /
// "File Created PATH" and, when it was written, "Saving Scan Information Completed" / "File
// Saved PATH" and the text "Saving scan information completed"; otherwise an error row and
// text saying why. `stop`, when given, holds the writing while paused, and once a stop is
// asked for the file is given up (none is left) and reported as not saved. Returns whether
// the file was written.
bool SaveScanInformation(RecoverySession& session, const std::string& path, EngineEvents& events,
                         StopControl* stop = nullptr);

// Loads the scan information file at `path` into the session: source (an image is reopened
// at its stored location), volume lists, selected volume, superblock, descriptors and
// catalogue; the mode becomes automatic and the loaded flag is set. Rows "Retrieving Scan
// Information" / "File Opened PATH" and, on success, "Scan Information Retrieved." / "File
// Closed PATH". A file that cannot be opened, is not a scan information file, is damaged, or
// whose image has moved or whose source is no longer the one it was saved from changes
// nothing and is reported by its text. Returns success.
bool OpenScanInformation(RecoverySession& session, const std::string& path, EngineEvents& events);

// The same, telling a file that could not be opened at all (and why) from one that was read
// and refused, for front ends that answer the two differently.
struct ScanInfoOpening {
    bool opened = false;
    Status openStatus; // not Ok when the file itself could not be opened: why
};
ScanInfoOpening OpenScanInformationFile(RecoverySession& session, const std::string& path,
                                        EngineEvents& events);

// An open read and checked, not yet taken into the session.
struct PreparedScanInfo {
    bool ready = false; // read, checked, its source found again, and not stopped
    Status openStatus;  // not Ok when the file itself could not be opened: why
    std::string path;
    std::string time; // when the open began, for its closing row
    LoadedScanInfo loaded;
    std::unique_ptr<BlockReader> image; // an image source, reopened where the file says
};

// The first half of the open, which changes nothing in the session and so may run on a
// worker while the session's catalogue is still shown: the row "Retrieving Scan Information"
// / "File Opened PATH", the file read with progress as its tree is read, and its source
// checked, each failure reported by its text as OpenScanInformation does. `stop`, when given,
// holds the reading while paused; once a stop is asked for, the open is given up silently.
PreparedScanInfo PrepareScanInformation(RecoverySession& session, const std::string& path,
                                        EngineEvents& events, StopControl* stop = nullptr);

// The second half, on the thread that owns the session, for a prepared open that is ready:
// makes the file's state the session's and logs "Scan Information Retrieved." / "File Closed
// PATH".
void AdoptPreparedScanInfo(RecoverySession& session, PreparedScanInfo& prepared,
                           EngineEvents& events);

// The second half of the open, for a file already read and checked: reopens an image source,
// checks that the source still has the size and fingerprint sector the file recorded, and
// only then makes the file's state the session's. On false (the image moved, or the source
// differs, with the reason as the message) the session is as it was.
bool AdoptScanInfo(RecoverySession& session, LoadedScanInfo& loaded, EngineEvents& events);

inline constexpr char kCouldNotOpenScanInfo[] = "Could not open scan info file";
inline constexpr char kNotScanInfoText[] =
    "Not a valid Tarnwell Linux Data Recovery Scan Info File";
inline constexpr char kImageMoved[] =
    "The Image File to which this scan info belongs is not at its original location";

} // namespace twl
