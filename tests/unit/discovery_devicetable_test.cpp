#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "lang/Strings.h"
#include "dialogs_testsupport.h"
#include "listview_testsupport.h"
#include "resource.h"
#include "settings/Settings.h"

using listtest::ListWindow;
using nw::DeviceRecord;

namespace {

constexpr uint64_t kAddrA = 0x001A7DDA7113ull;   // 00:1a:7d:da:71:13
constexpr uint64_t kAddrB = 0x5C0E8B000001ull;
constexpr uint64_t kAddrC = 0x000000000100ull;
constexpr uint64_t kAddrD = 0x000000000200ull;

using dialogtest::Answer;

class DeviceTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings.MarkNewDevices = 1;
        nw::SetAppSettings(&settings);
        nw::SetDescriptionFileForTesting(folder.File(L"desc.ini").c_str());
        table.Attach(window.List());
        table.InsertColumns();
        table.SetStatusBar(window.Status());
        table.scanResults = &scan;
    }
    void TearDown() override {
        nw::SetAppSettings(nullptr);
        nw::SetDescriptionFileForTesting(nullptr);
    }
    void Scan(std::initializer_list<BLUETOOTH_DEVICE_INFO> answers) {
        scan.count = 0;
        for (const auto& answer : answers) scan.results[scan.count++] = answer;
        table.ReloadRecords();
        table.Refresh();
    }
    DeviceRecord* Find(uint64_t address) { return table.FindDevice(address); }
    int RowOf(uint64_t address) {
        for (int row = 0; row < window.Rows(); ++row) {
            const DeviceRecord* record = static_cast<const DeviceRecord*>(table.RowRecord(row));
            if (record && record->info.Address.ullLong == address) return row;
        }
        return -1;
    }
    std::wstring Text(const DeviceRecord* record, int column) {
        wchar_t buffer[nw::kTextBufferSize];
        return table.ColumnText(record, column, buffer);
    }

    listtest::TempFolder folder;   // first in, last out: the description file lives here
    nw::Settings settings = {};
    ListWindow window;
    nw::DeviceTable table;
    nw::ScanAnswer scan;
};

bool Later(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) > 0; }

}  // namespace

// ---- Pure column pieces ---------------------------------------------------------

TEST(DeviceColumns, ClassOfDeviceDecodesToStringIds) {
    EXPECT_EQ(1102u, nw::MajorTypeStringId(0x20C));   // phone
    EXPECT_EQ(1303u, nw::MinorTypeStringId(0x20C));   // smartphone
    EXPECT_EQ(1107u, nw::MajorTypeStringId(0x700));   // major 7: no such string
    EXPECT_EQ(0u, nw::MinorTypeStringId(0x700));
    EXPECT_EQ(1131u, nw::MajorTypeStringId(0x1F00));
    EXPECT_EQ(0u, nw::MinorTypeStringId(0x1F04));
    EXPECT_EQ(1204u, nw::MinorTypeStringId(0x110));   // computer, handheld
    EXPECT_EQ(1418u, nw::MinorTypeStringId(0x448));   // audio/video, toy
    EXPECT_EQ(1516u, nw::MinorTypeStringId(0x540));   // keyboard bit: an ID without text
    EXPECT_STREQ(L"", nw::GetString(nw::MinorTypeStringId(0x540)));
    EXPECT_STREQ(L"", nw::GetString(nw::MajorTypeStringId(0x700)));
    EXPECT_EQ(unsigned(IDS_YES), nw::YesNoStringId(7));
    EXPECT_EQ(unsigned(IDS_NO), nw::YesNoStringId(0));
}

TEST(DeviceColumns, ProbeResultText) {
    wchar_t buffer[64];
    EXPECT_STREQ(L"", nw::ProbeResultText(nw::kProbeNever, L"ok", L"failed %d", buffer, 64));
    EXPECT_STREQ(L"ok", nw::ProbeResultText(0, L"ok", L"failed %d", buffer, 64));
    EXPECT_STREQ(L"failed 10060", nw::ProbeResultText(10060, L"ok", L"failed %d", buffer, 64));
    EXPECT_STREQ(L"failed -1", nw::ProbeResultText(0xFFFFFFFFu, L"ok", L"failed %d", buffer, 64));
}

