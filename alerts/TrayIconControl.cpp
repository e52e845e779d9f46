#include "alerts/TrayIconControl.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "listview/ReportListView.h"
#include "settings/Settings.h"
#include "resource.h"
#include <shellapi.h>

namespace nw {

// The full record reaches every field; the balloon uses the layout that ends
// before hBalloonIcon, so that NIIF_USER takes its image from hIcon.
constexpr DWORD kFullRecordSize = sizeof(NOTIFYICONDATAW);
constexpr DWORD kBalloonRecordSize = NOTIFYICONDATAW_V3_SIZE;
#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAW) == 956, "32-bit notification record with hBalloonIcon");
static_assert(NOTIFYICONDATAW_V3_SIZE == 952, "32-bit notification record up to guidItem");
#endif

TrayIconControl::~TrayIconControl() { RemoveIcon(); }

void TrayIconControl::Attach(HWND window, HMENU menu) {
    window_ = window;
    iconId_ = 0;
    callbackMessage_ = NWM_TRAY;
    menu_.reset(menu);
    popup_ = menu ? ::GetSubMenu(menu, 0) : nullptr;
}

bool TrayIconControl::IsRestoreEvent(UINT mouseMessage) {
    return mouseMessage == WM_LBUTTONDBLCLK || mouseMessage == NIN_BALLOONUSERCLICK;
}

void TrayIconControl::OnTrayMessage(UINT mouseMessage) {
    if (mouseMessage == WM_CONTEXTMENU || mouseMessage == WM_RBUTTONDOWN) ShowTrayMenu();
}

void TrayIconControl::ShowTrayMenu() {
    if (!popup_) return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks
    // elsewhere; the empty message afterwards lets it close on the first
    // click outside.
    ::SetForegroundWindow(window_);
    ::TrackPopupMenu(popup_, TPM_BOTTOMALIGN, cursor.x, cursor.y, 0, window_, nullptr);
    ::PostMessageW(window_, WM_NULL, 0, 0);
}

void TrayIconControl::FillRecord(NOTIFYICONDATAW& data, DWORD size) const {
    ZeroMemory(&data, sizeof(data));
    data.cbSize = size;
    data.hWnd = window_;
    data.uID = iconId_;
}

// A failed call (no notification area) still counts as added: nothing adds
// the icon again later, and RemoveIcon then simply fails as well.
void TrayIconControl::AddOrUpdateIcon(HICON icon) {
    NOTIFYICONDATAW data;
    FillRecord(data, kFullRecordSize);
    data.hIcon = icon;
    if (!added_) {
        data.uFlags = NIF_MESSAGE | NIF_ICON;
        data.uCallbackMessage = callbackMessage_;
        ::Shell_NotifyIconW(NIM_ADD, &data);
        added_ = 1;
    } else {
        data.uFlags = NIF_ICON;
        ::Shell_NotifyIconW(NIM_MODIFY, &data);
    }
}

void TrayIconControl::RemoveIcon() {
    if (!added_) return;
    NOTIFYICONDATAW data;
    FillRecord(data, kFullRecordSize);
    ::Shell_NotifyIconW(NIM_DELETE, &data);
    added_ = 0;
}

void TrayIconControl::SetTip(const wchar_t* text) {
    if (!added_) return;
    NOTIFYICONDATAW data;
    FillRecord(data, kFullRecordSize);
    data.uFlags = NIF_TIP;
    static_assert(sizeof(data.szTip) / sizeof(data.szTip[0]) == kTrayTipMax + 1);
    CopyText(data.szTip, text);
    CopyText(tip_, text);
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIconControl::ShowBalloon(const wchar_t* text, const wchar_t* title, HICON icon) {
    NOTIFYICONDATAW data;
    FillRecord(data, kBalloonRecordSize);
    data.uFlags = NIF_INFO;
    static_assert(sizeof(data.szInfo) / sizeof(data.szInfo[0]) == kBalloonMessageMax + 1);
    static_assert(sizeof(data.szInfoTitle) / sizeof(data.szInfoTitle[0]) == kBalloonTitleMax + 1);
    CopyText(data.szInfo, text);
    CopyText(data.szInfoTitle, title);
    data.uTimeout = 0;
    if (icon) {
        data.dwInfoFlags = NIIF_USER;
        data.hIcon = icon;
    } else {
        data.dwInfoFlags = NIIF_NONE;
    }
    ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void ApplyTraySetting(TrayIconControl& tray, const Settings& settings, HICON icon, int rowCount) {
    if (!settings.TrayIcon) {
        tray.RemoveIcon();
        return;
    }
    tray.AddOrUpdateIcon(icon);
    UpdateTrayTip(tray, settings, rowCount);
}

void UpdateTrayTip(TrayIconControl& tray, const Settings& settings, int rowCount) {
    if (!settings.TrayIcon) return;
    // A language file can replace the text: only the number is put in.
    wchar_t tip[256];
    FormatNumberText(tip, 256, GetString(IDS_TRAY_TIP), rowCount);
    tray.SetTip(tip);
}

}  // namespace nw
