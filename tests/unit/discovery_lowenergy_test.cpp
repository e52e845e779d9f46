// Low Energy in the device table: the data-section parser on byte fixtures
// (hostile ones included), the SIG names, and the merge of advertisements
// into the one table the classic inquiry fills.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "annotations/BluetoothNumbers.h"
#include "bluetooth_numbers_digest.h"
#include "annotations/Descriptions.h"
#include "dialogs_testsupport.h"
#include "discovery/AdvertisementData.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "lang/Strings.h"
#include "listview_testsupport.h"
#include "resource.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

using nw::AdvertisementData;
using nw::DeviceRecord;
using Bytes = std::vector<uint8_t>;

namespace {

AdvertisementData Parse(const Bytes& bytes) {
    AdvertisementData data;
    nw::ParseAdvertisement(bytes.data(), bytes.size(), data);
    return data;
}

std::wstring Name(const Bytes& utf8) {
    wchar_t out[nw::kAdNameChars];
    nw::DecodeAdvertisedName(utf8.data(), utf8.size(), out, nw::kAdNameChars);
    return out;
}

std::wstring UuidText(const nw::LeUuid& uuid) {
    wchar_t text[nw::kUuidTextChars];
    nw::FormatUuid(uuid, text, nw::kUuidTextChars);
    return text;
}

// An earbud's advertisement: flags, 16-bit UUIDs, appearance, manufacturer
// data (Apple, 0x004C), TX power, a shortened name, a 128-bit UUID.
const Bytes kEarbuds = {
    0x02, 0x01, 0x06,                                       // flags
    0x05, 0x03, 0x0F, 0x18, 0x0A, 0x18,                     // complete 16-bit: 180f, 180a
    0x03, 0x19, 0x41, 0x09,                                 // appearance 0x0941: earbud
    0x06, 0xFF, 0x4C, 0x00, 0x10, 0x05, 0x0B,               // manufacturer 004c: 10 05 0b
    0x02, 0x0A, 0xF4,                                       // TX power -12 dBm
    0x04, 0x08, 'B', 'u', 'd',                              // shortened name
    0x11, 0x07, 0xFB, 0x34, 0x9B, 0x5F, 0x80, 0x00, 0x00, 0x80, 0x00, 0x10, 0x00, 0x00, 0x0F, 0x18, 0x00, 0x00,
};

}  // namespace

// ---- The data-section parser ------------------------------------------------------

TEST(AdvertisementData, EveryFieldOfAnEarbudAdvertisement) {
    const AdvertisementData d = Parse(kEarbuds);
    EXPECT_EQ(0x06, d.flags);
    EXPECT_EQ(-12, d.txPower);
    EXPECT_EQ(0x0941, d.appearance);
    EXPECT_EQ(0x004C, d.companyId);
    ASSERT_EQ(3, d.manufacturerLength);
    EXPECT_EQ(0x0B, d.manufacturer[2]);
    EXPECT_EQ(L"Bud", std::wstring(d.name));
    EXPECT_EQ(nw::kAdHasFlags | nw::kAdHasName | nw::kAdHasTxPower | nw::kAdHasAppearance | nw::kAdHasManufacturer,
              d.present);
    ASSERT_EQ(3, d.uuidCount);
    EXPECT_EQ(L"180f", UuidText(d.uuids[0]));
    EXPECT_EQ(L"180a", UuidText(d.uuids[1]));
    EXPECT_EQ(L"0000180f-0000-1000-8000-00805f9b34fb", UuidText(d.uuids[2]));

    // The complete name replaces the shortened one, a later shortened one
    // never replaces the complete.
    Bytes both = kEarbuds;
    both.insert(both.end(), {0x06, 0x09, 'B', 'u', 'd', ' ', '2', 0x03, 0x08, 'X', 'Y'});
    const AdvertisementData e = Parse(both);
    EXPECT_EQ(L"Bud 2", std::wstring(e.name));
    EXPECT_TRUE(e.present & nw::kAdNameComplete);
}