TEST(DeviceColumns, TimesBeforeOrAt1985AreNotShown) {
    wchar_t buffer[128] = L"untouched";
    FILETIME zero = {0, 0};
    EXPECT_FALSE(nw::FormatDeviceTime(zero, buffer, 128));
    SYSTEMTIME old = {1985, 6, 0, 1, 12, 0, 0, 0};
    FILETIME oldTime;
    ASSERT_TRUE(SystemTimeToFileTime(&old, &oldTime));
    EXPECT_FALSE(nw::FormatDeviceTime(oldTime, buffer, 128));
    EXPECT_STREQ(L"untouched", buffer);
    SYSTEMTIME recent = {2023, 3, 0, 14, 15, 9, 26, 0};
    FILETIME recentTime;
    ASSERT_TRUE(SystemTimeToFileTime(&recent, &recentTime));
    ASSERT_TRUE(nw::FormatDeviceTime(recentTime, buffer, 128));
    EXPECT_NE(nullptr, wcsstr(buffer, L"2023"));
    EXPECT_NE(nullptr, wcschr(buffer, L' '));
}

// ---- Attachment ----------------------------------------------------------------

TEST_F(DeviceTableTest, AttachSetsTheDeviceColumnsAndValues) {
    ASSERT_EQ(17, table.ColumnCount());
    const int widths[17] = {130, 130, 130, 100, 100, 120, 120, 100, 80, 80, 80, 180, 150, 90, 80, 100, 160};
    const int titles[17] = {1001, 1011, 1002, 1003, 1004, 1005, 1006, 1007, 1008,
                            1009, 1010, 1012, 1013, 1014, 1015, 1016, 1017};
    const int fixed[17] = {20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 50, 50, 14, 14, 15, 50};
    for (int c = 0; c < 17; ++c) {
        EXPECT_EQ(widths[c], window.ColumnWidth(c));
        EXPECT_STREQ(nw::GetString(titles[c]), table.Column(c).title);
        EXPECT_EQ(fixed[c], table.ColumnExport(c).fixedWidth);
        EXPECT_EQ(1, table.ColumnExport(c).noWrap);
    }
    EXPECT_STREQ(nw::GetString(IDS_LIST_TITLE), table.ListTitle());
    EXPECT_STREQ(nw::GetString(IDS_LOADING), table.ProgressFormat());
    EXPECT_EQ(0, table.alertsArmed);
    Scan({Answer(kAddrA, L"a")});
    EXPECT_EQ(64, table.RecordCapacity());
    EXPECT_TRUE(table.IsColumnSearchable(12));
}

// ---- Merge ---------------------------------------------------------------------------

TEST_F(DeviceTableTest, ThreeScansCountThreeWithFirstAndLastTimes) {
    Scan({Answer(kAddrA, L"Phone")});
    DeviceRecord* record = Find(kAddrA);
    ASSERT_NE(nullptr, record);
    const FILETIME first = record->firstSeen;
    EXPECT_EQ(0, CompareFileTime(&record->firstSeen, &record->lastSeen));
    EXPECT_EQ(1, record->index);
    EXPECT_EQ(nw::kProbeNever, record->probeResult);
    Sleep(20);
    Scan({Answer(kAddrA, L"Phone")});
    Sleep(20);
    FILETIME beforeThird;
    GetSystemTimeAsFileTime(&beforeThird);
    Scan({Answer(kAddrA, L"Phone")});
    record = Find(kAddrA);
    EXPECT_EQ(3u, record->detectionCount);
    EXPECT_EQ(0, CompareFileTime(&first, &record->firstSeen));
    EXPECT_FALSE(Later(beforeThird, record->lastSeen));
    EXPECT_TRUE(Later(record->lastSeen, first));

    DeviceRecord saved = *record;
    Scan({Answer(kAddrB, L"Other")});
    record = Find(kAddrA);
    EXPECT_EQ(0, std::memcmp(&saved.info, &record->info, sizeof saved.info));
    EXPECT_EQ(3u, record->detectionCount);
    EXPECT_EQ(0, CompareFileTime(&saved.lastSeen, &record->lastSeen));
    EXPECT_EQ(2, table.RecordCount());
    EXPECT_EQ(L"3", window.Cell(RowOf(kAddrA), nw::kColCount));
}

