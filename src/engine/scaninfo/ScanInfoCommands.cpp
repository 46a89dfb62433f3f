#include "scaninfo/ScanInfoCommands.h"

#include "core/TimeText.h"
#include "ext2/TurboScan.h"
#include "ext2/VolumeOpen.h"
#include "scaninfo/ScanInfoReader.h"
#include "scaninfo/ScanInfoWriter.h"
#include "scaninfo/SourceIdentity.h"

namespace twl {
namespace {

// Reopens the image a loaded file names; null when it is not there any more.
std::unique_ptr<BlockReader> ReopenImage(const SectorSource& source, const SourceBlock& block) {
    if (block.driveId != kImageDriveId)
        return nullptr;
    return source.OpenPath(block.imageFolder + "/" + block.imageName).reader;
}

void TakeOver(RecoverySession& session, LoadedScanInfo& loaded,
              std::unique_ptr<BlockReader> image) {
    SectorSource::StoredSource stored;
    stored.driveId = loaded.source.driveId;
    stored.size = loaded.source.sourceSize;
    stored.fingerprintSector = loaded.source.fingerprintSector;
    stored.fingerprint = loaded.source.fingerprint;
    stored.imageFolder = loaded.source.imageFolder;
    stored.imageName = loaded.source.imageName;
    session.Source().AdoptStored(stored, std::move(image));
    session.SetScanInfoLoaded(true);
    session.Lists() = std::move(loaded.lists);
    session.SetVolume(std::move(loaded.volume));
    session.Catalogue() = std::move(loaded.catalog);
    session.Counters() = RecountCatalogue(session.Catalogue());
    // Every file and folder of the loaded tree was an entry found.
    session.Counters().entriesFound = session.Counters().files + session.Counters().folders;
    session.SetMode(ProcessingMode::kAuto);
}

std::string ReadFailureText(ScanInfoReadResult result, const LoadedScanInfo& loaded,
                            const std::string& path) {
    switch (result) {
    case ScanInfoReadResult::kCannotOpen:
        return kCouldNotOpenScanInfo;
    case ScanInfoReadResult::kNotScanInfo:
        return kNotScanInfoText;
    case ScanInfoReadResult::kDamaged:
        return "The scan info file " + path + " is damaged: " + loaded.damage;
    case ScanInfoReadResult::kOk:
        break;
    }
    return {};
}

// Whether the source a loaded file names is still there and still the one it was saved from;
// an image source is reopened into `image`. Reads the source, changes nothing.
bool FindSourceAgain(SectorSource& source, const SourceBlock& stored,
                     std::unique_ptr<BlockReader>& image, EngineEvents& events) {
    image = ReopenImage(source, stored);
    if (stored.driveId == kImageDriveId && !image) {
        events.Message(MessageIcon::kError, kImageMoved);
        return false;
    }
    const SourceSample now = image ? SampleImage(*image, stored.fingerprintSector)
                                   : SampleDrive(source, stored.driveId, stored.fingerprintSector);
    if (const std::string difference = SourceDifference(stored, now); !difference.empty()) {
        events.Message(MessageIcon::kError,
                       std::string(OpenOutcomeText(OpenOutcome::kFingerprintMismatch)) + ": " +
                           difference);
        return false;
    }
    return true;
}

} // namespace

bool AdoptScanInfo(RecoverySession& session, LoadedScanInfo& loaded, EngineEvents& events) {
    std::unique_ptr<BlockReader> image;
    if (!FindSourceAgain(session.Source(), loaded.source, image, events))
        return false;
    TakeOver(session, loaded, std::move(image));
    return true;
}

bool SaveScanInformation(RecoverySession& session, const std::string& path, EngineEvents& events,
                         StopControl* stop) {
    const std::string time = CurrentTimeText();
    events.LogRow({0, "Saving Scan Information Started", "File Created " + path, time},
                  LogIcon::kInformation);
    const Status status = WriteScanInfoFile(session, path, [&](int percent) {
        events.Progress(percent);
        return stop == nullptr || !stop->ShouldStop();
    });
    events.Progress(0);
    if (!status.Ok()) {
        events.LogRow({0, "Saving Scan Information Failed", "File Not Saved " + path, time},
                      LogIcon::kError);
        events.Message(MessageIcon::kError, "Scan information was not saved: " + Describe(status));
        return false;
    }
    events.LogRow({0, "Saving Scan Information Completed", "File Saved " + path, time},
                  LogIcon::kSuccess);
    events.Message(MessageIcon::kInformation, "Saving scan information completed");
    return true;
}

bool OpenScanInformation(RecoverySession& session, const std::string& path, EngineEvents& events) {
    return OpenScanInformationFile(session, path, events).opened;
}

ScanInfoOpening OpenScanInformationFile(RecoverySession& session, const std::string& path,
                                        EngineEvents& events) {
    PreparedScanInfo prepared = PrepareScanInformation(session, path, events);
    if (prepared.ready)
        AdoptPreparedScanInfo(session, prepared, events);
    return {prepared.ready, prepared.openStatus};
}

PreparedScanInfo PrepareScanInformation(RecoverySession& session, const std::string& path,
                                        EngineEvents& events, StopControl* stop) {
    PreparedScanInfo prepared;
    prepared.path = path;
    prepared.time = CurrentTimeText();
    events.LogRow({0, "Retrieving Scan Information", "File Opened " + path, prepared.time},
                  LogIcon::kInformation);
    LoadedScanInfo& loaded = prepared.loaded;
    const ScanInfoReadResult result = ReadScanInfoFile(path, loaded, [&](int percent) {
        events.Progress(percent);
        if (stop != nullptr)
            stop->ShouldStop(); // held here while the user is asked
    });
    events.Progress(0);
    if (stop != nullptr && stop->StopRequested())
        return prepared;
    if (result != ScanInfoReadResult::kOk) {
        events.Message(MessageIcon::kError, ReadFailureText(result, loaded, path));
        prepared.openStatus = loaded.openStatus;
        return prepared;
    }
    prepared.ready = FindSourceAgain(session.Source(), loaded.source, prepared.image, events);
    return prepared;
}

void AdoptPreparedScanInfo(RecoverySession& session, PreparedScanInfo& prepared,
                           EngineEvents& events) {
    TakeOver(session, prepared.loaded, std::move(prepared.image));
    events.LogRow({0, "Scan Information Retrieved.", "File Closed " + prepared.path, prepared.time},
                  LogIcon::kSuccess);
}

} // namespace twl
