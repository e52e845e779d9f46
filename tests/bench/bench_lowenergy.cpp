// Low Energy figures: the cost of one advertisement merged, and a second of
// a busy room (1,000 advertisements from 500 addresses) merged and shown in
// batches as the watcher hands them over. The anchor, measured in the same
// run: one classic scan of 62 known devices merged and shown in a table of
// 500.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Bench.h"
#include "annotations/BluetoothNumbers.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "settings/Settings.h"

namespace {

constexpr int kAddresses = 500;
constexpr int kPerSecond = 1000;
constexpr int kBatch = 50;   // about what the watcher collects between two posts

nw::Settings& LeSettings() {
    static nw::Settings settings = [] {
        nw::Settings s = {};
        nw::ApplyDefaultSettings(s);
        s.AutoSetDeviceDescription = 0;
        return s;
    }();
    return settings;
}

// A typical phone or earbud: flags, a 16-bit UUID list, manufacturer data,
// and (in every other packet, as a scan response) a name.
nw::LeSighting SightingOf(int device, int packet, int64_t time) {
    nw::LeSighting s;
    std::memset(&s, 0, sizeof s);
    s.address = (static_cast<uint64_t>(device) * 0x9E3779B97F4Bull + 0xC00000000000ull) & 0xFFFFFFFFFFFFull;
    s.address |= 0xC00000000000ull;   // random static
    s.addressKind = nw::kLeAddressRandom;
    s.timestamp = time;
    s.rssi = static_cast<int8_t>(-40 - (device + packet) % 50);
    const bool response = packet % 2 == 1;
    s.flags = static_cast<uint8_t>(nw::kLeHasRssi | (response ? nw::kLeScanResponse : nw::kLeConnectable));
    static const uint8_t advertisement[] = {0x02, 0x01, 0x06, 0x05, 0x03, 0x0F, 0x18, 0x0A, 0x18, 0x03, 0x19, 0x41,
                                            0x09, 0x0B, 0xFF, 0x4C, 0x00, 0x10, 0x05, 0x0B, 0x1C, 0x7E, 0x3A, 0x91,
                                            0x00, 0x02, 0x0A, 0xF4};
    static const uint8_t scanResponse[] = {0x0E, 0x09, 'W', 'i', 'r', 'e', 'l', 'e', 's', 's', ' ', 'B', 'u', 'd', 's'};
    const uint8_t* raw = response ? scanResponse : advertisement;
    const size_t length = response ? sizeof scanResponse : sizeof advertisement;
    std::memcpy(s.raw, raw, length);
    s.rawLength = static_cast<uint16_t>(length);
    return s;
}

struct LeFixture {
    HWND parent = nullptr;
    HWND list = nullptr;
    nw::DeviceTable table;
    std::vector<nw::LeSighting> second;   // one second of advertisements
    int64_t clock = 0;

    LeFixture() {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        nw::SetAppSettings(&LeSettings());
        parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 800, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 1180, 780, parent,
                               reinterpret_cast<HMENU>(259), GetModuleHandleW(nullptr), nullptr);
        table.Attach(list);
        table.InsertColumns();
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        clock = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        second.resize(kPerSecond);
        Load();
        Deliver();   // the first second creates the rows
    }
    ~LeFixture() { DestroyWindow(parent); }
    // The next second: each address twice (advertisement and scan
    // response), in an order that is not the address order, a millisecond
    // apart.
    void Load() {
        for (int i = 0; i < kPerSecond; ++i) {
            const int device = (i * 7919) % kAddresses;
            second[i] = SightingOf(device, i / kAddresses, clock + i * 10000);
        }
        clock += 10000000;
    }
    // Batches as the watcher posts them, each merged and shown.
    void Deliver() {
        for (int at = 0; at < kPerSecond; at += kBatch) {
            if (table.MergeLeSightings(&second[at], kBatch)) table.Refresh();
        }
        ValidateRect(list, nullptr);   // the paint a shown window would get
    }
};