TEST_F(DeviceTableTest, LaterAnswersRefreshNameOnlyWhenGivenAndFlagsAlways) {
    BLUETOOTH_DEVICE_INFO answer = Answer(kAddrA, L"Headset");
    answer.fConnected = 1;
    answer.fRemembered = 1;
    answer.stLastSeen.wYear = 2001;
    Scan({answer});
    BLUETOOTH_DEVICE_INFO later = Answer(kAddrA, L"", 0x404);
    later.stLastSeen.wYear = 2024;
    later.dwSize = 1;
    Scan({later});
    DeviceRecord* record = Find(kAddrA);
    EXPECT_STREQ(L"Headset", record->info.szName);
    EXPECT_EQ(0, record->info.fConnected);
    EXPECT_EQ(0, record->info.fRemembered);
    EXPECT_EQ(0x404u, record->info.ulClassofDevice);
    EXPECT_EQ(2001, record->info.stLastSeen.wYear);   // kept as first received
    EXPECT_EQ(sizeof(BLUETOOTH_DEVICE_INFO), record->info.dwSize);
    Scan({Answer(kAddrA, L"Renamed")});
    EXPECT_STREQ(L"Renamed", Find(kAddrA)->info.szName);
    EXPECT_EQ(L"Renamed", window.Cell(0, nw::kColName));
}

TEST_F(DeviceTableTest, AnUnterminatedNameIsCutInsideTheRecord) {
    BLUETOOTH_DEVICE_INFO answer = Answer(kAddrA, L"");
    for (auto& ch : answer.szName) ch = L'x';
    Scan({answer});
    EXPECT_EQ(247u, wcslen(Find(kAddrA)->info.szName));
    Scan({answer});   // a later name keeps as much as the first
    EXPECT_EQ(247u, wcslen(Find(kAddrA)->info.szName));
}

TEST_F(DeviceTableTest, AutoDescriptionOnlyAtALaterSightingAndNeverOverwritten) {
    settings.AutoSetDeviceDescription = 1;
    ASSERT_TRUE(nw::WriteDescription(kAddrB, L"My watch"));
    Scan({Answer(kAddrA, L""), Answer(kAddrB, L"Watch 4")});
    EXPECT_STREQ(L"", Find(kAddrA)->description);
    EXPECT_STREQ(L"My watch", Find(kAddrB)->description);
    Scan({Answer(kAddrA, L"")});
    EXPECT_STREQ(L"", Find(kAddrA)->description);   // still no name

    Scan({Answer(kAddrA, L"Car kit"), Answer(kAddrB, L"Watch 4")});
    EXPECT_STREQ(L"Car kit", Find(kAddrA)->description);
    EXPECT_STREQ(L"My watch", Find(kAddrB)->description);
    wchar_t stored[nw::kDescriptionChars];
    nw::ReadDescription(kAddrA, stored, nw::kDescriptionChars);
    EXPECT_STREQ(L"Car kit", stored);
    nw::ReadDescription(kAddrB, stored, nw::kDescriptionChars);
    EXPECT_STREQ(L"My watch", stored);
    EXPECT_EQ(L"Car kit", window.Cell(RowOf(kAddrA), nw::kColDescription));

    // A first sighting with a name waits for the next one.
    Scan({Answer(kAddrC, std::wstring(200, L'n').c_str())});
    EXPECT_STREQ(L"", Find(kAddrC)->description);
    Scan({Answer(kAddrC, L"")});
    EXPECT_EQ(126u, wcslen(Find(kAddrC)->description));

    // The record and its row hold what the file holds: line breaks as spaces.
    Scan({Answer(kAddrD, L"Two\r\nlines\n\"q\" ")});
    Scan({Answer(kAddrD, L"")});
    EXPECT_STREQ(L"Two  lines \"q\" ", Find(kAddrD)->description);
    nw::ReadDescription(kAddrD, stored, nw::kDescriptionChars);
    EXPECT_STREQ(Find(kAddrD)->description, stored);
    EXPECT_EQ(std::wstring(stored), window.Cell(RowOf(kAddrD), nw::kColDescription));
}

