// The lines of the history log nearwatch_history.csv, apart from any file:
// the header, one event per line, and the note on events that were lost.
#pragma once
#include <cstddef>
#include <cstdint>
#include "presence/PresenceTracker.h"

namespace nw {

class ExportSink;

// "Time,Event,Address,Name,Description,Company,Major Type,Minor Type" and a
// line end, after the UTF-8 byte-order mark when withByteOrderMark.
bool WriteHistoryHeader(ExportSink& sink, bool withByteOrderMark);

// The texts of one event line, in column order after the time and event.
struct HistoryDevice {
    const wchar_t* address;
    const wchar_t* name;
    const wchar_t* description;
    const wchar_t* company;
    const wchar_t* majorType;
    const wchar_t* minorType;
};

// "present", "arrived" or "left".
const wchar_t* HistoryEventWord(PresenceEventKind kind);

// One record, with the comma-delimited export's quoting and formula guard.
bool WriteHistoryLine(ExportSink& sink, const wchar_t* time, const wchar_t* event, const HistoryDevice& device);

// The line that stands for dropped events: event "lost", the count in the
// description.
bool WriteHistoryLostLine(ExportSink& sink, const wchar_t* time, uint64_t lost);

// ISO 8601 local time with its offset, e.g. "2026-12-08T10:57:21+01:00":
// utc in FILETIME ticks, offsetMinutes = local - UTC. Returns the length
// (0, out empty, when it does not fit or the year is not 0000-9999).
constexpr size_t kIsoTimeChars = 26;
size_t FormatIsoLocalTime(uint64_t utc, int32_t offsetMinutes, wchar_t* out, size_t size);

}  // namespace nw
