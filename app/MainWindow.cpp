#include "app/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <array>
#include <new>
#include <vector>
#include "annotations/CompanyIndex.h"
#include "listview/FindDialog.h"
#include "discovery/ConnectionProbe.h"
#include "base/Text.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "presence/HistoryLine.h"
#include "reports/ReportCommands.h"
#include "resource.h"
#include "listview/ListFont.h"
#include "settings/SettingsStore.h"

namespace nw {

namespace {

constexpr int kToolImageCount = 7;
constexpr int kToolImageSize = 16;
// Right edges at 96 DPI: the counts, the link, then the LE part (to the end,
// or before the broker's state while publishing).
constexpr int kStatusPartEdges[3] = {300, 560, 820};
constexpr int kStatusLinkPart = 1;
constexpr int kStatusLePart = 2;     // why LE scanning is unavailable; empty while it works
constexpr int kStatusMqttPart = 3;   // the broker's state, only while publishing
constexpr int kLinkMargin = 5;
constexpr COLORREF kLinkColor = 0xFF0000;   // blue
constexpr size_t kStatusPieceChars = 256;   // each piece at most 255 characters
constexpr size_t kToolTipChars = 80;        // at most 79 characters

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// Posted to itself at the end of creation. Private to this window, so from
// the application's range rather than the numbers in resource.h.
constexpr UINT kStartAfterShow = WM_APP + 1;

}  // namespace

// ---- Low Energy ------------------------------------------------------------------

void MainWindow::OnLeSightings() {
    if (!table_ || !leBatch_ || closed_) return;
    const bool hadRows = table_->RowCount() > 0;
    // One batch at a time: what came meanwhile posts the next message.
    const int n = le_.Take(leBatch_.get(), kLeBatchMax);
    if (n <= 0 || !table_->MergeLeSightings(leBatch_.get(), n)) return;
    table_->Refresh();
    UpdateStatusText();
    UpdateTrayTip(tray_, *settings_, table_->RowCount());
    if ((table_->RowCount() > 0) != hadRows) UpdateCommandStates(nullptr);
    // New devices are announced as they are heard, not at the next scan's end.
    if (closed_ || !table_->alertsArmed) return;
    table_->LeNewRecords(leNew_);
    if (leNew_.empty()) return;
    actions_.RunOnRecords(leNew_.data(), static_cast<int>(leNew_.size()), *settings_, tray_, window_,
                          trayIcon_.get());
}

// Low Energy beside the inquiry, as the setting says; where the system has
// no watcher this only says so in the status bar.
void MainWindow::ApplyLowEnergySetting() {
    if (!settings_->scanLowEnergy) {
        le_.Stop();
        UpdateLeStatusText();
        return;
    }
    if (!leBatch_) leBatch_.reset(new (std::nothrow) LeSighting[kLeBatchMax]);
    if (leBatch_ && !le_.Started()) le_.Start(window_);
}

void MainWindow::UpdateLeStatusText() {
    wchar_t text[kStatusPieceChars];
    FormatLeStatus(le_.Status(), true, text, kStatusPieceChars);
    ::SendMessageW(statusBar_, SB_SETTEXTW, kStatusLePart, reinterpret_cast<LPARAM>(text));
}

// ---- Construction ------------------------------------------------------------

MainWindow::MainWindow()
    : settings_(std::make_unique<Settings>()), table_(std::make_unique<DeviceTable>()) {
    // The record is zeroed by make_unique; the configuration (or the defaults
    // under /nosaveload) gives every field its value at creation.
    SetAppSettings(settings_.get());
    CopyText(className_, L"Nearwatch");
    classIcon_ = ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_MAIN));
    // Both are kept scrambled in the program image.
    ProductLinkText(linkText_, sizeof linkText_ / sizeof linkText_[0]);
    ProductWebAddress(linkAddress_, sizeof linkAddress_ / sizeof linkAddress_[0]);
    MakeLinkFont();
    answer_.count = 0;
}

MainWindow::~MainWindow() {
    // Released in this order: settings, alert texts, list font, tray icon,
    // then (as members) the worker's buffer and the link font. The worker
    // never waits for a running inquiry.
    tray_.RemoveIcon();
    if (AppSettings() == settings_.get()) SetAppSettings(nullptr);
}

