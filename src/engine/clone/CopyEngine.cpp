#include "clone/CopyEngine.h"

#include "core/AlignedBuffer.h"
#include "core/SizeText.h"
#include "core/TextEscape.h"
#include "platform/BlockDevice.h"
#include "platform/FileWriter.h"
#include "platform/Mounts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

namespace twl {
namespace {

constexpr std::uintmax_t kMaxMapBytes = std::uintmax_t{256} << 20;

std::string SourcePath(const SectorSource& source, DriveId id) {
    return id == kImageDriveId ? source.ImagePath() : source.DrivePath(id);
}

const char* EndText(CopyKind kind, bool completed) {
    if (kind == CopyKind::kClone)
        return completed ? "Cloning Completed" : "Cloning Aborted";
    return completed ? "Imaging Completed" : "Imaging Aborted";
}

OpenedTarget OpenTarget(const SectorSource& source, const CopyJob& job, bool continuing) {
    if (job.kind == CopyKind::kImage)
        return CreateImageTarget(job.imagePath, continuing);
    return TargetOfFile(source.OpenDriveForWrite(job.destination));
}

// "The last N sectors (size) of the source were not copied: ..."
std::string LeftOutText(std::uint64_t leftOut, std::uint64_t copied) {
    const std::string size = SizeText(leftOut * kSectorSize);
    return "The last " + std::to_string(leftOut) + " sectors (" +
           size.substr(size.find_first_not_of(' ')) +
           ") of the source were not copied: the destination takes only the first " +
           std::to_string(copied);
}

// The sectors from 0 to the end of the last one the map holds as read, finished or bad: what
// the destination must already hold for the map to be continued.
std::uint64_t MappedEnd(const RescueMap& map) {
    std::uint64_t end = 0;
    for (const MapRun& run : map.Runs()) {
        if (run.state == SectorState::kFinished || run.state == SectorState::kBad)
            end = run.first + run.count;
    }
    return end;
}

// The map a copy goes on with: the one in the job's map file, or a new one when there is no
// file yet (or no map file at all). An empty optional and the reason when the file cannot
// be continued.
std::optional<RescueMap> LoadMap(const SectorSource& source, const CopyJob& job, bool& continuing,
                                 std::string& refusal) {
    continuing = false;
    namespace fs = std::filesystem;
    std::error_code ec;
    if (job.mapPath.empty() || !fs::exists(job.mapPath, ec))
        return RescueMap(job.count);
    const std::string cannot = "the map file " + job.mapPath + " cannot be continued: ";
    const std::uintmax_t bytes = fs::file_size(job.mapPath, ec);
    if (ec || !fs::is_regular_file(job.mapPath, ec) || bytes > kMaxMapBytes) {
        refusal = cannot + "it is not a map file of at most 256 MiB";
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(bytes), '\0');
    std::ifstream in(job.mapPath, std::ios::binary);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        refusal = cannot + "it could not be read";
        return std::nullopt;
    }
    ParsedMap parsed = ParseMapText(text, job.count);
    if (!parsed.map) {
        refusal = cannot + parsed.error + ". Give another map file to start again";
        return std::nullopt;
    }
    const MapSource now = MapSourceOf(source, job);
    if (!parsed.source.identity.empty() && parsed.source.identity != EscapeBytes(now.identity)) {
        refusal = cannot + "it was made for " + parsed.source.name + " (" + parsed.source.identity +
                  "), not for " + now.name + " (" + EscapeBytes(now.identity) + ")";
        return std::nullopt;
    }
    // Continued onto another copy, what the map holds as done would be missing there.
    if (!parsed.source.destination.empty() &&
        parsed.source.destination != EscapeBytes(now.destination)) {
        refusal = cannot + "it was made for a copy onto " + parsed.source.destination +
                  ", not onto " + EscapeBytes(now.destination);
        return std::nullopt;
    }
    if (job.kind == CopyKind::kImage) {
        const std::uint64_t needed = MappedEnd(*parsed.map) * kSectorSize;
        const std::uintmax_t held = fs::file_size(job.imagePath, ec);
        if (needed != 0 && (ec || held < needed)) {
            refusal = cannot + "the image " + job.imagePath +
                      (ec ? std::string(" does not exist") : " is shorter than") +
                      (ec ? "" : " the " + std::to_string(needed) + " bytes the map holds as read");
            return std::nullopt;
        }
    }
    continuing = true;
    return std::move(parsed.map);
}

// Writes the map in place of the map file, the old one kept until the new one is whole.
Status SaveMapFile(const std::string& path, const RescueMap& map, const MapSource& source) {
    const std::string text = MapText(map, source);
    FileWriter writer(path);
    writer.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return writer.Commit();
}

} // namespace

CopyReport CopySectors(SectorSource& source, DriveId from, CopyTarget& target, std::uint64_t count,
                       StopControl& stop, EngineEvents& events) {
    RescueMap map(count);
    return RunRescuePasses(source, from, target, map, {}, stop, events);
}

namespace {

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : full.string();
}

