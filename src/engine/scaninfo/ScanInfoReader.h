#pragma once

// Reads a scan information file into new objects: nothing of the current session changes
// until the whole file has been read and checked, so a rejected or damaged file leaves the
// session as it was.

#include "core/Status.h"
#include "ext2/Catalog.h"
#include "ext2/Ext2Volume.h"
#include "scaninfo/ScanInfoFormat.h"
#include "volumes/VolumeLists.h"

#include <functional>
#include <memory>
#include <string>

namespace twl {

enum class ScanInfoReadResult {
    kOk,
    kCannotOpen,  // "Could not open scan info file"
    kNotScanInfo, // "Not a valid Tarnwell Linux Data Recovery Scan Info File"
    kDamaged,     // the file ends inside a section or a node, a length does not fit, or
                  // its superblock copy and descriptors cannot describe a volume on its source
};

struct LoadedScanInfo {
    SourceBlock source;
    VolumeLists lists;
    std::unique_ptr<Ext2Volume> volume = std::make_unique<Ext2Volume>();
    Catalog catalog;
    std::string damage; // what is damaged, for kDamaged
    Status openStatus;  // why the file could not be opened, for kCannotOpen
};

// Told the percent of the file read whenever it changes, as the tree is read.
using ScanInfoReadProgress = std::function<void(int percent)>;

// Reads and checks every section of the file at `path` into `loaded`.
ScanInfoReadResult ReadScanInfoFile(const std::string& path, LoadedScanInfo& loaded,
                                    const ScanInfoReadProgress& progress = {});

// The same from bytes already in memory.
ScanInfoReadResult ParseScanInfo(ConstBytes file, LoadedScanInfo& loaded,
                                 const ScanInfoReadProgress& progress = {});

} // namespace twl
