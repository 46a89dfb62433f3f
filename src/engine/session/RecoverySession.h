#pragma once

// The recovery state the front ends share: the sector source, the two volume lists and the
// processing mode. The application owns one and passes it by reference; the engine keeps no
// state of its own elsewhere. Written only while no worker runs.

#include "platform/DriveInventory.h"
#include "sector/SectorSource.h"
#include "volumes/VolumeLists.h"

#include <vector>

namespace twl {

enum class ProcessingMode {
    kAuto,  // partition tables, then the superblock sweep when they hold no Linux volume
    kTable, // partition tables only
    kScan,  // superblock sweep only
};

class RecoverySession {
public:
    explicit RecoverySession(std::vector<DriveInfo> inventory = {}, ReaderFactory factory = {})
        : m_source(std::move(inventory), std::move(factory)) {}

    SectorSource& Source() { return m_source; }
    const SectorSource& Source() const { return m_source; }
    VolumeLists& Lists() { return m_lists; }
    const VolumeLists& Lists() const { return m_lists; }

    ProcessingMode Mode() const { return m_mode; }
    void SetMode(ProcessingMode mode) { m_mode = mode; }

private:
    SectorSource m_source;
    VolumeLists m_lists;
    ProcessingMode m_mode = ProcessingMode::kAuto;
};

} // namespace twl
