#pragma once

// Saving files out of the catalogue: Save All (every node) or Save Checked (exactly the
// marked nodes, as the marked totals count them), into a destination that mirrors the
// catalogue's folders. Regular files get their data through the block map, holes left as
// holes; symbolic links are made, never followed; devices, FIFOs and sockets are only listed
// in the restore scripts. Each file ends saved, partial (unreadable blocks or map blocks
// written as zeros) or failed (its inode unreadable, or not written whole: then nothing of
// it is kept), and the report beside the saved tree lists every partial, failed and renamed
// item.

#include "core/EngineEvents.h"
#include "core/StopControl.h"
#include "ext2/Catalog.h"
#include "ext2/VolumeReader.h"
#include "recover/SaveDestination.h"

#include <cstdint>
#include <string>
#include <vector>

namespace twl {

struct SaveOptions {
    bool checkedOnly = false;      // Save Checked; else Save All
    bool permissionScript = false; // restore-permissions.sh
    bool ownershipScript = false;  // restore-ownership.sh
    bool keepScripts = false;      // hand both scripts' texts back in the summary
};

struct SaveSummary {
    std::uint64_t files = 0; // regular files written whole
    std::uint64_t folders = 0;
    std::uint64_t links = 0;
    std::uint64_t bytes = 0;    // bytes of file data written
    std::uint64_t partial = 0;  // files with unreadable blocks
    std::uint64_t failed = 0;   // files, folders or links that could not be made
    std::uint64_t renamed = 0;  // items saved under a numbered name
    std::uint64_t specials = 0; // devices, FIFOs and sockets, listed only
    bool stopped = false;
    bool destinationFull = false;
    std::vector<std::string> problems; // the report's lines
    std::string reportName;            // the report's name in the destination; "" if unwritten
    // With keepScripts: the scripts' texts, to be written after the save when the user wants.
    std::string permissionScript;
    std::string ownershipScript;
};

inline constexpr char kSaveProcess[] = "Saving Files";
inline constexpr char kReportName[] = "twl-save-report.txt";
inline constexpr char kPermissionScript[] = "restore-permissions.sh";
inline constexpr char kOwnershipScript[] = "restore-ownership.sh";

// Saves the selection and writes the report (when there is anything to report) and the
// chosen scripts into the destination's top folder. Reports SaveProgress as it goes, and the
// process-log rows "Saving Files Started" and "Saving Files Completed" or "Saving Files
// Aborted" (stopped, or the destination full).
SaveSummary SaveCatalogue(VolumeReader& reader, const Catalog& catalog,
                          SaveDestination& destination, const SaveOptions& options,
                          StopControl& stop, EngineEvents& events);

// "Saved N files (B bytes) in M folders; P partial, F failed".
std::string SummaryText(const SaveSummary& summary);

} // namespace twl
