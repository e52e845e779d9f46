#include "batch/BatchRun.h"

#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <memory>
#include <new>
#include "batch/BatchConsole.h"
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
constexpr DWORD kCloseGraceMs = 4000;       // the system ends a closed console's programs after 5 s
constexpr wchar_t kHostClass[] = L"NearwatchBatch";
constexpr size_t kMessageChars = 1024;

// The console control handler runs on a thread of its own: it only posts a
// close request to the hidden window, and on close waits until the file is
// in place.
std::atomic<HWND> g_stopTarget{nullptr};
HANDLE g_runEnded = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    HWND target = g_stopTarget.load(std::memory_order_acquire);
    if (!target) return FALSE;
    ::PostMessageW(target, WM_CLOSE, 0, 0);
    if ((type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) && g_runEnded)
        ::WaitForSingleObject(g_runEnded, kCloseGraceMs);
    return TRUE;
}

struct WindowTraits {
    static HWND Empty() { return nullptr; }
    static bool Valid(HWND window) { return window != nullptr; }
    static void Close(HWND window) { ::DestroyWindow(window); }
};
using HostWindow = UniqueHandle<HWND, WindowTraits>;

enum class RunEnd { Scans, TimedOut, Interrupted };

// One export run: the table behind a hidden list, its settings and the scan
// worker, driven by the hidden window's messages.
struct ExportRun {
    // Declared first, so it goes last: the table deletes its rows while
    // the list still exists.
    HostWindow hostWindow;
    DeviceTable table;
    ScanWorker scan;
    std::unique_ptr<ScanAnswer> answer = std::make_unique<ScanAnswer>();
    Settings settings = {};
    HWND host = nullptr;
    int wanted = kBatchDefaultScans;
    int completed = 0;
    int32_t multiplier = 0;
    bool radioFound = false;
    bool done = false;
    RunEnd end = RunEnd::Scans;
    // Low Energy advertisements heard during the scans are exported too.
    LeWatcher le;
    std::unique_ptr<LeSighting[]> leBatch;

    void StartLowEnergy() {
        if (!settings.scanLowEnergy) return;
        leBatch.reset(new (std::nothrow) LeSighting[kLeBatchMax]);
        if (leBatch) le.Start(host);
    }

    void OnLeSightings() {
        if (done || !leBatch) return;
        const int n = le.Take(leBatch.get(), kLeBatchMax);
        if (n > 0 && table.MergeLeSightings(leBatch.get(), n)) table.Refresh();
    }

    void StartScan() {
        scan.timeoutMultiplier = static_cast<uint32_t>(multiplier);
        if (!scan.StartScan()) {
            // No thread for the scan: what is there is all there will be.
            Finish(RunEnd::TimedOut);
            return;
        }
        ::SetTimer(host, kGuardTimer, BatchScanGuardMs(multiplier), nullptr);
    }

    void OnScanDone() {
        if (done || !scan.TakeAnswer(*answer)) return;
        ::KillTimer(host, kGuardTimer);
        ++completed;
        if (scan.RadioFound()) radioFound = true;
        table.ReloadRecords();
        table.Refresh();
        if (completed >= wanted) {
            Finish(RunEnd::Scans);
            return;
        }
        multiplier = ScanCycle::NextMultiplier(multiplier);
        StartScan();
    }

    void Finish(RunEnd how) {
        if (done) return;
        done = true;
        end = how;
        ::KillTimer(host, kGuardTimer);
    }
};

// A close request (Ctrl+C and a closed console post one; so does a task
// killer that asks politely, and the end of the session sends its own) ends
// the run with the devices found so far. The window itself stays: its list
// is what the writers read.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<ExportRun*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case NWM_SCAN_DONE:
        if (run) run->OnScanDone();
        return 0;
    case NWM_LE_SIGHTINGS:
        if (run) run->OnLeSightings();
        return 0;
    case WM_TIMER:
        if (run && wParam == kGuardTimer) run->Finish(RunEnd::TimedOut);
        return 0;
    case WM_CLOSE:
        if (run) run->Finish(RunEnd::Interrupted);
        return 0;
    case WM_ENDSESSION:
        if (run && wParam) run->Finish(RunEnd::Interrupted);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The configuration as the window would read it, never written back; the
