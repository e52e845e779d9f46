// Works a running nearwatch.exe from outside, the way automation would:
// launches it in a folder of its own with the simulated radio, finds its
// windows by process ID, reads the list and the status bar across the
// process boundary, sends commands and keys, answers its dialogs, and
// follows the simulated radio's log.
//
// Every wait has a timeout and every cross-process message is sent with a
// timeout, so a hung program fails a test instead of hanging it.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace nw::e2e {

// UTF-8 <-> UTF-16 helpers for files and messages.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// Folder of the running test program (without a trailing backslash); the
// built nearwatch.exe and simradio.dll lie there.
std::wstring BinFolder();

// A wait's limit times NW_E2E_WAIT_SCALE (default 1; the test command raises
// it on a loaded or emulated machine). A wait ends as soon as its condition
// holds, so a longer limit only slows a test that is failing anyway.
DWORD WaitLimit(DWORD timeoutMs);

// Polls f() every stepMs until it is true or the (scaled) timeoutMs has passed.
template <typename F>
bool WaitUntil(F f, DWORD timeoutMs, DWORD stepMs = 25) {
    ULONGLONG end = ::GetTickCount64() + WaitLimit(timeoutMs);
    for (;;) {
        if (f()) return true;
        if (::GetTickCount64() >= end) return false;
        ::Sleep(stepMs);
    }
}

struct LaunchOptions {
    // Command line after the program's path, e.g. L"/nosaveload".
    std::wstring arguments;
    // The simulated radio's scenario (UTF-8), written to scenario.txt.
    // Without a file the radio behaves as a machine without Bluetooth.
    std::string scenario = "unit_ms 5\n";
    bool writeScenario = true;
    // nearwatch.cfg beside the program, written when not empty.
    std::string config;
    // nearwatch_Desc.ini and nearwatch_lng.ini, written when not empty.
    std::string descriptions;
    std::string language;
    // Further files: name inside the folder (may hold sub folders that
    // exist) and raw content.
    std::vector<std::pair<std::wstring, std::string>> files;
    // Files copied in: source path and name inside the folder (e.g. the
    // registry L"Z:\\usr\\share\\ieee-data\\oui.txt" -> L"oui.txt").
    std::vector<std::pair<std::wstring, std::wstring>> copies;
    // Extra environment variables for the program (name, value).
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    // Wait until the main window exists before Launch returns.
    bool waitForWindow = true;
    DWORD windowTimeoutMs = 15000;
    // Keep the folder after the program has ended (for looking at it
    // after a failure); also kept when the environment holds NW_E2E_KEEP.
    bool keepFolder = false;
};

// One row of the list: the texts of all columns in list column order.
using Row = std::vector<std::wstring>;

