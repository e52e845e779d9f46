// Save, copy and HTML report: the commands that hand list rows to files,
// the clipboard and the browser, and the one error box of the program.
// rand_s, for the clipboard copy's temporary name another program cannot foresee.
#define _CRT_RAND_S
#include <stdlib.h>
#include "reports/ReportCommands.h"
#include "reports/ReportWriter.h"
#include "listview/ReportListView.h"
#include "settings/Settings.h"
#include "lang/Strings.h"
#include "frame/Frame.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "resource.h"
#include <commdlg.h>
#include <cwchar>

namespace nw {

namespace {

constexpr wchar_t kReportFileName[] = L"report.html";
constexpr size_t kMessageChars = 1024;

struct SaveFileType {
    unsigned nameId;
    const wchar_t* pattern;
};

// Entry n is export kind n.
constexpr SaveFileType kSaveFileTypes[] = {
    {IDS_FILETYPE_TEXT, L"*.txt"},         {IDS_FILETYPE_TAB, L"*.txt"},
    {IDS_FILETYPE_TABULAR, L"*.txt"},      {IDS_FILETYPE_HTML_H, L"*.htm;*.html"},
    {IDS_FILETYPE_HTML_V, L"*.htm;*.html"}, {IDS_FILETYPE_XML, L"*.xml"},
    {IDS_FILETYPE_CSV, L"*.csv"},
};

// Appends text and its terminator at out + used; false when it does not fit.
bool AppendPiece(wchar_t* out, size_t size, size_t& used, const wchar_t* text) {
    size_t len = wcslen(text);
    if (used + len + 1 > size) return false;
    wmemcpy(out + used, text, len + 1);
    used += len + 1;
    return true;
}

// FormatMessageW into a platform-allocated buffer, copied out and freed.
bool FormatFrom(DWORD flags, HMODULE module, DWORD code, wchar_t* out, size_t size) {
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module, code,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0,
                               nullptr);
    bool found = n > 0 && text;
    if (found) CopyText(out, size, text);
    if (text) ::LocalFree(text);
    return found;
}

// netmsg.dll as data only, and only from the system folder.
HMODULE LoadNetworkMessages() {
    wchar_t path[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    if (AppendText(path, MAX_PATH, L"\\netmsg.dll") >= MAX_PATH - 1) return nullptr;
    return ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// The temporary folder, or the Windows folder when there is none.
bool TemporaryFolder(wchar_t* out, size_t size) {
    DWORD n = ::GetTempPathW(static_cast<DWORD>(size), out);
    if (n > 0 && n < size) return true;
    UINT w = ::GetWindowsDirectoryW(out, static_cast<UINT>(size));
    return w > 0 && w < size;
}

// Another program (a clipboard viewer, a manager) may hold the clipboard for
// a moment; a few short retries spare the user a needless error box.
bool OpenClipboardFor(HWND owner) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::OpenClipboard(owner)) return true;
        ::Sleep(20);
    }
    return false;
}

}  // namespace

// ---- Pieces without a window ---------------------------------------------------

size_t BuildSaveFilter(wchar_t* out, size_t size) {
    size_t used = 0;
    for (const SaveFileType& type : kSaveFileTypes) {
        wchar_t display[512];
        FormatText(display, 512, L"%s (%s)", GetString(type.nameId), type.pattern);
        if (!AppendPiece(out, size, used, display) || !AppendPiece(out, size, used, type.pattern)) {
            if (size >= 2) out[0] = out[1] = 0;
            return 0;
        }
    }
    if (used + 1 > size) {
        if (size >= 2) out[0] = out[1] = 0;
        return 0;
    }
    out[used++] = 0;
    return used;
}

bool ReportPathInFolder(const wchar_t* folder, wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    size_t len = folder ? wcslen(folder) : 0;
    if (len == 0) return false;
    if (len + wcslen(kReportFileName) + 1 >= MAX_PATH) return false;
    bool slash = folder[len - 1] == L'\\';
    if (len + (slash ? 0 : 1) + wcslen(kReportFileName) + 1 > size) return false;
    CopyText(out, size, folder);
    if (!slash) AppendText(out, size, L"\\");
    AppendText(out, size, kReportFileName);
    return true;
}

