#include "presence/HistoryLine.h"

#include <string>
#include "reports/ExportFormat.h"
#include "reports/ExportSink.h"

namespace nw {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ull;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysFrom1601To1970 = 134774;

// Proleptic Gregorian date of a day count since 1970-01-01.
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    year = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) ++year;
}

}  // namespace

bool WriteHistoryHeader(ExportSink& sink, bool withByteOrderMark) {
    static const unsigned char kBom[3] = {0xEF, 0xBB, 0xBF};
    static const char kHeader[] = "Time,Event,Address,Name,Description,Company,Major Type,Minor Type\r\n";
    if (withByteOrderMark && !sink.Write(kBom, sizeof kBom)) return false;
    return sink.Write(kHeader, sizeof kHeader - 1);
}

const wchar_t* HistoryEventWord(PresenceEventKind kind) {
    switch (kind) {
    case PresenceEventKind::Present: return L"present";
    case PresenceEventKind::Arrived: return L"arrived";
    case PresenceEventKind::Left: return L"left";
    }
    return L"";
}

// Names, descriptions and companies come from strangers' radios and from
// files users edit: the export's writer quotes them and disarms formulas.
bool WriteHistoryLine(ExportSink& sink, const wchar_t* time, const wchar_t* event, const HistoryDevice& device) {
    const wchar_t* fields[8] = {time,           event,           device.address,   device.name,
                                device.description, device.company, device.majorType, device.minorType};
    return WriteCsvRecordUtf8(sink, fields, 8);
}

bool WriteHistoryLostLine(ExportSink& sink, const wchar_t* time, uint64_t lost) {
    // Digits by hand: std::to_wstring would bring a whole printf into the program.
    wchar_t digits[24];
    wchar_t* first = digits + 23;
    *first = 0;
    do {
        *--first = static_cast<wchar_t>(L'0' + lost % 10);
        lost /= 10;
    } while (lost);
    const std::wstring note = first + std::wstring(L" events could not be written and were dropped");
    const wchar_t* fields[8] = {time, L"lost", L"", L"", note.c_str(), L"", L"", L""};
    return WriteCsvRecordUtf8(sink, fields, 8);
}

size_t FormatIsoLocalTime(uint64_t utc, int32_t offsetMinutes, wchar_t* out, size_t size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    if (size < kIsoTimeChars || offsetMinutes <= -24 * 60 || offsetMinutes >= 24 * 60) return 0;
    const int64_t seconds = static_cast<int64_t>(utc / kTicksPerSecond) + static_cast<int64_t>(offsetMinutes) * 60;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int64_t year;
    unsigned month, day;
    CivilFromDays(days - kDaysFrom1601To1970, year, month, day);
    if (year < 0 || year > 9999) return 0;
    const unsigned offset = static_cast<unsigned>(offsetMinutes < 0 ? -offsetMinutes : offsetMinutes);
    wchar_t* p = out;
    auto digits = [&p](unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            p[i] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        }
        p += count;
    };
    auto put = [&p](wchar_t c) { *p++ = c; };
    digits(static_cast<unsigned>(year), 4);
    put(L'-');
    digits(month, 2);
    put(L'-');
    digits(day, 2);
    put(L'T');
    digits(static_cast<unsigned>(rest / 3600), 2);
    put(L':');
    digits(static_cast<unsigned>(rest / 60 % 60), 2);
    put(L':');
    digits(static_cast<unsigned>(rest % 60), 2);
    put(offsetMinutes < 0 ? L'-' : L'+');
    digits(offset / 60, 2);
    put(L':');
    digits(offset % 60, 2);
    *p = 0;
    return static_cast<size_t>(p - out);
}

}  // namespace nw