// ---- Creation ------------------------------------------------------------------

void MainWindow::OnCreate() {
    HINSTANCE instance = Instance();
    // Before the columns go in: their widths are given at 96 DPI.
    dpi_ = WindowDpi(window_);
    table_->SetDpi(dpi_);

    mainMenu_ = LoadTranslatedMenu(IDM_MAIN);
    ::SetMenu(window_, mainMenu_);

    statusBar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUSBAR)), instance,
                                   nullptr);
    CreateToolBar();

    list_ = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT |
                                  LVS_SHOWSELALWAYS | LVS_ALIGNLEFT,
                              0, 0, 400, 200, window_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DEVICELIST)), instance, nullptr);
    table_->Attach(list_);
    table_->InsertColumns();
    table_->SetStatusBar(statusBar_);
    ApplyListImages();
    // The company list (a 5 MB oui.txt) is read when the first scan's answer
    // comes (OnScanDone), after the window shows: no row needs it before.

    popupMenu_.reset(LoadTranslatedMenu(IDM_CONTEXT));
    // The controls' own fonts are made for the system's DPI; a window that
    // opens on a screen of another one scales them.
    if (dpi_ != SystemDpi()) ApplyListFont();
    if (dpi_ != kBaseDpi) MakeLinkFont();

    if (noSaveLoad_)
        ApplyDefaultSettings(*settings_);
    else
        LoadConfiguration();

    table_->Focus();

    table_->SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP, true);
    ApplyListStyles();

    findMessage_ = ::RegisterWindowMessageW(FINDMSGSTRINGW);

    UpdateCommandStates(nullptr);

    ::SetTimer(window_, IDT_SCAN_CYCLE, 1000, nullptr);

    SetStatusParts();
    ::SendMessageW(statusBar_, SB_SETTEXTW, kStatusLinkPart | SBT_OWNERDRAW,
                   reinterpret_cast<LPARAM>(linkText_));
    UpdateStatusText();
    StartPublisher();

    table_->scanResults = &answer_;
    scan_.window = window_;
    scan_.doneMessage = NWM_SCAN_DONE;
    scanMultiplier_ = ScanCycle::kFirstMultiplier;

    trayIcon_.reset(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    tray_.Attach(window_, LoadTranslatedMenu(IDM_TRAY));

    // WM_SIZE messages sent during creation came before the children were
    // complete; lay them out once now.
    Layout();
    // The scans and the notification-area icon start once the window has
    // shown: the loop takes this message after the first paint.
    ::PostMessageW(window_, kStartAfterShow, 0, 0);
}

// The scan and Low Energy threads would take the processor from the first
// paint, the report path's choice writes a trial file, and adding the icon
// waits for the notification area (and loads the shell library). Nothing
// needs them earlier: commands and scan answers come through the loop, after
// this message.
void MainWindow::OnShown() {
    if (!ComputeReportPath(reportPath_, MAX_PATH)) reportPath_[0] = 0;
    presence_.Start(*table_, reportPath_);
    StartScan();
    ApplyLowEnergySetting();
    ApplyTraySetting(tray_, *settings_, trayIcon_.get(), table_->RowCount());
}

void MainWindow::CreateToolBar() {
    // Shared bitmap: the system frees it; the toolbar keeps its own copy.
    HBITMAP bitmap = static_cast<HBITMAP>(
        ::LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0,
                     LR_SHARED | LR_LOADMAP3DCOLORS | LR_DEFAULTSIZE | LR_LOADTRANSPARENT));
    static const struct { int command; int image; } kButtons[] = {
        {0, 0},
        {IDM_HIDE_WINDOW, 5},
        {IDM_SAVE_SELECTED, 1},
        {IDM_COPY_SELECTED, 2},
        {IDM_PROPERTIES, 3},
        {IDM_FIND, 0},
        {IDM_TIMELINE, 6},
        {IDM_EXIT, 4},
    };
    TBBUTTON buttons[sizeof kButtons / sizeof kButtons[0]] = {};
    for (size_t i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i) {
        buttons[i].iBitmap = kButtons[i].command ? kButtons[i].image : 0;
        buttons[i].idCommand = kButtons[i].command;
        buttons[i].fsState = TBSTATE_ENABLED;
        buttons[i].fsStyle = kButtons[i].command ? BTNS_BUTTON : BTNS_SEP;
    }
    toolBar_ = ::CreateToolbarEx(window_, WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT,
                                 IDC_TOOLBAR, kToolImageCount, nullptr, reinterpret_cast<UINT_PTR>(bitmap),
                                 buttons, static_cast<int>(sizeof buttons / sizeof buttons[0]),
                                 kToolImageSize, kToolImageSize, kToolImageSize, kToolImageSize,
                                 sizeof(TBBUTTON));
    ApplyToolImages();
}

