#include "sector/SectorSource.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace twl {
namespace {

bool ForWantOfPermission(const Status& status) {
    return status.code == ErrorCode::kCannotOpen &&
           (status.sysError == EACCES || status.sysError == EPERM);
}

} // namespace

SectorSource::SectorSource(std::vector<DriveInfo> inventory, ReaderFactory factory)
    : m_inventory(std::move(inventory)),
      m_factory(factory ? std::move(factory) : ReaderFactory(OpenFileReader)) {}

SectorSource::~SectorSource() = default;

std::string SectorSource::DrivePath(DriveId driveId) const {
    if (!IsPhysicalDrive(driveId) || DriveIndex(driveId) >= m_inventory.size())
        return {};
    return m_inventory[DriveIndex(driveId)].devicePath;
}

SectorSource::DriveHandle& SectorSource::HandleOf(DriveId driveId) {
    std::lock_guard lock(m_drivesMutex);
    auto [it, inserted] = m_drives.try_emplace(driveId);
    if (!inserted)
        return it->second;
    // Opened once and kept: a failed open is remembered, not retried on every read.
    const std::string path = DrivePath(driveId);
    if (path.empty()) {
        it->second.status = Status::Failure(ErrorCode::kNotInInventory,
                                            "disk:" + std::to_string(DriveIndex(driveId)));
        return it->second;
    }
    OpenedReader opened = OpenReader(path);
    it->second.reader = std::move(opened.reader);
    it->second.status = opened.status;
    return it->second;
}

int SectorSource::ReadSectors(DriveId driveId, SectorNo first, MutableBytes buffer) {
    BlockReader* reader = nullptr;
    if (driveId != kImageDriveId)
        reader = HandleOf(driveId).reader.get();
    else
        reader = m_image.get();
    if (reader == nullptr)
        return 0;
    return ReadThrough(*reader, first, buffer, false);
}

int SectorSource::ReadSectorsCleared(SectorNo first, MutableBytes buffer) {
    BlockReader* reader =
        m_driveId != kImageDriveId ? HandleOf(m_driveId).reader.get() : m_image.get();
    if (reader == nullptr) {
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        return 0;
    }
    return ReadThrough(*reader, first, buffer, true);
}

int SectorSource::ReadSectorsOnce(DriveId driveId, SectorNo first, MutableBytes buffer) {
    BlockReader* reader = driveId != kImageDriveId ? HandleOf(driveId).reader.get() : m_image.get();
    if (reader == nullptr)
        return 0;
    return reader->ReadAt(SectorOffset(first), buffer).error == 0 ? 1 : 0;
}

void SectorSource::WillRead(SectorNo first, std::uint64_t sectors) {
    if (!WantsHints())
        return;
    BlockReader* reader =
        m_driveId != kImageDriveId ? HandleOf(m_driveId).reader.get() : m_image.get();
    if (reader != nullptr && sectors != 0)
        reader->WillRead(SectorOffset(first), static_cast<std::size_t>(sectors * kSectorSize));
}

int SectorSource::ReadThrough(BlockReader& reader, SectorNo first, MutableBytes buffer,
                              bool clearTail) {
    const ByteOffset offset = SectorOffset(first);
    const auto began = std::chrono::steady_clock::now();
    const ReadOutcome whole = reader.ReadAt(offset, buffer);
    const auto took = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now() - began)
                          .count();
    // The slowest recent read, forgotten slowly: one read from the disk keeps the hints on
    // for the next hundred or so, which the hints themselves make fast.
    const std::uint64_t recent = m_recentReadNanos.load(std::memory_order_relaxed);
    m_recentReadNanos.store(std::max(static_cast<std::uint64_t>(took), recent - recent / 64),
                            std::memory_order_relaxed);
    if (whole.error == 0) {
        if (clearTail)
            std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(whole.bytes), buffer.end(),
                      std::uint8_t{0});
        return 1;
    }
    // Salvage what can be read around the failure: one sector at a time from the sector
    // that failed, each unreadable one zero-filled and counted.
    int result = 1;
    for (std::size_t pos = whole.bytes / kSectorSize * kSectorSize; pos < buffer.size();
         pos += kSectorSize) {
        const MutableBytes sector =
            buffer.subspan(pos, std::min<std::size_t>(kSectorSize, buffer.size() - pos));
        const ReadOutcome one = reader.ReadAt(offset + pos, sector);
        if (one.error != 0) {
            std::fill(sector.begin(), sector.end(), std::uint8_t{0});
            m_unreadableSectors.fetch_add(1);
            result = 0;
        } else if (one.bytes < sector.size()) {
            // The end of the medium: the rest stays as it was, or is cleared when asked.
            if (clearTail)
                std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(pos + one.bytes),
                          buffer.end(), std::uint8_t{0});
            break;
        }
    }
    return result;
}

Status SectorSource::GetDriveSize(DriveId driveId, ByteCount& sizeOut) {
    DriveHandle& handle = HandleOf(driveId);
    Status status = handle.status;
    ByteCount bytes = 0;
    if (handle.reader)
        bytes = handle.reader->Size(status);
    if (!status.Ok()) {
        m_lastDiagnostic =
            "GetDriveGeometry failed. Error " + std::to_string(status.sysError) + ".";
        return status;
    }
    sizeOut = bytes;
    return Status::Success();
}