TEST(AdvertisementData, HostileSectionsEndTheParseWithoutReadingPastTheEnd) {
    // A length running one byte past the end: what came before stays, the
    // rest goes.
    AdvertisementData d = Parse({0x02, 0x01, 0x06, 0x04, 0x09, 'A', 'B'});
    EXPECT_EQ(nw::kAdHasFlags | nw::kAdTruncated, d.present);
    EXPECT_EQ(0, d.name[0]);
    // A zero length is padding: nothing after it counts.
    d = Parse({0x00, 0x02, 0x01, 0x06});
    EXPECT_EQ(0u, d.present);
    // Sections too short for their type (type byte only, one-byte
    // appearance, one-byte manufacturer) are skipped, not misread.
    d = Parse({0x01, 0x01, 0x02, 0x19, 0x41, 0x02, 0xFF, 0x4C, 0x01, 0x0A, 0x01, 0x09});
    EXPECT_EQ(0u, d.present);
    // A list of 120 UUIDs keeps eight and says more exist; an odd byte
    // that makes no whole UUID is dropped; 200 manufacturer bytes keep 24.
    Bytes many = {0xF2, 0x03};
    for (int i = 0; i < 240; ++i) many.push_back(static_cast<uint8_t>(i));
    many.push_back(0x01);   // the odd byte
    many.push_back(0xC9);
    many.push_back(0xFF);
    for (int i = 0; i < 200; ++i) many.push_back(0xAB);
    d = Parse(many);
    EXPECT_EQ(nw::kAdUuidMax, d.uuidCount);
    EXPECT_TRUE(d.present & nw::kAdUuidsIncomplete);
    EXPECT_EQ(nw::kAdManufacturerMax, d.manufacturerLength);
    // Nothing at all.
    nw::ParseAdvertisement(nullptr, 10, d);
    EXPECT_EQ(0u, d.present);
}

TEST(AdvertisementData, NamesAreDecodedAndMadeHarmless) {
    EXPECT_EQ(L"Caf\u00e9 \U0001F3A7", Name({'C', 'a', 'f', 0xC3, 0xA9, ' ', 0xF0, 0x9F, 0x8E, 0xA7}));
    // Invalid bytes, an overlong slash, an encoded surrogate, a sequence cut
    // by the end: each a replacement character, the text around them kept.
    EXPECT_EQ(L"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD",
              Name({'a', 0xFF, 'b', 0xC0, 0xAF, 'c', 0xED, 0xA0, 0x80, 'd', 0xE2, 0x82}));
    // Line breaks, a zero byte, escape, C1 and a right-to-left override
    // cannot end a line in an export or turn the row around.
    EXPECT_EQ(L"x y z w v u", Name({'x', '\r', 'y', 0x00, 'z', 0x1B, 'w', 0xC2, 0x85, 'v', 0xE2, 0x80, 0xAE, 'u'}));
    // Cut to the buffer, never in the middle of a pair.
    Bytes longName(400, 'n');
    EXPECT_EQ(247u, Name(longName).size());
    wchar_t small[3];
    EXPECT_EQ(1u, nw::DecodeAdvertisedName(Bytes{'a', 0xF0, 0x9F, 0x8E, 0xA7}.data(), 5, small, 3));
}

// ---- Pure pieces and the SIG names -------------------------------------------------

