#include "app/MainFrame.h"

#include "app/ListPane.h"
#include "app/WorkerThread.h"
#include "core/SizeText.h"
#include "core/TimeText.h"
#include "dialogs/CloneDialog.h"
#include "ext2/CatalogFind.h"
#include "ext2/MarkedTotals.h"
#include "ext2/VolumeOpen.h"
#include "models/ItemIcons.h"
#include "recover/SaveOperation.h"
#include "scaninfo/ScanInfoCommands.h"
#include "scaninfo/ScanInfoFormat.h"
#include "session/ListedVolumes.h"
#include "session/TreeOperations.h"
#include "wizard/WizardContainer.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

namespace twl::gui {
namespace {

constexpr char kCaption[] = "Tarnwell Linux";
constexpr char kTurboHint[] =
    "Please use Turbo scan Option under Tools Menu.\nIn case you are unable to find any lost "
    "desired files/folders in the displayed tree.\nOR\nNo data tree displayed.\n\nTools->Turbo "
    "Scan";

} // namespace

MainFrame::MainFrame(RecoverySession& session, QWidget* parent)
    : QMainWindow(parent), m_session(session) {
    setWindowTitle(kFrameTitle);
    setWindowIcon(NamedIcon("tarnwell-linux"));
    BuildCommands();
    BuildMenus();
    BuildToolbar();
    BuildStatusBar();
    BuildPanes();
    m_refresh = new QTimer(this);
    m_refresh->setInterval(33); // about 30 updates a second, however fast the worker reports
    connect(m_refresh, &QTimer::timeout, this, &MainFrame::ShowPending);
    m_refresh->start();
    ResetViews();
    UpdateCommands();
    SetLook(kCmdOffice2003); // the look the View menu shows ticked
}

MainFrame::~MainFrame() {
    delete m_copy; // stops a copy still running and waits for it
    m_session.Stop().RequestStop();
    m_session.Stop().Resume();
    WaitForWorker();
}

// Three text panes and the progress bar share the bar's width 70:70:70:96, so that all of
// them fit on any screen; long texts are cut at the pane's end.
void MainFrame::BuildStatusBar() {
    for (int pane = 0; pane < 3; ++pane) {
        m_panes[pane] = new QLabel(this);
        m_panes[pane]->setObjectName(QString("statusPane%1").arg(pane));
        m_panes[pane]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        statusBar()->addWidget(m_panes[pane], 70);
    }
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_progress, 96);
}

void MainFrame::BuildPanes() {
    auto* splitter = new QSplitter(this);
    m_treeView = new QTreeView(splitter);
    m_treeView->setObjectName("folderTree");
    m_treeView->setModel(&m_treeModel);
    m_treeView->setHeaderHidden(true);
    m_treeView->setUniformRowHeights(true);
    m_listPane = new ListPane(m_listModel, splitter);
    // The folder tree keeps its 250 pixels when the window grows; the list takes the rest.
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 750});
    setCentralWidget(splitter);
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { ShowFolder(m_treeModel.NodeOf(current)); });
    connect(m_listPane, &ListPane::rowOpened, this, &MainFrame::OpenRow);
    m_listModel.SetFolderState([this](NodeId folder) { return m_treeModel.MarkState(folder); });
    connect(&m_treeModel, &FolderTreeModel::marksChanged, this, &MainFrame::ShowMarks);
    connect(&m_listModel, &FileListModel::rowMarkClicked, this, &MainFrame::MarkRow);
    // An item being expanded becomes the folder shown.
    connect(m_treeView, &QTreeView::expanded, this, [this](const QModelIndex& item) {
        if (m_treeView->currentIndex() != item)
            m_treeView->setCurrentIndex(item);
    });
    auto* dock = new QDockWidget("Process Log", this);
    dock->setObjectName("processLogDock");
    dock->setFeatures(QDockWidget::DockWidgetMovable);
    m_log = new ProcessLogView(dock);
    dock->setWidget(m_log);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
}

QString MainFrame::StatusPane(int pane) const {
    return pane == 0 && m_prompting ? m_pane0 : m_panes[pane]->text();
}

void MainFrame::SetPane(int pane, const QString& text) {
    if (pane == 0 && m_prompting)
        m_pane0 = text; // shown again when the prompt goes
    else
        m_panes[pane]->setText(text);
}

