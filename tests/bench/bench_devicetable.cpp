// Device table figures: the company list, one scan's merge and refresh into
// tables of several sizes, sorting a large list, and memory per record. All
// with a real list-view control in a hidden window.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Bench.h"
#include "alerts/NewDeviceActions.h"
#include "alerts/TrayIconControl.h"
#include "annotations/CompanyIndex.h"
#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "settings/Settings.h"

namespace {

constexpr int kAnswersPerScan = 62;

// ---- Environment ----------------------------------------------------------------

nw::Settings& BenchSettings() {
    static nw::Settings settings = [] {
        nw::Settings s = {};
        s.MarkNewDevices = 1;
        s.SortOnEveryUpdate = 1;
        return s;
    }();
    return settings;
}

// Settings in place, and a description file of its own in the temporary
// folder holding a hundred descriptions of other devices (removed at exit).
void PrepareEnvironment() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    nw::SetAppSettings(&BenchSettings());
    static wchar_t path[MAX_PATH];
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    swprintf(path, MAX_PATH, L"%lsnw_bench_%lu_Desc.ini", folder, GetCurrentProcessId());
    nw::SetDescriptionFileForTesting(path);
    for (int i = 0; i < 100; ++i) nw::WriteDescription(0xF00000000000ull + i, L"Somebody else's device");
    std::atexit([] { DeleteFileW(path); });
}

// A bijection on 48 bits: distinct indexes give distinct, scattered addresses.
uint64_t AddressOf(int i) { return (static_cast<uint64_t>(i) * 0x9E3779B97F4Bull + 0x1234567) & 0xFFFFFFFFFFFFull; }

BLUETOOTH_DEVICE_INFO AnswerOf(int i) {
    static const uint32_t classes[] = {0x5A020C, 0x240404, 0x3E010C, 0x002540, 0x200418, 0x7A0114};
    BLUETOOTH_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = AddressOf(i);
    info.ulClassofDevice = classes[i % 6];
    info.fConnected = i % 7 == 0;
    info.fRemembered = i % 3 == 0;
    info.fAuthenticated = i % 5 == 0;
    // Names in an order unrelated to the indexes, so sorts have work to do.
    uint32_t h = static_cast<uint32_t>(i) * 2654435761u;
    swprintf(info.szName, BLUETOOTH_MAX_NAME_SIZE, L"%c%c Device %05u", L'A' + (h >> 27) % 26, L'a' + (h >> 22) % 26,
             static_cast<unsigned>(i));
    return info;
}

class HiddenList {
public:
    HiddenList() {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 800, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                    LVS_ALIGNLEFT,
                                0, 0, 1180, 780, parent_, reinterpret_cast<HMENU>(259), GetModuleHandleW(nullptr),
                                nullptr);
    }
    ~HiddenList() { DestroyWindow(parent_); }
    HWND List() const { return list_; }

private:
    HWND parent_ = nullptr;
    HWND list_ = nullptr;
};

struct TableFixture {
    HiddenList window;
    nw::DeviceTable table;
    nw::ScanAnswer scan;
    int created = 0;      // devices 0 .. created-1 are in the table
    int round = 0;        // which re-sightings the next timed scan brings

    TableFixture() {
        table.Attach(window.List());
        table.InsertColumns();
        table.CreateImageLists(nullptr);
        table.scanResults = &scan;
    }
    // Grows the table by merging scans of new devices, then shows every row.
    void Fill(int count) {
        while (created < count) {
            scan.count = 0;
            while (scan.count < kAnswersPerScan && created < count) scan.results[scan.count++] = AnswerOf(created++);
            table.ReloadRecords();
        }
        table.Refresh();
        Painted();
    }
    // The hidden window is never painted, so the cells its rows invalidated
    // would pile up in one ever more complex update region, which makes
    // every later invalidation slower. A shown window is painted between
    // scans; this stands in for that paint.
    void Painted() { ValidateRect(window.List(), nullptr); }
    // One scan of devices already in the table, different ones each time.
    void LoadKnownScan() {
        scan.count = 0;
        for (int j = 0; j < kAnswersPerScan; ++j) {
            int device = static_cast<int>((static_cast<long long>(round) * kAnswersPerScan + j) * 7919 % created);
            BLUETOOTH_DEVICE_INFO answer = AnswerOf(device);
            answer.fConnected = !answer.fConnected;
            scan.results[scan.count++] = answer;
        }
        ++round;
    }
    void LoadNewScan() {
        scan.count = 0;
        for (int j = 0; j < kAnswersPerScan; ++j) scan.results[scan.count++] = AnswerOf(created++);
    }
    double TimeMergeAndRefresh() {
        const double t0 = bench::NowMs();
        table.ReloadRecords();
        table.Refresh();
        const double elapsed = bench::NowMs() - t0;
        Painted();
        return elapsed;
    }
};

