// Export figures: 10,000 device rows in each of the seven kinds, written to a
// real file through ExportRows (visible columns, every cell's text, the
// buffered file), with the list in a hidden window.
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <memory>

#include "Bench.h"
#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "reports/ExportSink.h"
#include "reports/ReportWriter.h"
#include "settings/Settings.h"

namespace {

constexpr int kRows = 10000;
constexpr int kAnswersPerScan = 62;

BLUETOOTH_DEVICE_INFO ExportAnswer(int i) {
    static const uint32_t classes[] = {0x5A020C, 0x240404, 0x3E010C, 0x002540, 0x200418, 0x7A0114};
    BLUETOOTH_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = (static_cast<uint64_t>(i) * 0x9E3779B97F4Bull + 0x7654321) & 0xFFFFFFFFFFFFull;
    info.ulClassofDevice = classes[i % 6];
    info.fConnected = i % 7 == 0;
    info.fRemembered = i % 3 == 0;
    info.fAuthenticated = i % 5 == 0;
    // Some names need escaping or quoting, as real ones do.
    swprintf(info.szName, BLUETOOTH_MAX_NAME_SIZE, i % 4 == 0 ? L"Speaker \"Kitchen\" & Co, %05d" : L"Device %05d", i);
    return info;
}

struct ExportFixture {
    HWND parent = nullptr;
    HWND control = nullptr;
    nw::DeviceTable table;
    nw::ScanAnswer scan;
    wchar_t path[MAX_PATH] = {};

    ExportFixture() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        static nw::Settings settings = {};
        if (!nw::AppSettings()) nw::SetAppSettings(&settings);
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        static wchar_t descriptions[MAX_PATH];
        swprintf(descriptions, MAX_PATH, L"%lsnw_bench_export_%lu_Desc.ini", folder, GetCurrentProcessId());
        nw::SetDescriptionFileForTesting(descriptions);
        swprintf(path, MAX_PATH, L"%lsnw_bench_export_%lu.out", folder, GetCurrentProcessId());

        parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 800, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        control = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                  WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT, 0, 0, 1180,
                                  780, parent, reinterpret_cast<HMENU>(259), GetModuleHandleW(nullptr), nullptr);
        table.Attach(control);
        table.InsertColumns();
        table.scanResults = &scan;
        for (int created = 0; created < kRows;) {
            scan.count = 0;
            while (scan.count < kAnswersPerScan && created < kRows) scan.results[scan.count++] = ExportAnswer(created++);
            table.ReloadRecords();
        }
        table.Refresh();
    }
    ~ExportFixture() {
        DeleteFileW(path);
        DestroyWindow(parent);
    }
};

ExportFixture& Fixture() {
    static std::unique_ptr<ExportFixture> fixture;
    if (!fixture) fixture = std::make_unique<ExportFixture>();
    return *fixture;
}

template <int Kind>
double ExportKind() {
    ExportFixture& f = Fixture();
    if (f.table.RowCount() != kRows) return NAN;
    const double t0 = bench::NowMs();
    if (!nw::ExportRows(f.table, f.path, Kind, false, false)) return NAN;
    return bench::NowMs() - t0;
}

bench::Registrar e1({"export 10,000 rows: plain text", "ms", "< 150 ms", 5, &ExportKind<1>});
bench::Registrar e2({"export 10,000 rows: tab-delimited", "ms", "< 150 ms", 5, &ExportKind<2>});
bench::Registrar e3({"export 10,000 rows: tabular text", "ms", "< 150 ms", 5, &ExportKind<3>});
bench::Registrar e4({"export 10,000 rows: HTML horizontal", "ms", "< 150 ms", 5, &ExportKind<4>});
bench::Registrar e5({"export 10,000 rows: HTML vertical", "ms", "< 150 ms", 5, &ExportKind<5>});
bench::Registrar e6({"export 10,000 rows: XML", "ms", "< 150 ms", 5, &ExportKind<6>});
bench::Registrar e7({"export 10,000 rows: comma-delimited (ANSI)", "ms", "< 150 ms", 5, &ExportKind<7>});

// ---- Where the time goes -------------------------------------------------------
// The list's share: every row's record and the text of every visible cell,
// with no writer at all.
double CellsOnly() {
    ExportFixture& f = Fixture();
    f.table.ComputeVisibleColumns();
    wchar_t* buffer = f.table.WorkBuffer(2);
    size_t units = 0;
    const double t0 = bench::NowMs();
    for (int row = 0; row < f.table.RowCount(); ++row) {
        const nw::ListRecord* record = f.table.RowRecord(row);
        if (!record) continue;
        for (int p = 0; p < f.table.VisibleColumnCount(); ++p) {
            units += wcslen(f.table.ColumnText(record, f.table.VisibleColumn(p), buffer));
        }
    }
    const double t = bench::NowMs() - t0;
    return units ? t : NAN;
}

// The writers' share: 10,000 records of thirteen typical cells formatted
// into a sink that keeps nothing.
class DiscardSink : public nw::ExportSink {
public:
    bool Write(const void*, size_t) override { return true; }
};

class TypicalCells : public nw::ExportCells {
public:
    const wchar_t* Text(int position) override {
        static const wchar_t* const texts[] = {
            L"Speaker \"Kitchen\" & Co", L"", L"00:11:22:33:44:55", L"Audio/Video", L"Loudspeaker",
            L"12/08/2026 05:33:49", L"12/08/2026 05:35:02", L"17", L"Yes", L"No", L"No", L"Apple, Inc.", L""};
        return texts[position];
    }
    int32_t Background(int, int) override { return 0xFFFFFF; }
    void AdjustHtml(wchar_t*, size_t, int) override {}
};

template <int Kind>
double FormatOnly() {
    static nw::ExportColumn columns[nw::kDeviceColumnCount];
    for (int c = 0; c < nw::kDeviceColumnCount; ++c) columns[c] = {L"Major Device Type", L"Major Device Type", L"", 1, 20};
    static wchar_t scratch[nw::kTextBufferSize];
    const nw::ExportTable table = {columns, nw::kDeviceColumnCount, 0xE0E0E0, -1, scratch, nw::kTextBufferSize};
    DiscardSink sink;
    TypicalCells cells;
    const double t0 = bench::NowMs();
    for (int r = 0; r < kRows; ++r) {
        if (!nw::WriteExportRecord(sink, table, cells, Kind)) return NAN;
    }
    return bench::NowMs() - t0;
}

bench::Registrar e8({"export, list share: cells of 10,000 rows", "ms", "", 5, &CellsOnly});
bench::Registrar e9({"export, writer share: 10,000 records, HTML vertical", "ms", "", 9, &FormatOnly<5>});
bench::Registrar e10({"export, writer share: 10,000 records, XML", "ms", "", 9, &FormatOnly<6>});
bench::Registrar e11({"export, writer share: 10,000 records, comma-delimited", "ms", "", 9, &FormatOnly<7>});

}  // namespace
