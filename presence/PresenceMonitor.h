// The presence feature at the main window's side: feeds the tracker after
// each merged scan, keeps the history log, greys the rows of devices that
// have left, and writes and opens the timeline page.
//
// The main window owns one PresenceMonitor and calls, in this order:
//   Start(table, reportPath)                       once, after creating the list
//   OnScanMerged(table, answer, settings, armed)   after each completed scan's merge
//   DeparturesToAnnounce()                         the devices that left, for the alerts
//   Reset()                                        with a Reset of the list
//   Close(settings)                                at exit: writes what waits
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>
#include "presence/HistoryLog.h"
#include "presence/PresenceTracker.h"

namespace nw {

class DeviceTable;
struct DeviceRecord;
struct ScanAnswer;
struct Settings;

// Local time minus UTC, in minutes, at a moment (FILETIME ticks).
int32_t LocalOffsetMinutes(uint64_t utc);
// FormatIsoLocalTime in the machine's time zone.
size_t FormatLocalIsoTime(uint64_t utc, wchar_t* out, size_t size);

// format with "{1}" and "{2}" replaced by first and second; nothing else in
// it is read as a conversion. Cut to size; returns the length.
size_t FillNames(const wchar_t* format, const wchar_t* first, const wchar_t* second, wchar_t* out, size_t size);

// "timeline.html" in the folder of reportPath; false with out empty when it
// does not fit.
bool TimelinePathBeside(const wchar_t* reportPath, wchar_t* out, size_t size);

class PresenceMonitor {
public:
    // A device that left in the latest scan while the alerts were armed.
    struct Departure {
        const DeviceRecord* record;   // borrowed from the table
        uint64_t lastSeen;
    };

    void Start(DeviceTable& table, const wchar_t* reportPath);
    // True when a row turned grey or back, so the list must be redrawn.
    bool OnScanMerged(DeviceTable& table, const ScanAnswer& answer, const Settings& settings, bool alertsArmed);
    const std::vector<Departure>& DeparturesToAnnounce() const { return departures_; }
    // Every event of the latest scan (the publisher's input).
    const std::vector<PresenceEvent>& Events() const { return events_; }
    void Reset();
    // Writes what waits for the history file, trying for a moment when the
    // file is held; deletes the timeline page.
    void Close(const Settings& settings);

    // Command 40060: writes the timeline of the list's rows and opens it.
    void ShowTimeline(DeviceTable& table, HWND owner);

    const PresenceTracker& Tracker() const { return tracker_; }
    // Shown rows whose device is here now (a row the user removed is not
    // counted, so the number never exceeds the list's).
    int PresentRows(DeviceTable& table) const;
    bool HasScans() const { return tracker_.ScanCount() > 0; }
    const HistoryLog& History() const { return history_; }
    // A piece for the status bar when the history log moved to another
    // name or cannot be written; false (out empty) otherwise.
    bool HistoryNote(wchar_t* out, size_t size) const;

private:
    void LogEvents(DeviceTable& table, const std::vector<PresenceEvent>& events, uint64_t now);
    void LogPresentDevices(DeviceTable& table, uint64_t now);
    void QueueLine(DeviceTable& table, PresenceEventKind kind, uint64_t address, uint64_t time);

    PresenceTracker tracker_;
    HistoryLog history_;
    std::vector<PresenceEvent> events_;
    std::vector<Departure> departures_;
    std::vector<uint64_t> answered_;
    bool logging_ = false;   // the history option was on at the latest scan
    wchar_t timelinePath_[MAX_PATH] = {};
};

}  // namespace nw