// ---- DPI -----------------------------------------------------------------------

void MainWindow::MakeLinkFont() {
    linkFont_.reset(::CreateFontW(ScaleForDpi(14, dpi_), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, L"Arial"));
}

void MainWindow::ApplyToolImages() {
    // At 96 DPI the toolbar keeps the bitmap it was made with.
    if (!toolBar_ || (dpi_ == kBaseDpi && !toolImages_)) return;
    const int size = ScaleForDpi(kToolImageSize, dpi_);
    // Loaded as for the toolbar itself: the background takes the system's colour.
    Bitmap strip(static_cast<HBITMAP>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_TOOLBAR), IMAGE_BITMAP, 0, 0,
                                                   LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT)));
    ImageList images(ScaledImageStrip(strip.get(), kToolImageCount, size));
    if (!images) return;
    ::SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.get()));
    ::SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
    ::SendMessageW(toolBar_, TB_SETBUTTONSIZE, 0, MAKELPARAM(size, size));
    ::SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    // The old list goes only once the toolbar holds the new one.
    toolImages_ = std::move(images);
}

void MainWindow::SetStatusParts() {
    const bool mqtt = publisher_.Running();
    int edges[4] = {ScaleForDpi(kStatusPartEdges[0], dpi_), ScaleForDpi(kStatusPartEdges[1], dpi_),
                    mqtt ? ScaleForDpi(kStatusPartEdges[2], dpi_) : -1, -1};
    ::SendMessageW(statusBar_, SB_SETPARTS, mqtt ? 4 : 3, reinterpret_cast<LPARAM>(edges));
}

// The rows' icon and the sort arrows, at the window's DPI. The image list
// copies the icon; the handle is released here.
void MainWindow::ApplyListImages() {
    const int rowIconSize = ScaleForDpi(kToolImageSize, dpi_);
    Icon rowIcon(static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_ROW), IMAGE_ICON, rowIconSize,
                                                 rowIconSize, LR_DEFAULTCOLOR)));
    table_->CreateImageLists(rowIcon.get());
}

// The window moved to a screen of another DPI (or the user changed the
// scale): it takes the size the system suggests and scales what it drew
// itself. Dialogs opened from now on follow by themselves.
void MainWindow::OnDpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi != 0 && dpi != dpi_) {
        dpi_ = dpi;
        if (table_) table_->SetDpi(dpi);
        ApplyListFont();
        MakeLinkFont();
        ApplyToolImages();
        ApplyListImages();
        SetStatusParts();
    }
    if (suggested)
        ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
}

void MainWindow::LoadConfiguration() {
    wchar_t path[MAX_PATH];
    if (!ConfigurationPath(path, MAX_PATH)) {
        ApplyDefaultSettings(*settings_);
        return;
    }
    SettingsStore store(SettingsStore::Read, path);
    ExchangeSettings(store, *settings_);
    ExchangeWindowPlacement(store, placement_);
    table_->ExchangeColumnSettings(store);
    ExchangePresenceSettings(store, *settings_);
    ExchangeLowEnergySettings(store, *settings_);
    ExchangeMqttSettings(store, *settings_);

    if (IsPlacementPlausible(placement_, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN))) {
        // Placed with the default show command: the program entry decides
        // between maximised and plain from the loaded one afterwards.
        placement_.length = sizeof placement_;
        UINT loadedShow = placement_.showCmd;
        placement_.showCmd = SW_SHOWDEFAULT;
        ::SetWindowPlacement(window_, &placement_);
        placement_.showCmd = loadedShow;
    }
}