// Tables are built once per size and kept for the whole run.
TableFixture& Table(int size) {
    static std::unique_ptr<TableFixture> tables[3];
    const int slot = size <= 1000 ? 0 : size <= 10000 ? 1 : 2;
    if (!tables[slot]) {
        PrepareEnvironment();
        BenchSettings().AutoSetDeviceDescription = 0;
        tables[slot] = std::make_unique<TableFixture>();
        tables[slot]->Fill(size);
    }
    return *tables[slot];
}

// ---- Company list -----------------------------------------------------------------

double OuiLoad() {
    if (bench::Opts().oui.empty()) return NAN;
    nw::CompanyIndex index;
    const double t0 = bench::NowMs();
    if (!index.LoadFile(bench::Opts().oui.c_str())) return NAN;
    return bench::NowMs() - t0;
}

double OuiMissMicroseconds() {
    static nw::CompanyIndex index;
    static bool loaded = !bench::Opts().oui.empty() && index.LoadFile(bench::Opts().oui.c_str());
    if (!loaded) return NAN;
    const uint8_t block[3] = {0xFE, 0xFE, 0xFE};
    wchar_t name[256];
    const double t0 = bench::NowMs();
    for (int i = 0; i < 100; ++i) index.FindCompanyName(block, name, 255);
    return (bench::NowMs() - t0) * 1000.0 / 100;
}

// ---- Merge and refresh ------------------------------------------------------------

template <int Size>
double MergeKnown() {
    TableFixture& f = Table(Size);
    f.LoadKnownScan();
    return f.TimeMergeAndRefresh();
}

// The default scan cycle sorts after every refresh, so the next refresh
// finds the rows moved.
double MergeKnownAfterSort() {
    TableFixture& f = Table(10000);
    f.table.Sort(f.table.SortKey(), true);
    f.Painted();
    f.LoadKnownScan();
    return f.TimeMergeAndRefresh();
}

// New devices: description file read, company lookup, row insertion.
double MergeNew() {
    TableFixture& f = Table(10000);
    static bool companies = !bench::Opts().oui.empty() && f.table.companies.LoadFile(bench::Opts().oui.c_str());
    (void)companies;
    f.LoadNewScan();
    return f.TimeMergeAndRefresh();
}

// ---- Sort ---------------------------------------------------------------------------

template <int Column>
double Sort50k() {
    TableFixture& f = Table(50000);
    // Start from an order unrelated to the key.
    f.table.Sort(Column == nw::kColAddress ? nw::kColName : nw::kColAddress, true);
    f.Painted();
    const double t0 = bench::NowMs();
    f.table.Sort(Column, true);
    const double elapsed = bench::NowMs() - t0;
    f.Painted();
    return elapsed;
}

// ---- Memory ---------------------------------------------------------------------------

struct Memory {
    double privateBytes;
    double workingSet;
};

Memory ProcessMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // PagefileUsage is the private commit charge; Wine leaves PrivateUsage at 0.
    return {static_cast<double>(counters.PagefileUsage), static_cast<double>(counters.WorkingSetSize)};
}

// Each runs in a fresh process: memory freed by other measurements would
// otherwise be reused and hide the growth.
template <bool Rows, bool WorkingSet>
double MemoryPerRecord() {
    PrepareEnvironment();
    BenchSettings().AutoSetDeviceDescription = 0;
    auto fixture = std::make_unique<TableFixture>();
    fixture->Fill(kAnswersPerScan);   // the first rows and buffers are not per-record costs
    if (!Rows) fixture->table.Attach(nullptr);
    const Memory before = ProcessMemory();
    if (Rows) {
        fixture->Fill(10000 + kAnswersPerScan);
    } else {
        while (fixture->created < 10000 + kAnswersPerScan) {
            fixture->LoadNewScan();
            fixture->table.ReloadRecords();
        }
    }
    const Memory after = ProcessMemory();
    const double delta = WorkingSet ? after.workingSet - before.workingSet : after.privateBytes - before.privateBytes;
    return delta / 10000.0;
}

double RecordSize() { return static_cast<double>(sizeof(nw::DeviceRecord)); }

// ---- Soak ---------------------------------------------------------------------------

struct Resources {
    double privateBytes;
    DWORD gdiObjects;
    DWORD userObjects;
};

Resources ProcessResources() {
    return {ProcessMemory().privateBytes, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
            GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)};
}

void PrintResources(const char* when, int scans, int records, const Resources& r) {
    std::fprintf(stderr, "  soak %-22s scan %6d  records %5d  private %9.0f KB  GDI %4lu  USER %4lu\n", when, scans,
                 records, r.privateBytes / 1024.0, static_cast<unsigned long>(r.gdiObjects),
                 static_cast<unsigned long>(r.userObjects));
}

