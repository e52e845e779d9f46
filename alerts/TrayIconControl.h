// The program's icon in the notification area: add, remove, tooltip, balloon
// and the right-click menu. The main window forwards NWM_TRAY to it.
#pragma once
#include <windows.h>
#include "base/Handles.h"

namespace nw {

struct Settings;

constexpr size_t kTrayTipMax = 127;
constexpr size_t kBalloonTitleMax = 63;
constexpr size_t kBalloonMessageMax = 255;

class TrayIconControl {
public:
    TrayIconControl() = default;
    virtual ~TrayIconControl();   // removes the icon
    TrayIconControl(const TrayIconControl&) = delete;
    TrayIconControl& operator=(const TrayIconControl&) = delete;

    // window receives the callback message and the menu commands. menu is a
    // menu bar whose first pop-up is the tray menu (menu resource IDM_TRAY,
    // translated); the control owns and destroys it. menu may be null.
    void Attach(HWND window, HMENU menu);

    // lParam of NWM_TRAY: opens the menu on WM_CONTEXTMENU / WM_RBUTTONDOWN.
    // (Double click and balloon click are the main window's: IsRestoreEvent.)
    virtual void OnTrayMessage(UINT mouseMessage);
    // The menu at the cursor, bottom edge there, owned by the main window.
    virtual void ShowTrayMenu();

    // Adds the icon (callback NWM_TRAY) or replaces its image.
    void AddOrUpdateIcon(HICON icon);
    void RemoveIcon();
    // Tooltip, cut to 127 characters; only while the icon is added.
    void SetTip(const wchar_t* text);
    // Balloon: text cut to 255, title to 63; icon null = no icon. Empty text
    // and title remove a balloon that shows.
    void ShowBalloon(const wchar_t* text, const wchar_t* title, HICON icon);

    bool Added() const { return added_ != 0; }
    HWND Window() const { return window_; }
    HMENU TrayMenu() const { return popup_; }
    const wchar_t* Tip() const { return tip_; }   // the last tip set

    // WM_LBUTTONDBLCLK or NIN_BALLOONUSERCLICK: the main window shows itself.
    static bool IsRestoreEvent(UINT mouseMessage);

private:
    void FillRecord(NOTIFYICONDATAW& data, DWORD size) const;

    HWND window_ = nullptr;
    UINT iconId_ = 0;
    UINT callbackMessage_ = 0;   // NWM_TRAY once attached
    int added_ = 0;
    Menu menu_;               // owned menu bar
    HMENU popup_ = nullptr;   // its first pop-up (borrowed from menu_)
    wchar_t tip_[kTrayTipMax + 1] = {};
};

// TrayIcon off: removes the icon; on: adds it (or updates the image) with
// icon and sets the tip for rowCount devices.
void ApplyTraySetting(TrayIconControl& tray, const Settings& settings, HICON icon, int rowCount);
// TrayIcon on: the tip is string IDS_TRAY_TIP formatted with rowCount.
void UpdateTrayTip(TrayIconControl& tray, const Settings& settings, int rowCount);

}  // namespace nw
