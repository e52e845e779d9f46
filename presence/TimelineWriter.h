// The presence timeline page, apart from any window: a self-contained HTML
// page (well-formed as XML too) with inline SVG, one row per device, bars
// for its present spans on a time axis. Written as UTF-8 to an ExportSink.
#pragma once
#include <cstddef>
#include <cstdint>
#include "presence/SpanStore.h"

namespace nw {

class ExportSink;

struct TimelineRow {
    const wchar_t* name;          // may be empty
    const wchar_t* address;
    const PresenceSpan* spans;    // oldest first
    int spanCount;
    uint32_t merged;              // spans folded into the first bar
    bool present;                 // the last bar runs to the page's end time
};

// Texts of the page in the current language. They are copied into the page
// escaped, never used as a format.
struct TimelineTexts {
    const wchar_t* title;         // <title> and heading
    const wchar_t* devices;       // before the number of rows
    const wchar_t* mergedNote;    // before the bound, when a row reached it
    const wchar_t* stillPresent;  // end of the tooltip of a bar still open
};

struct TimelinePage {
    TimelineTexts texts;
    uint64_t start;               // FILETIME ticks, UTC: left end of the axis
    uint64_t end;                 // right end (the time the page is written)
    const TimelineRow* rows;
    int rowCount;
    int spanBound;                // the per-device bound, named in the note
    // Local time minus UTC in minutes at a moment; null means UTC.
    int32_t (*offsetAt)(uint64_t utc);
};

// Pixel geometry, for tests that read the page back.
constexpr int kTimelineLabelWidth = 320;
constexpr int kTimelineChartWidth = 1000;
constexpr int kTimelineRowHeight = 20;

// The tick step in seconds for an axis that covers seconds in total: the
// smallest of a fixed list of round steps that leaves at most maxTicks.
uint64_t TimelineTickStep(uint64_t seconds, int maxTicks);

// False as soon as a write to the sink fails; throws nothing.
bool WriteTimelinePage(ExportSink& sink, const TimelinePage& page);

}  // namespace nw
