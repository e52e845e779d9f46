// The announcements of devices that the latest merge marked new: command
// line, beep, tray balloon, window, and speech on a thread of its own.
//
// The main window owns one NewDeviceActions and, in its scan-completion
// handler:
//   actions.RemoveBalloonIfShown(tray);        // before the refresh
//   ...merge, refresh, status, tray tip...
//   actions.Run(table, settings, tray, hwnd, trayIcon);
// The object may be destroyed at any time, also while a sentence is spoken:
// the speech thread holds its own reference to what it reads.
#pragma once
#include <windows.h>
#include <string>
#include "alerts/TemplateExpansion.h"

namespace nw {

class ReportListView;
class TrayIconControl;
struct DeviceRecord;
struct Settings;

// The record's values for the templates (name, description, address text).
// Copies them into the caller's buffers, so they are always terminated.
struct DeviceTextBuffers {
    wchar_t name[249];
    wchar_t description[128];
    wchar_t address[18];
};
DeviceTexts DeviceTextsOf(const DeviceRecord& record, DeviceTextBuffers& buffers);

// out = templ with the record's values (made safe for a command line when
// target is ExpandTarget::CommandLine).
void ExpandDeviceVariables(const wchar_t* templ, const DeviceRecord& record, ExpandTarget target,
                           std::wstring& out);

// The platform calls behind the actions; tests replace them. Any null member
// keeps the platform's call.
struct AlertHooks {
    void (*startProcess)(const wchar_t* commandLine);   // on the command queue's thread
    void (*beep)();
    void (*speak)(const wchar_t* text);   // on the speech thread, synchronous
};
void SetAlertHooksForTesting(const AlertHooks* hooks);   // null: the platform's
// Queues an alert's command line (AlertCommandQueue) for the hook or the
// platform's call.
void StartAlertCommand(const wchar_t* commandLine);

class NewDeviceActions {
public:
    NewDeviceActions();
    ~NewDeviceActions();
    NewDeviceActions(const NewDeviceActions&) = delete;
    NewDeviceActions& operator=(const NewDeviceActions&) = delete;

    // One pass over the list's rows, from the last to the first, for records
    // whose isNew is set. rows: the DeviceTable (its records are DeviceRecords).
    void Run(ReportListView& list, const Settings& settings, TrayIconControl& tray, HWND mainWindow,
             HICON balloonIcon);
    // The same pass over records given in row order (rows[0] is row 0).
    void RunOnRecords(const DeviceRecord* const* rows, int count, const Settings& settings,
                      TrayIconControl& tray, HWND mainWindow, HICON balloonIcon);

    // Replaces a balloon shown by Run with an empty one and clears the mark.
    void RemoveBalloonIfShown(TrayIconControl& tray);

    bool BalloonShown() const { return balloonShown_ != 0; }
    const wchar_t* BalloonTextShown() const { return balloon_.Text(); }
    // A speech thread is running (sentences of later passes are dropped).
    bool SpeechBusy() const;

private:
    struct SpeechState;
    using RowAt = const DeviceRecord* (*)(const void* context, int row);
    void Pass(const void* context, RowAt rowAt, int count, const Settings& settings, TrayIconControl& tray,
              HWND mainWindow, HICON balloonIcon);
    void StartSpeech();
    static DWORD WINAPI SpeechThread(void* state);

    SpeechState* speech_;      // one reference; the speech thread holds another
    int balloonShown_ = 0;
    BalloonText balloon_;
};

}  // namespace nw
