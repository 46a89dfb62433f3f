// The commands of the main frame: their menus, the "Standard" toolbar, their enabling rules,
// and the four looks.

#include "app/AboutBox.h"
#include "app/CommandTexts.h"
#include "app/MainFrame.h"
#include "app/TipOfTheDay.h"
#include "dialogs/HelpWindow.h"
#include "models/ItemIcons.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTableView>
#include <QToolBar>
#include <memory>

namespace twl::gui {

QAction* MainFrame::AddCommand(int id, const QString& text, const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    action->setData(id);
    if (const CommandText* about = FindCommandText(id)) {
        action->setStatusTip(about->prompt);
        action->setToolTip(QString("<b>%1</b><br>%2").arg(about->title, about->prompt));
        if (about->icon[0] != '\0')
            action->setIcon(NamedIcon(about->icon));
    }
    m_commands[id] = action;
    return action;
}

void MainFrame::BuildCommands() {
    connect(AddCommand(kCmdWizard, "Wizard ", QKeySequence("Ctrl+W")), &QAction::triggered, this,
            [this] { RunWizard(WizardEntry::kCommand); });
    connect(AddCommand(kCmdOpenScanInfo, "Open Scan Information", QKeySequence("Ctrl+O")),
            &QAction::triggered, this, &MainFrame::OpenScanInformation);
    connect(
        AddCommand(kCmdOpenFoundDrive, "Open found Logical Drive", QKeySequence("Ctrl+Shift+O")),
        &QAction::triggered, this, [this] { RunWizard(WizardEntry::kFoundDrive); });
    connect(AddCommand(kCmdExit, "Exit", QKeySequence("Alt+F4")), &QAction::triggered, this,
            &QWidget::close);
    connect(AddCommand(kCmdFind, "Find", QKeySequence("Ctrl+F")), &QAction::triggered, this,
            &MainFrame::Find);
    connect(AddCommand(kCmdFindNext, "Find Next", QKeySequence("F3")), &QAction::triggered, this,
            &MainFrame::FindNext);
    connect(AddCommand(kCmdSaveChecked, "Save Checked", QKeySequence("Ctrl+S")),
            &QAction::triggered, this, [this] { SaveFiles(true); });
    connect(AddCommand(kCmdSaveAll, "Save All", QKeySequence("Ctrl+Shift+S")), &QAction::triggered,
            this, [this] { SaveFiles(false); });
    connect(AddCommand(kCmdSaveScanInfo, "Save Scan Information", QKeySequence("Ctrl+I")),
            &QAction::triggered, this, &MainFrame::SaveScanInformation);
    connect(AddCommand(kCmdStop, "Stop", QKeySequence("F4")), &QAction::triggered, this,
            &MainFrame::Stop);
    connect(AddCommand(kCmdTurboScan, "Turbo Scan", QKeySequence("Ctrl+T")), &QAction::triggered,
            this, &MainFrame::TurboScan);
    connect(AddCommand(kCmdClearLog, "Cl&ear Process  Log", {}), &QAction::triggered, this, [this] {
        m_log->clear();
        UpdateCommands();
    });
    connect(AddCommand(kCmdSaveLog, "Sa&ve Process Log", {}), &QAction::triggered, this,
            [this] { m_log->Save(m_prompter); });
    for (const auto& [id, text] :
         {std::pair{kCmdToolbar, "&Toolbar"}, std::pair{kCmdStatusBar, "&Status Bar"}}) {
        QAction* toggle = AddCommand(id, text, {});
        toggle->setCheckable(true);
        toggle->setChecked(true);
    }
    m_viewModes = new QActionGroup(this);
    for (const auto& [id, text] :
         {std::pair{kCmdLargeIcons, "&Large Icons"}, std::pair{kCmdSmallIcons, "S&mall Icons"},
          std::pair{kCmdList, "L&ist"}, std::pair{kCmdDetails, "&Details"}}) {
        QAction* mode = m_viewModes->addAction(AddCommand(id, text, {}));
        mode->setCheckable(true);
        connect(mode, &QAction::triggered, this, [this, id = id] { SetViewMode(id); });
    }
    Command(kCmdDetails)->setChecked(true);
    m_themes = new QActionGroup(this);
    for (const auto& [id, text] :
         {std::pair{kCmdOffice2000, "Office 2000"}, std::pair{kCmdOffice2003, "Office 2003"},
          std::pair{kCmdOfficeXp, "Office XP"}, std::pair{kCmdNativeXp, "Native XP"}}) {
        QAction* look = m_themes->addAction(AddCommand(id, text, {}));
        look->setCheckable(true);
        connect(look, &QAction::triggered, this, [this, id = id] { SetLook(id); });
    }
    Command(kCmdOffice2003)->setChecked(true);
    connect(AddCommand(kCmdHelpContents, "&Contents", QKeySequence("F1")), &QAction::triggered,
            this, [this] { ShowHelpTopic(kHelpContents); });
    connect(AddCommand(kCmdTips, "Show Tips at &Startup", {}), &QAction::triggered, this,
            &MainFrame::ShowTips);
    // The menu has always shown Ctrl+B for About; it now also works.
    connect(AddCommand(kCmdAbout, "About Tarnwell Linux...", QKeySequence("Ctrl+B")),
            &QAction::triggered, this, [this] {
                AboutBox about(this);
                m_prompter.RunDialog(about);
            });
}

void MainFrame::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    for (const int id : {kCmdWizard, kCmdOpenScanInfo, kCmdOpenFoundDrive})
        file->addAction(Command(id));
    file->addSeparator();
    file->addAction(Command(kCmdExit));
    QMenu* tools = menuBar()->addMenu("&Tools");
    for (const int id : {kCmdFind, kCmdFindNext, kCmdSaveChecked, kCmdSaveAll, kCmdSaveScanInfo,
                         kCmdStop, kCmdTurboScan, kCmdClearLog, kCmdSaveLog})
        tools->addAction(Command(id));
    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(Command(kCmdToolbar));
    view->addAction(Command(kCmdStatusBar));
    view->addSeparator();
    for (const int id : {kCmdLargeIcons, kCmdSmallIcons, kCmdList, kCmdDetails})
        view->addAction(Command(id));
    QMenu* themes = view->addMenu("Themes");
    for (const int id : {kCmdOffice2000, kCmdOffice2003, kCmdOfficeXp, kCmdNativeXp})
        themes->addAction(Command(id));
    QMenu* help = menuBar()->addMenu("&Help");
    for (const int id : {kCmdHelpContents, kCmdTips, kCmdAbout})
        help->addAction(Command(id));
}