TEST(LowEnergyColumns, AddressTypesSignalAndNames) {
    AdvertisementData none = {};
    EXPECT_EQ(nw::kAddressPublic, nw::ClassifyLeAddress(0xC01122334455ull, nw::kLeAddressPublic, none));
    EXPECT_EQ(nw::kAddressRandomStatic, nw::ClassifyLeAddress(0xC01122334455ull, nw::kLeAddressRandom, none));
    EXPECT_EQ(nw::kAddressPrivate, nw::ClassifyLeAddress(0x401122334455ull, nw::kLeAddressRandom, none));
    EXPECT_EQ(nw::kAddressPrivate, nw::ClassifyLeAddress(0x3F1122334455ull, nw::kLeAddressRandom, none));
    // No type from the platform: public, unless the advertisement states
    // this very address as random.
    EXPECT_EQ(nw::kAddressPublic, nw::ClassifyLeAddress(0x401122334455ull, nw::kLeAddressUnknown, none));
    const AdvertisementData stated = Parse({0x08, 0x1B, 0x55, 0x44, 0x33, 0x22, 0x11, 0x40, 0x01});
    EXPECT_EQ(nw::kAddressPrivate, nw::ClassifyLeAddress(0x401122334455ull, nw::kLeAddressUnknown, stated));
    EXPECT_EQ(nw::kAddressPublic, nw::ClassifyLeAddress(0x401122334456ull, nw::kLeAddressUnknown, stated));

    int16_t s = nw::SmoothSignal(nw::kNoSignal, -60);
    EXPECT_EQ(-60, nw::SignalDbm(s));
    s = nw::SmoothSignal(s, -80);
    EXPECT_EQ(-65, nw::SignalDbm(s));   // a quarter of the step
    EXPECT_EQ(-126, nw::SignalDbm(nw::SmoothSignal(nw::kNoSignal, -128)));

    wchar_t name[64];
    EXPECT_TRUE(nw::BluetoothCompanyName(0x004C, name, 64));
    EXPECT_EQ(L"Apple, Inc.", std::wstring(name));
    EXPECT_TRUE(nw::BluetoothCompanyName(0, name, 64));
    EXPECT_EQ(L"Ericsson AB", std::wstring(name));
    EXPECT_TRUE(nw::BluetoothCompanyName(0xFFFF, name, 64));
    EXPECT_FALSE(nw::BluetoothCompanyName(0xFFFE, name, 64));
    EXPECT_EQ(0, name[0]);
    EXPECT_FALSE(nw::BluetoothCompanyName(102, name, 64));   // a gap between assigned ids
    EXPECT_EQ(0, name[0]);
    EXPECT_TRUE(nw::BluetoothCompanyName(0x004C, name, 4));
    EXPECT_EQ(L"App", std::wstring(name));
    EXPECT_FALSE(nw::BluetoothCompanyName(0x004C, name, 1));
    EXPECT_EQ(0, name[0]);
    name[0] = L'x';
    EXPECT_FALSE(nw::BluetoothCompanyName(0x004C, name, 0));
    EXPECT_EQ(L'x', name[0]);
    EXPECT_TRUE(nw::AppearanceCategoryName(0x00C1, name, 64));
    EXPECT_EQ(L"Watch", std::wstring(name));
    EXPECT_TRUE(nw::AppearanceSubcategoryName(0x00C1, name, 64));
    EXPECT_EQ(L"Sports Watch", std::wstring(name));
    EXPECT_FALSE(nw::AppearanceSubcategoryName(0x00C0, name, 64));
    // Every uint16 of both tables against the source data: the generator's
    // digest of "id=name\n" for each assigned id, in id order; an unassigned
    // id leaves out empty.
    uint64_t digest = 0xCBF29CE484222325ull;
    unsigned named = 0;
    uint32_t lastCompany = 0;
    for (const nw::sig::NumberTable* table : {&nw::sig::kCompanies, &nw::sig::kAppearances}) {
        for (uint32_t id = 0; id <= 0xFFFF; ++id) {
            wchar_t full[256];
            if (!nw::NumberName(*table, static_cast<uint16_t>(id), full, 256)) {
                ASSERT_EQ(0, full[0]) << id;
                continue;
            }
            ++named;
            if (table == &nw::sig::kCompanies) lastCompany = id;
            char utf8[800];
            const int bytes = WideCharToMultiByte(CP_UTF8, 0, full, -1, utf8, sizeof utf8, nullptr, nullptr);
            ASSERT_GT(bytes, 1) << id;
            const std::string line = std::to_string(id) + "=" + utf8 + "\n";
            for (unsigned char c : line) digest = (digest ^ c) * 0x100000001B3ull;
        }
    }
    EXPECT_EQ(kBluetoothNumbersCount, named);
    EXPECT_EQ(kBluetoothNumbersDigest, digest);
    EXPECT_EQ(0xFFFFu, lastCompany);
    // A damaged table stops the decoder inside its arrays: two rules that
    // expand into each other (id 0), a stream that ends before the name
    // (id 31).
    const uint16_t counts[] = {2};
    const uint8_t entries[] = {1, 1, 0, 0, 0, 0};
    const uint8_t stream[] = {0, 0, 0, 0};
    const nw::sig::NameCode loop = {counts, 1, entries, 8, 2, 5, stream, 32};
    const uint32_t blocks[] = {0};
    const uint32_t masks[] = {0xFFFFFFFFu};
    const nw::sig::NumberTable damaged = {&loop, blocks, masks, 1};
    EXPECT_FALSE(nw::NumberName(damaged, 0, name, 64));
    EXPECT_FALSE(nw::NumberName(damaged, 31, name, 64));
    EXPECT_EQ(0, name[0]);
}