// placement is of no use here.
void LoadSettings(ExportRun& run, bool noSaveLoad) {
    wchar_t path[MAX_PATH];
    if (noSaveLoad || !ConfigurationPath(path, MAX_PATH)) {
        ApplyDefaultSettings(run.settings);
    } else {
        SettingsStore store(SettingsStore::Read, path);
        ExchangeSettings(store, run.settings);
        run.table.ExchangeColumnSettings(store);
        ExchangeLowEnergySettings(store, run.settings);
    }
    // A description written for the user would be a write of its own.
    run.settings.AutoSetDeviceDescription = 0;
}

std::wstring ErrorText(DWORD code) {
    wchar_t text[kMessageChars];
    SystemErrorText(code, text, kMessageChars);
    wchar_t message[kMessageChars];
    FormatText(message, kMessageChars, L"Error %d: %s", static_cast<int>(code), text);
    return message;
}

// The target as a full path and its folder; false with error set when the
// name cannot be a file (too long, a folder's name).
bool ResolveTarget(const std::wstring& file, wchar_t (&full)[MAX_PATH], wchar_t (&folder)[MAX_PATH], DWORD& error) {
    wchar_t* name = nullptr;
    const DWORD n = ::GetFullPathNameW(file.c_str(), MAX_PATH, full, &name);
    if (n == 0 || n >= MAX_PATH) {
        error = n == 0 ? ::GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        full[0] = 0;
        return false;
    }
    if (!name || !*name) {
        error = ERROR_INVALID_NAME;
        return false;
    }
    CopyText(folder, full);
    folder[name - full] = 0;
    return true;
}

// Before any scan: a run of half a minute must not end in a file it could
// never have written. A read-only file in place counts as unwritable.
bool TargetWritable(const wchar_t* full, const wchar_t* folder, DWORD& error) {
    const DWORD attributes = ::GetFileAttributesW(full);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        error = ERROR_ACCESS_DENIED;
        return false;
    }
    ::SetLastError(0);
    if (FolderAcceptsNewFiles(folder)) return true;
    error = ::GetLastError();
    if (error == 0) error = ERROR_ACCESS_DENIED;
    return false;
}

// The rows go to a temporary file beside the target, which takes the
// target's place only when complete: a full disk or a failed write leaves
// no partial file, and the old file stays until the new one is whole.
bool WriteAtomically(DeviceTable& table, int kind, const wchar_t* full, const wchar_t* folder, DWORD& error) {
    wchar_t temporary[MAX_PATH];
    if (::GetTempFileNameW(folder, L"nw", 0, temporary) == 0) {
        error = ::GetLastError();
        return false;
    }
    // All rows, with the byte-order mark the Save command writes.
    bool ok = ExportRows(table, temporary, kind, false, false);
    if (ok) ok = ::MoveFileExW(temporary, full, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (!ok) {
        error = ::GetLastError();
        if (error == 0) error = ERROR_WRITE_FAULT;
        ::DeleteFileW(temporary);
    }
    return ok;
}

std::wstring NotWrittenMessage(const wchar_t* path, DWORD error) {
    return std::wstring(GetString(IDS_BATCH_NOT_WRITTEN)) + L": " + path + L": " + ErrorText(error);
}

// Scans with the hidden list and fills run.table, which keeps its list (for
// the writers) until run goes; false when the hidden window could not be made.
bool ScanHidden(ExportRun& run, bool noSaveLoad) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHostClass;
    if (!::RegisterClassW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // Never shown: a tool window, so not even a taskbar button could appear.
    run.hostWindow.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, L"Nearwatch", WS_POPUP, 0, 0, 640, 480,
                                           nullptr, nullptr, instance, nullptr));
    if (!run.hostWindow) return false;
    HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 400, 200,
                                  run.hostWindow.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DEVICELIST)),
                                  instance, nullptr);
    if (!list) return false;
    run.host = run.hostWindow.get();
    run.table.Attach(list);
    run.table.InsertColumns();
    run.table.companies.LoadCompanyList();
    LoadSettings(run, noSaveLoad);
    run.table.scanResults = run.answer.get();
    run.scan.window = run.host;
    run.scan.doneMessage = NWM_SCAN_DONE;
    ::SetWindowLongPtrW(run.host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&run));

    // Installed whatever the console: a handler that is never called costs
    // nothing, and a missed Ctrl+C would end the process without its file.
    g_stopTarget.store(run.host, std::memory_order_release);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    run.multiplier = ScanCycle::kFirstMultiplier;
    run.StartScan();
    run.StartLowEnergy();
    MSG msg;
    while (!run.done) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    g_stopTarget.store(nullptr, std::memory_order_release);
    run.le.Stop();   // returns at once; nothing is posted after it
    ::SetWindowLongPtrW(run.host, GWLP_USERDATA, 0);
    // A hung scan's thread may still end later: the table no longer merges,
    // and once the worker goes with the run the thread posts nothing.
    run.table.scanResults = nullptr;
    // The window's sort column and direction, as it would show them.
    run.table.Sort(run.table.SortKey(), true);
    return true;
}