void MainFrame::BuildToolbar() {
    QToolBar* standard = addToolBar("Standard");
    standard->setObjectName("Standard");
    standard->addAction(Command(kCmdWizard));
    standard->addSeparator();
    standard->addAction(Command(kCmdTurboScan));
    standard->addSeparator();
    standard->addAction(Command(kCmdFind));
    standard->addAction(Command(kCmdFindNext));
    standard->addSeparator();
    standard->addAction(Command(kCmdSaveAll));
    standard->addAction(Command(kCmdSaveChecked));
    standard->addSeparator();
    standard->addAction(Command(kCmdStop));
    standard->addSeparator();
    standard->addAction(Command(kCmdHelpContents));
    connect(Command(kCmdToolbar), &QAction::toggled, standard, &QWidget::setVisible);
    // Hidden from its context menu too: the tick follows.
    connect(standard, &QToolBar::visibilityChanged, Command(kCmdToolbar), &QAction::setChecked);
    connect(Command(kCmdStatusBar), &QAction::toggled, statusBar(), &QWidget::setVisible);
}

void MainFrame::ShowHelpTopic(const QString& topic) {
    if (m_help == nullptr)
        m_help = new HelpWindow(this);
    m_help->ShowTopic(topic);
}

void MainFrame::ShowTips() {
    TipOfTheDay tips(this);
    m_prompter.RunDialog(tips);
}

// Enabling rules of the commands.
void MainFrame::UpdateCommands() {
    const bool treeHasItems = m_treeModel.rowCount() > 0;
    const bool logHasRows = m_log->topLevelItemCount() > 0;
    for (const int id : {kCmdSaveChecked, kCmdSaveAll})
        Command(id)->setEnabled(treeHasItems && !m_running);
    Command(kCmdFind)->setEnabled(treeHasItems);
    Command(kCmdFindNext)->setEnabled(treeHasItems && m_finder != nullptr);
    const bool volumesFound =
        !m_session.Lists().partitions.entries.empty() || !m_session.Lists().found.entries.empty();
    Command(kCmdWizard)->setEnabled(!m_running);
    Command(kCmdOpenFoundDrive)->setEnabled(!m_running && volumesFound);
    Command(kCmdOpenScanInfo)->setEnabled(!m_running);
    Command(kCmdSaveScanInfo)->setEnabled(treeHasItems);
    Command(kCmdStop)->setEnabled(m_running);
    Command(kCmdTurboScan)->setEnabled(m_turboScanAllowed && !m_running);
    Command(kCmdClearLog)->setEnabled(logHasRows);
    Command(kCmdSaveLog)->setEnabled(logHasRows);
    if (centralWidget() != nullptr)
        centralWidget()->setCursor(m_running ? Qt::WaitCursor : Qt::ArrowCursor);
}

// Four looks of the program's own, one per theme command: not kept between runs.
void MainFrame::SetLook(int themeId) {
    // A style made only to give its palette is ours to delete.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    QPalette palette = fusion->standardPalette();
    QString style = "Fusion";
    switch (themeId) {
    case kCmdOffice2000:
        palette.setColor(QPalette::Window, QColor(212, 208, 200));
        palette.setColor(QPalette::Button, QColor(212, 208, 200));
        break;
    case kCmdOffice2003:
        palette.setColor(QPalette::Window, QColor(221, 236, 254));
        palette.setColor(QPalette::Button, QColor(196, 218, 250));
        palette.setColor(QPalette::Highlight, QColor(49, 106, 197));
        break;
    case kCmdOfficeXp:
        palette.setColor(QPalette::Window, QColor(246, 246, 246));
        palette.setColor(QPalette::Highlight, QColor(182, 189, 210));
        palette.setColor(QPalette::HighlightedText, Qt::black);
        break;
    default:
        style = "Windows";
        palette.setColor(QPalette::Window, QColor(236, 233, 216));
        break;
    }
    QApplication::setStyle(QStyleFactory::create(style));
    QApplication::setPalette(palette);
}

} // namespace twl::gui