// What names drive `id` (the image source for kImageDriveId), and its path.
std::pair<std::string, std::string> DriveIdentity(const SectorSource& source, DriveId id) {
    if (id == kImageDriveId)
        return {FullPath(source.ImagePath()), source.ImagePath()};
    const std::size_t index = DriveIndex(id);
    if (index >= source.Inventory().size())
        return {source.DrivePath(id), source.DrivePath(id)};
    const DriveInfo& drive = source.Inventory()[index];
    return {drive.serial.empty() ? drive.devicePath : drive.model + " " + drive.serial,
            drive.devicePath};
}

} // namespace

MapSource MapSourceOf(const SectorSource& source, const CopyJob& job) {
    const auto [identity, name] = DriveIdentity(source, job.source);
    const std::string destination = job.kind == CopyKind::kImage
                                        ? FullPath(job.imagePath)
                                        : DriveIdentity(source, job.destination).first;
    return {name, identity, destination};
}

std::string RefuseDestination(const SectorSource& source, const CopyJob& job) {
    const std::string from = SourcePath(source, job.source);
    if (!job.mapPath.empty()) {
        const std::string to =
            job.kind == CopyKind::kImage ? job.imagePath : source.DrivePath(job.destination);
        if (IsSameFile(from, job.mapPath) || IsSameFile(to, job.mapPath))
            return "will not write the map file onto the copy or its source: " + job.mapPath;
        std::string folder = std::filesystem::path(job.mapPath).parent_path().string();
        if (FolderIsOnDisk(folder.empty() ? "." : folder, from))
            return "will not write the map file onto the disk it describes: " + job.mapPath +
                   " lies on " + from;
    }
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
    bool continuing = false;
    std::optional<RescueMap> map;
    if (refusal.empty())
        map = LoadMap(source, job, continuing, refusal);
    const MapSource mapSource = MapSourceOf(source, job);
    // A map that cannot be kept would make a stop final: said before anything is copied.
    if (refusal.empty() && !job.mapPath.empty()) {
        if (const Status saved = SaveMapFile(job.mapPath, *map, mapSource); !saved.Ok())
            refusal = "the map file cannot be written: " + Describe(saved);
    }
    OpenedTarget opened;
    if (refusal.empty()) {
        opened = OpenTarget(source, job, continuing);
        if (!opened.target)
            refusal = Describe(opened.status);
    }
    if (!refusal.empty()) {
        events.Message(MessageIcon::kError, refusal);
    } else {
        RescueOptions options;
        options.retries = job.retries;
        if (!job.mapPath.empty())
            options.saveMap = [&](const RescueMap& state) {
                return SaveMapFile(job.mapPath, state, mapSource).Ok();
            };
        report = RunRescuePasses(source, job.source, *opened.target, *map, options, stop, events);
        // A stopped image still reads at its full size; the map says what it lacks.
        if (const int error = opened.target->ExtendTo(job.count * kSectorSize); error != 0)
            events.Message(MessageIcon::kError,
                           std::string("the image could not be given its full size: ") +
                               std::strerror(error));
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
        if (!report.completed && !job.mapPath.empty())
            events.Message(MessageIcon::kInformation,
                           "The map file " + job.mapPath +
                               " holds where the copy stopped: the same copy with the same map "
                               "file goes on from there");
    }
    const bool completed = refusal.empty() && report.completed;
    events.Message(completed ? MessageIcon::kInformation : MessageIcon::kError,
                   EndText(job.kind, completed));
    events.WorkerDone(completed ? WorkerResult::kCompleted : WorkerResult::kAborted);
    return report;
}

namespace {

// A size without the status bar's padding.
std::string Size(std::uint64_t bytes) {
    const std::string text = SizeText(bytes);
    return text.substr(text.find_first_not_of(' '));
}

// "2 h 05 min", "3 min 07 s", "12 s".
std::string Duration(double seconds) {
    const auto whole = static_cast<std::uint64_t>(std::max(0.0, seconds));
    char text[48];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lu h %02lu min",
                      static_cast<unsigned long>(whole / 3600),
                      static_cast<unsigned long>(whole / 60 % 60));
    else if (whole >= 60)
        std::snprintf(text, sizeof text, "%lu min %02lu s", static_cast<unsigned long>(whole / 60),
                      static_cast<unsigned long>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%lu s", static_cast<unsigned long>(whole));
    return text;
}

} // namespace

std::string RescueProgressText(const RescueStatus& status) {
    std::string text = status.pass + " at sector " + std::to_string(status.position) + ": " +
                       std::to_string(CopyPercent(status.finished + status.bad, status.total)) +
                       "% done, " + Size(static_cast<std::uint64_t>(status.bytesPerSecond)) +
                       "/s, " + std::to_string(status.bad) +
                       (status.bad == 1 ? " bad sector (" : " bad sectors (") +
                       Size(status.bad * kSectorSize) + ") in " + std::to_string(status.badAreas) +
                       (status.badAreas == 1 ? " area" : " areas") + ", last good read " +
                       Duration(status.sinceGoodRead) + " ago";
    if (status.secondsLeft >= 0 && status.pending != 0)
        text += ", " + Duration(status.secondsLeft) + " left";
    return text;
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