TEST_F(DeviceTableTest, WithoutAutoDescriptionNothingIsWritten) {
    Scan({Answer(kAddrA, L"Car kit")});
    Scan({Answer(kAddrA, L"Car kit")});
    EXPECT_STREQ(L"", Find(kAddrA)->description);
    wchar_t stored[nw::kDescriptionChars];
    EXPECT_EQ(0u, nw::ReadDescription(kAddrA, stored, nw::kDescriptionChars));
}

TEST_F(DeviceTableTest, NewMarksOnlyWhenArmedAndWithDescriptionWhenAsked) {
    Scan({Answer(kAddrA, L"a")});
    EXPECT_EQ(0, Find(kAddrA)->isNew);   // not armed

    table.alertsArmed = 1;
    settings.DevicesAlertOnlyWithDesc = 1;
    nw::WriteDescription(kAddrC, L"Known");
    Scan({Answer(kAddrB, L"b"), Answer(kAddrC, L"c")});
    EXPECT_EQ(0, Find(kAddrB)->isNew);
    EXPECT_EQ(1, Find(kAddrC)->isNew);
    EXPECT_EQ(3, table.RecordCount());

    settings.DevicesAlertOnlyWithDesc = 0;
    Scan({});   // an empty scan only clears the marks
    EXPECT_EQ(0, Find(kAddrC)->isNew);
    EXPECT_EQ(3, table.RecordCount());
    Scan({Answer(kAddrA, L"a"), Answer(0x77, L"new")});
    EXPECT_EQ(0, Find(kAddrA)->isNew);   // seen before, not removed
    EXPECT_EQ(1, Find(0x77)->isNew);
}

TEST_F(DeviceTableTest, RemovedDeviceHiddenUntilReportedThenCountedOnceMore) {
    Scan({Answer(kAddrA, L"a"), Answer(kAddrB, L"b")});
    ASSERT_EQ(2, window.Rows());
    table.SetRemoved(Find(kAddrA));
    table.Refresh();
    EXPECT_EQ(1, window.Rows());
    EXPECT_EQ(-1, RowOf(kAddrA));
    Scan({Answer(kAddrB, L"b")});
    Scan({Answer(kAddrB, L"b")});
    EXPECT_EQ(-1, RowOf(kAddrA));
    EXPECT_EQ(1u, Find(kAddrA)->detectionCount);
    EXPECT_EQ(Find(kAddrA), table.FindRecord(Find(kAddrA)));   // found although removed

    Scan({Answer(kAddrA, L"a")});
    EXPECT_EQ(1, RowOf(kAddrA));   // back, at the end
    EXPECT_EQ(2u, Find(kAddrA)->detectionCount);
    EXPECT_EQ(0, Find(kAddrA)->removed);
    EXPECT_EQ(0, Find(kAddrA)->isNew);   // not armed

    table.alertsArmed = 1;
    table.SetRowState(RowOf(kAddrA), LVIS_SELECTED, LVIS_SELECTED);
    table.MarkSelectedRemoved();
    Scan({Answer(kAddrA, L"a")});   // the remove command's own merge brings it back at once
    EXPECT_EQ(1, Find(kAddrA)->isNew);
    EXPECT_NE(-1, RowOf(kAddrA));
}

TEST_F(DeviceTableTest, RepeatedAddressInOneAnswerIsCreatedThenUpdated) {
    Scan({Answer(kAddrA, L"first"), Answer(kAddrA, L"second")});
    ASSERT_EQ(1, table.RecordCount());
    EXPECT_EQ(2u, Find(kAddrA)->detectionCount);
    EXPECT_STREQ(L"second", Find(kAddrA)->info.szName);
    EXPECT_EQ(1, window.Rows());
}