// What the main window does after every scan, for 10,000 scans of 62 answers
// drawn at random from 2,000 devices: merge, refresh, sort, and the
// new-device pass (alerts armed from the fourth scan; the actions that reach
// outside the process are off). The table stops growing once every device
// has been seen; from then on memory and object counts should stay flat.
// Returns the growth of private bytes from that point to the end, in percent.
double Soak() {
    constexpr int kScans = 10000;
    constexpr int kPopulation = 2000;
    PrepareEnvironment();
    nw::Settings& settings = BenchSettings();
    settings.AutoSetDeviceDescription = 1;
    settings.DisplayBalloonOnNewDevice = 1;   // the tray is not added: the balloon text is built, not shown
    auto fixture = std::make_unique<TableFixture>();
    if (!bench::Opts().oui.empty()) fixture->table.companies.LoadFile(bench::Opts().oui.c_str());
    nw::TrayIconControl tray;
    nw::NewDeviceActions actions;
    const HWND window = GetParent(fixture->window.List());

    uint64_t state = 0x5EED5EED5EEDull;
    auto random = [&state](uint64_t n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % n;
    };
    const Resources start = ProcessResources();
    PrintResources("start", 0, 0, start);
    Resources plateau = start;
    int plateauScan = -1;
    for (int scan = 1; scan <= kScans; ++scan) {
        fixture->scan.count = 0;
        for (int j = 0; j < kAnswersPerScan; ++j) {
            BLUETOOTH_DEVICE_INFO answer = AnswerOf(static_cast<int>(random(kPopulation)));
            answer.fConnected = random(2) != 0;
            if (random(4) == 0) answer.szName[0] = 0;   // a later answer often has no name
            fixture->scan.results[fixture->scan.count++] = answer;
        }
        actions.RemoveBalloonIfShown(tray);
        fixture->table.ReloadRecords();
        fixture->table.Refresh();
        fixture->table.Sort(fixture->table.SortKey(), true);
        if (scan > 3) fixture->table.alertsArmed = 1;
        actions.Run(fixture->table, settings, tray, window, nullptr);
        fixture->Painted();
        if (plateauScan < 0 && fixture->table.RecordCount() == kPopulation) {
            plateauScan = scan;
            plateau = ProcessResources();
            PrintResources("table full", scan, fixture->table.RecordCount(), plateau);
        }
    }
    const Resources end = ProcessResources();
    PrintResources("end", kScans, fixture->table.RecordCount(), end);
    if (plateauScan < 0) return NAN;
    const double growth = (end.privateBytes - plateau.privateBytes) * 100.0 / plateau.privateBytes;
    std::fprintf(stderr, "  soak growth after the table stopped growing: %+.0f bytes (%+.3f %%, %+.1f bytes/scan), "
                         "GDI %+ld, USER %+ld\n",
                 end.privateBytes - plateau.privateBytes, growth,
                 (end.privateBytes - plateau.privateBytes) / (kScans - plateauScan),
                 static_cast<long>(end.gdiObjects) - static_cast<long>(plateau.gdiObjects),
                 static_cast<long>(end.userObjects) - static_cast<long>(plateau.userObjects));
    return growth;
}

bench::Registrar r01({"company list: load and index oui.txt", "ms", "< 15 ms", 9, &OuiLoad});
bench::Registrar r02({"company list: lookup of an unknown block", "us", "", 5, &OuiMissMicroseconds});
bench::Registrar r03({"merge+refresh: 62 known devices, table of 1,000", "ms", "", 9, &MergeKnown<1000>});
bench::Registrar r04({"merge+refresh: 62 known devices, table of 10,000", "ms", "< 10 ms", 9, &MergeKnown<10000>});
bench::Registrar r05({"merge+refresh: 62 known devices, table of 50,000", "ms", "", 9, &MergeKnown<50000>});
bench::Registrar r06({"merge+refresh: 62 known, 10,000, rows sorted before", "ms", "", 9, &MergeKnownAfterSort});
bench::Registrar r07({"merge+refresh: 62 new devices, table of 10,000", "ms", "", 9, &MergeNew});
bench::Registrar r08({"sort 50,000 rows by name", "ms", "", 5, &Sort50k<nw::kColName>});
bench::Registrar r09({"sort 50,000 rows by address", "ms", "< 250 ms", 5, &Sort50k<nw::kColAddress>});
bench::Registrar r10({"sort 50,000 rows by last detection", "ms", "", 5, &Sort50k<nw::kColLastSeen>});
bench::Registrar r11({"size of DeviceRecord", "bytes", "", 1, &RecordSize});
bench::Registrar r12({"memory per record, records and rows: private bytes", "bytes/record", "", 3,
                      &MemoryPerRecord<true, false>, true});
bench::Registrar r13({"memory per record, records and rows: working set", "bytes/record", "", 3,
                      &MemoryPerRecord<true, true>, true});
bench::Registrar r14({"memory per record, records only: private bytes", "bytes/record", "", 3,
                      &MemoryPerRecord<false, false>, true});
bench::Registrar r15({"memory per record, records only: working set", "bytes/record", "", 3,
                      &MemoryPerRecord<false, true>, true});
bench::Registrar r16({"soak: 10,000 scans of 62 of 2,000 devices, growth", "% private", "< 1 %", 1, &Soak, true});

}  // namespace
