#include "wizard/VolumeDiscovery.h"

#include "dialogs/VolumeScanProcedure.h"
#include "session/ListedVolumes.h"
#include "session/SourceOpening.h"

namespace twl::gui {

QStringList WalkSentences(const WalkReport& walk) {
    QStringList sentences;
    for (const std::string& note : TableWalkNotes(walk)) {
        QString sentence = QString::fromStdString(note);
        sentence[0] = sentence[0].toUpper();
        sentences << sentence + '.';
    }
    return sentences;
}

Discovery DiscoverVolumes(QWidget* page, Prompter& prompter, RecoverySession& session,
                          ProcessingMode mode) {
    session.Lists().FreeBoth();
    session.SetMode(mode);
    if (mode != ProcessingMode::kScan) {
        EngineEvents quiet;
        // The tables only: the sweep, when it is wanted, runs under its own dialogs.
        if (FindVolumes(session, VolumeSearch(ProcessingMode::kTable), quiet).listed > 0) {
            session.SetMode(mode);
            return Discovery::kTables;
        }
        session.SetMode(mode);
        if (mode == ProcessingMode::kTable) {
            QWidget* before = prompter.SetParent(page);
            // On a disk with a GUID partition table, what the walk met there says why none
            // was found; the box of a disk with a master boot record alone stays as it was.
            QStringList text{"No Logical Drives found\nPlease use Scan for logical Drives"};
            if (session.Lists().walk.gpt)
                text << WalkSentences(session.Lists().walk);
            prompter.Tell(QMessageBox::Critical, "Tarnwell Linux", text.join("\n\n"));
            prompter.SetParent(before);
            return Discovery::kNotFound;
        }
    }
    return RunScanProcedure(page, prompter, session) ? Discovery::kSweep : Discovery::kNotFound;
}

} // namespace twl::gui