// A command's prompt shows in pane 0 while the pointer is on it; the other panes and the
// progress bar stay as they are.
bool MainFrame::event(QEvent* event) {
    if (event->type() != QEvent::StatusTip)
        return QMainWindow::event(event);
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (!tip.isEmpty()) {
        if (!m_prompting)
            m_pane0 = m_panes[0]->text();
        m_prompting = true;
        m_panes[0]->setText(tip);
    } else if (m_prompting) {
        m_prompting = false;
        m_panes[0]->setText(m_pane0);
    }
    return true;
}
int MainFrame::ProgressValue() const {
    return m_progress->value();
}

void MainFrame::ShowPending() {
    const GuiEvents::Pending pending = m_events.Take();
    for (int pane = 0; pane < 3; ++pane) {
        if (pending.panes[static_cast<std::size_t>(pane)])
            SetPane(pane, *pending.panes[static_cast<std::size_t>(pane)]);
    }
    if (pending.progress)
        m_progress->setValue(*pending.progress);
}

void MainFrame::AddLogRow(const ProcessLogEntry& entry, int iconCode) {
    m_log->AddRow(entry, iconCode);
    UpdateCommands();
}

void MainFrame::LogNow(const std::string& process, const std::string& description, int icon,
                       const std::string& time) {
    AddLogRow({0, process, description, time}, icon);
}

void MainFrame::ShowWorkerMessage(MessageIcon icon, const QString& text) {
    m_prompter.Tell(BoxIcon(icon), kCaption, text);
}

// Reset of the views: no rows, no items, counters and bars at zero.
void MainFrame::ResetViews() {
    m_listModel.ShowFolder(nullptr, kRootAnchor);
    m_treeModel.Clear();
    ClearFind(); // its walk went over the catalogue being replaced
    m_session.Counters() = {};
    m_progress->setValue(0);
    SetPane(0, "0 Entries Found");
    SetPane(1, "0 KB in 0 Files in 0 Folders");
    SetPane(2, "0 KB Marked in 0 Files in 0 Folders");
}

void MainFrame::StartWorker(std::function<void()> work) {
    m_session.Stop().Clear();
    m_running = true;
    m_worker = StartWorkerThread(std::move(work), m_workerThreadId);
    UpdateCommands();
}

void MainFrame::BeginRecovery(const QString& selectedSource, const QString& selectedVolume,
                              bool unsaved) {
    if (unsaved)
        m_scanInfoSaved = false;
    LogNow(selectedSource.toStdString(), selectedVolume.toStdString(), 0, CurrentTimeText());
    ResetViews();
    UpdateCommands();
}

void MainFrame::RunWizard(WizardEntry entry) {
    if (m_running)
        return;
    const bool found = entry == WizardEntry::kFoundDrive;
    // From the task page the wizard looks for its source in a session of its own: a cancelled
    // wizard leaves the open volume, its tree and its source as they were. "Open found Logical
    // Drive" lists this session's volumes, and its open replaces the volume only on success.
    std::unique_ptr<RecoverySession> scratch = found ? nullptr : m_session.Blank();
    RecoverySession& session = found ? m_session : *scratch;
    WizardContainer wizard(found ? "Tarnwell Linux Data Recovery ver 1.0.1"
                                 : "Tarnwell-Linux Wizard ",
                           session, m_prompter, this, found ? kVolumePage : kTaskPage);
    if (found) {
        wizard.State().openedAtVolumePage = true;
        wizard.State().mode = m_session.Mode();
    }
    QWidget* before = m_prompter.SetParent(&wizard);
    const int result = m_prompter.RunDialog(wizard);
    m_prompter.SetParent(before);
    ClearFind();
    UpdateCommands();
    const WizardState& state = wizard.State();
    if (result != QDialog::Accepted || !state.finished)
        return;
    if (state.task == WizardTask::kClone || state.task == WizardTask::kImaging) {
        if (scratch != nullptr)
            StartCopy(std::move(scratch), state);
        return;
    }
    if (found) {
        LogNow("Logical drive opened...", state.selectedVolume.toStdString(), 0, CurrentTimeText());
        ResetViews();
    } else {
        m_session.AdoptSource(*scratch);
        // The start-up wizard's recovery does not ask to be saved at exit.
        BeginRecovery(state.selectedSource, state.selectedVolume, entry == WizardEntry::kCommand);
    }
    setWindowTitle(kFrameTitle);
    // The views and counters are reset before the worker starts building into them.
    StartTreeCreation();
}

