#include "app/CommandTexts.h"

#include "app/MainFrame.h"

#include <algorithm>
#include <iterator>

namespace twl::gui {
namespace {

constexpr CommandText kTexts[] = {
    {kCmdWizard, "Starts the recovery wizard", "Wizard", "wizard"},
    {kCmdOpenScanInfo, "Opens a saved scan information file", "Open Scan Information",
     "open-scan-info"},
    {kCmdOpenFoundDrive, "Opens a logical drive found by the last scan", "Open found Logical Drive",
     "open-found-drive"},
    {kCmdExit, "Quits the application", "Exit", "exit"},
    {kCmdFind, "Finds specified files/folders", "Find", "find"},
    {kCmdFindNext, "Finds the next matching file/folder", "Find Next", "find-next"},
    {kCmdSaveChecked, "Saves the marked files/folders", "Save Checked", "save-checked"},
    {kCmdSaveAll, "Saves every file/folder of the tree", "Save All", "save-all"},
    {kCmdSaveScanInfo, "Saves the scan information to a file", "Save Scan Information",
     "save-scan-info"},
    {kCmdStop, "Stops running process", "Stop", "stop"},
    {kCmdTurboScan, "Searches for lost files/folders", "Turbo Scan", "turbo-scan"},
    {kCmdClearLog, "Clears the process log", "Clear Process Log", "clear-log"},
    {kCmdSaveLog, "Saves the process log as a text file", "Save Process Log", "save-log"},
    {kCmdToolbar, "Shows or hides the toolbar", "Toggle Toolbar", ""},
    {kCmdStatusBar, "Shows or hides the status bar", "Toggle Status Bar", ""},
    {kCmdLargeIcons, "Displays items by using large icons", "Large Icons", "view-large-icons"},
    {kCmdSmallIcons, "Displays items by using small icons", "Small Icons", "view-small-icons"},
    {kCmdList, "Displays items in a list", "List", "view-list"},
    {kCmdDetails, "Displays detailed information about each item", "Details", "view-details"},
    {kCmdOffice2000, "Shows the program in the Office 2000 look", "Office 2000", ""},
    {kCmdOffice2003, "Shows the program in the Office 2003 look", "Office 2003", ""},
    {kCmdOfficeXp, "Shows the program in the Office XP look", "Office XP", ""},
    {kCmdNativeXp, "Shows the program in the Native XP look", "Native XP", ""},
    {kCmdHelpContents, "Shows the help contents", "Help Contents", "help-contents"},
    {kCmdTips, "Shows the tip of the day", "Tip of the Day", ""},
    {kCmdAbout, "Displays program information and version", "About", "about"},
};

} // namespace

const CommandText* FindCommandText(int id) {
    const auto it = std::find_if(std::begin(kTexts), std::end(kTexts),
                                 [id](const CommandText& text) { return text.id == id; });
    return it == std::end(kTexts) ? nullptr : it;
}

} // namespace twl::gui
