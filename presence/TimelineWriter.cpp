#include "presence/TimelineWriter.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <unordered_map>
#include "presence/HistoryLine.h"
#include "reports/ExportFormat.h"
#include "reports/ExportSink.h"

namespace nw {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ull;
constexpr int kAxisHeight = 34;
constexpr int kBarHeight = 12;
constexpr int kMinBarWidth = 2;
constexpr int kRightMargin = 40;
constexpr size_t kNameChars = 30;        // of a name in the label; the tooltip has it whole
constexpr size_t kFlushBytes = 64 * 1024;
constexpr int kMinTickSpacing = 90;      // pixels between tick labels
constexpr uint64_t kOffsetSlotTicks = 3600 * kTicksPerSecond;
constexpr int32_t kOffsetChanges = INT32_MIN;   // the zone's offset changes inside the hour

const char kStyle[] =
    "body{font-family:'Segoe UI',Tahoma,sans-serif;font-size:13px;margin:16px;color:#222;background:#fff}"
    "h1{font-size:18px;margin:0 0 4px}p{margin:2px 0 8px}.note{color:#8a5a00}"
    ".axis{position:sticky;top:0;background:#fff;border-bottom:1px solid #bbb}"
    "svg text{font-size:12px;fill:#222}svg .addr{font-family:Consolas,monospace;fill:#666}"
    ".tick{fill:#444}.grid{stroke:#e2e2e2;stroke-width:1}.band{fill:#f6f8fa}"
    ".bar{fill:#2f7de1}.open{fill:#2e9e4f}.bar:hover,.open:hover{fill:#0d3f8f}"
    ".key{display:inline-block;width:16px;height:10px;margin:0 4px 0 2px;background:#2e9e4f}";

// The page is UTF-8; escaping (reports' XML rules: entities for & < > ",
// character references for line breaks, U+FFFD for what XML forbids) comes
// first, so only whole characters and valid pairs reach the encoder.
void AppendUtf8(std::string& out, const wchar_t* text, size_t units) {
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

class Page {
public:
    Page(ExportSink& sink, const TimelinePage& page) : sink_(sink), page_(page) { out_.reserve(kFlushBytes * 2); }

    bool Write();

private:
    void Raw(const char* text) { out_ += text; }
    void Num(long long value) { out_ += std::to_string(value); }
    // Escaped text from a device or a language file; at most units units.
    void Text(const wchar_t* text, size_t units = static_cast<size_t>(-1));
    enum class Clock { TimeOnly, MonthDay, FullDate };
    void Time(uint64_t utc, Clock form, bool withSeconds);
    int32_t Offset(uint64_t utc);
    bool SameLocalDay(uint64_t a, uint64_t b) {
        const int64_t day = 86400 * static_cast<int64_t>(kTicksPerSecond);
        const int64_t minute = 60 * static_cast<int64_t>(kTicksPerSecond);
        return (static_cast<int64_t>(a) + Offset(a) * minute) / day == (static_cast<int64_t>(b) + Offset(b) * minute) / day;
    }
    bool FlushIfFull() { return out_.size() < kFlushBytes || Flush(); }
    bool Flush() {
        const bool ok = out_.empty() || sink_.Write(out_.data(), out_.size());
        out_.clear();
        return ok;
    }
    int X(uint64_t time) const;
    // Calls f(utc, localTicks) for each tick: round local times, step_ apart.
    template <typename F>
    void ForEachTick(F f) const;
    void Head();
    void Axis(int width);
    bool Rows(int width);
    void Row(const TimelineRow& row, int y, int index);

    ExportSink& sink_;
    const TimelinePage& page_;
    std::string out_;
    std::wstring piece_, escaped_;
    uint64_t start_ = 0, end_ = 0;
    uint64_t step_ = 60;
    bool multiDay_ = false;
    std::unordered_map<uint64_t, int32_t> offsets_;   // by hour of UTC
};

// Beside what XML forbids, a strict HTML5 parser rejects DEL, the C1
// controls, the noncharacters (U+FDD0-U+FDEF and the last two of every
// plane) and even the reference &#13;: those become U+FFFD, and a CR, alone
// or before a LF, one line feed, as either parser would read it anyway.
void Page::Text(const wchar_t* text, size_t units) {
    if (!text) return;
    const size_t length = wcsnlen(text, units);
    std::wstring& piece = piece_;
    piece.clear();
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        if (c == L'\r') {
            if (i + 1 < length && text[i + 1] == L'\n') ++i;
            piece.push_back(L'\n');
        } else if ((c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) || c >= 0xFFFE) {
            piece.push_back(0xFFFD);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            // U+1FFFE, U+1FFFF ... U+10FFFF: the pair ends in 3F, 3FE or 3FF.
            if ((c & 0x3F) == 0x3F && (text[i + 1] & 0x3FE) == 0x3FE) {
                piece.push_back(0xFFFD);
            } else {
                piece.push_back(c);
                piece.push_back(text[i + 1]);
            }
            ++i;
        } else {
            piece.push_back(c);
        }
    }
    // Escaping may grow a unit to a ten-unit reference at most.
    escaped_.resize(piece.size() * 10 + 1);
    const size_t n = EscapeXml(piece.c_str(), escaped_.data(), escaped_.size());
    AppendUtf8(out_, escaped_.data(), n);
}

// The system's zone lookup is slow (about 27 us under Wine, and a page of
// 500 devices holds 64,000 times), while a zone changes its offset only a
// few times a year: each hour is asked at both ends once, and only an hour
// with a change inside is asked again for each time in it.
int32_t Page::Offset(uint64_t utc) {
    if (!page_.offsetAt) return 0;
    const uint64_t slot = utc / kOffsetSlotTicks;
    auto known = offsets_.find(slot);
    if (known == offsets_.end()) {
        const int32_t first = page_.offsetAt(slot * kOffsetSlotTicks);
        const int32_t last = page_.offsetAt(slot * kOffsetSlotTicks + kOffsetSlotTicks - 1);
        known = offsets_.emplace(slot, first == last ? first : kOffsetChanges).first;
    }
    return known->second != kOffsetChanges ? known->second : page_.offsetAt(utc);
}

void Page::Time(uint64_t utc, Clock form, bool withSeconds) {
    wchar_t iso[kIsoTimeChars];
    const int32_t offset = Offset(utc);
    if (!FormatIsoLocalTime(utc, offset, iso, kIsoTimeChars)) return;
    // "2026-12-08T10:57:21+01:00": year 0-3, month and day 5-9, time 11-18.
    iso[10] = L' ';
    const size_t end = withSeconds ? 19 : 16;
    const size_t from = form == Clock::FullDate ? 0 : form == Clock::MonthDay ? 5 : 11;
    AppendUtf8(out_, iso + from, end - from);
}

int Page::X(uint64_t time) const {
    if (time < start_) time = start_;
    if (time > end_) time = end_;
    const double share = static_cast<double>(time - start_) / static_cast<double>(end_ - start_);
    return kTimelineLabelWidth + static_cast<int>(share * kTimelineChartWidth + 0.5);
}

// Ticks fall on round local times: shift to local, round up, shift back.
template <typename F>
void Page::ForEachTick(F f) const {
    const uint64_t stepTicks = step_ * kTicksPerSecond;
    const int32_t offset = page_.offsetAt ? page_.offsetAt(start_) : 0;
    const int64_t shift = static_cast<int64_t>(offset) * 60 * static_cast<int64_t>(kTicksPerSecond);
    const uint64_t localStart = static_cast<uint64_t>(static_cast<int64_t>(start_) + shift);
    for (uint64_t tick = (localStart + stepTicks - 1) / stepTicks * stepTicks;; tick += stepTicks) {
        const uint64_t utc = static_cast<uint64_t>(static_cast<int64_t>(tick) - shift);
        if (utc > end_) break;
        f(utc, tick);
    }
}

void Page::Head() {
    Raw("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/><title>");
    Text(page_.texts.title);
    Raw("</title><style>");
    Raw(kStyle);
    Raw("</style></head>\n<body><h1>");
    Text(page_.texts.title);
    Raw("</h1>\n<p>");
    Text(page_.texts.devices);
    Raw(" ");
    Num(page_.rowCount);
    Raw(" &#183; ");
    Time(start_, Clock::FullDate, false);
    Raw(" &#8211; ");
    Time(end_, Clock::FullDate, false);
    // The green of a bar that is still open, named once.
    Raw(" &#183; <span class=\"key\"></span>");
    Text(page_.texts.stillPresent);
    Raw("</p>\n");
    bool merged = false;
    for (int i = 0; i < page_.rowCount && !merged; ++i) merged = page_.rows[i].merged > 0;
    if (merged) {
        Raw("<p class=\"note\">");
        Text(page_.texts.mergedNote);
        Raw(" ");
        Num(page_.spanBound);
        Raw("</p>\n");
    }
}

// The axis stays at the top of the window while the rows scroll under it.
void Page::Axis(int width) {
    Raw("<div class=\"axis\"><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"");
    Num(width);
    Raw("\" height=\"");
    Num(kAxisHeight);
    Raw("\">");
    ForEachTick([&](uint64_t utc, uint64_t local) {
        const int x = X(utc);
        Raw("<line class=\"grid\" x1=\"");
        Num(x);
        Raw("\" y1=\"22\" x2=\"");
        Num(x);
        Raw("\" y2=\"");
        Num(kAxisHeight);
        Raw("\"/><text class=\"tick\" text-anchor=\"middle\" x=\"");
        Num(x);
        Raw("\" y=\"16\">");
        // Over several days the midnight ticks carry the date.
        const bool midnight = (local / kTicksPerSecond) % 86400 == 0;
        Time(utc, multiDay_ && midnight ? Clock::MonthDay : Clock::TimeOnly, step_ < 60);
        Raw("</text>");
    });
    Raw("</svg></div>\n");
}

void Page::Row(const TimelineRow& row, int y, int index) {
    Raw("<g class=\"row\">");
    if (index % 2) {
        Raw("<rect class=\"band\" x=\"0\" y=\"");
        Num(y);
        Raw("\" width=\"");
        Num(kTimelineLabelWidth + kTimelineChartWidth + kRightMargin);
        Raw("\" height=\"");
        Num(kTimelineRowHeight);
        Raw("\"/>");
    }
    const bool named = row.name && row.name[0];
    Raw("<text x=\"6\" y=\"");
    Num(y + 14);
    Raw("\"><title>");
    if (named) {
        Text(row.name);
        Raw(" ");
    }
    Text(row.address);
    Raw("</title>");
    if (named) {
        size_t cut = wcsnlen(row.name, kNameChars + 1);
        if (cut > kNameChars) {
            cut = kNameChars - 1;
            if (row.name[cut - 1] >= 0xD800 && row.name[cut - 1] <= 0xDBFF) --cut;
            Text(row.name, cut);
            Raw("&#8230;");
        } else {
            Text(row.name);
        }
    }
    Raw("</text><text class=\"addr\" text-anchor=\"end\" x=\"");
    Num(kTimelineLabelWidth - 10);
    Raw("\" y=\"");
    Num(y + 14);
    Raw("\">");
    Text(row.address);
    Raw("</text>");
    for (int s = 0; s < row.spanCount; ++s) {
        const PresenceSpan& span = row.spans[s];
        const bool open = row.present && s == row.spanCount - 1;
        const int x = X(span.start);
        int w = X(open ? end_ : span.end) - x;
        if (w < kMinBarWidth) w = kMinBarWidth;
        Raw(open ? "<rect class=\"open\" x=\"" : "<rect class=\"bar\" x=\"");
        Num(x);
        Raw("\" y=\"");
        Num(y + (kTimelineRowHeight - kBarHeight) / 2);
        Raw("\" width=\"");
        Num(w);
        Raw("\" height=\"");
        Num(kBarHeight);
        Raw("\"><title>");
        // A page holds thousands of these: an end on the start's day
        // carries no date, and the dash is UTF-8 rather than a reference.
        Time(span.start, Clock::FullDate, true);
        Raw(" \xE2\x80\x93 ");
        if (open) Text(page_.texts.stillPresent);
        else Time(span.end, SameLocalDay(span.start, span.end) ? Clock::TimeOnly : Clock::FullDate, true);
        Raw("</title></rect>");
    }
    Raw("</g>\n");
}

bool Page::Rows(int width) {
    const int height = page_.rowCount * kTimelineRowHeight + 4;
    Raw("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"");
    Num(width);
    Raw("\" height=\"");
    Num(height);
    Raw("\">");
    // One path for all the tick lines keeps a tall page small.
    Raw("<path class=\"grid\" d=\"");
    ForEachTick([&](uint64_t utc, uint64_t) {
        Raw("M");
        Num(X(utc));
        Raw(" 0V");
        Num(height);
    });
    Raw("\"/>\n");
    for (int i = 0; i < page_.rowCount; ++i) {
        Row(page_.rows[i], 2 + i * kTimelineRowHeight, i);
        if (!FlushIfFull()) return false;
    }
    Raw("</svg>\n");
    return true;
}

bool Page::Write() {
    start_ = page_.start;
    end_ = page_.end;
    // An axis needs some length: at least a minute.
    if (end_ < start_ + 60 * kTicksPerSecond) end_ = start_ + 60 * kTicksPerSecond;
    const uint64_t seconds = (end_ - start_) / kTicksPerSecond;
    step_ = TimelineTickStep(seconds, kTimelineChartWidth / kMinTickSpacing);
    multiDay_ = seconds > 20 * 3600 || step_ >= 86400;
    const int width = kTimelineLabelWidth + kTimelineChartWidth + kRightMargin;
    Head();
    Axis(width);
    if (!Rows(width)) return false;
    Raw("</body></html>\n");
    return Flush();
}

}  // namespace

uint64_t TimelineTickStep(uint64_t seconds, int maxTicks) {
    static const uint64_t kSteps[] = {10,   30,    60,    120,   300,   600,    900,    1800,
                                      3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
    if (maxTicks < 1) maxTicks = 1;
    for (uint64_t step : kSteps)
        if (seconds / step <= static_cast<uint64_t>(maxTicks)) return step;
    // Beyond a few months: whole weeks, as many as it takes.
    const uint64_t week = 604800;
    return (seconds / maxTicks + week - 1) / week * week;
}

bool WriteTimelinePage(ExportSink& sink, const TimelinePage& page) {
    Page writer(sink, page);
    return writer.Write();
}

}  // namespace nw