TEST_F(DeviceTableTest, IndexesKeepCountingAcrossReset) {
    table.alertsArmed = 1;
    Scan({Answer(kAddrA, L"a"), Answer(kAddrB, L"b")});
    EXPECT_EQ(2, Find(kAddrB)->index);
    table.Reset();
    EXPECT_EQ(0, table.RecordCount());
    EXPECT_EQ(0, window.Rows());
    EXPECT_EQ(0, table.alertsArmed);
    EXPECT_EQ(2, table.lastIndex);
    EXPECT_EQ(nullptr, Find(kAddrA));
    Scan({Answer(kAddrB, L"b")});
    EXPECT_EQ(3, Find(kAddrB)->index);
    EXPECT_EQ(0, Find(kAddrB)->isNew);
    EXPECT_EQ(1, window.Rows());
}

TEST_F(DeviceTableTest, CompanyComesFromTheTopThreeAddressBytes) {
    const char oui[] =
        "00-1A-7D   (hex)\t\tExample Radio Ltd\r\n"
        "001A7D     (base 16)\t\tExample Radio Ltd\r\n";
    ASSERT_TRUE(table.companies.Load(oui, sizeof oui - 1));
    Scan({Answer(kAddrA, L"a"), Answer(kAddrB, L"b")});
    EXPECT_STREQ(L"Example Radio Ltd", Find(kAddrA)->company);
    EXPECT_STREQ(L"", Find(kAddrB)->company);
    EXPECT_EQ(L"Example Radio Ltd", window.Cell(RowOf(kAddrA), nw::kColCompany));
}

TEST_F(DeviceTableTest, ManyDevicesAllFoundByAddress) {
    // Enough records to grow the address index several times.
    for (int round = 0; round < 20; ++round) {
        scan.count = 0;
        for (int i = 0; i < 50; ++i) scan.results[scan.count++] = Answer(0x1000ull * (round * 50 + i) + 7, L"d");
        table.ReloadRecords();
    }
    ASSERT_EQ(1000, table.RecordCount());
    for (int i = 0; i < 1000; ++i) {
        DeviceRecord* record = Find(0x1000ull * i + 7);
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(i + 1, record->index);
    }
    EXPECT_EQ(nullptr, Find(0x1000ull * 1000 + 7));
    table.Refresh();
    EXPECT_EQ(1000, window.Rows());
}

// ---- Column texts ----------------------------------------------------------------------

TEST_F(DeviceTableTest, ColumnTextsOfADevice) {
    BLUETOOTH_DEVICE_INFO answer = Answer(kAddrA, L"Phone", 0x20C);
    answer.fConnected = 1;
    Scan({answer});
    DeviceRecord* record = Find(kAddrA);
    EXPECT_EQ(L"00:1a:7d:da:71:13", Text(record, nw::kColAddress));
    EXPECT_EQ(L"00:1a:7d:da:71:13", window.Cell(0, nw::kColAddress));
    EXPECT_EQ(nw::GetString(1102), Text(record, nw::kColMajorType));
    EXPECT_EQ(nw::GetString(1303), Text(record, nw::kColMinorType));
    EXPECT_NE(L"", Text(record, nw::kColMinorType));
    EXPECT_EQ(nw::GetString(IDS_YES), Text(record, nw::kColConnected));
    EXPECT_EQ(nw::GetString(IDS_NO), Text(record, nw::kColRemembered));
    EXPECT_EQ(L"1", Text(record, nw::kColCount));
    EXPECT_EQ(L"", Text(record, nw::kColProbe));
    EXPECT_EQ(L"", Text(record, nw::kDeviceColumnCount));
    EXPECT_NE(nw::GetString(IDS_NOT_AVAILABLE), Text(record, nw::kColFirstSeen));

    record->probeResult = 0;
    EXPECT_EQ(nw::GetString(IDS_PROBE_OK), Text(record, nw::kColProbe));
    record->probeResult = 10060;
    wchar_t expected[256];
    nw::FormatNumberText(expected, 256, nw::GetString(IDS_PROBE_FAILED), 10060);
    EXPECT_EQ(expected, Text(record, nw::kColProbe));
    EXPECT_NE(std::wstring::npos, Text(record, nw::kColProbe).find(L"10060"));

    DeviceRecord blank;
    std::memset(&blank, 0, sizeof blank);
    blank.info.ulClassofDevice = 0x700;
    EXPECT_EQ(nw::GetString(IDS_NOT_AVAILABLE), Text(&blank, nw::kColFirstSeen));
    EXPECT_EQ(nw::GetString(IDS_NOT_AVAILABLE), Text(&blank, nw::kColLastSeen));
    EXPECT_EQ(L"", Text(&blank, nw::kColMajorType));
    EXPECT_EQ(L"", Text(&blank, nw::kColMinorType));
}

