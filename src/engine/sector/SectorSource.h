#pragma once

// The one road to sectors: whole 512-byte sectors by absolute 32-bit sector number, from a
// physical drive of the inventory (drive id 0x80 + n) or from the open image file (drive id 0).
//
// Contract of ReadSectors, which every caller relies on: callers clear their buffer first; a
// read past the end of the medium succeeds and leaves the buffer's tail as it was; a sector
// that cannot be read comes back as zeros and makes the call return 0. Nothing is ever written
// through a source: disks and images are opened read-only.

#include "core/ByteCodec.h"
#include "core/Status.h"
#include "core/Types.h"
#include "platform/BlockDevice.h"
#include "platform/DiskHelper.h"
#include "platform/DriveInventory.h"
#include "sector/BlockReader.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace twl {

// Opens a path for reading; replaceable so tests can hand out media that fail on demand.
using ReaderFactory = std::function<OpenedReader(const std::string& path)>;

// Opens a disk the user has no permission to open some other way (the desktop program's disk
// helper, with administrator rights); an invalid descriptor when it was not given. Asked only
// for a block device whose own open failed for want of permission.
using DiskAccess = std::function<UniqueFd(const std::string& devicePath, DiskUse use)>;

class SectorSource {
public:
    explicit SectorSource(std::vector<DriveInfo> inventory = {}, ReaderFactory factory = {});
    ~SectorSource();
    SectorSource(const SectorSource&) = delete;
    SectorSource& operator=(const SectorSource&) = delete;

    // Operations that can fail return a Status saying why. The two sector reads keep their
    // 1/0 result: it is the contract above, and every reader, the copy engine and their tests
    // count on a 0 meaning "zeros where sectors could not be read", not a reason.

    // Reads buffer.size() bytes (a multiple of 512) from `first` on. Returns 1 on success
    // (also when the medium ends inside the range: the tail is left untouched), 0 when there
    // is no source, the drive cannot be opened (buffer untouched), or a sector could not be
    // read (that sector zero-filled, the rest read sector by sector).
    int ReadSectors(DriveId driveId, SectorNo first, MutableBytes buffer);
    int ReadSectors(SectorNo first, MutableBytes buffer) {
        return ReadSectors(m_driveId, first, buffer);
    }

    // The same read from the current source, with the bytes past the medium's end cleared:
    // the buffer need not be cleared first. For large reads into buffers used again.
    int ReadSectorsCleared(SectorNo first, MutableBytes buffer);

    // A hint that `sectors` sectors from `first` of the current source will be read soon.
    // Given only while reads are slow (a disk, not the page cache): a hint costs a system call
    // that reads served from memory would not repay.
    void WillRead(SectorNo first, std::uint64_t sectors);
    // Whether hints are given now: callers can spare the work of finding what to announce.
    bool WantsHints() const {
        return m_recentReadNanos.load(std::memory_order_relaxed) >= kSlowReadNanos;
    }

    // The same read without the sector-by-sector salvage: a failed read returns 0 at once
    // and leaves the buffer as the system left it. For the copy engine, which retries on its
    // own terms and must not read a failing area more often than it means to.
    int ReadSectorsOnce(DriveId driveId, SectorNo first, MutableBytes buffer);

    // Size in bytes of a drive of the inventory. Sets sizeOut, or on failure leaves it untouched
    // and also keeps the reason in LastDiagnostic().
    Status GetDriveSize(DriveId driveId, ByteCount& sizeOut);

    // Makes drive `driveId` the source: the image is closed, the size taken from the drive.
    // Fails when the drive is not in the inventory or cannot be opened or sized.
    Status SelectDrive(DriveId driveId);

    // Opens a clone destination for writing. Never called for a source being read.
    OpenedFile OpenDriveForWrite(DriveId driveId) const;

    // How disks the user may not open are opened; none unless set.
    void SetDiskAccess(DiskAccess access) { m_diskAccess = std::move(access); }

    // Opens image folder / image file name read-only.
    OpenedReader OpenImageFile() const;

    // Makes an image file (or a block device given by path) the source. On failure the code is
    // kCannotSize when it opened but could not be sized, else why it could not be opened.
    Status SelectImageFile(const std::string& path);