Status SectorSource::SelectDrive(DriveId driveId) {
    m_image.reset();
    m_imageStatus = {};
    m_driveId = driveId;
    const DriveHandle& handle = HandleOf(driveId);
    if (!handle.status.Ok())
        return handle.status;
    ByteCount bytes = 0;
    if (!GetDriveSize(driveId, bytes).Ok())
        return Status::Failure(ErrorCode::kCannotSize, DrivePath(driveId));
    m_sourceSize = bytes;
    return Status::Success();
}

OpenedFile SectorSource::OpenDriveForWrite(DriveId driveId) const {
    const std::string path = DrivePath(driveId);
    if (path.empty()) {
        OpenedFile none;
        none.status = Status::Failure(ErrorCode::kNotInInventory,
                                      "disk:" + std::to_string(DriveIndex(driveId)));
        return none;
    }
    OpenedFile opened = OpenForWriting(path);
    if (!opened.fd.Valid() && m_diskAccess && ForWantOfPermission(opened.status) &&
        IsBlockDevice(path)) {
        if (UniqueFd fd = m_diskAccess(path, DiskUse::kOverwrite); fd.Valid()) {
            opened.fd = std::move(fd);
            opened.status = Status::Success();
        }
    }
    return opened;
}

OpenedReader SectorSource::OpenReader(const std::string& path) const {
    OpenedReader opened = m_factory(path);
    if (opened.reader || !m_diskAccess || !ForWantOfPermission(opened.status) ||
        !IsBlockDevice(path))
        return opened;
    if (UniqueFd fd = m_diskAccess(path, DiskUse::kRead); fd.Valid()) {
        opened.reader = ReaderOfDescriptor(std::move(fd), path);
        opened.status = Status::Success();
    }
    return opened;
}

std::string SectorSource::ImagePath() const {
    return (std::filesystem::path(m_imageFolder) / m_imageFileName).string();
}

void SectorSource::SetImageLocation(std::string folder, std::string fileName) {
    m_imageFolder = std::move(folder);
    m_imageFileName = std::move(fileName);
}

OpenedReader SectorSource::OpenImageFile() const {
    return OpenReader(ImagePath());
}

Status SectorSource::SelectImageFile(const std::string& path) {
    m_driveId = kImageDriveId;
    m_image.reset();
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec)
        full = path;
    SetImageLocation(full.parent_path().string(), full.filename().string());

    OpenedReader opened = OpenImageFile();
    m_imageStatus = opened.status;
    if (!opened.reader)
        return ImageOpenFailure();
    Status sizeStatus;
    const ByteCount bytes = opened.reader->Size(sizeStatus);
    if (!sizeStatus.Ok()) {
        m_imageStatus = sizeStatus;
        return m_imageStatus;
    }
    m_image = std::move(opened.reader);
    m_sourceSize = bytes;
    return Status::Success();
}

Status SectorSource::ReopenStoredImage() {
    if (m_driveId != kImageDriveId)
        return Status::Success();
    OpenedReader opened = OpenImageFile();
    m_imageStatus = opened.status;
    m_image = std::move(opened.reader);
    return m_image ? Status::Success() : ImageOpenFailure();
}

void SectorSource::SetFingerprint(SectorNo sector, ConstBytes contents) {
    m_fingerprintSector = sector;
    m_fingerprint.fill(0);
    std::copy_n(contents.begin(), std::min(contents.size(), m_fingerprint.size()),
                m_fingerprint.begin());
}

void SectorSource::AdoptStored(const StoredSource& stored, std::unique_ptr<BlockReader> image) {
    m_driveId = stored.driveId;
    m_sourceSize = stored.size;
    SetFingerprint(stored.fingerprintSector, stored.fingerprint);
    if (stored.driveId == kImageDriveId) {
        SetImageLocation(stored.imageFolder, stored.imageName);
        m_image = std::move(image);
        m_imageStatus = {};
    }
}

bool SectorSource::CheckSourceFingerprint() {
    std::array<std::uint8_t, kSectorSize> sector{};
    if (ReadSectors(m_driveId, m_fingerprintSector, sector) == 0)
        return true; // an unreadable fingerprint does not count against the source
    return sector == m_fingerprint;
}

Status SectorSource::ImageOpenFailure() const {
    return m_imageStatus.Ok() ? Status::Failure(ErrorCode::kCannotOpen, ImagePath())
                              : m_imageStatus;
}

Status SectorSource::OpenStatus() const {
    if (m_driveId == kImageDriveId) {
        if (m_image)
            return Status::Success();
        if (!m_imageStatus.Ok())
            return m_imageStatus;
        return Status::Failure(ErrorCode::kNoSource, "");
    }
    std::lock_guard lock(m_drivesMutex);
    const auto it = m_drives.find(m_driveId);
    return it == m_drives.end() ? Status::Success() : it->second.status;
}

void SectorSource::Reset() {
    m_image.reset();
    m_imageStatus = {};
    m_driveId = kImageDriveId;
    m_sourceSize = 0;
    std::lock_guard lock(m_drivesMutex);
    m_drives.clear();
    m_unreadableSectors = 0;
}

} // namespace twl