// A running nearwatch.exe in a fresh folder. The destructor kills the
// program if it still runs and deletes its folder.
class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Makes a fresh folder under %TEMP%, copies nearwatch.exe from
    // BinFolder() into it, writes the files of options and starts the
    // program with NEARWATCH_RADIO=<bin>\simradio.dll,
    // NEARWATCH_SIMRADIO=<folder>\scenario.txt and
    // NEARWATCH_SIMRADIO_LOG=<folder>\radio.log. False when the program
    // could not be started (or its window did not appear when waited for);
    // Error() then tells why.
    bool Launch(const LaunchOptions& options = {});

    HANDLE ProcessHandle() const { return process_; }
    DWORD Pid() const { return pid_; }
    const std::wstring& Folder() const { return folder_; }
    std::wstring PathOf(const std::wstring& name) const;   // <folder>\name
    const std::wstring& Error() const { return error_; }

    // ---- Files in the program's folder -----------------------------------
    bool WriteFile(const std::wstring& name, const std::string& content) const;
    bool ReadFile(const std::wstring& name, std::string& content) const;
    bool FileExists(const std::wstring& name) const;
    // True once the file exists and nobody holds it open for writing, so a
    // reader sees it whole rather than the moment the program created it.
    bool FileWritten(const std::wstring& name) const;
    // Rewrites scenario.txt; the radio reads it again at the next scan.
    bool WriteScenario(const std::string& scenario) const;

    // ---- Windows -----------------------------------------------------------
    // The main window (class "Nearwatch") of this process, visible or not.
    HWND MainWindow() const;
    HWND WaitMainWindow(DWORD timeoutMs = 15000) const;
    HWND Control(int id) const;        // child of the main window by ID
    HWND List() const { return Control(259); }
    HWND StatusBar() const { return Control(257); }
    HWND ToolBar() const { return Control(258); }
    bool IsVisible() const;            // the main window is visible
    std::wstring Title() const;        // the main window's caption

    // ---- The list (control 259) ------------------------------------------
    int RowCount() const;              // -1 when the list cannot be reached
    int ColumnCount() const;           // header items, hidden columns too
    std::wstring ColumnTitle(int column) const;
    int ColumnWidth(int column) const;
    std::vector<int> ColumnOrder() const;   // LVM_GETCOLUMNORDERARRAY
    std::wstring Cell(int row, int column) const;
    Row RowTexts(int row) const;
    std::vector<Row> Rows() const;
    // First row whose cell in column equals text; -1 when none.
    int FindRow(int column, const std::wstring& text) const;
    bool IsSelected(int row) const;
    int SelectedCount() const;
    std::vector<int> SelectedRows() const;
    // Sets or clears the selected (and focused) state of one row; row -1
    // means every row.
    bool SelectRow(int row, bool selected = true) const;
    bool SelectOnly(int row) const;    // clears the others first
    // List styles (LVM_GETEXTENDEDLISTVIEWSTYLE).
    DWORD ListExtendedStyle() const;

    // ---- Status bar (control 257) -----------------------------------------
    std::wstring StatusText(int part = 0) const;
    int StatusPartCount() const;

    // ---- Tool bar (control 258) -------------------------------------------
    // TB_GETSTATE of the button with that command; -1 when none.
    int ToolButtonState(int command) const;
    bool ToolButtonEnabled(int command) const;

    // ---- Commands and keys -----------------------------------------------
    // Posts WM_COMMAND(id) as a menu command (code 0) to the main window.
    bool Command(int id) const;
    // Posts a key press (WM_KEYDOWN + WM_KEYUP) to the window with the
    // keyboard focus in the program (the list, normally), or to target.
    // Only keys without modifiers, e.g. VK_DELETE, VK_F5, VK_RETURN.
    bool PostKey(UINT vk, HWND target = nullptr) const;
    // A key with modifiers (MOD_CONTROL, MOD_ALT, MOD_SHIFT), typed
    // through the system's input queue after bringing the main window to
    // the front. Accelerators such as Ctrl+A need it. May fail when the
    // desktop does not let the window come to the front.
    bool PressKeys(UINT vk, UINT modifiers) const;

    // ---- Dialogs and message boxes ----------------------------------------
    // Top-level dialogs (class "#32770") of this process, visible ones.
    std::vector<HWND> Dialogs() const;
    // Waits for a dialog; with titleContains, one whose caption holds it.
    HWND WaitDialog(DWORD timeoutMs = 5000, const std::wstring& titleContains = {}) const;
    bool WaitNoDialog(DWORD timeoutMs = 5000) const;
    // All static texts of a dialog joined by "\n" (a message box's message).
    static std::wstring DialogText(HWND dialog);
    static std::wstring WindowText(HWND window);
    static std::wstring ControlText(HWND dialog, int id);
    static bool SetControlText(HWND dialog, int id, const std::wstring& text);
    static bool IsChecked(HWND dialog, int id);
    static bool SetChecked(HWND dialog, int id, bool checked);
    static bool IsEnabled(HWND dialog, int id);
    // Presses a push button (IDOK, IDYES, IDNO ...): posts its
    // WM_COMMAND/BN_CLICKED to the dialog.
    static bool PressButton(HWND dialog, int id);

    // ---- Simulated radio ----------------------------------------------------
    // Lines of radio.log ("start <n> multiplier <m> ms <tick>",
    // "close <n> answers <k> ms <tick>", notes on bad scenario lines).
    std::vector<std::string> RadioLog() const;
    int ScansStarted() const;          // "start" lines
    int ScansClosed() const;           // "close" lines
    // Waits until the log holds at least n "close" lines.
    bool WaitScans(int n, DWORD timeoutMs = 20000) const;
    // The multiplier of each started scan, in order.
    std::vector<int> ScanMultipliers() const;

    // ---- Ending ------------------------------------------------------------
    bool Running() const;
    bool PostClose() const;            // WM_CLOSE to the main window
    // Waits for the program to end; exitCode receives its exit code.
    bool WaitExit(DWORD timeoutMs = 10000, DWORD* exitCode = nullptr) const;
    // Closes (WM_CLOSE) and waits; false when it did not end in time.
    bool Close(DWORD timeoutMs = 10000, DWORD* exitCode = nullptr) const;
    void Kill();                       // TerminateProcess and wait

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    std::wstring folder_;
    std::wstring error_;
    bool keepFolder_ = false;
};

// ---- Process-independent helpers (also used by the command-line driver) ----

// The first top-level window of process pid with that class (any class
// when className is empty); visible or not.
HWND FindProcessWindow(DWORD pid, const std::wstring& className);
std::vector<HWND> ProcessWindows(DWORD pid, const std::wstring& className);

// Cross-process reads of another program's common controls.
int ListRowCount(HWND list);
int ListColumnCount(HWND list);
int ListColumnWidth(HWND list, int column);
std::wstring ListColumnTitle(HWND list, int column);
std::vector<int> ListColumnOrder(HWND list);
std::wstring ListCell(HWND list, int row, int column);
bool ListSetState(HWND list, int row, UINT state, UINT mask);
std::wstring StatusBarText(HWND statusBar, int part);

// Lines of a text file read while another process may be appending to it.
std::vector<std::string> ReadLines(const std::wstring& path);
int CountLinesStartingWith(const std::vector<std::string>& lines, const char* prefix);

}  // namespace nw::e2e
