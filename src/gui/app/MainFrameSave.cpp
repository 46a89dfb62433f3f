// Save Checked and Save All of the main frame: the destination asked for (a local folder that
// is not on the disk or image being read, or an FTP server), the files saved on the worker
// with progress and Stop, then the summary, the report and the restore scripts on request.

#include "app/MainFrame.h"
#include "dialogs/AfterSaveDialog.h"
#include "dialogs/SaveDialog.h"
#include "ext2/MarkedTotals.h"
#include "ext2/VolumeReader.h"
#include "recover/FtpDestination.h"
#include "recover/LocalDestination.h"
#include "recover/SaveOperation.h"
#include "session/SaveRefusal.h"

#include <QFile>

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";

} // namespace

std::unique_ptr<SaveDestination> MainFrame::OpenSaveDestination() {
    SaveDialog dialog(m_prompter, this);
    if (m_prompter.RunDialog(dialog) != QDialog::Accepted)
        return nullptr;
    Status status;
    std::string detail;
    std::unique_ptr<SaveDestination> destination;
    if (const std::optional<FtpSettings> ftp = dialog.Ftp()) {
        destination = FtpDestination::Open(*ftp, status, detail);
    } else {
        const std::string folder = QFile::encodeName(dialog.Folder()).toStdString();
        // Nothing is written into the disk or image being recovered from.
        if (const std::string refusal = RefuseSaveFolder(m_session, folder); !refusal.empty()) {
            m_prompter.Tell(QMessageBox::Critical, kCaption, QString::fromStdString(refusal));
            return nullptr;
        }
        destination = LocalDestination::Open(folder, status);
        if (destination)
            SaveDialog::RememberFolder(dialog.Folder());
    }
    if (!destination)
        m_prompter.Tell(
            QMessageBox::Critical, kCaption,
            QString::fromStdString(Describe(status) + (detail.empty() ? "" : ": ") + detail));
    return destination;
}

void MainFrame::SaveFiles(bool checkedOnly) {
    if (m_running || m_worker != nullptr || m_treeModel.rowCount() == 0 ||
        m_session.Volume() == nullptr)
        return;
    if (checkedOnly) {
        const TreeCounters marked = MarkedTotals(m_session.Catalogue());
        if (marked.files + marked.folders == 0) {
            m_prompter.Tell(QMessageBox::Information, kCaption,
                            "Nothing is marked: tick the files and folders to save first.");
            return;
        }
    }
    if (!SourceStillMatches())
        return;
    m_saveTo = OpenSaveDestination();
    if (m_saveTo == nullptr)
        return;
    m_saved = std::make_unique<SaveSummary>();
    SaveOptions options;
    options.checkedOnly = checkedOnly;
    options.keepScripts = true;
    // The panes take no marks meanwhile: the save reads them.
    StartScanInfoWorker([this, options] {
        VolumeReader reader(m_session.Source(), *m_session.Volume());
        *m_saved = SaveCatalogue(reader, m_session.Catalogue(), *m_saveTo, options,
                                 m_session.Stop(), m_events);
        QMetaObject::invokeMethod(this, &MainFrame::OnSaveDone, Qt::QueuedConnection);
    });
}

void MainFrame::OnSaveDone() {
    EndScanInfoWorker();
    const SaveSummary summary = std::move(*m_saved);
    m_saved.reset();
    QString text = QString::fromStdString(SummaryText(summary));
    if (summary.destinationFull)
        text += "\nThe destination is full; the save stopped. What was written stays.";
    else if (summary.stopped)
        text += "\nThe save was stopped. What was written stays.";
    if (!summary.reportName.empty())
        text += "\nThe report " + QString::fromStdString(summary.reportName) +
                " beside the saved files lists every item not saved whole.";
    AfterSaveDialog after(text, this);
    if (m_prompter.RunDialog(after) == QDialog::Accepted) {
        if (after.PermissionScript())
            m_saveTo->WriteTextFile(kPermissionScript, summary.permissionScript, true);
        if (after.OwnershipScript())
            m_saveTo->WriteTextFile(kOwnershipScript, summary.ownershipScript, true);
    }
    m_saveTo.reset();
}

} // namespace twl::gui
