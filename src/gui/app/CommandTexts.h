#pragma once

// What the program says about each command: the prompt shown in the status bar while the
// pointer is on it, the title of its tooltip, and the name of its icon.

namespace twl::gui {

struct CommandText {
    int id;
    const char* prompt; // the status-bar prompt, and the tooltip's description
    const char* title;  // the tooltip's title
    const char* icon;   // an icon of the program's set; "" for none
};

// The texts of command `id`; null for an id that has none.
const CommandText* FindCommandText(int id);

} // namespace twl::gui
