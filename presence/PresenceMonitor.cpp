#include "presence/PresenceMonitor.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include "base/BluetoothAddress.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "frame/Frame.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "presence/HistoryLine.h"
#include "presence/TimelineWriter.h"
#include "presence/StringSink.h"
#include "reports/FileSink.h"
#include "reports/ReportCommands.h"
#include "resource.h"
#include "settings/Settings.h"

namespace nw {

namespace {

constexpr int64_t kTicksPerMinute = 600000000;
constexpr int kCloseAttempts = 10;      // at exit: ten tries ...
constexpr DWORD kCloseRetryMs = 200;    // ... 200 ms apart

uint64_t Now() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

const wchar_t* FileNamePart(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

}  // namespace

// A text from the language file is never a printf format: "{1}" and "{2}"
// are put in by hand, anything else stays as written.
size_t FillNames(const wchar_t* format, const wchar_t* first, const wchar_t* second, wchar_t* out, size_t size) {
    if (!out || size == 0) return 0;
    size_t n = 0;
    auto put = [&](const wchar_t* text) {
        for (; text && *text && n + 1 < size; ++text) out[n++] = *text;
    };
    for (const wchar_t* p = format ? format : L""; *p; ++p) {
        if (p[0] == L'{' && (p[1] == L'1' || p[1] == L'2') && p[2] == L'}') {
            put(p[1] == L'1' ? first : second);
            p += 2;
        } else if (n + 1 < size) {
            out[n++] = *p;
        }
    }
    out[n] = 0;
    return n;
}

int32_t LocalOffsetMinutes(uint64_t utc) {
    FILETIME file = {static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
    SYSTEMTIME universal, local;
    FILETIME localFile;
    if (!::FileTimeToSystemTime(&file, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local) ||
        !::SystemTimeToFileTime(&local, &localFile))
        return 0;
    const uint64_t localTicks = (static_cast<uint64_t>(localFile.dwHighDateTime) << 32) | localFile.dwLowDateTime;
    // The system times drop the part below a millisecond: round to the minute.
    const int64_t diff = static_cast<int64_t>(localTicks) - static_cast<int64_t>(utc);
    return static_cast<int32_t>((diff + (diff < 0 ? -kTicksPerMinute / 2 : kTicksPerMinute / 2)) / kTicksPerMinute);
}

size_t FormatLocalIsoTime(uint64_t utc, wchar_t* out, size_t size) {
    return FormatIsoLocalTime(utc, LocalOffsetMinutes(utc), out, size);
}

bool TimelinePathBeside(const wchar_t* reportPath, wchar_t* out, size_t size) {
    if (!out || size == 0) return false;
    out[0] = 0;
    if (!reportPath || !reportPath[0]) return false;
    const wchar_t* slash = wcsrchr(reportPath, L'\\');
    const size_t folder = slash ? static_cast<size_t>(slash - reportPath) + 1 : 0;
    static const wchar_t kName[] = L"timeline.html";
    const size_t nameLength = sizeof kName / sizeof kName[0] - 1;
    if (folder + nameLength + 1 > size || folder + nameLength >= MAX_PATH) return false;
    wmemcpy(out, reportPath, folder);
    wmemcpy(out + folder, kName, nameLength + 1);
    return true;
}

void PresenceMonitor::Start(DeviceTable& table, const wchar_t* reportPath) {
    table.departedRows = &tracker_;
    std::wstring path;
    // A name that does not fit leaves the path empty: each flush then
    // fails with that reason, and the status bar tells it.
    HistoryFilePath(L"_history.csv", path);
    history_.SetPath(path.c_str());
    if (!TimelinePathBeside(reportPath, timelinePath_, MAX_PATH)) timelinePath_[0] = 0;
}

void PresenceMonitor::Reset() {
    tracker_.Reset();
    events_.clear();
    departures_.clear();
}

// Runs in the scan handler on the window thread.
bool PresenceMonitor::OnScanMerged(DeviceTable& table, const ScanAnswer& answer, const Settings& settings,
                                   bool alertsArmed) {
    const uint64_t now = Now();
    bool changed = false;
    events_.clear();
    departures_.clear();
    const int count = std::clamp(static_cast<int>(answer.count), 0, kScanSlots);
    answered_.clear();
    for (int i = 0; i < count; ++i) answered_.push_back(answer.results[i].Address.ullLong);
    // Low Energy devices heard since the previous scan answer this one
    // (private addresses are never among them).
    for (uint64_t address : table.LeHeardInLastScan()) answered_.push_back(address);
    const bool wasTracking = tracker_.ScanCount() > 0;
    tracker_.OnScan(answered_.data(), static_cast<int>(answered_.size()), now, settings.presence.DepartAfterScans,
                    alertsArmed, events_);
    for (const PresenceEvent& e : events_) {
        if (e.kind == PresenceEventKind::Present) continue;
        changed = true;
        if (e.kind != PresenceEventKind::Left || !e.alert) continue;
        const DeviceRecord* record = table.FindDevice(e.address);
        if (record && record->removed != 1) departures_.push_back({record, e.lastSeen});
    }
    if (settings.presence.KeepHistoryLog) {
        if (!logging_ && wasTracking) {
            // Switched on during the run: the file starts with who is here.
            LogPresentDevices(table, now);
            for (const PresenceEvent& e : events_)
                if (e.kind == PresenceEventKind::Left) QueueLine(table, e.kind, e.address, e.time);
        } else {
            LogEvents(table, events_, now);
        }
        logging_ = true;
    } else {
        logging_ = false;
    }
    // Lines queued while the option was on still go out after it is off.
    if (history_.Waiting() > 0 || history_.Dropped() > 0) {
        wchar_t time[kIsoTimeChars];
        FormatLocalIsoTime(now, time, kIsoTimeChars);
        history_.Flush(time);
    }
    return changed;
}

void PresenceMonitor::LogEvents(DeviceTable& table, const std::vector<PresenceEvent>& events, uint64_t) {
    for (const PresenceEvent& e : events) QueueLine(table, e.kind, e.address, e.time);
}

void PresenceMonitor::LogPresentDevices(DeviceTable& table, uint64_t now) {
    for (int i = 0; i < table.RecordCount(); ++i) {
        const DeviceRecord* record = table.Device(i);
        if ((record->flags & kRecordFree) || !tracker_.IsPresent(DeviceAddress(*record))) continue;
        QueueLine(table, PresenceEventKind::Present, DeviceAddress(*record), now);
    }
}

// The line is made when the event happens, so it keeps the name and the
// description the device had then, however long it waits.
void PresenceMonitor::QueueLine(DeviceTable& table, PresenceEventKind kind, uint64_t address, uint64_t time) {
    wchar_t timeText[kIsoTimeChars];
    FormatLocalIsoTime(time, timeText, kIsoTimeChars);
    wchar_t addressText[kAddressTextChars];
    FormatAddress(address, addressText);
    HistoryDevice device = {addressText, L"", L"", L"", L"", L""};
    wchar_t name[kColumnTextChars], major[kColumnTextChars], minor[kColumnTextChars];
    if (const DeviceRecord* record = table.FindDevice(address)) {
        device.name = DeviceColumnText(*record, kColName, name, kColumnTextChars);
        device.description = record->description;
        device.company = record->company;
        device.majorType = DeviceColumnText(*record, kColMajorType, major, kColumnTextChars);
        device.minorType = DeviceColumnText(*record, kColMinorType, minor, kColumnTextChars);
    }
    StringSink line;
    WriteHistoryLine(line, timeText, HistoryEventWord(kind), device);
    history_.Add(std::move(line.text));
}

// Nothing waiting, nothing is tried: the exit does not wait for a file.
void PresenceMonitor::Close(const Settings&) {
    if (timelinePath_[0]) ::DeleteFileW(timelinePath_);
    if (history_.Waiting() == 0 && history_.Dropped() == 0) return;
    wchar_t time[kIsoTimeChars];
    FormatLocalIsoTime(Now(), time, kIsoTimeChars);
    std::wstring spare;
    HistoryFilePath(L"_history_unsaved.csv", spare);
    history_.Close(time, spare, kCloseAttempts, kCloseRetryMs);
}

// The history log's trouble for the status bar: where it went when the
// file was not its own, or why it cannot be written (not while another
// program merely holds it). False when there is nothing to tell.
bool PresenceMonitor::HistoryNote(wchar_t* out, size_t size) const {
    if (!out || size == 0) return false;
    out[0] = 0;
    const std::wstring& from = history_.MovedFrom();
    if (history_.Error() != 0 && !history_.Held()) {
        wchar_t reason[256] = {};
        if (!::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, history_.Error(), 0,
                              reason, 256, nullptr))
            CopyText(reason, 256, L"?");
        for (wchar_t* p = reason; *p; ++p)
            if (*p == L'\r' || *p == L'\n') *p = L' ';
        FillNames(GetString(IDS_STATUS_HISTORY_FAILED), FileNamePart(history_.Path()), reason, out, size);
        return true;
    }
    if (from.empty()) return false;
    FillNames(GetString(IDS_STATUS_HISTORY_MOVED), FileNamePart(from.c_str()), FileNamePart(history_.Path()), out,
              size);
    return true;
}
int PresenceMonitor::PresentRows(DeviceTable& table) const {
    if (tracker_.PresentCount() == 0) return 0;
    int present = 0;
    for (int i = 0; i < table.RecordCount(); ++i) {
        const DeviceRecord* record = table.Device(i);
        if ((record->flags & kRecordFree) || record->removed == 1) continue;
        if (tracker_.IsPresent(DeviceAddress(*record))) ++present;
    }
    return present;
}

void PresenceMonitor::ShowTimeline(DeviceTable& table, HWND owner) {
    if (!timelinePath_[0]) return;
    const uint64_t now = Now();
    struct Label {
        wchar_t address[kAddressTextChars];
    };
    std::vector<TimelineRow> rows;
    std::vector<Label> labels;
    const int count = table.RowCount();
    rows.reserve(static_cast<size_t>(count));
    labels.resize(static_cast<size_t>(count));
    uint64_t start = tracker_.ScanCount() > 0 ? tracker_.FirstScanTime() : now;
    for (int row = 0; row < count; ++row) {
        const auto* record = static_cast<const DeviceRecord*>(table.RowRecord(row));
        if (!record) continue;
        Label& label = labels[rows.size()];
        FormatAddress(DeviceAddress(*record), label.address);
        TimelineRow line = {record->info.szName, label.address, nullptr, 0, 0, false};
        if (const SpanStore* spans = tracker_.Spans(DeviceAddress(*record))) {
            line.spans = spans->Data();
            line.spanCount = spans->Count();
            line.merged = spans->Merged();
            line.present = tracker_.IsPresent(DeviceAddress(*record));
            if (line.spanCount > 0) start = std::min(start, line.spans[0].start);
        }
        rows.push_back(line);
    }
    TimelinePage page = {{GetString(IDS_TIMELINE_TITLE), GetString(IDS_TIMELINE_DEVICES),
                          GetString(IDS_TIMELINE_MERGED), GetString(IDS_TIMELINE_STILL_PRESENT)},
                         start, now, rows.data(), static_cast<int>(rows.size()), SpanStore::kMaxSpans,
                         LocalOffsetMinutes};
    Handle file(::CreateFileW(timelinePath_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        ShowErrorBox(0, owner);
        return;
    }
    FileSink sink(file.get());
    if (!WriteTimelinePage(sink, page) || !sink.Flush()) {
        // Only the file can fail the page now: memory running out is a fault.
        DWORD error = sink.Error() ? sink.Error() : ERROR_WRITE_FAULT;
        ShowErrorBox(error, owner);
        return;
    }
    OpenWithShell(owner, timelinePath_);
}

}  // namespace nw