void MainFrame::StartCopy(std::unique_ptr<RecoverySession> drives, const WizardState& state) {
    if (m_copy != nullptr)
        return; // one copy at a time
    CopyJob job;
    if (state.task == WizardTask::kClone) {
        job = {CopyKind::kClone,
               state.cloneSource,
               state.cloneDestination,
               {},
               CloneSectorCount(drives->Source(), state.cloneSource, state.cloneDestination)};
        LogNow("Cloning started",
               "Cloning Disk # " + std::to_string(DriveIndex(job.source)) + " to Disk #" +
                   std::to_string(DriveIndex(job.destination)),
               0, CurrentTimeText());
    } else {
        job = {CopyKind::kImage, state.imagingSource, kImageDriveId,
               QFile::encodeName(QDir(state.imageDirectory).filePath(state.imageFileName))
                   .toStdString(),
               state.imagingSectors};
        LogNow("Imaging started", "Imaging Disk # " + std::to_string(DriveIndex(job.source)), 0,
               CurrentTimeText());
    }
    job.mapPath = state.copyMap;
    m_copy = new CloneDialog(std::move(drives), job, m_prompter, this);
    connect(m_copy, &CloneDialog::Ended, this, &MainFrame::OnCopyEnded);
    m_running = true;
    UpdateCommands();
    m_copy->show();
    m_copy->Start();
}

void MainFrame::OnCopyEnded(bool completed) {
    const CopyJob job = m_copy->Job();
    const bool clone = job.kind == CopyKind::kClone;
    const std::string source = std::to_string(DriveIndex(job.source));
    LogNow(std::string(clone ? "Cloning " : "Imaging ") + (completed ? "Completed" : "Aborted"),
           clone ? "Cloning Disk # " + source + " to Disk # " +
                       std::to_string(DriveIndex(job.destination))
                 : "Imaging Disk # " + source,
           completed ? 7 : 1, CurrentTimeText());
    // A clone's map lies in this program's data folder, where no one would look at it once
    // the clone is whole; an image's stays beside it with the bad sectors it lists.
    if (clone && completed && !job.mapPath.empty())
        std::filesystem::remove(job.mapPath);
    m_copy->deleteLater();
    m_copy = nullptr;
    m_running = false;
    UpdateCommands();
}

void MainFrame::ShowImageVolume(const QString& path, const QString& name, const QString& volume) {
    setWindowTitle(QString(kFrameTitle) + " - " + name + ", " + volume);
    QString description = volume + " Selected";
    description[0] = description[0].toUpper();
    LogNow(("Image File Selected :" + path).toStdString(), description.toStdString(), 0,
           CurrentTimeText());
    ResetViews();
}

void MainFrame::StartTreeCreation() {
    if (m_worker != nullptr || m_session.Volume() == nullptr)
        return;
    // The worker replaces the catalogue: the panes let go of the old one first.
    m_listModel.ShowFolder(nullptr, kRootAnchor);
    m_treeModel.Clear();
    ClearFind(); // its walk went over the catalogue being replaced
    StartWorker([this] { CreateTree(m_session, m_events); });
}

// A loaded catalogue reads the source by its inode numbers and block maps: never once the
// disk or image is no longer the one the scan information was saved from.
bool MainFrame::SourceStillMatches() {
    if (SourceMatchesLoadedScanInfo(m_session))
        return true;
    m_prompter.Tell(QMessageBox::Critical, kCaption,
                    EngineText(OpenOutcomeText(OpenOutcome::kFingerprintMismatch)));
    return false;
}

void MainFrame::TurboScan() {
    if (!SourceStillMatches())
        return;
    SetPane(2, "0 KB Marked in 0 Files in 0 Folders");
    if (m_worker == nullptr && m_session.Volume() != nullptr) {
        m_listModel.ShowFolder(nullptr, kRootAnchor);
        m_treeModel.Clear();
        ClearFind(); // its walk went over the catalogue being replaced
        StartWorker([this] { RunTurboScan(m_session, m_events); });
    }
    m_turboScanAllowed = false;
    UpdateCommands();
}

