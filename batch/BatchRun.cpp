// rand_s, for temporary names another program cannot foresee.
#define _CRT_RAND_S
#include "batch/BatchRun.h"

#include <windows.h>
#include <stdlib.h>
#include <commctrl.h>
#include <atomic>
#include <memory>
#include <new>
#include "batch/BatchConsole.h"
#include "batch/BatchExport.h"
#include "batch/BatchHost.h"
#include "batch/PublishRun.h"
#include "discovery/DeviceTable.h"
#include "discovery/LeWatcher.h"
#include "discovery/ScanCycle.h"
#include "discovery/ScanWorker.h"
#include "base/Handles.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "reports/ReportCommands.h"
#include "reports/ReportWriter.h"
#include "resource.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace nw {

namespace {

constexpr UINT_PTR kGuardTimer = 1;         // a scan that has hung (the hidden window's only timer)
constexpr wchar_t kHostClass[] = L"NearwatchBatch";

// The program's world of an export run: the table behind a hidden list, its
// settings and the scan worker, driven by the hidden window's messages; the
// disk; the console.
class ProgramWorld : public BatchWorld {
public:
    explicit ProgramWorld(BatchConsole& console, bool noSaveLoad) : console_(console), noSaveLoad_(noSaveLoad) {}
    ~ProgramWorld() override;

    bool Open(DWORD& error) override;
    bool StartScan(int32_t multiplier) override;
    BatchScanEnd WaitScan(bool& radioFound) override;
    int RowCount() override { return table.RowCount(); }

    DWORD Attributes(const wchar_t* path) override { return ::GetFileAttributesW(path); }
    DWORD FolderError(const wchar_t* folder) override;
    DWORD WriteNew(const wchar_t* path, int kind, bool& created) override;
    DWORD Move(const wchar_t* from, const wchar_t* to, DWORD flags) override {
        return ::MoveFileExW(from, to, flags) ? 0 : ErrorOr(ERROR_WRITE_FAULT);
    }
    void Delete(const wchar_t* path) override { ::DeleteFileW(path); }
    uint32_t Random() override;

    void Say(const std::wstring& line, bool error) override { console_.WriteLine(line, error); }

    // Message handlers of the hidden window.
    void OnScanDone();
    void Stop(BatchScanEnd how);

private:
    static DWORD ErrorOr(DWORD fallback) {
        const DWORD error = ::GetLastError();
        return error ? error : fallback;
    }
    void LoadSettings();

    BatchConsole& console_;
    bool noSaveLoad_;
    Settings* previousSettings_ = nullptr;
    bool settingsSet_ = false;
    bool sorted_ = false;

public:
    // Declared first, so it goes last: the table deletes its rows while
    // the list still exists.
    HostWindow hostWindow;
    DeviceTable table;
    ScanWorker scan;
    std::unique_ptr<ScanAnswer> answer = std::make_unique<ScanAnswer>();
    Settings settings = {};
    HWND host = nullptr;
    bool waiting = false;          // a scan is out
    bool radioFound = false;       // of the scan that ended last
    BatchScanEnd end = BatchScanEnd::Done;
    // Low Energy advertisements heard during the scans are exported too.
    LeWatcher le;
    std::unique_ptr<LeSighting[]> leBatch;