LeFixture& Fixture() {
    static std::unique_ptr<LeFixture> fixture;
    if (!fixture) fixture = std::make_unique<LeFixture>();
    return *fixture;
}

// Merge only, no refresh: the cost per advertisement.
double MergeMicroseconds() {
    LeFixture& f = Fixture();
    f.Load();
    const double t0 = bench::NowMs();
    f.table.MergeLeSightings(f.second.data(), kPerSecond);
    const double elapsed = bench::NowMs() - t0;
    f.table.Refresh();
    ValidateRect(f.list, nullptr);
    return elapsed * 1000.0 / kPerSecond;
}

// One second of the room, merged and shown in batches of 50.
double SecondOfAdvertisements() {
    LeFixture& f = Fixture();
    f.Load();
    const double t0 = bench::NowMs();
    f.Deliver();
    return bench::NowMs() - t0;
}

// The anchor: a classic scan's merge and refresh, 62 of 500 known devices.
double ClassicAnchor() {
    static std::unique_ptr<LeFixture> classic;
    static std::unique_ptr<nw::ScanAnswer> scan;
    static int round = 0;
    if (!classic) {
        classic = std::make_unique<LeFixture>();
        scan = std::make_unique<nw::ScanAnswer>();
        classic->table.scanResults = scan.get();
    }
    auto load = [&](int first, int count) {
        scan->count = 0;
        for (int j = 0; j < count; ++j) {
            BLUETOOTH_DEVICE_INFO& info = scan->results[scan->count++];
            std::memset(&info, 0, sizeof info);
            info.dwSize = sizeof info;
            info.Address.ullLong = static_cast<uint64_t>((first + j) % kAddresses) * 0x10000u + 0x001A7D000000ull;
            info.ulClassofDevice = 0x5A020C;
            info.fConnected = (round + j) % 2;
            wcscpy(info.szName, L"Pocket phone");
        }
    };
    if (round == 0) {
        for (int first = 0; first < kAddresses; first += 62) {
            load(first, 62);
            classic->table.ReloadRecords();
        }
        classic->table.Refresh();
        ValidateRect(classic->list, nullptr);
    }
    load(round * 62, 62);
    ++round;
    const double t0 = bench::NowMs();
    classic->table.ReloadRecords();
    classic->table.Refresh();
    const double elapsed = bench::NowMs() - t0;
    ValidateRect(classic->list, nullptr);
    return elapsed;
}

// One SIG name as a merge looks it up: the company of every id up to the
// last assigned below 0xFFFF, and both appearance names, per lookup.
double NameLookupMicroseconds() {
    wchar_t name[128];
    unsigned lookups = 0;
    const double t0 = bench::NowMs();
    for (uint32_t id = 0; id < 4200; ++id, ++lookups) nw::BluetoothCompanyName(static_cast<uint16_t>(id), name, 128);
    for (uint32_t value = 0; value < 0x1000; ++value, lookups += 2) {
        nw::AppearanceCategoryName(static_cast<uint16_t>(value), name, 128);
        nw::AppearanceSubcategoryName(static_cast<uint16_t>(value), name, 128);
    }
    return (bench::NowMs() - t0) * 1000.0 / lookups;
}

bench::Registrar r00({"LE anchor: classic merge+refresh, 62 known of 500", "ms", "", 9, &ClassicAnchor});
bench::Registrar r01({"LE: merge of one advertisement, 500 addresses known", "us", "", 9, &MergeMicroseconds});
bench::Registrar r02({"LE: 1,000 advertisements of 500 addresses, merge+refresh in batches of 50", "ms", "< 100 ms", 9,
                      &SecondOfAdvertisements});
bench::Registrar r03({"LE: one SIG name lookup (company or appearance)", "us", "< 50 us", 9, &NameLookupMicroseconds});

}  // namespace