void MainFrame::WaitForWorker() {
    // The worker may be waiting for this thread; the events handled meanwhile may include its
    // own end, which waits for it too.
    while (m_worker != nullptr && !m_worker->wait(10))
        QCoreApplication::processEvents();
    delete m_worker;
    m_worker = nullptr;
}

// The worker (tree creation or Turbo Scan) has ended.
void MainFrame::OnWorkerDone(WorkerResult result) {
    if (isVisible())
        showMaximized();
    ShowPending();
    WaitForWorker();
    m_running = m_copy != nullptr; // a copy may still run beside the frame's worker
    m_turboScanAllowed = true;
    m_progress->setValue(0);
    if (result == WorkerResult::kAborted)
        m_session.Stop().RequestStop();
    else
        m_session.Stop().Clear();
    ShowTree(result == WorkerResult::kTurboScanDone ? TreeCause::kTurboScan
                                                    : TreeCause::kTreeCreation);
    UpdateCommands();
}

// Rebuilds the folder tree. Only a tree creation that was not stopped logs "Disk Scan Done";
// after Turbo Scan the hint to run it is not shown again.
void MainFrame::ShowTree(TreeCause cause) {
    m_treeModel.Rebuild(m_session.Catalogue());
    // Marks the catalogue kept through Turbo Scan, or that a loaded file brought, are shown.
    if (const TreeCounters marked = MarkedTotals(m_session.Catalogue());
        marked.files + marked.folders != 0)
        SetPane(2, QString::fromStdString(MarkedText(marked)));
    m_treeView->expand(m_treeModel.RootIndex());
    m_treeView->setCurrentIndex(m_treeModel.RootIndex());
    ShowFolder(kRootAnchor);
    if (!m_session.Stop().StopRequested() && cause == TreeCause::kTreeCreation)
        LogNow("Disk Scan Done", "Process Completed", 7, CurrentTimeText());
    if (cause != TreeCause::kTurboScan)
        m_prompter.Tell(QMessageBox::Information, kCaption, kTurboHint);
    UpdateCommands();
}

void MainFrame::ShowFolder(NodeId folder) {
    m_listModel.ShowFolder(m_treeModel.rowCount() > 0 ? &m_session.Catalogue() : nullptr, folder);
}

// The marks changed: the totals and the rows' boxes follow.
void MainFrame::ShowMarks() {
    SetPane(2, QString::fromStdString(MarkedText(MarkedTotals(m_session.Catalogue()))));
    m_listModel.RefreshMarks();
}

// A double click on a folder's row opens it: the folder becomes the tree's current item,
// expanded, with the folders above it expanded too. A file's row changes nothing.
void MainFrame::OpenRow(const QModelIndex& row) {
    const NodeId node = m_listModel.NodeAt(row.row());
    if (m_session.Catalogue().Node(node).type != kTypeFolder)
        return;
    const QModelIndex item = m_treeModel.IndexOf(node);
    m_treeView->setCurrentIndex(item);
    for (QModelIndex up = item; up.isValid(); up = m_treeModel.parent(up))
        m_treeView->expand(up);
}

void MainFrame::SetViewMode(int modeId) {
    m_listPane->SetMode(static_cast<ListPane::Mode>(modeId - kCmdLargeIcons));
}

// A row's mark box: the row's node (and all below a folder) takes the new mark; the folder
// items, the rows and the totals follow the catalogue's marks.
void MainFrame::MarkRow(int row) {
    Catalog& catalog = m_session.Catalogue();
    const NodeId node = m_listModel.NodeAt(row);
    const std::uint8_t mark = m_listModel.MarkOf(row) == Qt::Unchecked ? 1 : 0;
    catalog.Node(node).marked = mark;
    catalog.ForEachBelow(node, [&](NodeId id) { catalog.Node(id).marked = mark; });
    m_treeModel.SyncMarks();
    ShowMarks();
}

