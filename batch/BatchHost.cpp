#include "batch/BatchHost.h"

#include <commctrl.h>
#include <atomic>
#include "resource.h"

namespace nw {

namespace {

constexpr DWORD kCloseGraceMs = 4000;   // the system ends a closed console's programs after 5 s

// The handler runs on a thread of its own: it only posts, and on close waits.
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

}  // namespace

HWND CreateHiddenHost(const wchar_t* className, WNDPROC proc, DWORD listStyle, HostWindow& host) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    if (!::RegisterClassW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    // A tool window, so not even a taskbar button could appear.
    host.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, className, L"Nearwatch", WS_POPUP, 0, 0, 640, 480, nullptr,
                                 nullptr, instance, nullptr));
    if (!host) return nullptr;
    return ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | listStyle, 0, 0, 400, 200, host.get(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DEVICELIST)), instance, nullptr);
}

void BeginConsoleRun() {
    if (!g_runEnded) g_runEnded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_runEnded) ::ResetEvent(g_runEnded);
}

void RouteConsoleStop(HWND target) {
    g_stopTarget.store(target, std::memory_order_release);
    // Installed whatever the console: a handler that is never called costs
    // nothing, and a missed Ctrl+C would end the process mid-run.
    if (target) ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void EndConsoleRun() {
    if (g_runEnded) ::SetEvent(g_runEnded);
}

}  // namespace nw
