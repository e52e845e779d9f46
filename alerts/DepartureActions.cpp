#include "alerts/DepartureActions.h"

#include <cwchar>
#include <string>
#include "alerts/NewDeviceActions.h"
#include "alerts/TrayIconControl.h"
#include "lang/Strings.h"
#include "resource.h"
#include "settings/Settings.h"

namespace nw {

// On the window thread from the scan handler. The names in the command line
// went through the same quoting as the new-device command, so a stranger's
// name starts nothing.
void DepartureActions::Run(const DepartedDevice* devices, int count, const Settings& settings,
                           TrayIconControl& tray, HICON balloonIcon) {
    const bool execute = settings.presence.UseDepartedDeviceExecute != 0;
    const bool balloon = settings.presence.BalloonOnDeparted && settings.TrayIcon;
    if (count <= 0 || (!execute && !balloon)) return;
    balloon_.Clear();
    const std::wstring templ(settings.presence.DepartedDeviceExecute,
                             wcsnlen(settings.presence.DepartedDeviceExecute, kTemplateChars));
    std::wstring expanded;
    for (int i = 0; i < count; ++i) {
        if (!devices[i].record) continue;
        DeviceTextBuffers buffers;
        const DeviceTexts texts = DeviceTextsOf(*devices[i].record, buffers);
        if (execute) {
            ExpandDepartureVariables(templ.c_str(), texts, devices[i].lastSeen, expanded);
            StartAlertCommand(expanded.c_str());
        }
        if (balloon) balloon_.AddDevice(texts);
    }
    if (balloon && balloon_.Length() > 0) {
        tray.ShowBalloon(balloon_.Text(), GetString(IDS_BALLOON_DEPARTED_TITLE), balloonIcon);
        balloonShown_ = true;
    }
}

void DepartureActions::RemoveBalloonIfShown(TrayIconControl& tray) {
    if (!balloonShown_) return;
    tray.ShowBalloon(L"", L"", nullptr);
    balloonShown_ = false;
}

}  // namespace nw