TEST_F(DeviceTableTest, NewRowsArePaleGreenWhileMarkedAndTheOptionIsOn) {
    table.alertsArmed = 1;
    Scan({Answer(kAddrA, L"a")});
    NMLVCUSTOMDRAW draw = {};
    draw.clrText = 0x111111;
    draw.clrTextBk = 0x222222;
    table.CustomDrawCell(Find(kAddrA), &draw);
    EXPECT_EQ(0u, draw.clrText);
    EXPECT_EQ(0x00F0FFF0u, draw.clrTextBk);
    settings.MarkNewDevices = 0;
    draw.clrText = 0x111111;
    draw.clrTextBk = 0x222222;
    table.CustomDrawCell(Find(kAddrA), &draw);
    EXPECT_EQ(0x111111u, draw.clrText);
    settings.MarkNewDevices = 1;
    Scan({});
    table.CustomDrawCell(Find(kAddrA), &draw);
    EXPECT_EQ(0x222222u, draw.clrTextBk);
}

// The highlight is a colour, not a text: rows gaining or losing it are
// redrawn whole even when their texts stay.
TEST_F(DeviceTableTest, RowsAreRedrawnWhenTheirNewMarkComesOrGoes) {
    table.alertsArmed = 1;
    Scan({Answer(kAddrA, L"a"), Answer(kAddrB, L"b")});
    listtest::MessageCounter count(window.List());
    Scan({Answer(kAddrB, L"b")});
    EXPECT_EQ(2, count.redraw);   // both lost their marks
    count.Reset();
    Scan({});
    EXPECT_EQ(0, count.redraw);
    table.SetRemoved(Find(kAddrA));
    Scan({Answer(kAddrA, L"a")});   // removed and back before any refresh: its row stays
    EXPECT_EQ(1, Find(kAddrA)->isNew);
    EXPECT_EQ(1, count.redraw);
    EXPECT_EQ(0, count.insert);
}

// ---- Refresh and sort -------------------------------------------------------------------

TEST_F(DeviceTableTest, ARescanWritesOnlyTheCellsThatChanged) {
    Scan({Answer(kAddrA, L"a"), Answer(kAddrB, L"b"), Answer(kAddrC, L"c")});
    std::vector<std::wstring> before;
    for (int c = 0; c < 13; ++c) before.push_back(window.Cell(1, c));
    listtest::MessageCounter count(window.List());
    Scan({Answer(kAddrB, L"b")});
    int differing = 0;
    for (int c = 0; c < 13; ++c) differing += before[c] != window.Cell(1, c);
    EXPECT_GE(differing, 1);          // the count at least; the time when a second has passed
    EXPECT_EQ(differing, count.setText);
    EXPECT_EQ(0, count.insert);
    EXPECT_EQ(L"2", window.Cell(1, nw::kColCount));
}

