// Helpers shared by the end-to-end tests of the main window and its
// commands: configuration files, the radio log's timing, waits on files.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "e2e/Driver.h"
#include "resource.h"

namespace nw::e2e {

// "[General]" with one Key=Value line per pair, as a user or an older run
// would leave it (8-bit text).
inline std::string GeneralSection(const std::vector<std::pair<std::string, std::string>>& keys) {
    std::string text = "[General]\r\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
    return text;
}

// Bytes as the configuration stores them: "%2.2X " per byte, no last space.
inline std::string ByteList(const void* data, size_t size) {
    std::string text;
    const auto* bytes = static_cast<const uint8_t*>(data);
    char pair[4];
    for (size_t i = 0; i < size; ++i) {
        snprintf(pair, sizeof pair, "%2.2X", bytes[i]);
        if (i) text += ' ';
        text += pair;
    }
    return text;
}

inline std::string WinPosValue(int left, int top, int right, int bottom, UINT showCmd) {
    WINDOWPLACEMENT p = {};
    p.length = sizeof p;
    p.showCmd = showCmd;
    p.ptMinPosition = {-1, -1};
    p.ptMaxPosition = {-1, -1};
    p.rcNormalPosition = {left, top, right, bottom};
    return ByteList(&p, sizeof p);
}

// A text file as UTF-16: files with a UTF-16 byte-order mark are taken as
// they are, others as 8-bit text of the system code page.
inline std::wstring DecodeText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        memcpy(text.data(), bytes.data() + 2, text.size() * 2);
        return text;
    }
    if (bytes.empty()) return {};
    int n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

inline std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Every key of the configuration file, in the order the program writes them.
inline const std::vector<std::wstring>& ConfigurationKeys() {
    static const std::vector<std::wstring> keys = {
        L"ShowGridLines", L"SaveFilterIndex", L"ShowInfoTip", L"TrayIcon", L"SortOnEveryUpdate",
        L"DisplayBalloonOnNewDevice", L"OpenWindowOnNewDevice", L"BeepOnNewDevice", L"MarkNewDevices",
        L"DevicesAlertOnlyWithDesc", L"AutoSetDeviceDescription", L"UpdateRate", L"NewDeviceExecute",
        L"UseNewDeviceExecute", L"NewDeviceSpeak", L"UseNewDeviceSpeak", L"WinPos", L"Columns", L"Sort",
        L"DepartAfterScans", L"UseDepartedDeviceExecute", L"DepartedDeviceExecute", L"BalloonOnDeparted",
        L"KeepHistoryLog", L"ScanLowEnergy", L"ForgetPrivateAfterMinutes", L"MqttServer", L"MqttTls",
        L"MqttTlsPin", L"MqttUser", L"MqttPasswordSealed", L"MqttNode", L"MqttTopic", L"MqttDiscovery",
        L"MqttDiscoveryAll",
    };
    return keys;
}

// Key names of "Key=Value" lines, in file order.
inline std::vector<std::wstring> KeysOf(const std::vector<std::wstring>& lines) {
    std::vector<std::wstring> keys;
    for (const auto& line : lines) {
        size_t eq = line.find(L'=');
        if (eq != std::wstring::npos && !line.empty() && line[0] != L'[') keys.push_back(line.substr(0, eq));
    }
    return keys;
}

inline std::wstring ValueOf(const std::vector<std::wstring>& lines, const std::wstring& key) {
    for (const auto& line : lines)
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 && line[key.size()] == L'=')
            return line.substr(key.size() + 1);
    return L"<absent>";
}

// One "start" or "close" line of the simulated radio's log.
struct RadioEvent {
    bool start = false;
    unsigned scan = 0;
    unsigned value = 0;          // multiplier (start) or answers (close)
    unsigned long long ms = 0;   // tick count when written
};

inline std::vector<RadioEvent> RadioEvents(const Program& program) {
    std::vector<RadioEvent> events;
    for (const std::string& line : program.RadioLog()) {
        RadioEvent e;
        unsigned scan = 0, value = 0;
        unsigned long long ms = 0;
        if (sscanf(line.c_str(), "start %u multiplier %u ms %llu", &scan, &value, &ms) == 3) {
            e.start = true;
        } else if (sscanf(line.c_str(), "close %u answers %u ms %llu", &scan, &value, &ms) != 3) {
            continue;
        }
        e.scan = scan;
        e.value = value;
        e.ms = ms;
        events.push_back(e);
    }
    return events;
}

// The event of scan n of the kind asked for; null when not (yet) logged.
inline const RadioEvent* FindEvent(const std::vector<RadioEvent>& events, unsigned scan, bool start) {
    for (const auto& e : events)
        if (e.scan == scan && e.start == start) return &e;
    return nullptr;
}

inline bool WaitScansStarted(const Program& program, int n, DWORD timeoutMs = 20000) {
    return WaitUntil([&] { return program.ScansStarted() >= n; }, timeoutMs);
}

inline std::string FileText(const Program& program, const std::wstring& name) {
    std::string content;
    program.ReadFile(name, content);
    return content;
}

// The HTML report once it is whole (its closing tag written); empty while
// there is none or the program is still writing it.
inline std::wstring WholeReport(const Program& program) {
    std::wstring html = DecodeText(FileText(program, L"report.html"));
    return html.find(L"</html>") != std::wstring::npos ? html : std::wstring();
}

