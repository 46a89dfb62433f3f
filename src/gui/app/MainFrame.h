#pragma once

// The main window: menus and the "Standard" toolbar, the folder tree and file list panes side
// by side, the "Process Log" dock at the bottom, and the status bar with three text panes and
// the progress bar. It owns the commands, starts and stops the one engine worker (tree
// creation or Turbo Scan), and decides when the program may close.

#include "app/GuiEvents.h"
#include "app/ProcessLogView.h"
#include "app/Prompter.h"
#include "models/FileListModel.h"
#include "models/FolderTreeModel.h"
#include "session/RecoverySession.h"

#include <QMainWindow>
#include <atomic>
#include <map>
#include <memory>

class QAction;
class QActionGroup;
class QLabel;
class QModelIndex;
class QProgressBar;
class QThread;
class QTreeView;
class QTimer;

namespace twl {
class CatalogFinder;
class SaveDestination;
struct PreparedScanInfo;
struct SaveSummary;
} // namespace twl

namespace twl::gui {

class HelpWindow;

class CloneDialog;
class ListPane;
struct WizardState;

// The command ids of the menus, as the help and the status prompts know them.
enum CommandId : int {
    kCmdWizard = 32802,
    kCmdOpenScanInfo = 32776,
    kCmdOpenFoundDrive = 32777,
    kCmdExit = 57665,
    kCmdFind = 57636,
    kCmdFindNext = 57635,
    kCmdSaveChecked = 32807,
    kCmdSaveAll = 32780,
    kCmdSaveScanInfo = 32783,
    kCmdStop = 32803,
    kCmdTurboScan = 32804,
    kCmdClearLog = 32805,
    kCmdSaveLog = 32806,
    kCmdToolbar = 59392,
    kCmdStatusBar = 59393,
    kCmdLargeIcons = 32771,
    kCmdSmallIcons = 32772,
    kCmdList = 32773,
    kCmdDetails = 32774,
    kCmdOffice2000 = 32785,
    kCmdOffice2003 = 32786,
    kCmdOfficeXp = 32787,
    kCmdNativeXp = 32788,
    kCmdHelpContents = 57667,
    kCmdTips = 32799,
    kCmdAbout = 57664,
};

// Where the wizard was opened from, which decides how its outcome is taken.
enum class WizardEntry {
    kCommand,   // the Wizard command
    kStartup,   // the start of the program, with "Run wizard on startup" set
    kFoundDrive // "Open found Logical Drive": on the volume page, without Back
};

inline constexpr char kFrameTitle[] = "Tarnwell Linux Data Recovery ver 1.1.0";

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit MainFrame(RecoverySession& session, QWidget* parent = nullptr);
    ~MainFrame() override;

    QAction* Command(int id) const { return m_commands.at(id); }
    Prompter& Prompts() { return m_prompter; }
    ProcessLogView& Log() { return *m_log; }
    FolderTreeModel& Tree() { return m_treeModel; }
    FileListModel& List() { return m_listModel; }
    QString StatusPane(int pane) const;
    int ProgressValue() const;
    bool Running() const { return m_running; }
    // The progress window of the clone or imaging run, while one runs.
    CloneDialog* CopyDialog() const { return m_copy; }
    // The kernel id of the worker thread while it runs; 0 when none runs.
    long WorkerThreadId() const { return m_workerThreadId.load(); }

    // A recovery the wizard has begun (its volume page has opened the volume): the log row
    // with the wizard's selected-source and selected-volume texts, the views reset, and the
    // scan information not yet saved, so that the exit asks to save it.
    // `unsaved` false: the recovery began from the start-up wizard, which is not asked about.
    void BeginRecovery(const QString& selectedSource, const QString& selectedVolume,
                       bool unsaved = true);
    // Find (a pattern asked for) and Find Next: the next match is shown, its folder open and
    // its row highlighted, or "Search Item not found".
    void Find();
    void FindNext();
    // Save Checked (the marked files and folders) and Save All: where to is asked, the files
    // are saved on the worker, and a summary and the restore scripts are offered at the end.
    void SaveFiles(bool checkedOnly);
    // The node Find showed last; kNoNode when there is none.
    NodeId FindPosition() const { return m_findPosition; }
    // The tip of the day, now.
    void ShowTips();
    // Help > Contents and the pages it leads to, in the frame's help window.
    void ShowHelpTopic(const QString& topic);
    HelpWindow* Help() const { return m_help; }
    // Runs the wizard modally and acts on its outcome.
    void RunWizard(WizardEntry entry);
    // A volume of the image named on the command line is open: the title bar and a log row
    // say which image (`path`, shown as `name`) and which volume.
    void ShowImageVolume(const QString& path, const QString& name, const QString& volume);
    // WM_FRAME_START_TREE: builds the tree of the open volume on the worker.
    void StartTreeCreation();
    // The Turbo Scan command.
    void TurboScan();
    // The Stop command: pauses the worker while the user is asked.
    void Stop();
    // Open and Save Scan Information: the file is read or written on the worker, with
    // progress, while the frame stays live; the loaded state is taken in here once it is done.
    void OpenScanInformation();
    void SaveScanInformation();
    // Shows folder `folder` of the catalogue in the list (the tree's current folder).
    void ShowFolder(NodeId folder);
    // The user clicked the mark box of list row `row`.
    void MarkRow(int row);
    // A double click on a row.
    void OpenRow(const QModelIndex& row);
    // Large Icons, Small Icons, List or Details (a command id).
    void SetViewMode(int modeId);

