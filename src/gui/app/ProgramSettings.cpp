#include "app/ProgramSettings.h"

#include <QSettings>

namespace twl::gui {
namespace {

constexpr char kStore[] = "Tarnwell Linux";
constexpr char kWizardStartUp[] = "TW-Linux_Wizard/TW-Linux_StartUp";
constexpr char kTipsStartUp[] = "Tips/ShowAtStartup";

} // namespace

bool RunWizardOnStartup() {
    return QSettings(kStore, kStore).value(kWizardStartUp, 0).toInt() != 0;
}

void SetRunWizardOnStartup(bool on) {
    QSettings(kStore, kStore).setValue(kWizardStartUp, on ? 1 : 0);
}

bool ShowTipsAtStartup() {
    return QSettings(kStore, kStore).value(kTipsStartUp, 1).toInt() != 0;
}

void SetShowTipsAtStartup(bool on) {
    QSettings(kStore, kStore).setValue(kTipsStartUp, on ? 1 : 0);
}

} // namespace twl::gui