    // Reopens the image named by a loaded scan information file. Succeeds for a physical drive
    // or when the image opened.
    Status ReopenStoredImage();

    // Opens any path the way images are opened (read-only), without choosing it.
    OpenedReader OpenPath(const std::string& path) const { return OpenReader(path); }

    // Takes the source of a loaded scan information file: drive id, size and fingerprint, and
    // for an image (drive id 0) its location and `image`, the file already reopened there
    // (the previous image is closed). For a drive, an image left open stays open, unread.
    struct StoredSource {
        DriveId driveId = kImageDriveId;
        ByteCount size = 0;
        SectorNo fingerprintSector = 0;
        std::array<std::uint8_t, kSectorSize> fingerprint{};
        std::string imageFolder;
        std::string imageName;
    };
    void AdoptStored(const StoredSource& stored, std::unique_ptr<BlockReader> image);

    // True when the fingerprint sector still holds the stored contents, or cannot be read.
    bool CheckSourceFingerprint();

    // Drops the image (closing it) and every open drive; back to the start state.
    void Reset();

    DriveId CurrentDriveId() const { return m_driveId; }
    void SetCurrentDriveId(DriveId id) { m_driveId = id; }
    ByteCount SourceSize() const { return m_sourceSize; }
    void SetSourceSize(ByteCount bytes) { m_sourceSize = bytes; }
    bool HasImage() const { return m_image != nullptr; }
    const std::string& ImageFolder() const { return m_imageFolder; }
    const std::string& ImageFileName() const { return m_imageFileName; }
    void SetImageLocation(std::string folder, std::string fileName);
    std::string ImagePath() const;

    SectorNo FingerprintSector() const { return m_fingerprintSector; }
    const std::array<std::uint8_t, kSectorSize>& Fingerprint() const { return m_fingerprint; }
    void SetFingerprint(SectorNo sector, ConstBytes contents);

    const std::vector<DriveInfo>& Inventory() const { return m_inventory; }
    const ReaderFactory& Factory() const { return m_factory; }
    // Device path of a drive id, or "" when the inventory has no such drive.
    std::string DrivePath(DriveId driveId) const;

    // Why the current source cannot be read (open error of a drive or image); Ok otherwise.
    Status OpenStatus() const;
    // Sectors that failed to read since the source was chosen.
    std::uint64_t UnreadableSectors() const { return m_unreadableSectors.load(); }
    // Last message of a failed size query ("GetDriveGeometry failed. Error %ld.").
    const std::string& LastDiagnostic() const { return m_lastDiagnostic; }

private:
    struct DriveHandle {
        std::unique_ptr<BlockReader> reader;
        Status status;
    };

    DriveHandle& HandleOf(DriveId driveId);
    // Opens `path` through the factory, or through the disk access when that was refused.
    OpenedReader OpenReader(const std::string& path) const;
    // Why the image could not be opened (the reader's reason, or kCannotOpen when it gave none).
    Status ImageOpenFailure() const;
    int ReadThrough(BlockReader& reader, SectorNo first, MutableBytes buffer, bool clearTail);

    std::vector<DriveInfo> m_inventory;
    ReaderFactory m_factory;
    DiskAccess m_diskAccess;

    DriveId m_driveId = kImageDriveId;
    std::unique_ptr<BlockReader> m_image;
    Status m_imageStatus;
    std::string m_imageFolder;
    std::string m_imageFileName;
    ByteCount m_sourceSize = 0;
    SectorNo m_fingerprintSector = 0;
    std::array<std::uint8_t, kSectorSize> m_fingerprint{};

    mutable std::mutex m_drivesMutex; // guards the lazily filled map, not the reads
    std::map<DriveId, DriveHandle> m_drives;
    std::atomic<std::uint64_t> m_unreadableSectors{0};
    // How long the slowest recent read took, in nanoseconds; starts slow.
    std::atomic<std::uint64_t> m_recentReadNanos{kSlowReadNanos};
    static constexpr std::uint64_t kSlowReadNanos = 50000;
    std::string m_lastDiagnostic;
};

} // namespace twl
