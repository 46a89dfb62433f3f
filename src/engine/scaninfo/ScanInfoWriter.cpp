#include "scaninfo/ScanInfoWriter.h"

#include "core/AlignedBuffer.h"
#include "ext2/CatalogPath.h"
#include "platform/BlockDevice.h"
#include "platform/FileWriter.h"
#include "scaninfo/LoadedVolumeCheck.h"

#include <algorithm>
#include <optional>
#include <string>

namespace twl {
namespace {

constexpr std::uint64_t kFingerprintSpan = 2048; // sectors per read while looking

// The start of the first listed volume whose sectors do not fit the file's 32-bit fields. The
// file is refused rather than written with such a volume cut short: loaded again, it would
// point into the wrong part of the disk.
std::optional<SectorNo> FirstUnstorableVolume(const VolumeLists& lists) {
    for (const PartitionEntry& entry : lists.partitions.entries)
        if (!entry.Storable())
            return entry.start;
    for (const FoundVolumeEntry& entry : lists.found.entries)
        if (!entry.Storable())
            return entry.start;
    return std::nullopt;
}

Status CheckWritable(RecoverySession& session, const std::string& path) {
    const SectorSource& source = session.Source();
    if (session.Volume() == nullptr)
        return Status::Failure(ErrorCode::kNoSource, "volume (none is open)");
    const std::string sourcePath = IsPhysicalDrive(source.CurrentDriveId())
                                       ? source.DrivePath(source.CurrentDriveId())
                                       : source.ImagePath();
    if (!sourcePath.empty() && IsSameFile(sourcePath, path))
        return Status::Failure(ErrorCode::kIsTheSource, path);
    if (const std::optional<SectorNo> beyond = FirstUnstorableVolume(session.Lists()))
        return Status::Failure(ErrorCode::kBeyondStorable,
                               "the volume at sector " + std::to_string(*beyond));
    if (source.CurrentDriveId() == kImageDriveId &&
        (source.ImageFolder().size() >= kPathFieldSize ||
         source.ImageFileName().size() >= kPathFieldSize))
        return Status::Failure(ErrorCode::kNameTooLong, source.ImagePath());
    // The reader's checks of a loaded volume, applied before anything is written: a file that
    // would be refused when loaded is not written.
    if (std::string problem = LoadedVolumeProblem(*session.Volume(), source.SourceSize());
        !problem.empty())
        return Status::Failure(ErrorCode::kNotLoadable, std::move(problem));
    return Status::Success();
}

SourceBlock MakeSourceBlock(SectorSource& source) {
    SourceBlock block;
    block.driveId = source.CurrentDriveId();
    block.sourceSize = source.SourceSize();
    const Fingerprint fingerprint = FindFingerprint(source);
    block.fingerprintSector = fingerprint.sector;
    block.fingerprint = fingerprint.contents;
    if (block.driveId == kImageDriveId && source.HasImage()) {
        block.imageFolder = source.ImageFolder();
        block.imageName = source.ImageFileName();
    }
    return block;
}

// The tree section: the root anchor's child list as one run, then, for each node of a run
// that has children, in order, that node's run and everything below it. Returns false when
// `progress` gave the file up.
bool WriteTree(FileWriter& file, const Catalog& catalog, const ScanInfoProgress& progress) {
    std::size_t total = 0;
    catalog.ForEachBelow(kRootAnchor, [&](NodeId) { ++total; });
    std::size_t written = 0;
    int shown = -1;
    const auto writeRun = [&](NodeId parent) {
        for (NodeId id = catalog.Node(parent).first_child; id != kNoNode;
             id = catalog.Node(id).next_sibling) {
            // A header's name is its folder's path. A name longer than its 16-bit length
            // field (only a path of extreme depth) is stored cut to that length rather than
            // spoil the rest of the file.
            std::string name = StoredName(catalog, id);
            name.resize(std::min<std::size_t>(name.size(), 0xFFFF));
            std::array<std::uint8_t, kNodeRecordSize + 2> entry{};
            const auto record = EncodeNodeRecord(catalog.Node(id));
            std::copy(record.begin(), record.end(), entry.begin());
            PutLe16(entry, kNodeRecordSize, static_cast<std::uint16_t>(name.size()));
            file.Write(entry);
            file.Write({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()});
            const int percent = static_cast<int>(++written * 100 / total);
            if (percent != shown && progress && !progress(shown = percent))
                return false;
        }
        return true;
    };
    // Each level keeps the next node of its run whose own run is still to be written.
    if (!writeRun(kRootAnchor))
        return false;
    std::vector<NodeId> pending{catalog.Node(kRootAnchor).first_child};
    while (!pending.empty()) {
        NodeId& next = pending.back();
        while (next != kNoNode && catalog.Node(next).first_child == kNoNode)
            next = catalog.Node(next).next_sibling;
        if (next == kNoNode) {
            pending.pop_back();
            continue;
        }
        const NodeId parent = next;
        next = catalog.Node(next).next_sibling;
        if (!writeRun(parent))
            return false;
        pending.push_back(catalog.Node(parent).first_child);
    }
    return true;
}

} // namespace

Fingerprint FindFingerprint(SectorSource& source) {
    Fingerprint fingerprint;
    const std::uint64_t sectors =
        std::min<std::uint64_t>(source.SourceSize() / kSectorSize, 0xFFFFFFFF);
    if (sectors < 2)
        return fingerprint;
    AlignedBuffer span(kFingerprintSpan * kSectorSize);
    // Read many sectors at a time; the first non-zero one is the same as sector by sector.
    for (std::uint64_t k = 1; k < sectors; k += kFingerprintSpan) {
        const std::uint64_t count = std::min(kFingerprintSpan, sectors - k);
        const MutableBytes bytes = span.Bytes().first(count * kSectorSize);
        std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
        source.ReadSectors(static_cast<SectorNo>(k), bytes);
        for (std::uint64_t i = 0; i < count; ++i) {
            const ConstBytes sector = bytes.subspan(i * kSectorSize, kSectorSize);
            if (std::any_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b != 0; })) {
                fingerprint.sector = static_cast<SectorNo>(k + i);
                std::copy(sector.begin(), sector.end(), fingerprint.contents.begin());
                return fingerprint;
            }
        }
    }
    fingerprint.sector = static_cast<SectorNo>(sectors);
    return fingerprint;
}

Status WriteScanInfoFile(RecoverySession& session, const std::string& path,
                         const ScanInfoProgress& progress) {
    const Status writable = CheckWritable(session, path);
    if (!writable.Ok())
        return writable;
    FileWriter file(path);
    if (!file.State().Ok())
        return file.State();
    const Ext2Volume& volume = *session.Volume();
    file.Write(EncodeHeadSector());
    file.Write(EncodeSourceBlock(MakeSourceBlock(session.Source())));
    file.Write(EncodeVolumeListBlock(session.Lists()));
    file.Write(EncodeSelectedVolumeSector(volume.selectedVolumeRecord));
    file.Write(volume.superblock);
    file.Write(EncodeDescriptorBlock(volume));
    if (!WriteTree(file, session.Catalogue(), progress))
        return Status::Failure(ErrorCode::kStopped, path); // the part written is removed
    return file.Commit();
}

} // namespace twl
