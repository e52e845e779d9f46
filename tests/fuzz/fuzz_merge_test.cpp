// Fuzzing the merge of scan answers: names of every length and unit,
// repeated addresses, any flag values, 62 answers a scan, with the refresh,
// sort, removal and new-device marks that follow a scan.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <map>
#include <set>
#include <string>

#include "Fuzz.h"
#include "FuzzTable.h"
#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"

namespace {

using namespace nw::fuzz;


// One answer as a stranger's radio may send it.
BLUETOOTH_DEVICE_INFO HostileAnswer(Rng& rng, uint64_t address) {
    BLUETOOTH_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = address;
    info.ulClassofDevice = static_cast<ULONG>(rng.Next());
    const BOOL flags[] = {0, 1, 2, -1, 0x7FFFFFFF};
    info.fConnected = rng.Pick(flags);
    info.fRemembered = rng.Pick(flags);
    info.fAuthenticated = rng.Pick(flags);
    if (rng.OneIn(3)) GetSystemTime(&info.stLastSeen);
    if (rng.OneIn(5)) std::memset(&info.stLastUsed, 0xFF, sizeof info.stLastUsed);
    // Every length, the full block without a terminator included.
    const std::wstring name = RandomText(rng, rng.OneIn(4) ? BLUETOOTH_MAX_NAME_SIZE : 24);
    std::wmemcpy(info.szName, name.data(), name.size());
    if (rng.OneIn(6)) {
        for (wchar_t& c : info.szName) c = static_cast<wchar_t>(1 + rng.Below(0xFFFF));
    }
    return info;
}

std::string AnswerBytes(const nw::ScanAnswer& scan) {
    return std::string(reinterpret_cast<const char*>(&scan.results[0]),
                       sizeof(BLUETOOTH_DEVICE_INFO) * static_cast<size_t>(scan.count));
}

// Checks, scan after scan: no fault; one record per address whatever the
// repeats; each record counted once per answer; the list shows every record
// not removed; names, descriptions and every column text stay within their
// buffers; the address index finds each record.
TEST(MergeFuzz, HostileAnswersKeepOneBoundedRecordPerAddress) {
    const uint64_t seed = Seed(0x4D45524745000000ull);
    const int scans = Rounds(500);
    Rng rng(seed);
    FuzzTable fixture;
    auto& table = fixture.table;
    auto& scan = fixture.scan;
    nw::Settings& settings = fixture.settings;
    // Companies for some of the pool's blocks, with names that need care.
    std::string registry;
    uint64_t pool[96];
    for (uint64_t& a : pool) a = rng.Next() & 0xFFFFFFFFFFFFull;
    for (int i = 0; i < 24; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%02X-%02X-%02X   (hex)\t\t", static_cast<unsigned>(pool[i] >> 40 & 0xFF),
                      static_cast<unsigned>(pool[i] >> 32 & 0xFF), static_cast<unsigned>(pool[i] >> 24 & 0xFF));
        registry += line + std::string(i * 11 % 260, static_cast<char>(i % 2 ? 'x' : 0xE9)) + "\r\n";
    }
    ASSERT_TRUE(table->companies.Load(registry.data(), registry.size()));

    std::map<uint64_t, uint32_t> counts;
    for (int round = 0; round < scans; ++round) {
        // A fresh table now and then keeps a long run's rounds equally fast.
        if (round % 250 == 0) {
            table->Reset();
            counts.clear();
        }
        settings.AutoSetDeviceDescription = rng.OneIn(2);
        settings.DevicesAlertOnlyWithDesc = rng.OneIn(3);
        table->alertsArmed = round > 3;
        scan->count = rng.OneIn(8) ? static_cast<int32_t>(rng.Below(nw::kScanKeptAnswers + 1)) : nw::kScanKeptAnswers;
        for (int i = 0; i < scan->count; ++i) {
            // Mostly known devices, so repeats within and across scans are common.
            const uint64_t address = rng.OneIn(4) ? rng.Next() & 0xFFFFFFFFFFFFull : pool[rng.Below(96)];
            scan->results[i] = HostileAnswer(rng, address);
            ++counts[address];
        }
        const std::string input = AnswerBytes(*scan);
        Round r("scan merge", seed, round, input);
        table->ReloadRecords();
        table->Refresh();
        if (rng.OneIn(4)) table->Sort(static_cast<int>(rng.Below(nw::kDeviceColumnCount)) |
                                          (rng.OneIn(2) ? nw::kSortDescending : 0), rng.OneIn(2));
        if (rng.OneIn(10) && table->RowCount() > 0) {
            table->SetRowState(static_cast<int>(rng.Below(static_cast<size_t>(table->RowCount()))), LVIS_SELECTED,
                               LVIS_SELECTED);
            table->MarkSelectedRemoved();
            table->Refresh();
        }

        if (!r.Check(table->RecordCount() == static_cast<int>(counts.size()), "not one record per address")) break;
        int shown = 0;
        for (int i = 0; i < table->RecordCount(); ++i) {
            const nw::DeviceRecord* record = table->Device(i);
            if (!record->removed) ++shown;
            r.Check(BoundedLength(record->info.szName, BLUETOOTH_MAX_NAME_SIZE) < BLUETOOTH_MAX_NAME_SIZE &&
                        BoundedLength(record->description, nw::kDescriptionChars) <= nw::kDescriptionMax &&
                        BoundedLength(record->company, 256) < 256,
                    "a record's text ran out of its field");
            r.Check(record->detectionCount == counts[nw::DeviceAddress(*record)], "a record was miscounted");
            r.Check(table->FindDevice(nw::DeviceAddress(*record)) == record, "the index lost a record");
        }
        r.Check(shown == table->RowCount(), "the list does not show the records that are not removed");
        for (int k = 0; k < 4 && table->RecordCount() > 0; ++k) {
            const nw::DeviceRecord* record = table->Device(static_cast<int>(rng.Below(table->RecordCount())));
            // The record shows what the file holds (line breaks in a name
            // stayed in the record before: this test's own seed, round 4).
            if (record->description[0]) {
                wchar_t stored[nw::kDescriptionChars];
                nw::ReadDescription(nw::DeviceAddress(*record), stored, nw::kDescriptionChars);
                r.Check(std::wstring(stored) == record->description, "a description differs from the file's");
            }
            for (int column = 0; column < nw::kDeviceColumnCount; ++column) {
                wchar_t buffer[nw::kColumnTextChars + 8];
                buffer[nw::kColumnTextChars] = L'#';
                const wchar_t* text = table->ColumnText(record, column, buffer);
                r.Check(text && BoundedLength(text, nw::kColumnTextChars) < nw::kColumnTextChars &&
                            buffer[nw::kColumnTextChars] == L'#',
                        "column " + std::to_string(column) + " text overran its buffer");
            }
        }
        ValidateRect(fixture.window.List(), nullptr);   // stands in for the paint a shown window gets
        if (r.Failed()) break;
    }
}

}  // namespace