    // Called on the UI thread by the worker's events.
    void AddLogRow(const ProcessLogEntry& entry, int iconCode);
    void ShowWorkerMessage(MessageIcon icon, const QString& text);
    void ShowPending();
    void OnWorkerDone(WorkerResult result);
    // Waits for a worker still running (tests, and the end of the program).
    void WaitForWorker();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildCommands();
    void BuildMenus();
    void BuildToolbar();
    void BuildStatusBar();
    void BuildPanes();
    void UpdateCommands();
    void ShowMarks();
    void SetPane(int pane, const QString& text);
    void ResetViews();
    // What brought the catalogue that the tree shows.
    enum class TreeCause { kTreeCreation, kTurboScan, kLoadedFile };
    void ShowTree(TreeCause cause);
    void StartWorker(std::function<void()> work);
    // A scan information file is read or written on the worker: the panes take no marks
    // meanwhile, since the catalogue is being written out.
    void StartScanInfoWorker(std::function<void()> work);
    void EndScanInfoWorker();
    void OnScanInfoOpened(PreparedScanInfo& prepared);
    void SetLook(int themeId);
    // A clone or imaging the wizard recorded: started under its progress window, reading the
    // drives of `drives`; the log says when it began and how it ended.
    void StartCopy(std::unique_ptr<RecoverySession> drives, const WizardState& state);
    void OnCopyEnded(bool completed);
    void ShowNextMatch();
    void ShowMatch(NodeId match);
    // Marks every match of the finder's pattern; returns how many there were.
    std::size_t MarkAllMatches(const QString& pattern, bool ignoreCase);
    void ClearFind();
    // False (the user told why) when a loaded catalogue's source no longer holds its
    // fingerprint sector: nothing may then read the source by that catalogue.
    bool SourceStillMatches();
    // The destination of a save, opened; null (the user told why) when it cannot be used.
    std::unique_ptr<SaveDestination> OpenSaveDestination();
    void OnSaveDone();
    QAction* AddCommand(int id, const QString& text, const QKeySequence& shortcut);
    void LogNow(const std::string& process, const std::string& description, int icon,
                const std::string& time);

    RecoverySession& m_session;
    Prompter m_prompter{this};
    HelpWindow* m_help = nullptr; // made when help is first asked for; a child of the frame
    GuiEvents m_events{*this};
    std::map<int, QAction*> m_commands;
    QActionGroup* m_viewModes = nullptr;
    QActionGroup* m_themes = nullptr;
    ProcessLogView* m_log = nullptr;
    FolderTreeModel m_treeModel;
    FileListModel m_listModel;
    QTreeView* m_treeView = nullptr;
    ListPane* m_listPane = nullptr;
    QLabel* m_panes[3] = {};
    bool m_prompting = false; // pane 0 shows a command's prompt
    QString m_pane0;          // pane 0's own text meanwhile
    QProgressBar* m_progress = nullptr;
    QTimer* m_refresh = nullptr;
    QThread* m_worker = nullptr;
    CloneDialog* m_copy = nullptr;
    std::unique_ptr<CatalogFinder> m_finder; // the walk of the last Find, until it ends
    NodeId m_findPosition = kNoNode;
    std::unique_ptr<SaveDestination> m_saveTo; // while a save runs, and until its scripts
    std::unique_ptr<SaveSummary> m_saved;      // what the save did
    std::atomic<long> m_workerThreadId{0};
    bool m_running = false;
    bool m_turboScanAllowed = false;
    bool m_scanInfoSaved = true;
};

} // namespace twl::gui
