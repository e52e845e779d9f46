// What both runs without a window share: the hidden window their messages
// go to, with the hidden list the table fills, and the console's stop
// request.
#pragma once
#include <windows.h>
#include "base/Handles.h"

namespace nw {

struct HostWindowTraits {
    static HWND Empty() { return nullptr; }
    static bool Valid(HWND window) { return window != nullptr; }
    static void Close(HWND window) { ::DestroyWindow(window); }
};
using HostWindow = UniqueHandle<HWND, HostWindowTraits>;

// Creates the never-shown host window of className (registered on first
// use) and its report list; returns the list, or nullptr with the system's
// error in GetLastError.
HWND CreateHiddenHost(const wchar_t* className, WNDPROC proc, DWORD listStyle, HostWindow& host);

// A run's span: from Begin the console's Ctrl+C, Ctrl+Break or close is a
// WM_CLOSE posted to the window given to RouteConsoleStop, and a closing
// console keeps the process (4 s at most; the system ends it after 5) until
// End says that what the run owes is done.
void BeginConsoleRun();
void RouteConsoleStop(HWND target);   // nullptr: no longer
void EndConsoleRun();

}  // namespace nw