// ---- The merge ---------------------------------------------------------------------

namespace {

constexpr uint64_t kPhone = 0x001A7DDA7113ull;      // public, answers the inquiry too
constexpr uint64_t kWatch = 0xC6A1B2C3D4E5ull;      // random static
constexpr uint64_t kTracker = 0x5A0102030405ull;    // random, private (top bits 01)
constexpr int64_t kSecond = 10000000;

class LowEnergyTable : public ::testing::Test {
protected:
    void SetUp() override {
        settings.MarkNewDevices = 1;
        nw::SetAppSettings(&settings);
        nw::SetDescriptionFileForTesting(folder.File(L"desc.ini").c_str());
        table.Attach(window.List());
        table.InsertColumns();
        table.scanResults = &scan;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        clock = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    }
    void TearDown() override {
        nw::SetAppSettings(nullptr);
        nw::SetDescriptionFileForTesting(nullptr);
    }
    static nw::LeSighting Sighting(uint64_t address, uint8_t kind, const Bytes& raw, int rssi = -60,
                                   uint8_t flags = nw::kLeConnectable | nw::kLeHasRssi) {
        nw::LeSighting s;
        std::memset(&s, 0, sizeof s);
        s.address = address;
        s.addressKind = kind;
        s.flags = flags;
        s.rssi = static_cast<int8_t>(rssi);
        s.rawLength = static_cast<uint16_t>(raw.size());
        std::memcpy(s.raw, raw.data(), raw.size());
        return s;
    }
    bool Merge(std::vector<nw::LeSighting> batch, int64_t at = 0) {
        for (auto& s : batch) s.timestamp = clock + at;
        const bool changed = table.MergeLeSightings(batch.data(), static_cast<int>(batch.size()));
        table.Refresh();
        return changed;
    }
    void ClassicScan(std::initializer_list<BLUETOOTH_DEVICE_INFO> answers) {
        scan.count = 0;
        for (const auto& answer : answers) scan.results[scan.count++] = answer;
        table.ReloadRecords();
        table.Refresh();
    }
    std::wstring Text(uint64_t address, int column) {
        wchar_t buffer[nw::kTextBufferSize];
        const DeviceRecord* record = table.FindDevice(address);
        return record ? table.ColumnText(record, column, buffer) : L"(none)";
    }

    listtest::TempFolder folder;
    nw::Settings settings = {};
    listtest::ListWindow window;
    nw::DeviceTable table;
    nw::ScanAnswer scan;
    int64_t clock = 0;
};

}  // namespace

