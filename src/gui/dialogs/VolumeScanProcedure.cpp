#include "dialogs/VolumeScanProcedure.h"

#include "dialogs/DiskScanDialog.h"
#include "dialogs/SectorRangeDialog.h"
#include "dialogs/VolumeScanDialog.h"
#include "volumes/ScanRange.h"

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";

} // namespace

bool RunScanProcedure(QWidget* parent, Prompter& prompter, RecoverySession& session) {
    DiskScanDialog modes(parent);
    if (prompter.RunDialog(modes) != QDialog::Accepted)
        return false;
    VolumeSearch search(ProcessingMode::kScan, modes.Mode());
    const std::optional<SectorRange> whole = WholeSourceRange(session.Source());
    if (!whole) {
        prompter.Tell(QMessageBox::Critical, kCaption,
                      "The disk or image holds no sectors to scan.");
        return false;
    }
    if (search.sweep == ScanMode::kThorough) {
        // The scan reaches the first 2^32 sectors (2 TiB) of a larger disk.
        SectorRangeDialog range(std::uint64_t{whole->end} + 1, prompter, parent);
        if (prompter.RunDialog(range) != QDialog::Accepted) {
            prompter.Tell(QMessageBox::NoIcon, kCaption, "Operation canceled");
            return false;
        }
        search.start = range.Start();
        search.end = range.End();
    }
    const ProcessingMode mode = session.Mode();
    VolumeScanDialog scan(session, search, prompter, parent);
    const int result = scan.exec();
    session.SetMode(mode);
    if (result == QDialog::Accepted)
        return true;
    prompter.Tell(QMessageBox::Critical, kCaption, "Operation Cancelled by User");
    return false;
}

} // namespace twl::gui
