#pragma once

// The recovery state the front ends share: the sector source, the two volume lists, the open
// volume with its catalogue, the processing mode, and whether a scan information file brought
// them. The application owns one and passes it by reference; the engine keeps no state of its
// own elsewhere. Written only while no worker runs.

#include "core/StopControl.h"
#include "ext2/Catalog.h"
#include "ext2/Ext2Volume.h"
#include "ext2/TreeBuilder.h"
#include "platform/DriveInventory.h"
#include "sector/SectorSource.h"
#include "volumes/VolumeLists.h"

#include <functional>
#include <memory>
#include <vector>

namespace twl {

enum class ProcessingMode {
    kTable, // partition tables only
    kScan,  // superblock sweep only
    kAuto,  // partition tables, then the superblock sweep when they hold no Linux volume
};

class RecoverySession {
public:
    explicit RecoverySession(std::vector<DriveInfo> inventory = {}, ReaderFactory factory = {})
        : m_source(std::make_unique<SectorSource>(std::move(inventory), std::move(factory))) {}

    SectorSource& Source() { return *m_source; }
    const SectorSource& Source() const { return *m_source; }

    // How the drives are listed afresh (the program's inventory); without one, Blank() keeps
    // this session's drives.
    void SetInventoryLoader(std::function<std::vector<DriveInfo>()> loader) {
        m_inventoryLoader = std::move(loader);
    }
    // A session over the drives as they are now, opened the same way, with nothing chosen
    // yet: where a wizard looks for a source and a volume without touching this one.
    std::unique_ptr<RecoverySession> Blank() const {
        auto blank = std::make_unique<RecoverySession>(
            m_inventoryLoader ? m_inventoryLoader() : m_source->Inventory(), m_source->Factory());
        blank->m_inventoryLoader = m_inventoryLoader;
        blank->SetDiskAccess(m_diskAccess);
        return blank;
    }
    // Takes over the source, the volume lists, the open volume and the processing mode that
    // `other` found, leaving it this session's old ones. The catalogue stays until the tree is
    // built anew; a scan information file no longer stands behind what is open.
    void AdoptSource(RecoverySession& other) {
        std::swap(m_source, other.m_source);
        std::swap(m_lists, other.m_lists);
        std::swap(m_volume, other.m_volume);
        m_mode = other.m_mode;
        m_scanInfoLoaded = false;
    }
    // How disks the user may not open are opened, by this session's source and its blanks'.
    void SetDiskAccess(DiskAccess access) {
        m_diskAccess = access;
        m_source->SetDiskAccess(std::move(access));
    }

    VolumeLists& Lists() { return m_lists; }
    const VolumeLists& Lists() const { return m_lists; }

    ProcessingMode Mode() const { return m_mode; }
    void SetMode(ProcessingMode mode) { m_mode = mode; }

    // Whether the source, lists, volume and catalogue came from a scan information file: then
    // the source must still hold the fingerprint sector the file recorded before it is read.
    bool ScanInfoLoaded() const { return m_scanInfoLoaded; }
    void SetScanInfoLoaded(bool loaded) { m_scanInfoLoaded = loaded; }

    // The open volume, or null before the first successful open.
    Ext2Volume* Volume() { return m_volume.get(); }
    const Ext2Volume* Volume() const { return m_volume.get(); }
    void SetVolume(std::unique_ptr<Ext2Volume> volume) { m_volume = std::move(volume); }

    Catalog& Catalogue() { return m_catalog; }
    const Catalog& Catalogue() const { return m_catalog; }
    TreeCounters& Counters() { return m_counters; }
    // The stop of tree building, Turbo Scan, cloning and imaging.
    StopControl& Stop() { return m_stop; }
    // The logical volume scan's own stop.
    StopControl& ScanStop() { return m_scanStop; }

private:
    std::unique_ptr<SectorSource> m_source;
    std::function<std::vector<DriveInfo>()> m_inventoryLoader;
    DiskAccess m_diskAccess;
    VolumeLists m_lists;
    ProcessingMode m_mode = ProcessingMode::kAuto;
    bool m_scanInfoLoaded = false;
    std::unique_ptr<Ext2Volume> m_volume;
    Catalog m_catalog;
    TreeCounters m_counters;
    StopControl m_stop;
    StopControl m_scanStop;
};

} // namespace twl
