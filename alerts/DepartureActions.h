// The announcements of devices that have left: the departure command, run
// once per device with the new-device variables and "%device_last_seen%",
// and an optional balloon that names them.
#pragma once
#include <windows.h>
#include "alerts/TemplateExpansion.h"

namespace nw {

class TrayIconControl;
struct DeviceRecord;
struct Settings;

struct DepartedDevice {
    const DeviceRecord* record;
    const wchar_t* lastSeen;   // the time of its last answer, as the command gets it
};

class DepartureActions {
public:
    void Run(const DepartedDevice* devices, int count, const Settings& settings, TrayIconControl& tray,
             HICON balloonIcon);
    // Replaces a balloon shown by Run with an empty one and clears the mark.
    void RemoveBalloonIfShown(TrayIconControl& tray);
    bool BalloonShown() const { return balloonShown_; }

private:
    bool balloonShown_ = false;
    BalloonText balloon_;
};

}  // namespace nw
