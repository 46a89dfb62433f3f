#include "clone/CopyEngine.h"

#include "core/AlignedBuffer.h"
#include "core/SizeText.h"
#include "platform/BlockDevice.h"
#include "platform/Mounts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace twl {
namespace {

constexpr int kRetries = 2;

bool IsFullError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// One copy run: the source, the destination, and what has happened so far.
class Copier {
public:
    Copier(SectorSource& source, DriveId from, CopyTarget& target, std::uint64_t count,
           StopControl& stop, EngineEvents& events)
        : m_source(source), m_from(from), m_target(target), m_count(count), m_stop(stop),
          m_events(events), m_span(std::size_t{kSpanSectors} * kSectorSize) {}

    CopyReport Run() {
        const std::uint64_t chunked = m_count / kChunkSectors * kChunkSectors;
        bool going = true;
        for (std::uint64_t s = 0; going && s < chunked;) {
            const std::uint64_t sectors = std::min<std::uint64_t>(kSpanSectors, chunked - s);
            going = CopySpan(s, sectors);
            s += sectors;
        }
        for (std::uint64_t s = chunked; going && s < m_count; ++s)
            going = CopySector(s);
        m_report.completed = going;
        return m_report;
    }

private:
    MutableBytes Buffer(std::uint64_t sectors) {
        const MutableBytes bytes = m_span.Bytes().first(sectors * kSectorSize);
        std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
        return bytes;
    }

    bool Read(std::uint64_t first, MutableBytes bytes) {
        return m_source.ReadSectorsOnce(m_from, static_cast<SectorNo>(first), bytes) != 0;
    }

    // Writes sectors at their own place; false when the copy must end (destination full). A
    // span whose write fails is written again chunk by chunk, so a bad spot on the
    // destination costs no more than the chunk it lies in.
    bool Write(std::uint64_t first, ConstBytes bytes) {
        const std::uint64_t sectors = bytes.size() / kSectorSize;
        const int error = m_target.WriteAt(first * kSectorSize, bytes);
        if (error != 0 && !IsFullError(error) && sectors > kChunkSectors) {
            for (std::uint64_t c = 0; c < sectors; c += kChunkSectors) {
                if (!Write(first + c, bytes.subspan(c * kSectorSize, kChunkSectors * kSectorSize)))
                    return false;
            }
            return true;
        }
        if (error != 0) {
            m_report.unwrittenSectors += sectors;
            m_report.destinationFull = IsFullError(error);
            return !m_report.destinationFull;
        }
        m_report.sectorsDone += sectors;
        m_events.CopyProgress(m_report.sectorsDone, m_count);
        return true;
    }

    bool CopySpan(std::uint64_t first, std::uint64_t sectors) {
        if (m_stop.ShouldStop())
            return false;
        if (Read(first, Buffer(sectors)))
            return Write(first, m_span.Bytes().first(sectors * kSectorSize));
        for (std::uint64_t chunk = first; chunk < first + sectors; chunk += kChunkSectors) {
            if (m_stop.ShouldStop())
                return false;
            // A span of one chunk has just been read as that chunk.
            const bool read = sectors > kChunkSectors && Read(chunk, Buffer(kChunkSectors));
            const bool going = read ? Write(chunk, m_span.Bytes().first(kChunkSectors * 512))
                                    : CopySectorsOneByOne(chunk, kChunkSectors);
            if (!going)
                return false;
        }
        return true;
    }

    bool CopySectorsOneByOne(std::uint64_t first, std::uint64_t sectors) {
        for (std::uint64_t s = first; s < first + sectors; ++s) {
            if (!CopySector(s))
                return false;
        }
        return true;
    }

    // One read and two retries, then the filler.
    bool CopySector(std::uint64_t s) {
        for (int attempt = 0; attempt <= kRetries; ++attempt) {
            if (m_stop.ShouldStop())
                return false;
            const MutableBytes sector = Buffer(1);
            if (Read(s, sector))
                return Write(s, sector);
        }
        if (m_stop.ShouldStop())
            return false;
        ++m_report.fillerSectors;
        if (m_report.firstFillers.size() < kListedFillers)
            m_report.firstFillers.push_back(s);
        m_events.CopyUnreadable(m_report.fillerSectors);
        return Write(s, FillerSector());
    }

    SectorSource& m_source;
    DriveId m_from;
    CopyTarget& m_target;
    std::uint64_t m_count;
    StopControl& m_stop;
    EngineEvents& m_events;
    AlignedBuffer m_span;
    CopyReport m_report;
};

std::string SourcePath(const SectorSource& source, DriveId id) {
    return id == kImageDriveId ? source.ImagePath() : source.DrivePath(id);
}

const char* EndText(CopyKind kind, bool completed) {
    if (kind == CopyKind::kClone)
        return completed ? "Cloning Completed" : "Cloning Aborted";
    return completed ? "Imaging Completed" : "Imaging Aborted";
}

OpenedTarget OpenTarget(const SectorSource& source, const CopyJob& job) {
    if (job.kind == CopyKind::kImage)
        return CreateImageTarget(job.imagePath);
    return OpenDriveTarget(source.DrivePath(job.destination));
}

// "The last N sectors (size) of the source were not copied: ..."
std::string LeftOutText(std::uint64_t leftOut, std::uint64_t copied) {
    const std::string size = SizeText(leftOut * kSectorSize);
    return "The last " + std::to_string(leftOut) + " sectors (" +
           size.substr(size.find_first_not_of(' ')) +
           ") of the source were not copied: the destination takes only the first " +
           std::to_string(copied);
}

} // namespace

