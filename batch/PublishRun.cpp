#include "batch/PublishRun.h"

#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <memory>
#include <new>
#include <vector>
#include "base/Handles.h"
#include "batch/BatchHost.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanCycle.h"
#include "discovery/ScanWorker.h"
#include "lang/Strings.h"
#include "presence/PresenceTracker.h"
#include "publish/Publisher.h"
#include "resource.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace nw {

namespace {

constexpr UINT_PTR kCycleTimer = 1;         // one tick per second between scans
constexpr wchar_t kHostClass[] = L"NearwatchPublish";

struct SensorRun {
    // Declared first, so it goes last: the table deletes its rows while the
    // list still exists.
    HostWindow hostWindow;
    DeviceTable table;
    ScanWorker scan;
    std::unique_ptr<ScanAnswer> answer = std::make_unique<ScanAnswer>();
    Settings settings = {};
    PresenceTracker tracker;
    Publisher publisher;
    ScanCycle cycle;
    BatchConsole* console = nullptr;
    HWND host = nullptr;
    int32_t multiplier = ScanCycle::kFirstMultiplier;
    bool scanning = false;
    bool done = false;
    std::wstring shownState;
    std::vector<uint64_t> answered;
    std::vector<PresenceEvent> events;

    void StartScan() {
        if (done) return;
        scan.timeoutMultiplier = static_cast<uint32_t>(multiplier);
        scanning = scan.StartScan();
        // No thread: try again after the long wait.
        if (!scanning) cycle.OnScanDone(ScanCycle::kSteadyMultiplier, 0, settings.UpdateRate);
    }

    void OnScanDone() {
        if (!scanning || !scan.TakeAnswer(*answer)) return;
        scanning = false;
        table.ReloadRecords();
        table.Refresh();
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        answered.clear();
        events.clear();
        const int count = answer->count < 0 ? 0 : answer->count > kScanSlots ? kScanSlots : answer->count;
        for (int i = 0; i < count; ++i) answered.push_back(answer->results[i].Address.ullLong);
        tracker.OnScan(answered.data(), count,
                       (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime,
                       settings.presence.DepartAfterScans, table.alertsArmed != 0, events);
        publisher.OnScan(events);
        const ScanCycle::Completion next = cycle.OnScanDone(multiplier, answer->count, settings.UpdateRate);
        if (next.armAlerts) table.alertsArmed = 1;
        multiplier = next.nextMultiplier;
        if (next.startNow) StartScan();
    }

    void OnTick() {
        if (!scanning && cycle.OnTick(settings.UpdateRate)) StartScan();
    }

    // The broker's state as a line of its own whenever it changes.
    void OnClientState(WPARAM posted) {
        publisher.OnClientState(posted);
        std::wstring state = publisher.StatusText();
        if (state != shownState && console) console->WriteLine(state, false);
        shownState = std::move(state);
    }
};

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<SensorRun*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case NWM_SCAN_DONE:
        if (run) run->OnScanDone();
        return 0;
    case WM_TIMER:
        if (run && wParam == kCycleTimer) run->OnTick();
        return 0;
    case NWM_MQTT_STATE:
        if (run) run->OnClientState(wParam);
        return 0;
    case NWM_MQTT_MESSAGE:
        if (run) run->publisher.OnClientMessages();
        return 0;
    case WM_CLOSE:
        if (run) run->done = true;
        return 0;
    case WM_ENDSESSION:
        if (run && wParam) run->done = true;
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The configuration as the window reads it, never written back: a clear
// password stays clear in the file until the window saves it.
void LoadSettings(SensorRun& run, bool noSaveLoad) {
    wchar_t path[MAX_PATH];
    ApplyDefaultSettings(run.settings);
    if (!noSaveLoad && ConfigurationPath(path, MAX_PATH)) {
        SettingsStore store(SettingsStore::Read, path);
        ExchangeSettings(store, run.settings);
        run.table.ExchangeColumnSettings(store);
        ExchangePresenceSettings(store, run.settings);
        ExchangeMqttSettings(store, run.settings);
    }
    run.settings.AutoSetDeviceDescription = 0;
}

int Sense(SensorRun& run, const BatchOptions& options, BatchConsole& console) {
    LoadSettings(run, options.noSaveLoad);
    mqtt::ClientConfig config;
    TopicSet topics;
    if (!BuildClientConfig(run.settings.mqtt, config, topics)) {
        console.WriteLine(GetString(IDS_BATCH_NO_BROKER), true);
        return kBatchExitNoBroker;
    }
    SecureZeroMemory(config.password.data(), config.password.size());

    HWND list = CreateHiddenHost(kHostClass, HostProc, 0, run.hostWindow);
    if (!list) return kBatchExitNoBroker;
    run.host = run.hostWindow.get();
    run.console = &console;
    run.table.Attach(list);
    run.table.InsertColumns();
    run.table.companies.LoadCompanyList();
    run.table.scanResults = run.answer.get();
    run.scan.window = run.host;
    run.scan.doneMessage = NWM_SCAN_DONE;
    ::SetWindowLongPtrW(run.host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&run));

    // The topics are ASCII: widened byte by byte.
    const std::string base = topics.Base();
    console.WriteLine(std::wstring(GetString(IDS_BATCH_PUBLISHING)) + L": " + run.settings.mqtt.Server + L" (" +
                          std::wstring(base.begin(), base.end()) + L")",
                      false);
    run.publisher.Start(run.settings, run.host, &run.table, &run.tracker);
    // On a closed console the process stays until "offline" went out.
    RouteConsoleStop(run.host);
    ::SetTimer(run.host, kCycleTimer, 1000, nullptr);
    run.StartScan();
    MSG msg;
    while (!run.done) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    RouteConsoleStop(nullptr);
    ::KillTimer(run.host, kCycleTimer);
    run.publisher.Stop();
    ::SetWindowLongPtrW(run.host, GWLP_USERDATA, 0);
    run.table.scanResults = nullptr;
    console.WriteLine(GetString(IDS_BATCH_PUBLISH_STOPPED), false);
    return kBatchExitWritten;
}

}  // namespace

int RunPublish(const BatchOptions& options, BatchConsole& console) {
    BeginConsoleRun();
    int code = kBatchExitNoBroker;
    {
        std::unique_ptr<SensorRun> run(new (std::nothrow) SensorRun());
        if (run) {
            Settings* previous = AppSettings();
            SetAppSettings(&run->settings);
            code = Sense(*run, options, console);
            SetAppSettings(previous);
        }
    }
    // The console's close may now end the process: "offline" went out.
    EndConsoleRun();
    return code;
}

}  // namespace nw