// The Stop protocol: the worker is held at its next checkpoint while the user is asked.
void MainFrame::Stop() {
    if (m_copy != nullptr) {
        m_copy->AskStop();
        return;
    }
    if (m_worker == nullptr)
        return;
    m_session.Stop().Pause();
    const std::string time = CurrentTimeText();
    LogNow("Disk Scanning Interrupted ", "User Intervention - Process Paused", 0, time);
    const auto answer =
        m_prompter.Ask(QMessageBox::Question, kCaption, "Do you want to stop process?",
                       QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        m_session.Stop().Resume();
        LogNow("Disk Scanning Interrupted ", "User Intervention - Process Resumed", 0,
               CurrentTimeText());
        return;
    }
    m_session.Stop().RequestStop();
    m_session.Stop().Resume();
    m_running = false;
    m_progress->setValue(0);
    LogNow("Disk Scanning Stopped ", "User Intervention - Process Aborted", 1, time);
    UpdateCommands();
}

void MainFrame::StartScanInfoWorker(std::function<void()> work) {
    centralWidget()->setEnabled(false);
    StartWorker(std::move(work));
}

void MainFrame::EndScanInfoWorker() {
    ShowPending();
    WaitForWorker();
    m_running = m_copy != nullptr;
    m_progress->setValue(0);
    centralWidget()->setEnabled(true);
    UpdateCommands();
}

// The file is read and checked on the worker, which leaves the session alone; the session
// takes the file's state here, on the UI thread, once the worker has ended.
void MainFrame::OpenScanInformation() {
    if (m_worker != nullptr)
        return; // a stopped worker is still ending
    const QString path =
        m_prompter.OpenFileName("Open Scan Information", "Scan Info File (*.ds1);;All Files (*.*)");
    if (path.isEmpty())
        return;
    StartScanInfoWorker([this, path = path.toStdString()] {
        auto prepared = std::make_shared<PreparedScanInfo>(
            PrepareScanInformation(m_session, path, m_events, &m_session.Stop()));
        QMetaObject::invokeMethod(
            this, [this, prepared] { OnScanInfoOpened(*prepared); }, Qt::QueuedConnection);
    });
}

void MainFrame::OnScanInfoOpened(PreparedScanInfo& prepared) {
    EndScanInfoWorker();
    if (!prepared.ready || m_session.Stop().StopRequested())
        return;
    // The panes let go of the catalogue the file replaces.
    m_listModel.ShowFolder(nullptr, kRootAnchor);
    m_treeModel.Clear();
    ClearFind(); // its walk went over the catalogue being replaced
    AdoptPreparedScanInfo(m_session, prepared, m_events);
    SetPane(0, QString::fromStdString(EntriesFoundText(m_session.Counters())));
    SetPane(1, QString::fromStdString(SizeLineText(m_session.Counters())));
    ShowTree(TreeCause::kLoadedFile);
    m_turboScanAllowed = true;
    UpdateCommands();
}

void MainFrame::SaveScanInformation() {
    if (m_worker != nullptr)
        return; // one worker at a time
    const QString path = m_prompter.SaveFileName(
        "Save Scan Information", QString::fromStdString(DefaultScanInfoName(std::time(nullptr))),
        "Scan Info File (*.ds1);;All Files (*.*)", "ds1");
    if (path.isEmpty())
        return;
    m_scanInfoSaved = true;
    StartScanInfoWorker([this, path = path.toStdString()] {
        twl::SaveScanInformation(m_session, path, m_events, &m_session.Stop());
        QMetaObject::invokeMethod(this, &MainFrame::EndScanInfoWorker, Qt::QueuedConnection);
    });
}

// The exit rule: never while something runs; offer to save an unsaved recovery; confirm.
void MainFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_running) {
        m_prompter.Tell(QMessageBox::Critical, kCaption, "please stop running process first");
        return;
    }
    if (!m_scanInfoSaved) {
        const auto answer =
            m_prompter.Ask(QMessageBox::Question, kCaption, "Do you want to save scan information?",
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return;
        if (answer == QMessageBox::Yes) {
            // A stopped worker still ending goes first; the save ends before the exit is asked.
            const auto waitForWorker = [this] {
                while (m_worker != nullptr)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            };
            waitForWorker();
            SaveScanInformation();
            waitForWorker();
        }
    }
    if (m_prompter.Ask(QMessageBox::Question, kCaption, "Do you want exit?",
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        event->accept();
}

} // namespace twl::gui