    void OnLeSightings() {
        if (!leBatch) return;
        const int n = le.Take(leBatch.get(), kLeBatchMax);
        if (n > 0 && table.MergeLeSightings(leBatch.get(), n)) table.Refresh();
    }
};

// A close request (Ctrl+C and a closed console post one; so does a task
// killer that asks politely, and the end of the session sends its own) ends
// the run with the devices found so far. The window itself stays: its list
// is what the writers read.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<ProgramWorld*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case NWM_SCAN_DONE:
        if (run) run->OnScanDone();
        return 0;
    case NWM_LE_SIGHTINGS:
        if (run) run->OnLeSightings();
        return 0;
    case WM_TIMER:
        if (run && wParam == kGuardTimer) run->Stop(BatchScanEnd::TimedOut);
        return 0;
    case WM_CLOSE:
        if (run) run->Stop(BatchScanEnd::Interrupted);
        return 0;
    case WM_ENDSESSION:
        if (run && wParam) run->Stop(BatchScanEnd::Interrupted);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The configuration as the window would read it, never written back; the
// placement is of no use here.
void ProgramWorld::LoadSettings() {
    wchar_t path[MAX_PATH];
    if (noSaveLoad_ || !ConfigurationPath(path, MAX_PATH)) {
        ApplyDefaultSettings(settings);
    } else {
        SettingsStore store(SettingsStore::Read, path);
        ExchangeSettings(store, settings);
        table.ExchangeColumnSettings(store);
        ExchangeLowEnergySettings(store, settings);
    }
    // A description written for the user would be a write of its own.
    settings.AutoSetDeviceDescription = 0;
}

// The hidden list that the table fills and the writers read; the settings
// the table asks for through AppSettings.
bool ProgramWorld::Open(DWORD& error) {
    previousSettings_ = AppSettings();
    SetAppSettings(&settings);
    settingsSet_ = true;
    HWND list = CreateHiddenHost(kHostClass, HostProc, LVS_SHOWSELALWAYS, hostWindow);
    if (!list) {
        error = ::GetLastError();
        return false;
    }
    host = hostWindow.get();
    table.Attach(list);
    table.InsertColumns();
    table.companies.LoadCompanyList();
    LoadSettings();
    table.scanResults = answer.get();
    scan.window = host;
    scan.doneMessage = NWM_SCAN_DONE;
    ::SetWindowLongPtrW(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    RouteConsoleStop(host);
    if (settings.scanLowEnergy) {
        leBatch.reset(new (std::nothrow) LeSighting[kLeBatchMax]);
        if (leBatch) le.Start(host);
    }
    return true;
}

ProgramWorld::~ProgramWorld() {
    RouteConsoleStop(nullptr);
    le.Stop();   // returns at once; nothing is posted after it
    if (host) ::SetWindowLongPtrW(host, GWLP_USERDATA, 0);
    // A hung scan's thread may still end later: the table no longer merges,
    // and once the worker goes with the run the thread posts nothing.
    table.scanResults = nullptr;
    if (settingsSet_) SetAppSettings(previousSettings_);
}

bool ProgramWorld::StartScan(int32_t multiplier) {
    scan.timeoutMultiplier = static_cast<uint32_t>(multiplier);
    if (!scan.StartScan()) return false;
    waiting = true;
    end = BatchScanEnd::Done;
    ::SetTimer(host, kGuardTimer, BatchScanGuardMs(multiplier), nullptr);
    return true;
}

BatchScanEnd ProgramWorld::WaitScan(bool& found) {
    MSG msg;
    while (waiting) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            Stop(BatchScanEnd::Interrupted);
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    found = radioFound;
    return end;
}

void ProgramWorld::OnScanDone() {
    if (!waiting || !scan.TakeAnswer(*answer)) return;
    ::KillTimer(host, kGuardTimer);
    waiting = false;
    radioFound = scan.RadioFound();
    table.ReloadRecords();
    table.Refresh();
}

void ProgramWorld::Stop(BatchScanEnd how) {
    if (!waiting) return;
    waiting = false;
    end = how;
    ::KillTimer(host, kGuardTimer);
}

DWORD ProgramWorld::FolderError(const wchar_t* folder) {
    ::SetLastError(0);
    return FolderAcceptsNewFiles(folder) ? 0 : ErrorOr(ERROR_ACCESS_DENIED);
}

// All rows, in the window's sort column and direction, with the byte-order
// mark the Save command writes.
DWORD ProgramWorld::WriteNew(const wchar_t* path, int kind, bool& created) {
    if (!sorted_) {
        table.Sort(table.SortKey(), true);
        sorted_ = true;
    }
    return ExportRowsToNewFile(table, path, kind, false, false, created) ? 0 : ErrorOr(ERROR_WRITE_FAULT);
}

uint32_t ProgramWorld::Random() {
    unsigned int value = 0;
    if (rand_s(&value) != 0) value = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    return value;
}

}  // namespace

std::wstring BatchProblemMessage(const BatchOptions& options) {
    const unsigned id = BatchProblemStringId(options.problem);
    if (id == 0) return {};
    return std::wstring(GetString(id)) + L": \"" + options.word + L"\"";
}

std::wstring BatchHelpText() {
    std::wstring text;
    for (unsigned id = IDS_BATCH_HELP_FIRST; id <= IDS_BATCH_HELP_LAST; ++id) {
        if (!text.empty()) text += L"\r\n";
        // The export's usage line and its exit codes stand alone, and so do
        // the lines after them; the export's options are indented.
        if (id > IDS_BATCH_HELP_FIRST && id < IDS_BATCH_HELP_EXPORT_LAST) text += L"  ";
        text += GetString(id);
    }
    return text;
}

int RunBatch(const BatchOptions& options) {
    BatchConsole console;
    if (options.mode == BatchMode::Help) {
        // Started from Explorer there is no console: the one box of this mode.
        if (console.Present())
            console.WriteLine(BatchHelpText(), false);
        else
            ::MessageBoxW(nullptr, BatchHelpText().c_str(), L"Nearwatch", MB_OK | MB_ICONINFORMATION);
        return kBatchExitWritten;
    }
    if (options.mode == BatchMode::Publish) return RunPublish(options, console);
    BeginConsoleRun();
    int code;
    {
        auto world = std::make_unique<ProgramWorld>(console, options.noSaveLoad);
        code = RunBatchExport(options, *world);
    }
    // The console's close may now end the process: the file is in place.
    EndConsoleRun();
    return code;
}

}  // namespace nw
