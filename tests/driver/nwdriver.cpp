// Command-line driver: works a running nearwatch.exe from outside for the
// demo and for looking at the program by hand.
//
//   nwdriver run [--pidfile FILE] [--log FILE] EXE [ARGS...]
//       starts EXE with this environment, prints what its window shows after
//       every completed scan, and ends it on Ctrl+C.
//   nwdriver watch PID [LOG]    the same for a program already running
//   nwdriver show PID           status text and rows, once
//   nwdriver command PID ID     posts a menu command
//   nwdriver exit PID           exit command; killed after 5 s
#include "e2e/Driver.h"
#include "resource.h"

#include <shellapi.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace nw::e2e;

namespace {

std::atomic<bool> stopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
    stopRequested = true;
    return TRUE;
}

void Print(const std::wstring& text) {
    std::string bytes = Narrow(text);
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// A program found by ID, read with the driver's cross-process helpers.
struct Target {
    DWORD pid = 0;
    HANDLE process = nullptr;

    HWND Main() const { return FindProcessWindow(pid, L"Nearwatch"); }
    HWND Child(int id) const {
        HWND main = Main();
        return main ? ::GetDlgItem(main, id) : nullptr;
    }
    bool Running() const { return process && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }
};

std::wstring Fit(const std::wstring& text, size_t width) {
    if (text.size() > width) return text.substr(0, width - 1) + L"~";
    return text + std::wstring(width - text.size(), L' ');
}

// The status text and the rows in the list's own column order, leaving out
// hidden (zero-width) columns.
void Show(const Target& target) {
    HWND list = target.Child(IDC_DEVICELIST);
    std::wstring status = StatusBarText(target.Child(IDC_STATUSBAR), 0);
    Print(L"  [" + status + L"]\n");
    int columns = ListColumnCount(list);
    int rows = ListRowCount(list);
    if (columns <= 0 || rows < 0) return;
    std::vector<int> order = ListColumnOrder(list);
    std::vector<int> shown;
    for (int c : order)
        if (ListColumnWidth(list, c) > 0) shown.push_back(c);
    std::vector<std::vector<std::wstring>> cells(static_cast<size_t>(rows) + 1);
    std::vector<size_t> widths(shown.size(), 1);
    for (size_t i = 0; i < shown.size(); ++i) {
        cells[0].push_back(ListColumnTitle(list, shown[i]));
        widths[i] = std::clamp<size_t>(cells[0].back().size(), 1, 22);
    }
    for (int r = 0; r < rows; ++r) {
        auto& row = cells[static_cast<size_t>(r) + 1];
        for (size_t i = 0; i < shown.size(); ++i) {
            row.push_back(ListCell(list, r, shown[i]));
            widths[i] = std::max(widths[i], std::min<size_t>(row.back().size(), 22));
        }
    }
    for (const auto& row : cells) {
        std::wstring line = L"  ";
        for (size_t i = 0; i < row.size(); ++i) line += Fit(row[i], widths[i]) + L" | ";
        while (!line.empty() && (line.back() == L' ' || line.back() == L'|')) line.pop_back();
        Print(line + L"\n");
    }
}

// Ends the program the way its Exit command does (no question asked);
// kills it when it does not end in time.
void EndProgram(const Target& target) {
    if (HWND main = target.Main()) ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    if (target.process && ::WaitForSingleObject(target.process, 5000) != WAIT_OBJECT_0)
        ::TerminateProcess(target.process, 1);
}

int Watch(const Target& target, const std::wstring& log, bool endOnStop) {
    WaitUntil([&] { return target.Main() != nullptr || !target.Running() || stopRequested; }, 30000);
    size_t printed = 0;
    std::wstring lastStatus;
    while (target.Running() && !stopRequested) {
        if (!log.empty()) {
            std::vector<std::string> lines = ReadLines(log);
            std::vector<std::string> closes;
            for (const auto& l : lines)
                if (l.rfind("close ", 0) == 0) closes.push_back(l);
            if (closes.size() > printed) {
                printed = closes.size();
                // Give the window a moment to merge the answer it was sent.
                ::Sleep(300);
                if (!target.Running() || !target.Main() || stopRequested) break;
                Print(L"scan: " + Widen(closes.back()) + L"\n");
                Show(target);
            }
        } else {
            std::wstring status = StatusBarText(target.Child(IDC_STATUSBAR), 0);
            if (status != lastStatus) {
                lastStatus = status;
                Show(target);
            }
        }
        ::Sleep(200);
    }
    if (stopRequested && endOnStop) EndProgram(target);
    return 0;
}

int Usage() {
    Print(L"usage: nwdriver run [--pidfile FILE] [--log FILE] EXE [ARGS...]\n"
          L"       nwdriver watch PID [LOG] | show PID | command PID ID | exit PID\n");
    return 2;
}

Target Open(const wchar_t* pidText) {
    Target target;
    target.pid = static_cast<DWORD>(wcstoul(pidText, nullptr, 10));
    target.process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE,
                                   target.pid);
    return target;
}

int Run(int argc, wchar_t** argv) {
    std::wstring pidFile, log;
    int i = 2;
    for (; i + 1 < argc && argv[i][0] == L'-'; i += 2) {
        if (wcscmp(argv[i], L"--pidfile") == 0) pidFile = argv[i + 1];
        else if (wcscmp(argv[i], L"--log") == 0) log = argv[i + 1];
        else return Usage();
    }
    if (i >= argc) return Usage();
    std::wstring commandLine;
    for (int k = i; k < argc; ++k) {
        if (!commandLine.empty()) commandLine += L" ";
        commandLine += L"\"" + std::wstring(argv[k]) + L"\"";
    }
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(argv[i], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Print(L"cannot start " + std::wstring(argv[i]) + L"\n");
        return 1;
    }
    ::CloseHandle(pi.hThread);
    Target target{pi.dwProcessId, pi.hProcess};
    Print(L"started pid " + std::to_wstring(pi.dwProcessId) + L"\n");
    if (!pidFile.empty()) {
        if (FILE* f = _wfopen(pidFile.c_str(), L"wb")) {
            fprintf(f, "%lu\n", static_cast<unsigned long>(pi.dwProcessId));
            fclose(f);
        }
    }
    Watch(target, log, true);
    DWORD code = 0;
    ::WaitForSingleObject(target.process, 5000);
    ::GetExitCodeProcess(target.process, &code);
    Print(L"nearwatch ended with code " + std::to_wstring(code) + L"\n");
    return 0;
}

}  // namespace

int main() {
    // The wide command line, without depending on a wide entry point.
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return 2;
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    if (argc < 2) return Usage();
    std::wstring verb = argv[1];
    if (verb == L"run") return Run(argc, argv);
    if (argc < 3) return Usage();
    Target target = Open(argv[2]);
    if (!target.process) {
        Print(L"no process " + std::wstring(argv[2]) + L"\n");
        return 1;
    }
    if (verb == L"watch") return Watch(target, argc > 3 ? argv[3] : L"", false);
    if (verb == L"show") {
        Show(target);
        return 0;
    }
    if (verb == L"command" && argc > 3) {
        HWND main = target.Main();
        int id = _wtoi(argv[3]);
        return main && ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? 0 : 1;
    }
    if (verb == L"exit") {
        EndProgram(target);
        return 0;
    }
    return Usage();
}