void MainWindow::SaveConfiguration() {
    wchar_t path[MAX_PATH];
    if (!ConfigurationPath(path, MAX_PATH)) return;
    if (window_ && ::IsWindow(window_)) {
        WINDOWPLACEMENT current = {};
        current.length = sizeof current;
        if (::GetWindowPlacement(window_, &current)) placement_ = current;
    }
    SettingsStore store(SettingsStore::Write, path);
    ExchangeSettings(store, *settings_);
    ExchangeWindowPlacement(store, placement_);
    table_->ExchangeColumnSettings(store);
    ExchangePresenceSettings(store, *settings_);
    ExchangeLowEnergySettings(store, *settings_);
    ExchangeMqttSettings(store, *settings_);
    // A failed write leaves the previous file in place; nothing to report.
    store.Commit();
}

void MainWindow::ApplyListStyles() { nw::ApplyListStyles(*table_, *settings_); }

// ---- Layout --------------------------------------------------------------------

void MainWindow::OnSize() {
    if (!created_) return;
    Layout();
}

void MainWindow::Layout() {
    if (!statusBar_ || !toolBar_ || !list_) return;
    RECT client;
    ::GetClientRect(window_, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    RECT r;
    ::GetWindowRect(statusBar_, &r);
    int statusHeight = r.bottom - r.top + 1;
    ::GetWindowRect(toolBar_, &r);
    int toolHeight = r.bottom - r.top + 1;
    int listHeight = height - toolHeight - statusHeight;
    if (listHeight < 0) listHeight = 0;

    HDWP batch = ::BeginDeferWindowPos(3);
    if (batch) batch = ::DeferWindowPos(batch, toolBar_, nullptr, 0, 0, width, toolHeight, SWP_NOZORDER);
    if (batch)
        batch = ::DeferWindowPos(batch, statusBar_, nullptr, 0, client.bottom - statusHeight + 1, width,
                                 statusHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    if (batch) batch = ::DeferWindowPos(batch, list_, nullptr, 0, toolHeight, width, listHeight, SWP_NOZORDER);
    if (batch) ::EndDeferWindowPos(batch);
}

// ---- Scan cycle ----------------------------------------------------------------

void MainWindow::StartScan() {
    // Closed while a handler still ran: no inquiry for a program that ends.
    if (closed_) return;
    scan_.timeoutMultiplier = static_cast<uint32_t>(scanMultiplier_);
    scanning_ = scan_.StartScan();
    if (!scanning_) {
        // No thread: try again after the long wait instead of never again.
        cycle_.OnScanDone(ScanCycle::kSteadyMultiplier, 0, settings_->UpdateRate);
    }
}

void MainWindow::OnScanDone() {
    if (!scanning_) return;            // not ours: a scan we did not start
    if (!scan_.TakeAnswer(answer_)) return;
    scanning_ = false;
    if (!companiesLoaded_) {
        companiesLoaded_ = true;
        // A missing or empty company list leaves the companies empty, silently.
        table_->companies.LoadCompanyList();
    }

    actions_.RemoveBalloonIfShown(tray_);
    departures_.RemoveBalloonIfShown(tray_);
    const bool hadRows = table_->RowCount() > 0;
    // The merge marks new devices only once armed; departures follow the same start.
    const bool alertsArmed = table_->alertsArmed != 0;
    RefreshAfterScan();
    OnPresenceScan(alertsArmed);
    // The commands that need rows (find, reports, auto-size) follow the
    // first rows at once instead of at the next selection change.
    if ((table_->RowCount() > 0) != hadRows) UpdateCommandStates(nullptr);
    // The refresh talks to the notification area, during which the end of
    // the session may have closed the window: no alerts after that.
    if (closed_) return;
    actions_.Run(*table_, *settings_, tray_, window_, trayIcon_.get());
    // The new-device pass talks to the notification area too.
    if (!closed_) AnnounceDepartures();

    ScanCycle::Completion next = cycle_.OnScanDone(scanMultiplier_, answer_.count, settings_->UpdateRate);
    if (next.armAlerts) table_->alertsArmed = 1;
    scanMultiplier_ = next.nextMultiplier;
    if (next.startNow) StartScan();
}

void MainWindow::OnTimer() {
    // While a scan runs no wait is set, so the tick does nothing.
    if (scanning_) return;
    if (cycle_.OnTick(settings_->UpdateRate)) StartScan();
}

void MainWindow::RefreshAfterScan() {
    table_->ReloadRecords();
    ForgetPrivateDevices();
    table_->Refresh();
    UpdateStatusText();
    UpdateTrayTip(tray_, *settings_, table_->RowCount());
    if (settings_->SortOnEveryUpdate) table_->Sort(table_->SortKey(), true);
}

// Rows of private Low Energy addresses go after the minutes the settings
// give; checked once a scan, which is often enough for minutes.
void MainWindow::ForgetPrivateDevices() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    table_->ForgetPrivateDevices(ticks, settings_->forgetPrivateAfterMinutes);
}

// Tracks arrivals and departures, keeps the history log, and redraws the
// list when a row turned grey or back.
void MainWindow::OnPresenceScan(bool alertsArmed) {
    if (presence_.OnScanMerged(*table_, answer_, *settings_, alertsArmed)) ::InvalidateRect(list_, nullptr, FALSE);
    UpdateStatusText();
    publisher_.OnScan(presence_.Events());
}

// (Re)starts the client from the settings; with no server set nothing runs
// and the status bar has no MQTT part.
void MainWindow::StartPublisher() {
    publisher_.Stop();
    publisher_.Start(*settings_, window_, table_.get(), &presence_.Tracker());
    SetStatusParts();
    ::SendMessageW(statusBar_, SB_SETTEXTW, kStatusLinkPart | SBT_OWNERDRAW, reinterpret_cast<LPARAM>(linkText_));
    UpdateMqttStatus();
}

void MainWindow::UpdateMqttStatus() {
    if (!publisher_.Running()) return;
    const std::wstring text = publisher_.StatusText();
    ::SendMessageW(statusBar_, SB_SETTEXTW, kStatusMqttPart, reinterpret_cast<LPARAM>(text.c_str()));
}

// The departure command and balloon, for devices that left while armed.
void MainWindow::AnnounceDepartures() {
    const auto& left = presence_.DeparturesToAnnounce();
    if (left.empty()) return;
    std::vector<std::array<wchar_t, kIsoTimeChars>> times(left.size());
    std::vector<DepartedDevice> devices(left.size());
    for (size_t i = 0; i < left.size(); ++i) {
        FormatLocalIsoTime(left[i].lastSeen, times[i].data(), kIsoTimeChars);
        devices[i] = {left[i].record, times[i].data()};
    }
    departures_.Run(devices.data(), static_cast<int>(devices.size()), *settings_, tray_, trayIcon_.get());
}

void MainWindow::UpdateStatusText() {
    wchar_t text[4 * kStatusPieceChars];
    FormatNumberText(text, kStatusPieceChars, GetString(IDS_STATUS_DEVICES), table_->RowCount());
    // How many of the rows are here now, once a scan has told.
    if (presence_.HasScans() && table_->RowCount() > 0) {
        wchar_t piece[kStatusPieceChars];
        FormatNumberText(piece, kStatusPieceChars, GetString(IDS_STATUS_PRESENT), presence_.PresentRows(*table_));
        AppendText(text, sizeof text / sizeof text[0], piece);
    }
    // Private LE addresses come and go by themselves: the count tells how
    // many of the rows are such.
    if (const int privateRows = table_->PrivateRowCount(); privateRows > 0) {
        wchar_t piece[kStatusPieceChars];
        FormatNumberText(piece, kStatusPieceChars, GetString(IDS_STATUS_PRIVATE), privateRows);
        AppendText(text, sizeof text / sizeof text[0], piece);
    }
    int selected = table_->SelectedCount();
    if (selected > 0) {
        wchar_t piece[kStatusPieceChars];
        FormatNumberText(piece, kStatusPieceChars, GetString(IDS_STATUS_SELECTED), selected);
        AppendText(text, sizeof text / sizeof text[0], piece);
    }
    // A history log that moved to another name or cannot be written.
    wchar_t note[kStatusPieceChars];
    if (presence_.HistoryNote(note, kStatusPieceChars)) AppendText(text, sizeof text / sizeof text[0], note);
    ::SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
}

// ---- Messages ------------------------------------------------------------------

// A handler that waits in a modal loop (a dialog, a message box) or in a
// call to another process (the notification area) can have the end-of-session
// query run OnClose inside it. The table it still works on is released only
// once the outermost handler has returned.
LRESULT MainWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    ++handlerDepth_;
    LRESULT result = Route(message, wParam, lParam);
    --handlerDepth_;
    if (closed_ && handlerDepth_ == 0) ReleaseTable();
    return result;
}

