// The presence room's pure half (departure rule, span bound, history line,
// timeline page) and its history file at the failure paths.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>
#include "TestFolder.h"
#include "alerts/TemplateExpansion.h"
#include "presence/HistoryLine.h"
#include "presence/HistoryLog.h"
#include "presence/PresenceMonitor.h"
#include "presence/PresenceTracker.h"
#include "presence/TimelineWriter.h"
#include "reports_testsupport.h"

namespace {

using nw::PresenceEvent;
using nw::PresenceEventKind;
using nw::PresenceTracker;

constexpr uint64_t kMinute = 600000000ull;
constexpr uint64_t kT0 = 134000000000000000ull;   // some day in 2025

struct Scan {
    PresenceTracker& tracker;
    int32_t departAfter;
    int number = 0;
    std::vector<PresenceEvent> operator()(std::vector<uint64_t> answered, bool armed = false) {
        std::vector<PresenceEvent> events;
        tracker.OnScan(answered.data(), static_cast<int>(answered.size()), kT0 + kMinute * ++number, departAfter,
                       armed, events);
        return events;
    }
};

std::string Kinds(const std::vector<PresenceEvent>& events) {
    std::string s;
    for (const auto& e : events) s += e.kind == PresenceEventKind::Present ? 'P' : e.kind == PresenceEventKind::Arrived ? 'A' : 'L';
    return s;
}

TEST(PresenceTracker, LeavesAfterTheSetMissedScansAndArrivesAgain) {
    PresenceTracker tracker;
    Scan scan{tracker, 3};
    EXPECT_EQ("PP", Kinds(scan({1, 2, 2})));   // a repeat answer counts once
    EXPECT_EQ(2, tracker.PresentCount());
    // Missed twice, then back: the count of misses starts again.
    EXPECT_EQ("", Kinds(scan({1})));
    EXPECT_EQ("", Kinds(scan({1})));
    EXPECT_EQ("", Kinds(scan({1, 2})));
    EXPECT_EQ("", Kinds(scan({1})));
    EXPECT_EQ("", Kinds(scan({1})));
    EXPECT_FALSE(tracker.IsDeparted(2));
    auto left = scan({1}, true);   // the third miss in a row
    ASSERT_EQ("L", Kinds(left));
    EXPECT_EQ(2u, left[0].address);
    EXPECT_EQ(kT0 + kMinute * 4, left[0].lastSeen);   // its last answer, not the scan that noticed
    EXPECT_TRUE(left[0].alert);
    EXPECT_TRUE(tracker.IsDeparted(2));
    EXPECT_EQ(1, tracker.PresentCount());
    EXPECT_EQ("", Kinds(scan({1})));               // leaves once
    auto back = scan({3, 2});                      // a new device and one that returns
    EXPECT_EQ("AA", Kinds(back));
    EXPECT_EQ(3u, back[0].address);
    EXPECT_FALSE(tracker.IsDeparted(2));
    EXPECT_EQ(3, tracker.PresentCount());
    ASSERT_NE(nullptr, tracker.Spans(2));
    EXPECT_EQ(2, tracker.Spans(2)->Count());

    // Departures before the alerts are armed are tracked but not announced.
    scan.departAfter = 1;
    auto quiet = scan({1, 2}, false);
    ASSERT_EQ("L", Kinds(quiet));
    EXPECT_EQ(3u, quiet[0].address);
    EXPECT_FALSE(quiet[0].alert);

    // Reset: everything forgotten, the next scan is a first scan again.
    tracker.Reset();
    EXPECT_FALSE(tracker.IsDeparted(2));
    EXPECT_EQ(0, tracker.ScanCount());
    EXPECT_EQ("P", Kinds(scan({2})));
}

TEST(PresenceTracker, ACountBelowOneMeansOneMissedScan) {
    PresenceTracker tracker;
    Scan scan{tracker, 0};
    scan({7});
    EXPECT_EQ("L", Kinds(scan({})));
}

TEST(SpanStore, KeepsTheRecentSpansExactAndFoldsTheOldestIntoTheFirst) {
    nw::SpanStore store;
    const int total = nw::SpanStore::kMaxSpans + 6;
    for (int i = 0; i < total; ++i) {
        store.Begin(kT0 + kMinute * (10 * i));
        store.Extend(kT0 + kMinute * (10 * i + 5));
        store.Extend(kT0 + kMinute * (10 * i + 1));   // never moves an end back
    }
    ASSERT_EQ(nw::SpanStore::kMaxSpans, store.Count());
    EXPECT_EQ(6u, store.Merged());
    EXPECT_EQ(kT0, store.At(0).start);
    EXPECT_EQ(kT0 + kMinute * (10 * 6 + 5), store.At(0).end);   // the first seven spans as one
    EXPECT_EQ(kT0 + kMinute * (10 * 7), store.At(1).start);
    EXPECT_EQ(kT0 + kMinute * (10 * (total - 1) + 5), store.At(store.Count() - 1).end);
}

TEST(HistoryLine, HostileNameStaysOneHarmlessField) {
    nwtest::MemorySink sink;
    ASSERT_TRUE(nw::WriteHistoryHeader(sink, true));
    nw::HistoryDevice device = {L"00:1a:7d:da:71:13", L"=HYPERLINK(\"x\"),\r\nleft,1", L"+desc", L"Caf\u00e9", L"Phone",
                                L""};
    ASSERT_TRUE(nw::WriteHistoryLine(sink, L"2026-12-08T10:57:21+01:00", L"left", device));
    EXPECT_EQ("\xEF\xBB\xBF" "Time,Event,Address,Name,Description,Company,Major Type,Minor Type\r\n"
              "2026-12-08T10:57:21+01:00,left,00:1a:7d:da:71:13,\"'=HYPERLINK(\"\"x\"\"),\r\nleft,1\",'+desc,"
              "Caf\xC3\xA9,Phone,\r\n",
              sink.Narrow());
}

TEST(HistoryLine, IsoTimeCarriesTheOffset) {
    // 2026-12-08 09:57:21 UTC.
    const uint64_t utc = 134411974410000000ull;
    wchar_t text[nw::kIsoTimeChars];
    EXPECT_EQ(25u, nw::FormatIsoLocalTime(utc, 60, text, nw::kIsoTimeChars));
    EXPECT_STREQ(L"2026-12-08T10:57:21+01:00", text);
    nw::FormatIsoLocalTime(utc, -600, text, nw::kIsoTimeChars);   // across midnight
    EXPECT_STREQ(L"2026-12-07T23:57:21-10:00", text);
    nw::FormatIsoLocalTime(utc, 0, text, nw::kIsoTimeChars);   // UTC is "+00:00", never "-00:00"
    EXPECT_STREQ(L"2026-12-08T09:57:21+00:00", text);
    nw::FormatIsoLocalTime(utc, -210, text, nw::kIsoTimeChars);
    EXPECT_STREQ(L"2026-12-08T06:27:21-03:30", text);
    EXPECT_EQ(0u, nw::FormatIsoLocalTime(utc, 0, text, nw::kIsoTimeChars - 1));
    EXPECT_STREQ(L"", text);
}

const std::string kHeader = "\xEF\xBB\xBF" "Time,Event,Address,Name,Description,Company,Major Type,Minor Type\r\n";

std::string Content(const std::wstring& path) {
    const std::vector<unsigned char> bytes = nw::test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

TEST(HistoryLog, WaitsWhileTheFileIsHeldAndNotesWhatTheBoundDropped) {
    nw::test::TempFolder folder;
    const std::wstring path = folder.File(L"nearwatch_history.csv");
    nw::HistoryLog log(3);
    log.SetPath(path.c_str());
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    for (char c = 'a'; c <= 'e'; ++c) log.Add(std::string(1, c) + "\r\n");
    EXPECT_FALSE(log.Flush(L"T"));
    EXPECT_EQ(3u, log.Waiting());
    EXPECT_EQ(2u, log.Dropped());
    CloseHandle(held);   // empty: the header goes first
    EXPECT_TRUE(log.Flush(L"T"));
    log.Add("f\r\n");
    nw::HistoryLog second;   // another run appends, without a second header
    second.SetPath(path.c_str());
    second.Add("g\r\n");
    EXPECT_TRUE(log.Flush(L"T"));
    EXPECT_TRUE(second.Flush(L"T"));
    EXPECT_EQ(kHeader + "T,lost,,,2 events could not be written and were dropped,,,\r\nc\r\nd\r\ne\r\nf\r\ng\r\n",
              Content(path));
}

// A sink that takes at most limit bytes in all, as a full disk would.
struct ShortFile : nw::HistorySink {
    std::string bytes;
    size_t limit = SIZE_MAX;
    size_t Write(const char* data, size_t n) override {
        const size_t take = std::min(n, limit - std::min(limit, bytes.size()));
        bytes.append(data, take);
        return take;
    }
    bool Flush(nw::HistoryLog& log) {
        return log.WriteTo(*this, bytes.substr(0, kHeader.size()), bytes.size(), bytes.empty() ? 0 : bytes.back(), L"T");
    }
};

TEST(HistoryLog, AfterAShortWriteEachLineLandsExactlyOnce) {
    const std::string lines = "a,1\r\nbb,2\r\nccc,3\r\n";
    for (size_t cut = 0; cut <= kHeader.size() + lines.size(); ++cut) {
        nw::HistoryLog log;
        log.Add("a,1\r\n");
        log.Add("bb,2\r\n");
        ShortFile file;
        file.limit = cut;
        file.Flush(log);   // the header, maybe some lines, maybe half of one
        log.Add("ccc,3\r\n");
        file.limit = SIZE_MAX;
        EXPECT_TRUE(file.Flush(log)) << cut;
        EXPECT_EQ(kHeader + lines, file.bytes) << cut;
        EXPECT_EQ(0u, log.Waiting());
    }
}

TEST(HistoryLog, LeadsAFileItDidNotWriteAloneAndEndsAnUnendedLine) {
    std::string lead;
    EXPECT_TRUE(nw::HistoryLead("", 0, 0, lead));
    EXPECT_EQ(kHeader, lead);
    EXPECT_TRUE(nw::HistoryLead(kHeader.substr(0, 10), 10, kHeader[9], lead));   // cut short while written
    EXPECT_EQ(kHeader.substr(10), lead);
    EXPECT_TRUE(nw::HistoryLead(kHeader, 90, 'x', lead));
    EXPECT_EQ("\r\n", lead);
    EXPECT_TRUE(nw::HistoryLead(kHeader, 90, '\r', lead));
    EXPECT_EQ("\n", lead);
    EXPECT_TRUE(nw::HistoryLead(kHeader.substr(3), 90, '\n', lead));   // an editor dropped the mark
    EXPECT_EQ("", lead);
    EXPECT_FALSE(nw::HistoryLead("\xFF\xFET\0i\0", 90, '\0', lead));   // UTF-16
    EXPECT_FALSE(nw::HistoryLead("Time,Event\r\n", 12, '\n', lead));
    EXPECT_FALSE(nw::HistoryLead(kHeader.substr(0, 10), 500, 'x', lead));

    nw::test::TempFolder folder;
    const std::wstring path = folder.File(L"nearwatch_history.csv");
    const std::string utf16("\xFF\xFEn\0o\0t\0 \0m\0i\0n\0e\0", 18);
    ASSERT_TRUE(WriteAll(path, utf16));
    ASSERT_TRUE(WriteAll(folder.File(L"nearwatch_history-2.csv"), kHeader + "old,line"));
    nw::HistoryLog log;
    log.SetPath(path.c_str());
    log.Add("new,line\r\n");
    EXPECT_TRUE(log.Flush(L"T"));
    EXPECT_EQ(utf16, Content(path));   // untouched
    EXPECT_EQ(path, log.MovedFrom());
    EXPECT_EQ(folder.File(L"nearwatch_history-2.csv"), log.Path());
    EXPECT_EQ(kHeader + "old,line\r\nnew,line\r\n", Content(log.Path()));
    EXPECT_EQ(L"C:\\a\\b-3", nw::NumberedHistoryPath(L"C:\\a\\b", 3));
    EXPECT_EQ(L"C:\\a.d\\b-3", nw::NumberedHistoryPath(L"C:\\a.d\\b", 3));

    wchar_t note[64];
    EXPECT_EQ(19u, nw::FillNames(L"{1} %s %d {2} {3}{1", L"one", L"two", note, 64));
    EXPECT_STREQ(L"one %s %d two {3}{1", note);
    EXPECT_EQ(4u, nw::FillNames(L"{1}{2}", L"one", L"two", note, 5));
}

// Past MAX_PATH the log and its spare file take the long form; a path
// that has none is refused, and the flush says why.
TEST(HistoryLog, LongPathsTakeTheLongForm) {
    std::wstring out;
    const std::wstring deep = L"C:\\" + std::wstring(250, L'x') + L"\\nearwatch.exe";
    ASSERT_TRUE(nw::HistoryPathFor(deep.c_str(), L"_history.csv", out));
    EXPECT_EQ(L"\\\\?\\C:\\" + std::wstring(250, L'x') + L"\\nearwatch_history.csv", out);
    const std::wstring unc = L"\\\\server\\share\\" + std::wstring(250, L'x') + L"\\nearwatch.exe";
    ASSERT_TRUE(nw::HistoryPathFor(unc.c_str(), L"_history.csv", out));
    EXPECT_EQ(0u, out.find(L"\\\\?\\UNC\\server\\share\\xx"));
    EXPECT_FALSE(nw::HistoryPathFor((std::wstring(300, L'x') + L"\\n.exe").c_str(), L"_history.csv", out));
    EXPECT_FALSE(nw::HistoryPathFor((L"C:\\..\\" + std::wstring(300, L'x') + L"\\n.exe").c_str(), L".csv", out));
    // 259 characters still fit a plain path; 260 do not.
    ASSERT_TRUE(nw::HistoryPathFor((L"C:\\" + std::wstring(234, L'x') + L"\\nearwatch.exe").c_str(), L"_history.csv", out));
    EXPECT_EQ(259u, out.size());
    ASSERT_TRUE(nw::HistoryPathFor((L"C:\\" + std::wstring(235, L'x') + L"\\nearwatch.exe").c_str(), L"_history.csv", out));
    EXPECT_EQ(264u, out.size());
    ASSERT_TRUE(nw::HistoryPathFor(L"C:\\p\\nearwatch.exe", L"_history.csv", out));
    EXPECT_EQ(L"C:\\p\\nearwatch_history.csv", out);

    nw::test::TempFolder folder;
    std::wstring dir = L"\\\\?\\" + folder.Path();
    for (int i = 0; i < 3; ++i) {
        dir += L"\\" + std::wstring(100, wchar_t(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    }
    ASSERT_TRUE(nw::HistoryPathFor((dir.substr(4) + L"\\nearwatch.exe").c_str(), L"_history.csv", out));
    nw::HistoryLog log;
    log.SetPath(out.c_str());
    log.Add("x\r\n");
    EXPECT_TRUE(log.Flush(L"T"));
    EXPECT_EQ(kHeader + "x\r\n", Content(out));
    DeleteFileW(out.c_str());
    for (int i = 0; i < 3; ++i) {
        RemoveDirectoryW(dir.c_str());
        dir.resize(dir.rfind(L'\\'));
    }
    nw::HistoryLog unnamed;   // the name did not fit at all
    unnamed.Add("x\r\n");
    EXPECT_FALSE(unnamed.Flush(L"T"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), unnamed.Error());
    EXPECT_FALSE(unnamed.Held());
}

// The exit tries again only while another program holds the file.
TEST(HistoryLog, AtExitNothingWaitingMeansNoTryAndOnlyAHeldFileIsTriedAgain) {
    nw::test::TempFolder folder;
    const std::wstring path = folder.File(L"h.csv"), spare = folder.File(L"h_unsaved.csv");
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    nw::HistoryLog idle;
    idle.SetPath(path.c_str());
    EXPECT_EQ(0, idle.Close(L"T", spare, 10, 1000));   // would wait ten seconds if it tried
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(spare.c_str()));

    nw::HistoryLog busy;
    busy.SetPath(path.c_str());
    busy.Add("x\r\n");
    EXPECT_EQ(3, busy.Close(L"T", spare, 3, 1));
    CloseHandle(held);
    EXPECT_EQ(kHeader + "x\r\n", Content(spare));

    nw::HistoryLog lost;   // a missing folder does not come back by waiting
    const std::wstring nowhere = folder.File(L"missing\\h.csv");
    lost.SetPath(nowhere.c_str());
    lost.Add("y\r\n");
    EXPECT_EQ(1, lost.Close(L"T", folder.File(L"h2_unsaved.csv"), 10, 1000));
    EXPECT_EQ(kHeader + "y\r\n", Content(folder.File(L"h2_unsaved.csv")));
}


TEST(DepartureCommand, LastSeenJoinsTheVariablesWithTheSameQuoting) {
    nw::DeviceTexts device = {L"x\" & del *.* & \"", L"", L"00:1a:7d:da:71:13"};
    std::wstring out;
    nw::ExpandDepartureVariables(L"notify \"%device_name%\" %device_addr% %device_last_seen%", device,
                                 L"2026-12-08T10:57:21+01:00 & calc", out);
    EXPECT_EQ(L"notify \"x  del *.*  \" 00:1a:7d:da:71:13 2026-12-08T10:57:21+01:00  calc", out);
}

TEST(TimelinePage, OneEscapedRowPerDeviceAndTheBoundWhenReached) {
    const nw::PresenceSpan spans[2] = {{kT0, kT0 + kMinute * 30}, {kT0 + kMinute * 60, kT0 + kMinute * 61}};
    // A label keeps 29 units and an ellipsis, never half of a surrogate pair.
    const nw::TimelineRow rows[4] = {
        {L"<script>alert(1)</script>&\r\nx\ry\x7F\x85\xFDD0\xFFFE\xD83F\xDFFE.\xD83D\xDFFE", L"00:00:00:00:00:01", spans, 2, 0,
         true},
        {L"", L"00:00:00:00:00:02", spans, 1, 5, false},
        {L"aaaaaaaaaaaaaaaaaaaaaaaaaaaa\xD83D\xDE00zzzz", L"00:00:00:00:00:03", nullptr, 0, 0, false},
        {L"bbbbbbbbbbbbbbbbbbbbbbbbbbb\xD83D\xDE00zzzz", L"00:00:00:00:00:04", nullptr, 0, 0, false},
    };
    nw::TimelinePage page = {{L"Timeline", L"Devices:", L"Bound:", L"still here"}, kT0, kT0 + kMinute * 90, rows, 4,
                             64, nullptr};
    nwtest::MemorySink sink;
    ASSERT_TRUE(nw::WriteTimelinePage(sink, page));
    const std::string html = sink.Narrow();
    std::vector<std::string> groups;   // each row's text, band first
    for (size_t at = 0; (at = html.find("<g class=\"row\">", at)) != std::string::npos; ++at)
        groups.push_back(html.substr(at, html.find("</g>", at) - at));
    ASSERT_EQ(4u, groups.size());
    for (size_t i = 0; i < groups.size(); ++i)   // the band on every second row, the first one plain
        EXPECT_EQ(i % 2 == 1, groups[i].find("class=\"band\"") != std::string::npos) << i;
    EXPECT_EQ(std::string::npos, html.find("<script"));
    // A strict HTML5 parser takes neither a reference to CR nor DEL, C1
    // controls or noncharacters: line breaks as LF, the others U+FFFD.
    EXPECT_NE(std::string::npos, html.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;&#10;x&#10;y"
                                           "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.\xF0\x9F\x9F\xBE"));
    for (const char* bad : {"&#13;", "\x7F", "\xC2\x85", "\xEF\xB7\x90", "\xEF\xBF\xBE", "\xF0\x9F\xBF\xBE"})
        EXPECT_EQ(std::string::npos, html.find(bad)) << bad;
    EXPECT_NE(std::string::npos, groups[2].find(">aaaaaaaaaaaaaaaaaaaaaaaaaaaa&#8230;</text>"));
    EXPECT_NE(std::string::npos, groups[3].find(">bbbbbbbbbbbbbbbbbbbbbbbbbbb\xF0\x9F\x98\x80&#8230;</text>"));
    EXPECT_NE(std::string::npos, html.find("Bound: 64"));
    EXPECT_NE(std::string::npos, html.find("still here</title>"));   // the open bar of the present device
    EXPECT_EQ(600u, nw::TimelineTickStep(90 * 60, 11));
    EXPECT_EQ(600u, nw::TimelineTickStep(11 * 600, 11));   // exactly 11 ticks still fit
    EXPECT_EQ(900u, nw::TimelineTickStep(11 * 600 + 600, 11));
    EXPECT_EQ(86400u, nw::TimelineTickStep(7 * 86400, 11));
    // A failing sink is a failed page, not a crash.
    nwtest::MemorySink failing(100);
    EXPECT_FALSE(nw::WriteTimelinePage(failing, page));
}

// The zone is asked per hour, not per time, and a change of offset inside
// an hour (some zones change at 23:59:59.999) stays exact.
int g_zoneCalls = 0;
uint64_t g_zoneChange = 0;
int32_t ZoneOffset(uint64_t utc) {
    ++g_zoneCalls;
    return utc < g_zoneChange ? 60 : 120;
}

std::string LocalText(uint64_t utc, int32_t offset, size_t from) {
    wchar_t iso[nw::kIsoTimeChars];
    nw::FormatIsoLocalTime(utc, offset, iso, nw::kIsoTimeChars);
    iso[10] = L' ';
    return std::string(iso + from, iso + 19);
}

TEST(TimelinePage, AsksTheZoneOncePerHourAndStaysExactAtAChange) {
    constexpr uint64_t kSecond = 10000000ull;
    const uint64_t start = kT0 / (60 * kMinute) * (60 * kMinute);
    g_zoneChange = start + 100 * kMinute + 7 * kSecond;
    std::vector<nw::PresenceSpan> spans;
    for (int i = 0; i < 64; ++i) spans.push_back({start + i * kMinute, start + i * kMinute + 30 * kSecond});
    spans.push_back({g_zoneChange - kSecond, g_zoneChange + kSecond});
    const nw::TimelineRow row = {L"n", L"00:00:00:00:00:01", spans.data(), static_cast<int>(spans.size()), 0, false};
    nw::TimelinePage page = {{L"T", L"D", L"B", L"S"}, start, start + 120 * kMinute, &row, 1, 64, ZoneOffset};
    nwtest::MemorySink sink;
    g_zoneCalls = 0;
    ASSERT_TRUE(nw::WriteTimelinePage(sink, page));
    EXPECT_LT(g_zoneCalls, 40);   // 130 bar times, 13 ticks, 2 in the heading
    const std::string html = sink.Narrow();
    // Each side of the change in its own offset; an end on the start's day without its date.
    EXPECT_NE(std::string::npos, html.find("<title>" + LocalText(g_zoneChange - kSecond, 60, 0) + " \xE2\x80\x93 " +
                                           LocalText(g_zoneChange + kSecond, 120, 11) + "</title>"));
}

}  // namespace
