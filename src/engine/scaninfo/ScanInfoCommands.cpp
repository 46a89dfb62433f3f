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

} // namespace

bool AdoptScanInfo(RecoverySession& session, LoadedScanInfo& loaded, EngineEvents& events) {
    const SourceBlock& stored = loaded.source;
    std::unique_ptr<BlockReader> image = ReopenImage(session.Source(), stored);
    if (stored.driveId == kImageDriveId && !image) {
        events.Message(MessageIcon::kError, kImageMoved);
        return false;
    }
    const SourceSample now =
        image ? SampleImage(*image, stored.fingerprintSector)
              : SampleDrive(session.Source(), stored.driveId, stored.fingerprintSector);
    if (const std::string difference = SourceDifference(stored, now); !difference.empty()) {
        events.Message(MessageIcon::kError,
                       std::string(OpenOutcomeText(OpenOutcome::kFingerprintMismatch)) + ": " +
                           difference);
        return false;
    }
    TakeOver(session, loaded, std::move(image));
    return true;
}

bool SaveScanInformation(RecoverySession& session, const std::string& path, EngineEvents& events) {
    const std::string time = CurrentTimeText();
    events.LogRow({0, "Saving Scan Information Started", "File Created " + path, time},
                  LogIcon::kInformation);
    const Status status =
        WriteScanInfoFile(session, path, [&](int percent) { events.Progress(percent); });
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
    const std::string time = CurrentTimeText();
    events.LogRow({0, "Retrieving Scan Information", "File Opened " + path, time},
                  LogIcon::kInformation);
    LoadedScanInfo loaded;
    const ScanInfoReadResult result = ReadScanInfoFile(path, loaded);
    if (result != ScanInfoReadResult::kOk) {
        events.Message(MessageIcon::kError, ReadFailureText(result, loaded, path));
        return {false, loaded.openStatus};
    }
    if (!AdoptScanInfo(session, loaded, events))
        return {};
    events.LogRow({0, "Scan Information Retrieved.", "File Closed " + path, time},
                  LogIcon::kSuccess);
    return {true, {}};
}

} // namespace twl