// Current Windows guards folders such as Program Files by access rights while
// their read-only attribute says nothing about writing, so ask the file system
// itself: a probe file with a unique name, gone again when its handle closes.
bool FolderAcceptsNewFiles(const wchar_t* folder) {
    if (!folder || !folder[0]) return false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        wchar_t probe[MAX_PATH];
        size_t len = wcslen(folder);
        FormatText(probe, MAX_PATH, L"%s%snw%lu-%lu-%d.tmp", folder, folder[len - 1] == L'\\' ? L"" : L"\\",
                   ::GetCurrentProcessId(), ::GetTickCount(), attempt);
        if (wcsncmp(probe, folder, len) != 0 || wcslen(probe) >= MAX_PATH - 1) return false;
        Handle file(::CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
        if (file) return true;
        if (::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

void SystemErrorText(DWORD code, wchar_t* out, size_t size) {
    if (size == 0) return;
    out[0] = 0;
    bool found = false;
    if (code >= 2100 && code <= 2999) {
        Library netmsg(LoadNetworkMessages());
        if (netmsg) found = FormatFrom(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM, netmsg.get(), code,
                                       out, size);
    }
    if (!found) found = FormatFrom(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, out, size);
    if (!found) {
        CopyText(out, size, L"Unknown Error");
        return;
    }
    size_t len = wcslen(out);
    while (len > 0 && (out[len - 1] == L'\r' || out[len - 1] == L'\n' || out[len - 1] == L' ')) out[--len] = 0;
}

// ---- Commands ------------------------------------------------------------------

void ShowErrorBox(DWORD code, HWND owner) {
    if (code == 0) code = ::GetLastError();
    wchar_t text[kMessageChars];
    SystemErrorText(code, text, kMessageChars);
    wchar_t message[kMessageChars];
    FormatText(message, kMessageChars, L"Error %d: %s", static_cast<int>(code), text);
    ::MessageBoxW(owner, message, L"Error", MB_OK | MB_ICONWARNING);
}

bool ExportToFile(ReportListView& list, HWND owner, const wchar_t* path, int kind, bool noByteOrderMark,
                  bool selectedOnly) {
    if (ExportRows(list, path, kind, noByteOrderMark, selectedOnly)) return true;
    ShowErrorBox(0, owner);
    return false;
}

// The file type chosen in the dialog, not the extension typed, decides the
// format: kind = the dialog's filter index.
void SaveSelected(ReportListView& list, HWND owner, Settings& settings) {
    // Room for seven type names at their longest (511 units each), so a long
    // translation can never leave the command doing nothing.
    wchar_t filter[4096];
    if (BuildSaveFilter(filter, 4096) == 0) return;
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = settings.SaveFilterIndex > 0 ? static_cast<DWORD>(settings.SaveFilterIndex) : 0;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = GetString(IDS_SAVE_TITLE);
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!::GetSaveFileNameW(&ofn)) return;
    settings.SaveFilterIndex = static_cast<int32_t>(ofn.nFilterIndex);
    ExportToFile(list, owner, path, static_cast<int>(ofn.nFilterIndex), false, true);
}

void CopySelected(ReportListView& list, HWND owner) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (!TemporaryFolder(folder, MAX_PATH)) {
        ShowErrorBox(0, owner);
        return;
    }
    // A name of our own that did not exist before: a file planted under a
    // guessable name is never written into, and only what this command made
    // is deleted.
    bool created = false;
    bool exported = false;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 16 && !created; ++attempt) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) value = ::GetTickCount() ^ (::GetCurrentProcessId() << 16) ^ static_cast<unsigned>(attempt);
        const size_t length = FormatText(path, MAX_PATH, L"%scp%08x.tmp", folder, value);
        if (length + 1 >= MAX_PATH) break;
        exported = ExportRowsToNewFile(list, path, kExportTabDelimited, true, true, created);
        if (!exported) error = ::GetLastError();
        if (!created && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    if (exported) {
        DWORD result = 0;
        if (OpenClipboardFor(owner)) {
            result = PlaceFileOnClipboard(path);
        } else {
            result = ::GetLastError();
            if (result == 0) result = ERROR_ACCESS_DENIED;
        }
        if (result != 0) ShowErrorBox(result, owner);
    } else {
        ShowErrorBox(error ? error : ERROR_WRITE_FAULT, owner);
    }
    // The temporary file goes in every case, also when the export failed.
    if (created) ::DeleteFileW(path);
}

void ShowHtmlReport(ReportListView& list, HWND owner, const wchar_t* reportPath, bool selectedOnly) {
    if (ExportToFile(list, owner, reportPath, kExportHtmlHorizontal, false, selectedOnly)) {
        OpenWithShell(owner, reportPath);
    }
}

bool ComputeReportPath(wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    wchar_t folder[MAX_PATH];
    if (!ModuleFolder(folder, MAX_PATH) || !FolderAcceptsNewFiles(folder)) {
        DWORD n = ::GetTempPathW(MAX_PATH, folder);
        if (n == 0 || n >= MAX_PATH) return false;
    }
    return ReportPathInFolder(folder, out, size);
}

// The clipboard takes the block as it is: the file's bytes and a 16-bit zero
// at the last even offset (the file has no terminator of its own).
DWORD PlaceFileOnClipboard(const wchar_t* path) {
    DWORD result = 0;
    ::EmptyClipboard();
    Handle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        result = ::GetLastError();
    } else {
        LARGE_INTEGER fileSize = {};
        if (!::GetFileSizeEx(file.get(), &fileSize)) {
            result = ::GetLastError();
        } else if (fileSize.QuadPart < 0 || static_cast<unsigned long long>(fileSize.QuadPart) > 0x7FFFFFF0ull ||
                   static_cast<unsigned long long>(fileSize.QuadPart) + 2 > static_cast<SIZE_T>(-1)) {
            result = ERROR_NOT_ENOUGH_MEMORY;
        } else {
            SIZE_T bytes = static_cast<SIZE_T>(fileSize.QuadPart);
            HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, bytes + 2);
            if (!block) {
                result = ::GetLastError();
            } else {
                unsigned char* data = static_cast<unsigned char*>(::GlobalLock(block));
                SIZE_T done = 0;
                while (data && done < bytes) {
                    DWORD got = 0;
                    DWORD want = bytes - done > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes - done);
                    if (!::ReadFile(file.get(), data + done, want, &got, nullptr)) break;
                    if (got == 0) break;
                    done += got;
                }
                if (!data || done < bytes) {
                    result = ::GetLastError();
                    if (result == 0) result = ERROR_HANDLE_EOF;
                    if (data) ::GlobalUnlock(block);
                    ::GlobalFree(block);
                } else {
                    data[bytes & ~static_cast<SIZE_T>(1)] = 0;
                    data[(bytes & ~static_cast<SIZE_T>(1)) + 1] = 0;
                    ::GlobalUnlock(block);
                    if (::SetClipboardData(CF_UNICODETEXT, block)) {
                        // The clipboard owns the block from here on.
                    } else {
                        result = ::GetLastError();
                        if (result == 0) result = ERROR_INVALID_DATA;
                        ::GlobalFree(block);
                    }
                }
            }
        }
    }
    file.reset();
    ::CloseClipboard();
    return result;
}

}  // namespace nw