// The screen's pixels inside area, row by row (0x00RRGGBB); empty when the
// area is empty or cannot be read.
inline std::vector<uint32_t> ScreenPixels(const RECT& area) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    std::vector<uint32_t> pixels;
    if (w <= 0 || h <= 0) return pixels;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, w, h, screen, area.left, area.top, SRCCOPY);
        ::SelectObject(memory, old);
        const auto* p = static_cast<const uint32_t*>(bits);
        pixels.assign(p, p + static_cast<size_t>(w) * h);
    }
    if (bitmap) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// Red, green and blue all below 60: the black text of an enabled menu item.
// Highlighted and greyed items draw none.
inline bool IsBlackText(uint32_t pixel) {
    return ((pixel >> 16) & 255) < 60 && ((pixel >> 8) & 255) < 60 && (pixel & 255) < 60;
}

// Black-text pixels of the screen inside band.
inline int DarkPixels(const RECT& band) {
    int dark = 0;
    for (uint32_t pixel : ScreenPixels(band)) dark += IsBlackText(pixel) ? 1 : 0;
    return dark;
}

// Opens the list's context menu and tells whether its first item (save) and
// its last item (refresh) are drawn enabled. Menus of another process cannot
// be read through their handle, so their pixels are looked at instead.
struct ContextMenuLook {
    bool opened = false;
    bool firstEnabled = false;
    bool lastEnabled = false;
};

inline ContextMenuLook LookAtContextMenu(const Program& program) {
    ContextMenuLook look;
    if (!::PostMessageW(program.MainWindow(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(program.List()),
                        MAKELPARAM(-1, -1)))
        return look;
    HWND popup = nullptr;
    WaitUntil([&] { return (popup = FindProcessWindow(program.Pid(), L"#32768")) && ::IsWindowVisible(popup); },
              5000);
    if (!popup || !::IsWindowVisible(popup)) return look;
    ::Sleep(400);   // painted
    RECT r = {};
    ::GetWindowRect(popup, &r);
    const int item = ::GetSystemMetrics(SM_CYMENU);
    look.opened = true;
    look.firstEnabled = DarkPixels({r.left + 3, r.top + 3, r.right - 3, r.top + item - 1}) > 0;
    look.lastEnabled = DarkPixels({r.left + 3, r.bottom - item + 1, r.right - 3, r.bottom - 3}) > 0;
    ::PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitUntil([&] { return !::IsWindowVisible(popup); }, 3000);
    ::Sleep(100);
    return look;
}

// The edit inside the save dialog's file-name box.
inline HWND FileNameEdit(HWND dialog) {
    HWND box = ::GetDlgItem(dialog, cmb13);
    if (!box) return ::GetDlgItem(dialog, edt1);
    HWND combo = ::FindWindowExW(box, nullptr, L"ComboBox", nullptr);
    HWND edit = ::FindWindowExW(combo ? combo : box, nullptr, L"Edit", nullptr);
    return edit ? edit : box;
}

inline int ComboSelection(HWND combo) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 3000, &result)) return -2;
    return static_cast<int>(static_cast<LRESULT>(result));
}

// Opens the save dialog (command 40001), picks file type typeIndex (1-7),
// types path and confirms. offeredType receives the type the dialog showed
// when it opened. Returns the dialog, or null when it did not appear.
inline HWND SaveThroughDialog(const Program& program, int typeIndex, const std::wstring& path, int* offeredType = nullptr) {
    if (!program.Command(IDM_SAVE_SELECTED)) return nullptr;
    HWND dialog = program.WaitDialog(8000);
    if (!dialog) return nullptr;
    ::Sleep(300);   // filled
    HWND types = ::GetDlgItem(dialog, cmb1);
    if (offeredType) *offeredType = ComboSelection(types) + 1;
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(types, CB_SETCURSEL, static_cast<WPARAM>(typeIndex - 1), 0, SMTO_ABORTIFHUNG, 3000,
                          &ignored);
    // What a user's pick in the box notifies: the change, then the final choice.
    for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK}) {
        ::SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, code), reinterpret_cast<LPARAM>(types),
                              SMTO_ABORTIFHUNG, 3000, &ignored);
    }
    ::SendMessageTimeoutW(FileNameEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()),
                          SMTO_ABORTIFHUNG, 3000, &ignored);
    Program::PressButton(dialog, IDOK);
    return dialog;
}

// Launches with the options or fails the test with the driver's reason.
// Opens the save dialog (command 40001), types the name of a file in the
// program's folder and presses OK; the save runs after this returns.
inline bool AnswerSaveDialog(const Program& program, const std::wstring& name) {
    constexpr int kFileName = 0x47C;   // the save dialog's file name box (cmb13)
    if (!program.Command(IDM_SAVE_SELECTED)) return false;
    HWND save = program.WaitDialog(15000);
    if (!save) return false;
    HWND box = ::GetDlgItem(save, kFileName);
    if (!box) return false;
    wchar_t className[32] = {};
    ::GetClassNameW(box, className, 32);
    // The box may be a combo box whose edit takes the text.
    HWND edit = _wcsicmp(className, L"ComboBox") == 0 ? ::FindWindowExW(box, nullptr, L"Edit", nullptr) : box;
    const std::wstring path = program.PathOf(name);
    if (!edit || !::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()))) return false;
    return Program::PressButton(save, IDOK);
}

#define NW_LAUNCH(program, options) \
    ASSERT_TRUE((program).Launch(options)) << ::nw::e2e::Narrow((program).Error())

// Ends the program through the menu's exit command (it never asks) and
// expects a clean exit.
inline void ExitByMenu(Program& program) {
    DWORD code = 99;
    ASSERT_TRUE(program.Command(IDM_EXIT));
    ASSERT_TRUE(program.WaitExit(10000, &code)) << "the program did not end after the exit command";
    EXPECT_EQ(0u, code);
}

}  // namespace nw::e2e