LRESULT MainWindow::Route(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!closed_) {
        switch (message) {
        case WM_CLOSE:
            if (!OnCloseRequest()) return 0;
            break;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_ACTIVATEAPP:
            if (wParam) ::PostMessageW(window_, NWM_FOCUS_LIST, 0, 0);
            break;
        case WM_SETTINGCHANGE:
            // Only a change of the regional formats ("intl") touches the texts.
            if (!lParam || _wcsicmp(reinterpret_cast<const wchar_t*>(lParam), L"intl") != 0) break;
            [[fallthrough]];
        case WM_TIMECHANGE:
            // The detection times follow the user's time zone and formats; a
            // refresh rewrites only changed records, so rewrite them all here.
            if (table_ && table_->Control()) table_->UpdateAllRowTexts();
            break;
        case WM_SETCURSOR:
            if (statusBar_ && reinterpret_cast<HWND>(wParam) == statusBar_) {
                ::SetCursor(::LoadCursorW(Instance(), MAKEINTRESOURCEW(IDC_LINK)));
                return TRUE;
            }
            break;
        case WM_DRAWITEM:
            if (wParam == IDC_STATUSBAR) {
                DrawLink(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_CONTEXTMENU:
            if (list_ && reinterpret_cast<HWND>(wParam) == list_) {
                ShowContextMenu();
                return 0;
            }
            break;
        case WM_TIMER:
            if (wParam == IDT_SCAN_CYCLE) {
                OnTimer();
                return 0;
            }
            break;
        case NWM_SELECTION_CHANGED:
            selectionPending_ = false;
            UpdateStatusText();
            UpdateCommandStates(nullptr);
            return 0;
        case NWM_SCAN_DONE:
            OnScanDone();
            return 0;
        case kStartAfterShow:
            OnShown();
            return 0;
        case NWM_FOCUS_LIST:
            table_->Focus();
            return 0;
        case NWM_TRAY:
            OnTrayNotify(LOWORD(lParam));
            return 0;
        case NWM_PROBE_RESULT:
            OnProbeResult(static_cast<int32_t>(wParam), static_cast<uint32_t>(lParam));
            return 0;
        case NWM_MQTT_STATE:
            publisher_.OnClientState(wParam);
            UpdateMqttStatus();
            return 0;
        case NWM_MQTT_MESSAGE:
            publisher_.OnClientMessages();
            return 0;
        case NWM_LE_SIGHTINGS:
            OnLeSightings();
            return 0;
        case NWM_LE_STATE:
            UpdateLeStatusText();
            return 0;
        case WM_POWERBROADCAST:
            // The radio may have been reset while the machine slept.
            if (wParam == PBT_APMRESUMEAUTOMATIC) le_.OnResume();
            break;
        default:
            if (findMessage_ && message == findMessage_) {
                OnFindMessage(lParam);
                return 0;
            }
            break;
        }
    }
    return Dispatch(message, wParam, lParam);
}

// True when the window may close.
bool MainWindow::OnCloseRequest() {
    if (!settings_->TrayIcon) return true;
    return ::MessageBoxW(window_, GetString(IDS_ASK_EXIT), L"Nearwatch", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void MainWindow::OnTrayNotify(UINT mouseMessage) {
    if (TrayIconControl::IsRestoreEvent(mouseMessage)) ::ShowWindow(window_, SW_SHOWNORMAL);
    tray_.OnTrayMessage(mouseMessage);
}

void MainWindow::OnProbeResult(int32_t index, uint32_t result) {
    // A slot for the next waiting probe, whatever became of this device.
    WindowProbes().OnProbeFinished();
    // A device dropped by Reset meanwhile has no record: the result is dropped.
    for (int i = 0; i < table_->RecordCount(); ++i) {
        DeviceRecord* record = table_->Device(i);
        if ((record->flags & kRecordFree) || record->index != index) continue;
        record->probeResult = result;
        table_->MarkRecordChanged(record);
        table_->UpdateRecordTexts(record);
        return;
    }
}

HWND MainWindow::FindDialog() const { return FindDialogWindow(); }

// Find next searches on; the dialog's end gives the list the focus back.
void MainWindow::OnFindMessage(LPARAM find) { nw::OnFindMessage(*table_, find); }

void MainWindow::DrawLink(const DRAWITEMSTRUCT* draw) {
    if (!draw || draw->itemID != kStatusLinkPart) return;
    RECT r = draw->rcItem;
    r.left += kLinkMargin;
    int oldMode = ::SetBkMode(draw->hDC, TRANSPARENT);
    COLORREF oldColor = ::SetTextColor(draw->hDC, kLinkColor);
    {
        SelectGuard font(draw->hDC, linkFont_.get());
        ::DrawTextW(draw->hDC, linkText_, -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    ::SetTextColor(draw->hDC, oldColor);
    ::SetBkMode(draw->hDC, oldMode);
}

void MainWindow::OnNotify(int controlId, NMHDR* header) {
    if (!header || closed_) return;
    if (header->code == TTN_GETDISPINFOW && toolBar_ &&
        header->hwndFrom == reinterpret_cast<HWND>(::SendMessageW(toolBar_, TB_GETTOOLTIPS, 0, 0))) {
        OnToolTipText(reinterpret_cast<NMTTDISPINFOW*>(header));
        return;
    }
    if (controlId == IDC_STATUSBAR && header->hwndFrom == statusBar_) {
        if (header->code == NM_CLICK && reinterpret_cast<NMMOUSE*>(header)->dwItemSpec == kStatusLinkPart)
            OpenWithShell(window_, linkAddress_);
        return;
    }
    if (controlId == IDC_DEVICELIST && header->hwndFrom == list_) OnListNotify(header);
}

void MainWindow::OnToolTipText(NMTTDISPINFOW* info) {
    // idFrom is the button's command: its text is the main menu's item.
    info->hinst = nullptr;
    info->szText[0] = 0;
    if (mainMenu_)
        ::GetMenuStringW(mainMenu_, static_cast<UINT>(info->hdr.idFrom), info->szText,
                         static_cast<int>(kToolTipChars), MF_BYCOMMAND);
    // A tip shows the label, not the access-key marks and the shortcut part.
    MenuLabelAsPlainText(info->szText);
    info->lpszText = info->szText;
}

void MainWindow::OnListNotify(NMHDR* header) {
    switch (header->code) {
    case NM_CUSTOMDRAW:
        SetResult(table_->OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
        break;
    case LVN_ITEMCHANGED: {
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
        // One 1026 per burst of selection changes.
        if (((change->uOldState ^ change->uNewState) & LVIS_SELECTED) && !selectionPending_) {
            selectionPending_ = true;
            ::PostMessageW(window_, NWM_SELECTION_CHANGED, 0, 0);
        }
        break;
    }
    case NM_DBLCLK:
        OnCommand(0, IDM_PROPERTIES, nullptr);
        break;
    case LVN_COLUMNCLICK:
        table_->Sort(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem, false);
        break;
    default:
        break;
    }
}

// ---- Shutdown ------------------------------------------------------------------

void MainWindow::OnClose() {
    if (closed_) return;
    closed_ = true;
    ::KillTimer(window_, IDT_SCAN_CYCLE);
    // Returns at once; the watcher thread ends on its own.
    le_.Stop();
    if (reportPath_[0]) ::DeleteFileW(reportPath_);
    // "offline" for the broker, within about a second.
    publisher_.Stop();
    presence_.Close(*settings_);
    if (!noSaveLoad_) SaveConfiguration();
    // Run straight from a message of its own, the table goes now; nested in
    // another handler, when that handler has returned (WindowProc).
    if (handlerDepth_ <= 1) ReleaseTable();
    tray_.RemoveIcon();
    ::PostQuitMessage(0);
}

void MainWindow::ReleaseTable() {
    if (!table_) return;
    // A scan still running may post its completion to a window that is
    // gone, or to this one before the loop ends; both are ignored.
    table_->scanResults = nullptr;
    // The modeless find dialog writes into the table's find record.
    CloseFind();
    table_.reset();
}

}  // namespace nw
