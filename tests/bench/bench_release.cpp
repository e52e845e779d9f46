// What a user downloads: the size of each build's nearwatch.exe against the
// budget, and the start-up from process start to a visible window that
// answers a message, against a bare list-view program started the same way
// in the same run (bare_listview.exe), in pairs.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Bench.h"

namespace {

std::wstring BinFolder() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

double FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return NAN;
    return static_cast<double>(data.nFileSizeLow) + 4294967296.0 * data.nFileSizeHigh;
}

// The bench runs from build/win64/bin; the release build lies beside it.
double Size32() { return FileBytes(BinFolder() + L"..\\..\\win32\\bin\\nearwatch.exe"); }
double Size64() { return FileBytes(BinFolder() + L"nearwatch.exe"); }

struct Found {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<Found*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != found->pid || !IsWindowVisible(window)) return TRUE;
    found->window = window;
    return FALSE;
}

// Milliseconds from CreateProcess until a visible top-level window of the
// process has answered WM_NULL; NaN when it does not within 30 s.
double StartOnce(const std::wstring& exe, const std::wstring& args, const std::wstring& folder) {
    std::wstring line = L"\"" + exe + L"\" " + args;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double t0 = bench::NowMs();
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return NAN;
    double result = NAN;
    Found found = {process.dwProcessId, nullptr};
    while (bench::NowMs() - t0 < 30000) {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&found));
        DWORD_PTR answer = 0;
        if (found.window && SendMessageTimeoutW(found.window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer)) {
            result = bench::NowMs() - t0;
            break;
        }
        // Every look is a round of calls to the window server, which the
        // starting program needs too: a look every 2 ms, not flat out.
        if (WaitForSingleObject(process.hProcess, 2) == WAIT_OBJECT_0) break;
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // The system is still tearing the process down; the next start waits.
    Sleep(300);
    return result;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? NAN : v[v.size() / 2];
}

// nearwatch.exe in a folder of its own, as a user has it: the company list
// (--oui) beside it, the simulated radio with one device, no settings file.
double StartupRatio() {
    const std::wstring bin = BinFolder();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"nw_startup_bench\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring exe = folder + L"nearwatch.exe", bareExe = folder + L"bare_listview.exe";
    if (!CopyFileW((bin + L"nearwatch.exe").c_str(), exe.c_str(), FALSE)) return NAN;
    if (!CopyFileW((bin + L"bare_listview.exe").c_str(), bareExe.c_str(), FALSE)) return NAN;
    if (!bench::Opts().oui.empty()) CopyFileW(bench::Opts().oui.c_str(), (folder + L"oui.txt").c_str(), FALSE);
    const std::wstring scenario = folder + L"scenario.txt";
    HANDLE file = CreateFileW(scenario.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const char text[] = "unit_ms 5\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n";
        DWORD written = 0;
        WriteFile(file, text, sizeof text - 1, &written, nullptr);
        CloseHandle(file);
    }
    SetEnvironmentVariableW(L"NEARWATCH_RADIO", (bin + L"simradio.dll").c_str());
    SetEnvironmentVariableW(L"NEARWATCH_SIMRADIO", scenario.c_str());

    // Pairs, one start of each, the order turning from pair to pair; the
    // value is the median of the pairs' ratios. On a busy machine a start
    // takes from half to three times its usual time, and the two starts of a
    // pair share the moment's load where medians taken apart do not.
    constexpr int kPairs = 11;
    std::vector<double> bare, program, ratios;
    // One of each first, unmeasured: the first start of a file pays for reading it.
    StartOnce(bareExe, L"", folder);
    StartOnce(exe, L"/nosaveload", folder);
    for (int i = 0; i < kPairs; ++i) {
        double b, p;
        if (i % 2 == 0) {
            b = StartOnce(bareExe, L"", folder);
            p = StartOnce(exe, L"/nosaveload", folder);
        } else {
            p = StartOnce(exe, L"/nosaveload", folder);
            b = StartOnce(bareExe, L"", folder);
        }
        bare.push_back(b);
        program.push_back(p);
        if (b > 0 && p > 0) ratios.push_back(p / b);
    }
    std::fprintf(stderr, "  bare, nearwatch (ms):");
    for (int i = 0; i < kPairs; ++i) std::fprintf(stderr, " %.0f/%.0f", bare[i], program[i]);
    std::fprintf(stderr, "\n");
    const double b = Median(bare), p = Median(program);
    std::fprintf(stderr,
                 "  start-up medians of %d alternating pairs: bare list %.0f ms, nearwatch %.0f ms (%.2fx)%s;"
                 " median of the pairs' ratios %.2fx\n",
                 kPairs, b, p, p / b, bench::Opts().oui.empty() ? "" : " (with oui.txt)", Median(ratios));
    // A pair with a start that failed counts as none.
    return ratios.size() * 2 > kPairs ? Median(ratios) : NAN;
}

bench::Registrar size32({"size: build/win32 nearwatch.exe as shipped", "bytes", "<= 409,600", 1, &Size32});
bench::Registrar size64({"size: build/win64 nearwatch.exe", "bytes", "", 1, &Size64});
bench::Registrar startup({"start-up: window answers, nearwatch / bare list (x)", "ratio", "<= 1.2", 1,
                          &StartupRatio});

}  // namespace