TEST_F(LowEnergyTable, ADualModeDeviceIsOneRowCountedOncePerScan) {
    ClassicScan({dialogtest::Answer(kPhone, L"Anna's phone")});
    // Advertisements between two scans: counted once, whatever their number.
    EXPECT_TRUE(Merge({Sighting(kPhone, nw::kLeAddressPublic, {0x02, 0x01, 0x1A}),
                       Sighting(kPhone, nw::kLeAddressPublic, {0x05, 0x09, 'L', 'E', '?', '!'}, -70)}));
    EXPECT_EQ(1, window.Rows());
    EXPECT_EQ(L"2", Text(kPhone, nw::kColCount));
    EXPECT_EQ(nw::GetString(IDS_TRANSPORT_BOTH), Text(kPhone, nw::kColTransport));
    EXPECT_EQ(L"Anna's phone", Text(kPhone, nw::kColName));   // the inquiry's name stays
    EXPECT_EQ(L"-63", window.Cell(0, nw::kColSignal));
    EXPECT_EQ(nw::GetString(IDS_ADDRESS_PUBLIC), Text(kPhone, nw::kColAddressType));
    // The scan that closes the period does not count it again; the next
    // period counts the advertisements once more.
    ClassicScan({dialogtest::Answer(kPhone, L"Anna's phone")});
    EXPECT_EQ(L"2", Text(kPhone, nw::kColCount));
    ASSERT_EQ(1u, table.LeHeardInLastScan().size());
    EXPECT_EQ(kPhone, table.LeHeardInLastScan()[0]);
    EXPECT_TRUE(Merge({Sighting(kPhone, nw::kLeAddressPublic, {}, 0, 0)}, kSecond));
    EXPECT_EQ(L"3", Text(kPhone, nw::kColCount));
    // The same fields again in the same second change nothing shown.
    EXPECT_FALSE(Merge({Sighting(kPhone, nw::kLeAddressPublic, {}, 0, 0)}, kSecond));
}

TEST_F(LowEnergyTable, AnAdvertisementAndItsScanResponseMakeOneRowWithEveryColumn) {
    const Bytes response = {0x06, 0x09, 'W', 'a', 't', 'c', 'h'};
    Merge({Sighting(kWatch, nw::kLeAddressRandom, {0x02, 0x01, 0x06, 0x03, 0x19, 0xC1, 0x00, 0x04, 0xFF, 0x4C, 0x00, 0x01},
                    -127, nw::kLeConnectable),
           Sighting(kWatch, nw::kLeAddressRandom, response, -50, nw::kLeScanResponse | nw::kLeHasRssi)});
    ASSERT_EQ(1, window.Rows());
    const DeviceRecord* watch = table.FindDevice(kWatch);
    EXPECT_EQ(L"Watch", Text(kWatch, nw::kColName));
    EXPECT_EQ(1, watch->le.connectable);   // the response does not say "not connectable"
    EXPECT_EQ(L"-50", Text(kWatch, nw::kColSignal));
    EXPECT_EQ(nw::GetString(IDS_TRANSPORT_LE), Text(kWatch, nw::kColTransport));
    EXPECT_EQ(nw::GetString(IDS_ADDRESS_RANDOM_STATIC), Text(kWatch, nw::kColAddressType));
    EXPECT_EQ(L"Apple, Inc.", Text(kWatch, nw::kColMaker));
    EXPECT_EQ(L"Watch", Text(kWatch, nw::kColMajorType));
    EXPECT_EQ(L"Sports Watch", Text(kWatch, nw::kColMinorType));
    EXPECT_EQ(L"", Text(kWatch, nw::kColCompany));   // a random address has no company block
    EXPECT_EQ(L"1", Text(kWatch, nw::kColCount));

    // Without a reading, an appearance or a maker the cells stay empty.
    Merge({Sighting(kTracker + 1, nw::kLeAddressPublic, {0x04, 0xFF, 0x34, 0x12, 0x00}, 0, 0)});
    EXPECT_EQ(L"", Text(kTracker + 1, nw::kColSignal));
    EXPECT_EQ(L"", Text(kTracker + 1, nw::kColMajorType));
    EXPECT_EQ(L"0x1234", Text(kTracker + 1, nw::kColMaker));
    // The signal column sorts by number, no reading lowest.
    const DeviceRecord* silent = table.FindDevice(kTracker + 1);
    EXPECT_EQ(-1, nw::CompareDeviceColumn(*silent, nw::kColSignal, *watch));
}

