#pragma once

// The program's per-user settings store ("Tarnwell Linux" / "Tarnwell Linux" in the user's
// configuration folder): the wizard's run-on-startup flag and the tip of the day's
// show-at-startup flag. Nothing else of the program is kept between runs.

namespace twl::gui {

// Section "TW-Linux_Wizard", entry "TW-Linux_StartUp": any non-zero value means on; off
// when missing.
bool RunWizardOnStartup();
void SetRunWizardOnStartup(bool on);

// Whether the tip of the day opens at start; on when missing.
bool ShowTipsAtStartup();
void SetShowTipsAtStartup(bool on);

} // namespace twl::gui
