// Fuzzing the configuration file: every option key, "WinPos", "Columns" and
// "Sort" read from a damaged file, written back, and read again.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "TestFolder.h"
#include "discovery/DeviceTable.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"
#include "unit/listview_testsupport.h"

namespace {

using namespace nw::fuzz;

// Everything a start reads from the file.
struct Loaded {
    nw::Settings settings;
    WINDOWPLACEMENT placement;
    listtest::ListWindow window;
    nw::DeviceTable table;

    Loaded() {
        std::memset(&settings, 0x5A, sizeof settings);   // every key must be given a value
        std::memset(&placement, 0x5A, sizeof placement);
        table.Attach(window.List());
        table.InsertColumns();
    }
    void Exchange(nw::SettingsStore& store) {
        nw::ExchangeSettings(store, settings);
        nw::ExchangeWindowPlacement(store, placement);
        table.ExchangeColumnSettings(store);
        nw::ExchangePresenceSettings(store, settings);
        nw::ExchangeMqttSettings(store, settings);
    }
    void Read(const std::wstring& path) {
        nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
        Exchange(store);
    }
    bool Write(const std::wstring& path) {
        nw::SettingsStore store(nw::SettingsStore::Write, path.c_str());
        Exchange(store);
        return store.Commit();
    }
};

// The options as the file holds them, one line each, for comparing.
std::string OptionsText(const nw::Settings& s) {
    const int32_t flags[] = {s.ShowGridLines, s.ShowInfoTip, s.TrayIcon, s.SortOnEveryUpdate,
                             s.DisplayBalloonOnNewDevice, s.OpenWindowOnNewDevice, s.BeepOnNewDevice,
                             s.MarkNewDevices, s.DevicesAlertOnlyWithDesc, s.AutoSetDeviceDescription,
                             s.UpdateRate, s.alerts.UseNewDeviceExecute, s.alerts.UseNewDeviceSpeak,
                             s.SaveFilterIndex, s.presence.DepartAfterScans, s.presence.UseDepartedDeviceExecute,
                             s.presence.BalloonOnDeparted, s.presence.KeepHistoryLog, s.mqtt.Tls,
                             s.mqtt.Discovery, s.mqtt.DiscoveryAll};
    std::string out;
    for (int32_t f : flags) out += std::to_string(f) + " ";
    auto append = [&out](const wchar_t* text) {
        out += "|";
        for (size_t i = 0; i < nw::kTemplateChars && text[i]; ++i) out += std::to_string(text[i]) + ",";
    };
    append(s.alerts.NewDeviceExecute);
    append(s.alerts.NewDeviceSpeak);
    append(s.presence.DepartedDeviceExecute);
    for (const wchar_t* text : {s.mqtt.Server, s.mqtt.TlsPin, s.mqtt.User, s.mqtt.PasswordSealed, s.mqtt.Node,
                                s.mqtt.Topic})
        append(text);
    return out;
}

std::string FileBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes = nw::test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Reads a damaged file the way a start does, then checks the file the exit
// writes: no fault, texts within their buffers, and the written file reads
// back to exactly the same options, placement, layout and sort key, and is
// written again byte for byte alike.
TEST(ConfigurationFuzz, DamagedFilesReadWithinBoundsAndWriteBackWhole) {
    const uint64_t seed = Seed(0x434F4E4649470000ull);
    const int rounds = Rounds(60);
    Rng rng(seed);
    nw::test::TempFolder folder;

    // Seeds: a file the program wrote with every key away from its default,
    // and a short hand-edited 8-bit one.
    std::vector<std::string> seeds;
    {
        const std::wstring path = folder.File(L"seed.cfg");
        Loaded l;
        nw::ApplyDefaultSettings(l.settings);
        l.settings.ShowGridLines = 1;
        l.settings.UpdateRate = 3;
        l.settings.SaveFilterIndex = 6;
        wcscpy(l.settings.alerts.NewDeviceExecute, L"\"C:\\Tools\\log.exe\" \"%device_name%\"");
        wcscpy(l.settings.alerts.NewDeviceSpeak, L" %device_desc% is here ");
        wcscpy(l.settings.presence.DepartedDeviceExecute, L"'C:\\Tools\\gone.exe'");
        l.settings.presence.DepartAfterScans = 7;
        l.settings.presence.KeepHistoryLog = 1;
        wcscpy(l.settings.mqtt.Server, L"broker.example:8883");
        l.settings.mqtt.Tls = 1;
        wcscpy(l.settings.mqtt.Node, L"Living room/+#");
        wcscpy(l.settings.mqtt.Topic, L"/home//nw/");
        l.settings.mqtt.Discovery = 1;
        l.table.SetSortKey(2 | nw::kSortDescending);
        ASSERT_TRUE(l.Write(path));
        seeds.push_back(FileBytes(path));
    }
    seeds.push_back("[General]\r\nShowGridLines=1\r\nUpdateRate=2\r\nNewDeviceSpeak='hi'\r\n"
                    "WinPos=2C 00 00 00 00 00 00 00 01 00 00 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
                    "0A 00 00 00 0A 00 00 00 00 03 00 00 00 02 00 00\r\n"
                    "Columns=64 00 00 00 64 00 01 00 64 00 02 00\r\nSort=4098\r\n");
    const std::vector<std::string> words = {
        "\r\n[General]\r\n", "Columns=", "WinPos=", "Sort=", "UpdateRate=", "NewDeviceExecute=", "NewDeviceSpeak=",
        "DepartAfterScans=", "DepartedDeviceExecute=", "KeepHistoryLog=", "MqttServer=", "MqttTlsPin=",
        "MqttPassword=", "MqttPasswordSealed=", "MqttNode=", "MqttTopic=", "MqttDiscovery=",
        "\r\nMqttPassword=hunter2\r\n",
        "=-2147483648", "=4294967296", "=99999999999999999999", "00 ", "FF ", "G", " 0", "-", "\"", "'",
        "\r\n", "hello world", "\xFF\xFE", Utf16Bytes(L"\r\nColumns=00 00 00 00 ", false),
        Utf16Bytes(L"\r\nWinPos=", false), Utf16Bytes(L"\xD800\x0022", false)};

    for (int round = 0; round < rounds; ++round) {
        std::string input = seeds[rng.Below(seeds.size())];
        Mutate(rng, input, words);
        Round r("configuration file", seed, round, input);
        const std::wstring stem = folder.File((L"r" + std::to_wstring(round)).c_str());
        ASSERT_TRUE(WriteWholeFile(stem + L".cfg", input));

        auto start = std::make_unique<Loaded>();
        start->Read(stem + L".cfg");
        r.Check(BoundedLength(start->settings.alerts.NewDeviceExecute, nw::kTemplateChars) < nw::kTemplateChars &&
                    BoundedLength(start->settings.alerts.NewDeviceSpeak, nw::kTemplateChars) < nw::kTemplateChars &&
                    BoundedLength(start->settings.presence.DepartedDeviceExecute, nw::kTemplateChars) <
                        nw::kTemplateChars &&
                    BoundedLength(start->settings.mqtt.Server, nw::kMqttServerChars) < nw::kMqttServerChars &&
                    BoundedLength(start->settings.mqtt.PasswordSealed, nw::kMqttSealedChars) < nw::kMqttSealedChars &&
                    BoundedLength(start->settings.mqtt.Topic, nw::kMqttTopicChars) < nw::kMqttTopicChars,
                "a template overran its buffer");
        nw::IsPlacementPlausible(start->placement, 1024, 768);
        if (!r.Check(start->Write(stem + L".out1"), "the file could not be written back")) break;

        auto next = std::make_unique<Loaded>();
        next->Read(stem + L".out1");
        r.Check(OptionsText(start->settings) == OptionsText(next->settings), "the options did not read back alike");
        r.Check(std::memcmp(&start->placement, &next->placement, sizeof start->placement) == 0,
                "the window placement did not read back alike");
        r.Check(start->table.SortKey() == next->table.SortKey(), "the sort key did not read back alike");
        if (!r.Check(next->Write(stem + L".out2"), "the file could not be written a second time")) break;
        r.Check(FileBytes(stem + L".out1") == FileBytes(stem + L".out2"),
                "writing what was read back gave a different file");
        // A clear password is read, never written back in clear.
        r.Check(FileBytes(stem + L".out1").find(Utf16Bytes(L"MqttPassword=", false)) == std::string::npos,
                "a clear password was written");
        if (r.Failed()) break;
    }
}

}  // namespace
