// The main window's command set: menus, accelerators, toolbar, context menu,
// and the rule that enables, greys and checks them.
#include "app/MainWindow.h"

#include <commctrl.h>
#include <cstring>
#include "app/AboutDialog.h"
#include "app/BrowserCommand.h"
#include "listview/FindDialog.h"
#include "discovery/PropertiesDialog.h"
#include "listview/ColumnSettingsDialog.h"
#include "settings/AdvancedOptionsDialog.h"
#include "publish/MqttOptionsDialog.h"
#include "listview/ListFont.h"
#include "discovery/ConnectionProbe.h"
#include "lang/Strings.h"
#include "reports/ReportCommands.h"
#include "resource.h"

namespace nw {

namespace {

// Menu bar positions of the pop-ups that hold each command.
constexpr int kFileMenu = 0;
constexpr int kEditMenu = 1;
constexpr int kViewMenu = 2;

constexpr DWORD kBrowserCommandChars = 1024;   // at most 1023 characters

void SetCheck(HMENU menu, UINT command, int32_t on) {
    if (menu) ::CheckMenuItem(menu, command, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// A radio mark that works whatever order the items stand in.
void SetRadioCheck(HMENU menu, UINT command, bool on) {
    if (!menu) return;
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    if (!::GetMenuItemInfoW(menu, command, FALSE, &info)) return;
    info.fType |= MFT_RADIOCHECK;
    info.fState = (info.fState & ~static_cast<UINT>(MFS_CHECKED)) | (on ? MFS_CHECKED : 0u);
    ::SetMenuItemInfoW(menu, command, FALSE, &info);
}

// The default value of HKEY_CLASSES_ROOT\http\shell\open\command.
bool ReadBrowserCommand(wchar_t* out, DWORD chars) {
    out[0] = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    wchar_t raw[kBrowserCommandChars] = {};
    DWORD type = 0;
    DWORD bytes = sizeof raw - sizeof raw[0];   // room for a terminator the value may lack
    LONG status = ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(raw), &bytes);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    raw[bytes / sizeof raw[0]] = 0;
    if (type == REG_EXPAND_SZ) {
        DWORD n = ::ExpandEnvironmentStringsW(raw, out, chars);
        return n > 0 && n <= chars;
    }
    wcsncpy(out, raw, chars - 1);
    out[chars - 1] = 0;
    return true;
}

}  // namespace

// ---- Command states ------------------------------------------------------------

void MainWindow::UpdateCommandStates(HMENU contextMenu) {
    if (!table_) return;
    const int selected = table_->SelectedCount();
    const int rows = table_->RowCount();

    // With a context menu, its items are enabled or greyed; otherwise the
    // main menu's. The toolbar follows either way.
    auto enable = [&](int position, UINT command, bool on) {
        EnableMenuCommand(window_, contextMenu, position, command, on);
    };
    enable(kFileMenu, IDM_PROPERTIES, selected == 1);
    enable(kFileMenu, IDM_SAVE_SELECTED, selected > 0);
    enable(kEditMenu, IDM_COPY_SELECTED, selected > 0);
    enable(kFileMenu, IDM_CONNECT_PROBE, selected > 0);
    enable(kFileMenu, IDM_REMOVE_SELECTED, selected > 0);
    enable(kViewMenu, IDM_HTML_SELECTED, selected > 0);
    enable(kViewMenu, IDM_AUTOSIZE_COLUMNS, rows > 0);
    enable(kViewMenu, IDM_HTML_ALL, rows > 0);
    enable(kEditMenu, IDM_FIND, rows > 0);
    enable(kViewMenu, IDM_TIMELINE, rows > 0);

    EnableToolbarButton(toolBar_, IDM_PROPERTIES, selected == 1);
    EnableToolbarButton(toolBar_, IDM_SAVE_SELECTED, selected > 0);
    EnableToolbarButton(toolBar_, IDM_COPY_SELECTED, selected > 0);
    EnableToolbarButton(toolBar_, IDM_FIND, rows > 0);
    EnableToolbarButton(toolBar_, IDM_TIMELINE, rows > 0);

    // Check marks always live in the main menu.
    const Settings& s = *settings_;
    SetCheck(mainMenu_, IDM_GRID_LINES, s.ShowGridLines);
    SetCheck(mainMenu_, IDM_INFO_TIP, s.ShowInfoTip);
    SetCheck(mainMenu_, IDM_TRAY_ICON, s.TrayIcon);
    SetCheck(mainMenu_, IDM_SORT_ON_UPDATE, s.SortOnEveryUpdate);
    SetCheck(mainMenu_, IDM_BALLOON_ON_NEW, s.DisplayBalloonOnNewDevice);
    SetCheck(mainMenu_, IDM_OPEN_ON_NEW, s.OpenWindowOnNewDevice);
    SetCheck(mainMenu_, IDM_BEEP_ON_NEW, s.BeepOnNewDevice);
    SetCheck(mainMenu_, IDM_MARK_NEW, s.MarkNewDevices);
    SetCheck(mainMenu_, IDM_ALERT_ONLY_DESC, s.DevicesAlertOnlyWithDesc);
    SetCheck(mainMenu_, IDM_AUTO_DESCRIPTION, s.AutoSetDeviceDescription);
    SetCheck(mainMenu_, IDM_HISTORY_LOG, s.presence.KeepHistoryLog);
    for (UINT command = IDM_RATE_HIGH; command <= IDM_RATE_LOW; ++command)
        SetRadioCheck(mainMenu_, command, static_cast<int64_t>(IDM_RATE_BASE) + s.UpdateRate == static_cast<int64_t>(command));
}

void MainWindow::ShowContextMenu() {
    HMENU menu = popupMenu_ ? ::GetSubMenu(popupMenu_.get(), 0) : nullptr;
    if (!menu) return;
    UpdateCommandStates(menu);
    POINT at;
    ::GetCursorPos(&at);
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
}

// ---- Commands ------------------------------------------------------------------

void MainWindow::OnCommand(WORD code, WORD id, HWND) {
    // Menus (0) and accelerators (1) only; control notifications are not commands.
    if (closed_ || !table_ || (code != 0 && code != 1)) return;
    Settings& s = *settings_;
    switch (id) {
    case IDM_RATE_HIGH:
    case IDM_RATE_MEDIUM:
    case IDM_RATE_LOW:
        // Takes effect from the next wait.
        s.UpdateRate = id - IDM_RATE_BASE;
        UpdateCommandStates(nullptr);
        break;
    case IDM_SAVE_SELECTED:
        if (table_->SelectedCount() > 0) SaveSelected(*table_, window_, s);
        break;
    case IDM_EXIT:
        ::DestroyWindow(window_);
        break;
    case IDM_ABOUT: {
        wchar_t le[AboutDialog::kTextChars];
        FormatLeStatus(le_.Status(), false, le, AboutDialog::kTextChars);
        ShowAboutBox(window_, list_, le);
        break;
    }
    case IDM_REFRESH:
        RefreshNow();
        break;
    case IDM_GRID_LINES:
        ToggleSetting(s.ShowGridLines);
        ApplyListStyles();
        break;
    case IDM_HTML_ALL:
        ShowHtmlReport(*table_, window_, reportPath_, false);
        break;
    case IDM_SELECT_ALL:
        table_->SetRowState(-1, LVIS_SELECTED, LVIS_SELECTED);
        break;
    case IDM_COPY_SELECTED:
        if (table_->SelectedCount() > 0) CopySelected(*table_, window_);
        break;
    case IDM_PROPERTIES:
        // Also the list's double click.
        if (table_->SelectedCount() == 1) ShowDeviceProperties(*table_, window_);
        // A description edited there is published now.
        publisher_.Sync();
        break;
    case IDM_HTML_SELECTED:
        if (table_->SelectedCount() > 0) ShowHtmlReport(*table_, window_, reportPath_, true);
        break;
    case IDM_CHOOSE_COLUMNS:
        nw::ShowColumnSettings(*table_, window_);
        break;
    case IDM_AUTOSIZE_COLUMNS:
        table_->AutoSizeColumns();
        break;
    case IDM_FIND:
        nw::OpenFind(window_, *table_);
        break;
    case IDM_DESELECT_ALL:
        table_->SetRowState(-1, 0, LVIS_SELECTED);
        break;
    case IDM_INFO_TIP:
        ToggleSetting(s.ShowInfoTip);
        ApplyListStyles();
        break;
    case IDM_WEB_PAGE:
        OpenProductPage();
        break;
    case IDM_TRAY_ICON:
        ToggleSetting(s.TrayIcon);
        ApplyTraySetting(tray_, s, trayIcon_.get(), table_->RowCount());
        break;
    case IDM_OPEN_WINDOW:
        ::ShowWindow(window_, SW_SHOWNORMAL);
        break;
    case IDM_RESET:
        ResetList();
        break;
    case IDM_BALLOON_ON_NEW:
        ToggleSetting(s.DisplayBalloonOnNewDevice);
        break;
    case IDM_OPEN_ON_NEW:
        ToggleSetting(s.OpenWindowOnNewDevice);
        break;
    case IDM_SORT_ON_UPDATE:
        ToggleSetting(s.SortOnEveryUpdate);
        break;
    case IDM_BEEP_ON_NEW:
        ToggleSetting(s.BeepOnNewDevice);
        break;
    case IDM_ALERT_ONLY_DESC:
        ToggleSetting(s.DevicesAlertOnlyWithDesc);
        break;
    case IDM_AUTO_DESCRIPTION:
        ToggleSetting(s.AutoSetDeviceDescription);
        break;
    case IDM_MARK_NEW:
        ToggleSetting(s.MarkNewDevices);
        // The highlight appears or goes at once.
        ::InvalidateRect(list_, nullptr, FALSE);
        break;
    case IDM_HIDE_WINDOW:
        // Hidden, the window comes back only through the tray icon; without
        // one it would be lost, still running. It goes to the taskbar then.
        ::ShowWindow(window_, s.TrayIcon ? SW_HIDE : SW_MINIMIZE);
        break;
    case IDM_REMOVE_SELECTED:
        RemoveSelected();
        break;
    case IDM_CHOOSE_FONT:
        ChooseListFont();
        break;
    case IDM_DEFAULT_FONT:
        memset(&s.ListFont, 0, sizeof s.ListFont);
        ApplyListFont();
        break;
    case IDM_ADVANCED_OPTIONS:
        // On OK the alert templates and their switches are stored.
        if (nw::ShowAdvancedOptions(s, window_)) {
            UpdateCommandStates(nullptr);
            ApplyLowEnergySetting();
        }
        table_->Focus();
        break;
    case IDM_TIMELINE:
        if (table_->RowCount() > 0) presence_.ShowTimeline(*table_, window_);
        break;
    case IDM_MQTT_OPTIONS:
        // On OK the client starts again with the new settings.
        if (nw::ShowMqttOptions(s, window_)) StartPublisher();
        table_->Focus();
        break;
    case IDM_HISTORY_LOG:
        // From the next scan on; what waits is written either way.
        ToggleSetting(s.presence.KeepHistoryLog);
        break;
    case IDM_CONNECT_PROBE:
        if (table_->SelectedCount() > 0) WindowProbes().ProbeSelected(*table_, window_);
        break;
    default:
        break;
    }
}

void MainWindow::ToggleSetting(int32_t& flag) {
    flag ^= 1;
    UpdateCommandStates(nullptr);
}

void MainWindow::ResetList() {
    if (::MessageBoxW(window_, GetString(IDS_ASK_RESET), L"Nearwatch", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    // Clears alertsArmed: the next completed scan refills the list without
    // marks and arms the alerts again. The scan cycle goes on unchanged.
    // Who is here is forgotten too: the next scan starts the tracking anew.
    table_->Reset();
    presence_.Reset();
    // The broker forgets every device too.
    publisher_.OnReset();
    UpdateStatusText();
    UpdateCommandStates(nullptr);
}

void MainWindow::RemoveSelected() {
    if (table_->SelectedCount() == 0) return;
    table_->MarkSelectedRemoved();
    // Merges the window's own copy of the last completed answer, never the
    // worker's buffer a running scan may be filling: a removed device in that
    // answer comes back at once, the others stay hidden until seen again.
    RefreshAfterScan();
    // Their retained topics are cleared.
    publisher_.Sync();
    UpdateCommandStates(nullptr);
}

// F5: a waiting cycle scans at once; a running scan is left alone.
void MainWindow::RefreshNow() {
    if (scanning_) return;
    if (cycle_.EndWait()) StartScan();
}

void MainWindow::OpenProductPage() {
    wchar_t command[kBrowserCommandChars];
    if (!ReadBrowserCommand(command, kBrowserCommandChars)) return;
    wchar_t browser[kBrowserCommandChars];
    if (!BrowserPathFromCommand(command, browser, kBrowserCommandChars)) return;
    DWORD attributes = ::GetFileAttributesW(browser);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    ::ShellExecuteW(window_, nullptr, browser, linkAddress_, nullptr, SW_SHOWNORMAL);
}

// ---- List font ---------------------------------------------------------------------

void MainWindow::ChooseListFont() {
    if (nw::ChooseListFont(window_, settings_->ListFont)) ApplyListFont();
    table_->Focus();
}

// The font lasts for the run only: it is not stored in the configuration.
void MainWindow::ApplyListFont() {
    LOGFONTW font = settings_->ListFont;
    const UINT systemDpi = SystemDpi();
    // Fonts come at the system's DPI (the chosen one and the list's default
    // alike); on a screen of another DPI the list gets one scaled to it.
    if (dpi_ != systemDpi) {
        if (!font.lfFaceName[0] && !::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof font, &font, 0))
            return;
        font.lfHeight = RescaleForDpi(font.lfHeight, dpi_, systemDpi);
    }
    nw::ApplyListFont(list_, font, listFont_);
}

}  // namespace nw
