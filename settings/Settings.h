// The one record of every option, and the key list that loads and saves it
// through a SettingsStore (settings/SettingsStore.h).
#pragma once
#include <windows.h>
#include <cstdint>

namespace nw {

class SettingsStore;

constexpr int kTemplateChars = 1024;   // NewDeviceExecute / NewDeviceSpeak buffers
constexpr int32_t kDepartAfterScansDefault = 3;   // DepartAfterScans: default and range
constexpr int32_t kDepartAfterScansMin = 1;
constexpr int32_t kDepartAfterScansMax = 99;
constexpr int32_t kForgetPrivateDefault = 5;      // ForgetPrivateAfterMinutes: default and range
constexpr int32_t kForgetPrivateMin = 1;
constexpr int32_t kForgetPrivateMax = 1440;

// The new-device templates: the advanced-options dialog copies this block
// out, edits the copy and copies it back as a unit.
struct AlertBlock {
    wchar_t NewDeviceExecute[kTemplateChars];
    wchar_t NewDeviceSpeak[kTemplateChars];
    int32_t UseNewDeviceExecute;
    int32_t UseNewDeviceSpeak;
};

// Departures and the history log; the advanced-options dialog edits this
// block as a unit beside the alert block.
struct PresenceBlock {
    wchar_t DepartedDeviceExecute[kTemplateChars];
    int32_t DepartAfterScans;           // 1-99
    int32_t UseDepartedDeviceExecute;
    int32_t BalloonOnDeparted;
    int32_t KeepHistoryLog;
};

// Publishing to an MQTT broker (publish/); the MQTT dialog edits this block
// as a unit.
constexpr size_t kMqttServerChars = 256;
constexpr size_t kMqttPinChars = 128;        // 64 hex digits and the colons between pairs
constexpr size_t kMqttUserChars = 128;
constexpr size_t kMqttPasswordChars = 128;
constexpr size_t kMqttSealedChars = 2048;    // base64 of the sealed blob
constexpr size_t kMqttNodeChars = 65;
constexpr size_t kMqttTopicChars = 129;
struct MqttBlock {
    wchar_t Server[kMqttServerChars];        // "host" or "host:port"; empty: off
    int32_t Tls;
    wchar_t TlsPin[kMqttPinChars];
    wchar_t User[kMqttUserChars];
    wchar_t PasswordSealed[kMqttSealedChars];
    wchar_t Node[kMqttNodeChars];            // empty: the computer's name
    wchar_t Topic[kMqttTopicChars];
    int32_t Discovery;
    int32_t DiscoveryAll;
    // Run-time only: a password typed in the dialog, or "MqttPassword" of a
    // hand-edited file, sealed when the configuration is next saved.
    wchar_t ClearPassword[kMqttPasswordChars];
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
    PresenceBlock presence;
    MqttBlock mqtt;
    int32_t scanLowEnergy;               // 0/1: watch LE advertisements too
    int32_t forgetPrivateAfterMinutes;   // 1-1440: rows of private addresses silent this long go
};

// The process-wide settings record (owned by the main window). The merge and
// the row drawing read it.
Settings* AppSettings();
void SetAppSettings(Settings* settings);

// Every key's default (used when nothing is loaded, e.g. /nosaveload).
// ListFont is left as it is.
void ApplyDefaultSettings(Settings& settings);

// The sixteen option keys in file order, in the store's direction; a read
// gives absent keys their defaults.
void ExchangeSettings(SettingsStore& store, Settings& settings);

// The departure and history keys, written after every older key (the
// column keys included); a file from before them loads their defaults.
void ExchangePresenceSettings(SettingsStore& store, Settings& settings);

// The MQTT keys, after the presence keys. A write seals a clear password
// first and never writes one in clear ("MqttPassword" is only ever read).
void ExchangeMqttSettings(SettingsStore& store, Settings& settings);
// The Low Energy keys, written after the departure and history keys.
void ExchangeLowEnergySettings(SettingsStore& store, Settings& settings);

// "WinPos": the 44-byte placement. A read zero-fills it first and returns
// whether the key held text; a write returns the write result.
bool ExchangeWindowPlacement(SettingsStore& store, WINDOWPLACEMENT& placement);

// Whether a loaded placement may be applied on a screen of this size.
bool IsPlacementPlausible(const WINDOWPLACEMENT& placement, int screenWidth, int screenHeight);

}  // namespace nw