TEST_F(LowEnergyTable, APrivateAddressNeverAlertsNeverCountsForPresenceAndIsForgotten) {
    table.alertsArmed = 1;
    settings.AutoSetDeviceDescription = 1;
    Merge({Sighting(kTracker, nw::kLeAddressRandom, {0x04, 0x09, 'T', 'a', 'g'}),
           Sighting(kWatch, nw::kLeAddressRandom, {0x02, 0x01, 0x06}),
           Sighting(kTracker, nw::kLeAddressRandom, {0x04, 0x09, 'T', 'a', 'g'})});
    std::vector<const DeviceRecord*> fresh;
    table.LeNewRecords(fresh);
    ASSERT_EQ(1u, fresh.size());   // the static address only
    EXPECT_EQ(kWatch, nw::DeviceAddress(*fresh[0]));
    EXPECT_EQ(0, table.FindDevice(kTracker)->isNew);
    EXPECT_EQ(L"", Text(kTracker, nw::kColDescription));   // nothing written for it
    EXPECT_EQ(1, table.PrivateRowCount());
    ClassicScan({});
    ASSERT_EQ(1u, table.LeHeardInLastScan().size());
    EXPECT_EQ(kWatch, table.LeHeardInLastScan()[0]);

    // Forgotten only after the minutes without an advertisement.
    const uint64_t now = static_cast<uint64_t>(clock);
    EXPECT_EQ(0, table.ForgetPrivateDevices(now + 5 * 60 * kSecond, 5));
    EXPECT_EQ(1, table.ForgetPrivateDevices(now + 5 * 60 * kSecond + 1, 5));
    table.Refresh();
    EXPECT_EQ(1, window.Rows());
    EXPECT_EQ(nullptr, table.FindDevice(kTracker));
    EXPECT_EQ(0, table.PrivateRowCount());
    // Heard again later: a row again, still without an alert.
    Merge({Sighting(kTracker, nw::kLeAddressRandom, {})});
    EXPECT_EQ(2, window.Rows());
    table.LeNewRecords(fresh);
    EXPECT_TRUE(fresh.empty());
}

TEST_F(LowEnergyTable, AnOldThirteenColumnLayoutLoadsWithTheNewColumnsAppendedHidden) {
    const std::wstring path = folder.File(L"old.cfg");
    // Name and address swapped, first detection hidden: a layout of the
    // version before Low Energy.
    WritePrivateProfileStringW(L"General", L"Columns",
                               L"82 00 02 00 82 00 01 00 82 00 00 00 64 00 03 00 64 00 04 00 00 00 05 00 78 00 06 00 "
                               L"64 00 07 00 50 00 08 00 50 00 09 00 50 00 0A 00 B4 00 0B 00 96 00 0C 00",
                               path.c_str());
    {
        nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
        table.ExchangeColumnSettings(store);
    }
    const nw::ColumnLayout& layout = table.Layout();
    EXPECT_EQ(nw::kDeviceColumnCount, layout.count);
    EXPECT_EQ(2, layout.entries[nw::kColName].position);
    EXPECT_EQ(0, layout.entries[nw::kColFirstSeen].width);
    for (int c = nw::kColTransport; c < nw::kDeviceColumnCount; ++c) {
        EXPECT_EQ(0, layout.entries[c].width) << c;
        EXPECT_EQ(c, layout.entries[c].position) << c;
        EXPECT_EQ(0, window.ColumnWidth(c)) << c;
    }
    EXPECT_EQ(0x82, window.ColumnWidth(nw::kColName));
    // Saved again, it holds all seventeen, and loads as it was saved.
    {
        nw::SettingsStore store(nw::SettingsStore::Write, path.c_str());
        table.ExchangeColumnSettings(store);
        ASSERT_TRUE(store.Commit());
    }
    EXPECT_EQ(nw::kDeviceColumnCount * 12 - 1, static_cast<int>(listtest::ProfileValue(path, L"Columns").size()));
}