TEST_F(DeviceTableTest, SortByCountIsNumericAndByAddressByText) {
    for (int i = 0; i < 10; ++i) {
        if (i < 2) Scan({Answer(kAddrA, L"a"), Answer(kAddrB, L"b")});
        else Scan({Answer(kAddrB, L"b")});
    }
    Scan({Answer(kAddrC, L"c")});
    table.Sort(nw::kColCount, false);
    EXPECT_EQ(L"1", window.Cell(0, nw::kColCount));
    EXPECT_EQ(L"2", window.Cell(1, nw::kColCount));
    EXPECT_EQ(L"10", window.Cell(2, nw::kColCount));

    table.Sort(nw::kColAddress, false);
    std::vector<std::wstring> addresses;
    for (int row = 0; row < 3; ++row) addresses.push_back(window.Cell(row, nw::kColAddress));
    EXPECT_EQ((std::vector<std::wstring>{L"00:00:00:00:01:00", L"00:1a:7d:da:71:13", L"5c:0e:8b:00:00:01"}),
              addresses);
    table.Sort(nw::kColAddress, false);
    EXPECT_EQ(nw::kColAddress | nw::kSortDescending, table.SortKey());
    EXPECT_EQ(L"5c:0e:8b:00:00:01", window.Cell(0, nw::kColAddress));

    table.Sort(nw::kColFirstSeen, false);
    EXPECT_EQ(L"c", window.Cell(2, nw::kColName));   // a and b may share their first time
}

// The address column compares numbers; it must order exactly as its texts.
TEST_F(DeviceTableTest, AddressComparisonAgreesWithTheTextOrder) {
    unsigned seed = 99;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    scan.count = 0;
    for (int i = 0; i < 60; ++i) {
        uint64_t address = (uint64_t(next()) << 24 | next()) & 0xFFFFFFFFFFFFull;
        if (i % 10 == 0) address &= 0xFF00000000FFull;   // long runs of equal digits
        scan.results[scan.count++] = Answer(address, L"");
    }
    scan.results[scan.count++] = Answer(0xABCD000000000001ull, L"");   // bytes the text does not show
    scan.results[scan.count++] = Answer(0x0000000000000001ull, L"");
    table.ReloadRecords();
    wchar_t a[64], b[64];
    for (int i = 0; i < table.RecordCount(); ++i) {
        for (int j = 0; j < table.RecordCount(); ++j) {
            const DeviceRecord* x = table.Device(i);
            const DeviceRecord* y = table.Device(j);
            const int byText = _wcsicmp(table.ColumnText(x, nw::kColAddress, a), table.ColumnText(y, nw::kColAddress, b));
            const int byNumber = table.CompareRecords(nw::kColAddress, x, y);
            ASSERT_EQ((byText > 0) - (byText < 0), byNumber) << i << " " << j;
        }
    }
    EXPECT_EQ(255, table.CompareColumn(table.Device(0), nw::kColAddress, table.Device(1)));
}

// ---- Find ------------------------------------------------------------------------------------

TEST_F(DeviceTableTest, FindSearchesEveryColumnHiddenOnesToo) {
    settings.AutoSetDeviceDescription = 1;
    Scan({Answer(kAddrA, L"Pocket X")});
    Scan({Answer(kAddrA, L"Pocket X")});
    SendMessageW(window.List(), LVM_SETCOLUMNWIDTH, nw::kColAddress, MAKELPARAM(0, 0));
    const DeviceRecord* record = Find(kAddrA);
    FINDREPLACEW find = {};
    wchar_t text[256] = L"1A:7D";
    find.lpstrFindWhat = text;
    find.Flags = FR_DOWN;
    EXPECT_TRUE(table.RecordMatchesFind(record, find));   // hidden address column, any case
    find.Flags = FR_DOWN | FR_MATCHCASE;
    EXPECT_FALSE(table.RecordMatchesFind(record, find));
    wcscpy(text, L"Pocket");
    find.Flags = FR_DOWN;
    EXPECT_TRUE(table.RecordMatchesFind(record, find));
    find.Flags = FR_DOWN | FR_WHOLEWORD;
    EXPECT_FALSE(table.RecordMatchesFind(record, find));
    wcscpy(text, L"pocket x");
    EXPECT_TRUE(table.RecordMatchesFind(record, find));
    find.Flags = FR_DOWN | FR_WHOLEWORD | FR_MATCHCASE;
    EXPECT_FALSE(table.RecordMatchesFind(record, find));
    wcscpy(text, nw::GetString(1102));
    find.Flags = FR_DOWN | FR_WHOLEWORD;
    EXPECT_TRUE(table.RecordMatchesFind(record, find));   // the major type column
}