int RunExport(const BatchOptions& options, BatchConsole& console) {
    wchar_t full[MAX_PATH] = {};
    wchar_t folder[MAX_PATH] = {};
    DWORD error = 0;
    if (!ResolveTarget(options.file, full, folder, error) || !TargetWritable(full, folder, error)) {
        console.WriteLine(NotWrittenMessage(full[0] ? full : options.file.c_str(), error), true);
        return kBatchExitNotWritten;
    }

    auto run = std::make_unique<ExportRun>();
    run->wanted = options.scans;
    Settings* previous = AppSettings();
    SetAppSettings(&run->settings);
    if (!ScanHidden(*run, options.noSaveLoad)) {
        error = ::GetLastError();
        console.WriteLine(NotWrittenMessage(full, error ? error : ERROR_INVALID_WINDOW_HANDLE), true);
        SetAppSettings(previous);
        return kBatchExitNotWritten;
    }
    if (run->end == RunEnd::TimedOut) console.WriteLine(GetString(IDS_BATCH_TIMED_OUT), true);
    if (run->end == RunEnd::Interrupted) console.WriteLine(GetString(IDS_BATCH_INTERRUPTED), true);

    int code = kBatchExitWritten;
    if (!WriteAtomically(run->table, options.kind, full, folder, error)) {
        console.WriteLine(NotWrittenMessage(full, error), true);
        code = kBatchExitNotWritten;
    } else {
        wchar_t written[256];
        FormatNumberText(written, 256, GetString(IDS_BATCH_WRITTEN), run->table.RowCount());
        console.WriteLine(std::wstring(written) + L": " + full, false);
        // A scan that hung had a radio to hang in.
        if (run->completed > 0 && !run->radioFound && run->end != RunEnd::TimedOut) {
            console.WriteLine(GetString(IDS_BATCH_NO_RADIO), true);
            code = kBatchExitNoRadio;
        }
    }
    SetAppSettings(previous);
    return code;
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
        // The first and last lines stand alone; the options are indented.
        if (id != IDS_BATCH_HELP_FIRST && id != IDS_BATCH_HELP_LAST) text += L"  ";
        text += GetString(id);
    }
    return text;
}

int RunBatch(const BatchOptions& options) {
    BatchConsole console;
    switch (options.mode) {
    case BatchMode::Help:
        // Started from Explorer there is no console: the one box of this mode.
        if (console.Present())
            console.WriteLine(BatchHelpText(), false);
        else
            ::MessageBoxW(nullptr, BatchHelpText().c_str(), L"Nearwatch", MB_OK | MB_ICONINFORMATION);
        return kBatchExitWritten;
    case BatchMode::Error:
        console.WriteLine(BatchProblemMessage(options), true);
        console.WriteLine(GetString(IDS_BATCH_SEE_HELP), true);
        return kBatchExitBadOption;
    case BatchMode::Export:
        break;
    case BatchMode::None:
        return kBatchExitWritten;
    }
    g_runEnded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const int code = RunExport(options, console);
    // The console's close may now end the process: the file is in place.
    if (g_runEnded) ::SetEvent(g_runEnded);
    return code;
}

}  // namespace nw