const std::array<std::uint8_t, kSectorSize>& FillerSector() {
    static const std::array<std::uint8_t, kSectorSize> filler = [] {
        std::array<std::uint8_t, kSectorSize> sector{};
        constexpr char kPattern[16] = {'*', '*', 'B', 'A', 'D', ' ', 'S', 'E',
                                       'C', 'T', 'O', 'R', '*', '*', 0,   0};
        for (std::size_t i = 0; i < sector.size(); ++i)
            sector[i] = static_cast<std::uint8_t>(kPattern[i % 16]);
        return sector;
    }();
    return filler;
}

CopyReport CopySectors(SectorSource& source, DriveId from, CopyTarget& target, std::uint64_t count,
                       StopControl& stop, EngineEvents& events) {
    return Copier(source, from, target, count, stop, events).Run();
}

std::string RefuseDestination(const SectorSource& source, const CopyJob& job) {
    const std::string from = SourcePath(source, job.source);
    if (job.kind == CopyKind::kImage) {
        if (IsSameFile(from, job.imagePath))
            return "will not write the image onto the disk or image it is made from: " +
                   job.imagePath;
        // Writing into a file system of the disk being imaged changes what is copied, and
        // may overwrite what is to be recovered.
        std::string folder = std::filesystem::path(job.imagePath).parent_path().string();
        if (folder.empty())
            folder = ".";
        if (FolderIsOnDisk(folder, from))
            return "will not write the image onto the disk it is made from: " + folder +
                   " lies on " + from;
        return {};
    }
    const std::string to = source.DrivePath(job.destination);
    if (to.empty())
        return "no such destination drive disk:" + std::to_string(DriveIndex(job.destination));
    if (job.destination == job.source || IsSameFile(from, to))
        return "will not clone a disk onto itself: " + to;
    if (const auto mounted = MountedPartOf(to))
        return "will not overwrite " + to + ": it is in use (" + *mounted + ")";
    return {};
}

std::uint64_t SectorsLeftOut(SectorSource& source, const CopyJob& job) {
    ByteCount bytes = source.SourceSize();
    if (job.source != kImageDriveId && !source.GetDriveSize(job.source, bytes).Ok())
        return 0;
    const std::uint64_t sectors = bytes / kSectorSize;
    return sectors > job.count ? sectors - job.count : 0;
}

std::uint64_t CloneSectorCount(SectorSource& source, DriveId from, DriveId to) {
    ByteCount fromBytes = 0;
    ByteCount toBytes = 0;
    if (!source.GetDriveSize(from, fromBytes).Ok())
        fromBytes = 0;
    if (!source.GetDriveSize(to, toBytes).Ok())
        toBytes = 0;
    return std::min<std::uint64_t>(std::min(fromBytes, toBytes) / kSectorSize,
                                   std::uint64_t{1} << 32);
}

CopyReport RunCopyWorker(SectorSource& source, const CopyJob& job, StopControl& stop,
                         EngineEvents& events) {
    CopyReport report;
    std::string refusal = RefuseDestination(source, job);
    OpenedTarget opened;
    if (refusal.empty()) {
        opened = OpenTarget(source, job);
        if (!opened.target)
            refusal = Describe(opened.status);
    }
    if (!refusal.empty()) {
        events.Message(MessageIcon::kError, refusal);
    } else {
        report = CopySectors(source, job.source, *opened.target, job.count, stop, events);
        if (const int error = opened.target->Finish(); error != 0) {
            events.Message(MessageIcon::kError, std::string("the destination did not take all "
                                                            "its data: ") +
                                                    std::strerror(error));
            report.completed = false;
        }
        if (report.unwrittenSectors != 0)
            events.Message(MessageIcon::kError,
                           std::to_string(report.unwrittenSectors) +
                               " sectors could not be written" +
                               (report.destinationFull ? " (the destination is full)" : ""));
        if (report.completed)
            report.leftOutSectors = SectorsLeftOut(source, job);
        if (report.leftOutSectors != 0)
            events.Message(MessageIcon::kError, LeftOutText(report.leftOutSectors, job.count));
    }
    const bool completed = refusal.empty() && report.completed;
    events.Message(completed ? MessageIcon::kInformation : MessageIcon::kError,
                   EndText(job.kind, completed));
    events.WorkerDone(completed ? WorkerResult::kCompleted : WorkerResult::kAborted);
    return report;
}

std::string CopyProgressText(std::uint64_t done, std::uint64_t total) {
    char text[96];
    std::snprintf(text, sizeof text, "Copying Sector %lu of %lu", static_cast<unsigned long>(done),
                  static_cast<unsigned long>(total));
    return text;
}

int CopyPercent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : static_cast<int>(done * 100 / total);
}

} // namespace twl
