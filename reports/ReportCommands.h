// The main window's commands that turn list rows into something outside the
// program: save (40001), copy (40008) and the HTML report (40006, 40010).
#pragma once
#include <windows.h>
#include <cstddef>

namespace nw {

class ReportListView;
struct Settings;

// Command 40001: asks for a file name and type and saves the selected rows;
// stores the chosen type in settings.SaveFilterIndex.
void SaveSelected(ReportListView& list, HWND owner, Settings& settings);

// Command 40008: the selected rows as tab-delimited UTF-16 text (no byte order
// mark) on the clipboard.
void CopySelected(ReportListView& list, HWND owner);

// Commands 40006 (selectedOnly false) and 40010 (true): writes reportPath as
// horizontal HTML and opens it with the program associated with it.
void ShowHtmlReport(ReportListView& list, HWND owner, const wchar_t* reportPath, bool selectedOnly);

// The report file: "report.html" beside the executable, or in the temporary
// folder when no file can be created beside it. Computed once at start-up.
// Returns false with out empty when the path would be 260 characters or longer.
bool ComputeReportPath(wchar_t* out, size_t size);

// ExportRows, then ShowErrorBox(0, owner) on failure.
bool ExportToFile(ReportListView& list, HWND owner, const wchar_t* path, int kind,
                  bool noByteOrderMark, bool selectedOnly);

// "Error %d: %s" with the system's text for code (0 = GetLastError()).
void ShowErrorBox(DWORD code, HWND owner);

// With the clipboard open: replaces its contents with the file's bytes as
// CF_UNICODETEXT. Returns 0 or the platform error code. Closes the clipboard.
DWORD PlaceFileOnClipboard(const wchar_t* path);

// ---- Pieces without a window (tested on their own) --------------------------
// The save dialog's filter list: "name (pattern)\0pattern\0" seven times and a
// final "\0". Returns the units used, final terminator included; 0 when it
// does not fit.
size_t BuildSaveFilter(wchar_t* out, size_t size);

// folder + "\" (unless present) + "report.html"; false with out empty when the
// result would be 260 characters or longer or does not fit size.
bool ReportPathInFolder(const wchar_t* folder, wchar_t* out, size_t size);

// True when a new file can really be created in folder (access rights, not
// the read-only attribute, decide on current Windows). Leaves nothing behind.
bool FolderAcceptsNewFiles(const wchar_t* folder);

// The system's text for code (netmsg.dll for 2100-2999), or "Unknown Error";
// trailing line breaks removed.
void SystemErrorText(DWORD code, wchar_t* out, size_t size);

}  // namespace nw
