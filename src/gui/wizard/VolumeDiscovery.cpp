#include "wizard/VolumeDiscovery.h"

#include "dialogs/VolumeScanProcedure.h"
#include "session/SourceOpening.h"

namespace twl::gui {

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
            prompter.Tell(QMessageBox::Critical, "Tarnwell Linux",
                          "No Logical Drives found\nPlease use Scan for logical Drives");
            prompter.SetParent(before);
            return Discovery::kNotFound;
        }
    }
    return RunScanProcedure(page, prompter, session) ? Discovery::kSweep : Discovery::kNotFound;
}

} // namespace twl::gui
