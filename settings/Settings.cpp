#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "base/Text.h"
#include "mqtt/MqttClient.h"
#include <cstdint>
#include <string>

namespace nw {

namespace {
Settings* g_settings = nullptr;
const wchar_t kDefaultSpeak[] = L"%device_desc% is here";
// The size given to the text keys: one unit less than the buffers, so a read
// keeps at most 1,022 characters.
constexpr size_t kTemplateKeySize = kTemplateChars - 1;
const wchar_t kDefaultMqttTopic[] = L"nearwatch";

// A 0/1 key read from a hand-edited file: anything else is 1 when not 0.
int32_t ZeroOrOne(int32_t value) { return value != 0 ? 1 : 0; }
}  // namespace

Settings* AppSettings() { return g_settings; }
void SetAppSettings(Settings* settings) { g_settings = settings; }

void ApplyDefaultSettings(Settings& s) {
    s.ShowGridLines = 0;
    s.SaveFilterIndex = 0;
    s.ShowInfoTip = 1;
    s.TrayIcon = 1;
    s.SortOnEveryUpdate = 1;
    s.DisplayBalloonOnNewDevice = 1;
    s.OpenWindowOnNewDevice = 0;
    s.BeepOnNewDevice = 0;
    s.MarkNewDevices = 1;
    s.DevicesAlertOnlyWithDesc = 0;
    s.AutoSetDeviceDescription = 1;
    s.UpdateRate = 1;
    CopyText(s.alerts.NewDeviceExecute, L"");
    s.alerts.UseNewDeviceExecute = 0;
    CopyText(s.alerts.NewDeviceSpeak, kDefaultSpeak);
    s.alerts.UseNewDeviceSpeak = 0;
    s.presence.DepartAfterScans = kDepartAfterScansDefault;
    s.presence.UseDepartedDeviceExecute = 0;
    CopyText(s.presence.DepartedDeviceExecute, L"");
    s.presence.BalloonOnDeparted = 0;
    s.presence.KeepHistoryLog = 0;
    ZeroMemory(&s.mqtt, sizeof s.mqtt);
    CopyText(s.mqtt.Topic, kDefaultMqttTopic);
    s.scanLowEnergy = 1;
    s.forgetPrivateAfterMinutes = kForgetPrivateDefault;
}

void ExchangeSettings(SettingsStore& store, Settings& s) {
    store.ExchangeBool(L"ShowGridLines", s.ShowGridLines, 0);
    store.ExchangeInt(L"SaveFilterIndex", s.SaveFilterIndex, 0);
    store.ExchangeBool(L"ShowInfoTip", s.ShowInfoTip, 1);
    store.ExchangeBool(L"TrayIcon", s.TrayIcon, 1);
    store.ExchangeBool(L"SortOnEveryUpdate", s.SortOnEveryUpdate, 1);
    store.ExchangeBool(L"DisplayBalloonOnNewDevice", s.DisplayBalloonOnNewDevice, 1);
    store.ExchangeBool(L"OpenWindowOnNewDevice", s.OpenWindowOnNewDevice, 0);
    store.ExchangeBool(L"BeepOnNewDevice", s.BeepOnNewDevice, 0);
    store.ExchangeBool(L"MarkNewDevices", s.MarkNewDevices, 1);
    store.ExchangeBool(L"DevicesAlertOnlyWithDesc", s.DevicesAlertOnlyWithDesc, 0);
    store.ExchangeBool(L"AutoSetDeviceDescription", s.AutoSetDeviceDescription, 1);
    uint32_t rate = static_cast<uint32_t>(s.UpdateRate);
    store.ExchangeUInt(L"UpdateRate", rate, 1);
    s.UpdateRate = static_cast<int32_t>(rate);
    store.ExchangeString(L"NewDeviceExecute", s.alerts.NewDeviceExecute, L"", kTemplateKeySize);
    store.ExchangeBool(L"UseNewDeviceExecute", s.alerts.UseNewDeviceExecute, 0);
    store.ExchangeString(L"NewDeviceSpeak", s.alerts.NewDeviceSpeak, kDefaultSpeak, kTemplateKeySize);
    store.ExchangeBool(L"UseNewDeviceSpeak", s.alerts.UseNewDeviceSpeak, 0);
}

void ExchangePresenceSettings(SettingsStore& store, Settings& s) {
    store.ExchangeInt(L"DepartAfterScans", s.presence.DepartAfterScans, kDepartAfterScansDefault);
    // A hand-edited count outside 1-99 takes the nearest end of the range.
    if (s.presence.DepartAfterScans < kDepartAfterScansMin) s.presence.DepartAfterScans = kDepartAfterScansMin;
    if (s.presence.DepartAfterScans > kDepartAfterScansMax) s.presence.DepartAfterScans = kDepartAfterScansMax;
    store.ExchangeBool(L"UseDepartedDeviceExecute", s.presence.UseDepartedDeviceExecute, 0);
    store.ExchangeString(L"DepartedDeviceExecute", s.presence.DepartedDeviceExecute, L"", kTemplateKeySize);
    store.ExchangeBool(L"BalloonOnDeparted", s.presence.BalloonOnDeparted, 0);
    store.ExchangeBool(L"KeepHistoryLog", s.presence.KeepHistoryLog, 0);
}

void ExchangeLowEnergySettings(SettingsStore& store, Settings& s) {
    store.ExchangeBool(L"ScanLowEnergy", s.scanLowEnergy, 1);
    store.ExchangeInt(L"ForgetPrivateAfterMinutes", s.forgetPrivateAfterMinutes, kForgetPrivateDefault);
    // A hand-edited value outside 1-1440 takes the nearest end of the range.
    if (s.forgetPrivateAfterMinutes < kForgetPrivateMin) s.forgetPrivateAfterMinutes = kForgetPrivateMin;
    if (s.forgetPrivateAfterMinutes > kForgetPrivateMax) s.forgetPrivateAfterMinutes = kForgetPrivateMax;
}

void ExchangeMqttSettings(SettingsStore& store, Settings& s) {
    MqttBlock& m = s.mqtt;
    if (store.Writing() && m.ClearPassword[0]) {
        // Sealed now; when sealing fails the password is not kept at all
        // rather than written in clear.
        std::string clear(kMqttPasswordChars * 3, '\0');
        const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, m.ClearPassword, -1, clear.data(),
                                                static_cast<int>(clear.size()), nullptr, nullptr);
        clear.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
        const std::wstring sealed = clear.empty() ? std::wstring() : mqtt::SealPassword(clear);
        SecureZeroMemory(clear.data(), clear.size());
        CopyText(m.PasswordSealed, sealed.c_str());
        SecureZeroMemory(m.ClearPassword, sizeof m.ClearPassword);
    }
    store.ExchangeString(L"MqttServer", m.Server, L"", kMqttServerChars);
    store.ExchangeBool(L"MqttTls", m.Tls, 0);
    m.Tls = ZeroOrOne(m.Tls);
    store.ExchangeString(L"MqttTlsPin", m.TlsPin, L"", kMqttPinChars);
    store.ExchangeString(L"MqttUser", m.User, L"", kMqttUserChars);
    store.ExchangeString(L"MqttPasswordSealed", m.PasswordSealed, L"", kMqttSealedChars);
    if (!store.Writing()) {
        // For tests and scripts: a clear password, taken once.
        m.ClearPassword[0] = 0;
        wchar_t clear[kMqttPasswordChars];
        store.ExchangeString(L"MqttPassword", clear, L"", kMqttPasswordChars);
        CopyText(m.ClearPassword, clear);
        SecureZeroMemory(clear, sizeof clear);
    }
    store.ExchangeString(L"MqttNode", m.Node, L"", kMqttNodeChars);
    store.ExchangeString(L"MqttTopic", m.Topic, kDefaultMqttTopic, kMqttTopicChars);
    store.ExchangeBool(L"MqttDiscovery", m.Discovery, 0);
    m.Discovery = ZeroOrOne(m.Discovery);
    store.ExchangeBool(L"MqttDiscoveryAll", m.DiscoveryAll, 0);
    m.DiscoveryAll = ZeroOrOne(m.DiscoveryAll);
}

static_assert(sizeof(WINDOWPLACEMENT) == 44, "WinPos holds exactly 44 bytes");

bool ExchangeWindowPlacement(SettingsStore& store, WINDOWPLACEMENT& placement) {
    // A short or missing value must not leave stale bytes that would pass
    // the plausibility test.
    if (!store.Writing()) ZeroMemory(&placement, sizeof(placement));
    return store.ExchangeBytes(L"WinPos", &placement, sizeof(placement));
}

bool IsPlacementPlausible(const WINDOWPLACEMENT& p, int screenWidth, int screenHeight) {
    // 64-bit arithmetic: the values come from a file and may be anything.
    const int64_t left = p.rcNormalPosition.left;
    const int64_t top = p.rcNormalPosition.top;
    const int64_t right = p.rcNormalPosition.right;
    const int64_t bottom = p.rcNormalPosition.bottom;
    return right - left > 20 && bottom - top > 20 && right > 5 && top >= -10 &&
           left + 20 < screenWidth && top + 20 < screenHeight && p.showCmd != 0;
}

}  // namespace nw
