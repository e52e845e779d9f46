// The program's one top-level window: children, scan cycle, messages and the
// command set (Commands.cpp). Owns everything that lives for the whole run.
#pragma once
#include <windows.h>
#include <memory>
#include <vector>
#include "alerts/DepartureActions.h"
#include "alerts/NewDeviceActions.h"
#include "alerts/TrayIconControl.h"
#include "discovery/ScanCycle.h"
#include "discovery/DeviceTable.h"
#include "discovery/LeWatcher.h"
#include "discovery/ScanWorker.h"
#include "frame/Frame.h"
#include "frame/Dpi.h"
#include "base/Handles.h"
#include "presence/PresenceMonitor.h"
#include "publish/Publisher.h"
#include "settings/Settings.h"

namespace nw {

class MainWindow : public WindowObject {
public:
    MainWindow();
    ~MainWindow() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Before creation: the command line holds "/nosaveload".
    void SetNoSaveLoad(bool on) { noSaveLoad_ = on; }
    const wchar_t* ClassName() const { return className_; }
    HICON ClassIcon() const { return classIcon_; }
    // The placement held since the configuration was read (show command as
    // loaded).
    const WINDOWPLACEMENT& Placement() const { return placement_; }
    // The open modeless find dialog, or null.
    HWND FindDialog() const;

    Settings& GetSettings() { return *settings_; }
    DeviceTable* Table() { return table_.get(); }

protected:
    void OnCommand(WORD code, WORD id, HWND control) override;
    void OnNotify(int controlId, NMHDR* header) override;
    void OnClose() override;
    void OnSize() override;
    void OnCreate() override;

private:
    // ---- Creation ------------------------------------------------------------
    void CreateToolBar();
    void LoadConfiguration();
    void SaveConfiguration();
    void ApplyListStyles();
    void Layout();
    void OnShown();   // what waits until the window has shown

    // ---- Scan cycle -----------------------------------------------------------
    void StartScan();
    void OnScanDone();
    void OnTimer();
    void RefreshAfterScan();
    void ForgetPrivateDevices();
    void UpdateStatusText();
    void OnPresenceScan(bool alertsArmed);
    void AnnounceDepartures();
    // ---- Publishing to MQTT ---------------------------------------------------
    void StartPublisher();
    void UpdateMqttStatus();
    void OnLeSightings();
    void ApplyLowEnergySetting();
    void UpdateLeStatusText();

    // ---- Message handlers ------------------------------------------------------
    LRESULT Route(UINT message, WPARAM wParam, LPARAM lParam);
    void ReleaseTable();
    bool OnCloseRequest();
    void OnTrayNotify(UINT mouseMessage);
    void OnProbeResult(int32_t index, uint32_t result);
    void OnFindMessage(LPARAM find);
    void DrawLink(const DRAWITEMSTRUCT* draw);
    void OnToolTipText(NMTTDISPINFOW* info);
    void OnListNotify(NMHDR* header);

    // ---- Commands (Commands.cpp) --------------------------------------------
    void UpdateCommandStates(HMENU contextMenu);
    void ShowContextMenu();
    void ToggleSetting(int32_t& flag);
    void ResetList();
    void RemoveSelected();
    void RefreshNow();
    void OpenProductPage();
    void ChooseListFont();
    void ApplyListFont();
    // Per-monitor DPI: what the program sizes itself follows the window's screen.
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void MakeLinkFont();
    void ApplyToolImages();
    void ApplyListImages();
    void SetStatusParts();

    HWND statusBar_ = nullptr;
    HWND toolBar_ = nullptr;
    HWND list_ = nullptr;
    // Attached to the window, which destroys it with itself: borrowed here.
    HMENU mainMenu_ = nullptr;
    WINDOWPLACEMENT placement_ = {};
    Menu popupMenu_;
    bool noSaveLoad_ = false;
    bool selectionPending_ = false;
    wchar_t reportPath_[MAX_PATH] = {};
    wchar_t linkText_[64] = {};
    wchar_t linkAddress_[128] = {};
    Font linkFont_;
    UINT dpi_ = 96;
    ImageList toolImages_;   // the toolbar's images away from 96 DPI; the toolbar borrows them

    ScanWorker scan_;
    LeWatcher le_;
    // One batch of LE sightings taken from the watcher (kLeBatchMax).
    std::unique_ptr<LeSighting[]> leBatch_;
    std::vector<const DeviceRecord*> leNew_;   // reused for each batch's new devices
    // The last completed answer, copied out of the worker; the table merges
    // this copy, never the worker's own buffer.
    ScanAnswer answer_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<DeviceTable> table_;
    UINT findMessage_ = 0;
    ScanCycle cycle_;
    bool scanning_ = false;
    bool companiesLoaded_ = false;   // read at the first answer, after the window shows
    int32_t scanMultiplier_ = ScanCycle::kFirstMultiplier;   // of the running scan
    TrayIconControl tray_;
    Icon trayIcon_;
    Font listFont_;
    NewDeviceActions actions_;
    PresenceMonitor presence_;
    DepartureActions departures_;
    Publisher publisher_;
    bool closed_ = false;
    // WindowProc calls under way (nested ones through modal loops).
    int handlerDepth_ = 0;
};

}  // namespace nw
