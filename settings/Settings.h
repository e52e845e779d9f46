// The one record of every option, and the INI exchanger that loads and saves
// it through one list of calls.
#pragma once
#include <windows.h>
#include <cstdint>

namespace nw {

constexpr int kTemplateChars = 1024;   // NewDeviceExecute / NewDeviceSpeak buffers

// The new-device templates: the advanced-options dialog copies this block
// out, edits the copy and copies it back as a unit.
struct AlertBlock {
    wchar_t NewDeviceExecute[kTemplateChars];
    wchar_t NewDeviceSpeak[kTemplateChars];
    int32_t UseNewDeviceExecute;
    int32_t UseNewDeviceSpeak;
};

struct Settings {
    int32_t ShowGridLines;
    int32_t ShowInfoTip;
    int32_t TrayIcon;
    int32_t SortOnEveryUpdate;
    int32_t DisplayBalloonOnNewDevice;
    int32_t OpenWindowOnNewDevice;
    int32_t BeepOnNewDevice;
    int32_t MarkNewDevices;
    int32_t DevicesAlertOnlyWithDesc;
    int32_t AutoSetDeviceDescription;
    LOGFONTW ListFont;          // run-time only; empty face = the list's default font
    int32_t UpdateRate;         // 1 high, 2 medium, 3 low
    AlertBlock alerts;
    int32_t SaveFilterIndex;
};

// The process-wide settings record (owned by the main window). The merge and
// the row drawing read it.
Settings* AppSettings();
void SetAppSettings(Settings* settings);

}  // namespace nw
