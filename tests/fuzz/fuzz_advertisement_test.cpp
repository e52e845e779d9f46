// Fuzzing Low Energy advertisements: damaged data sections through the
// parser, and hostile sightings (any length field, address kind, flag and
// byte) through the table's merge, refresh and forgetting of private rows.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "FuzzTable.h"
#include "discovery/AdvertisementData.h"

namespace {

using namespace nw::fuzz;

// Well-formed sections to start from and to insert: every type the parser
// reads, names in several scripts, long lists.
const std::vector<std::string>& Words() {
    static const std::vector<std::string> words = {
        std::string("\x02\x01\x06", 3),
        std::string("\x05\x03\x0f\x18\x0a\x18", 6),
        std::string("\x05\x05\x01\x02\x03\x04", 6),
        std::string("\x11\x07\xfb\x34\x9b\x5f\x80\x00\x00\x80\x00\x10\x00\x00\x0f\x18\x00\x00", 18),
        std::string("\x06\x09" "Watch", 7),
        std::string("\x0a\x08" "Caf\xc3\xa9 \xf0\x9f\x8e", 11),
        std::string("\x02\x0a\xf4", 3),
        std::string("\x03\x19\xc1\x00", 4),
        std::string("\x06\xff\x4c\x00\x10\x05\x0b", 7),
        std::string("\x08\x1b\x55\x44\x33\x22\x11\x40\x01", 9),
        std::string("\x00", 1),
        std::string("\xff", 1),
    };
    return words;
}

std::string Seeded(Rng& rng) {
    std::string bytes;
    const size_t sections = rng.Below(8);
    for (size_t i = 0; i < sections; ++i) bytes += Words()[rng.Below(Words().size())];
    if (rng.OneIn(2)) Mutate(rng, bytes, Words());
    return bytes;
}

bool NameIsHarmless(const wchar_t* name) {
    size_t n = 0;
    for (; n < nw::kAdNameChars && name[n]; ++n) {
        const wchar_t c = name[n];
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E)) return false;
        if (c >= 0xD800 && c <= 0xDBFF && !(name[n + 1] >= 0xDC00 && name[n + 1] <= 0xDFFF)) return false;
        if (c >= 0xDC00 && c <= 0xDFFF && !(n > 0 && name[n - 1] >= 0xD800 && name[n - 1] <= 0xDBFF)) return false;
    }
    return n < nw::kAdNameChars;
}

}  // namespace

// Checks: no fault and no read past the bytes (each input sits at the end
// of its own allocation); the counts stay within their arrays; the name
// ends inside its buffer with no control or direction character and no
// lone surrogate.
TEST(AdvertisementFuzz, DamagedSectionsDecodeIntoBoundedFields) {
    const uint64_t seed = Seed(0x4144564552540000ull);
    const int rounds = Rounds(20000);
    Rng rng(seed);
    for (int round = 0; round < rounds; ++round) {
        std::string input = Seeded(rng);
        if (input.size() > 4096) input.resize(4096);
        Round r("advertisement", seed, round, input);
        auto exact = std::make_unique<uint8_t[]>(input.size() + 1);
        std::memcpy(exact.get(), input.data(), input.size());
        nw::AdvertisementData data;
        nw::ParseAdvertisement(exact.get(), input.size(), data);
        if (!r.Check(data.uuidCount <= nw::kAdUuidMax, "too many UUIDs") ||
            !r.Check(data.manufacturerLength <= nw::kAdManufacturerMax, "manufacturer data too long") ||
            !r.Check(NameIsHarmless(data.name), "name not harmless"))
            return;
        for (int k = 0; k < data.uuidCount; ++k) {
            const int w = data.uuids[k].width;
            if (!r.Check(w == 2 || w == 4 || w == 16, "UUID width")) return;
            wchar_t text[nw::kUuidTextChars];
            nw::FormatUuid(data.uuids[k], text, nw::kUuidTextChars);
            if (!r.Check(std::wcslen(text) == static_cast<size_t>(w == 16 ? 36 : w * 2), "UUID text")) return;
        }
    }
}

// Checks, batch after batch: one record per address; the name, every column
// text and the properties rows end inside their buffers; private rows are
// counted and forgotten, never marked new and never answers for presence.
TEST(AdvertisementFuzz, HostileSightingsKeepOneBoundedRecordPerAddress) {
    const uint64_t seed = Seed(0x4C454D4552474500ull);
    const int batches = Rounds(300);
    Rng rng(seed);
    FuzzTable fixture;
    auto& table = fixture.table;
    table->alertsArmed = 1;
    uint64_t pool[64];
    for (uint64_t& a : pool) a = rng.Next() & 0xFFFFFFFFFFFFull;
    FILETIME start;
    GetSystemTimeAsFileTime(&start);
    int64_t clock = (static_cast<int64_t>(start.dwHighDateTime) << 32) | start.dwLowDateTime;

    std::vector<nw::LeSighting> batch(32);
    for (int b = 0; b < batches; ++b) {
        std::string input;
        for (nw::LeSighting& s : batch) {
            std::memset(&s, 0, sizeof s);
            s.address = rng.OneIn(32) ? rng.Next() : pool[rng.Below(64)];
            s.addressKind = static_cast<uint8_t>(rng.OneIn(4) ? rng.Below(256) : rng.Below(3));
            s.flags = static_cast<uint8_t>(rng.Below(256));
            s.rssi = static_cast<int8_t>(rng.Below(256));
            s.txPower = static_cast<int8_t>(rng.Below(256));
            s.timestamp = rng.OneIn(16) ? static_cast<int64_t>(rng.Next()) : clock;
            const std::string raw = Seeded(rng);
            std::memcpy(s.raw, raw.data(), raw.size() < sizeof s.raw ? raw.size() : sizeof s.raw);
            // The length field may say anything, past the block included.
            s.rawLength = static_cast<uint16_t>(rng.OneIn(8) ? rng.Below(65536) : raw.size());
            input.append(reinterpret_cast<const char*>(&s), sizeof s);
        }
        Round r("le-merge", seed, b, input);
        table->MergeLeSightings(batch.data(), static_cast<int>(batch.size()));
        std::vector<const nw::DeviceRecord*> fresh;
        table->LeNewRecords(fresh);
        for (const nw::DeviceRecord* d : fresh)
            if (!r.Check(!nw::IsPrivateDevice(*d), "a private address marked new")) return;
        clock += 10000000;   // a second per batch
        if (rng.OneIn(4)) {
            table->ReloadRecords();
            for (uint64_t a : table->LeHeardInLastScan()) {
                const nw::DeviceRecord* d = table->FindDevice(a);
                if (!r.Check(d && !nw::IsPrivateDevice(*d), "a private address answered for presence")) return;
            }
        }
        if (rng.OneIn(8)) table->ForgetPrivateDevices(static_cast<uint64_t>(clock), 1);
        table->Refresh();

        std::set<uint64_t> seen;
        int privateRows = 0;
        wchar_t buffer[nw::kTextBufferSize];
        for (int i = 0; i < table->RecordCount(); ++i) {
            const nw::DeviceRecord* d = table->Device(i);
            if (d->flags & nw::kRecordFree) continue;
            if (!r.Check(seen.insert(nw::DeviceAddress(*d)).second, "two records for one address")) return;
            if (nw::IsPrivateDevice(*d) && d->removed != 1) ++privateRows;
            if (!r.Check(std::wcslen(d->info.szName) < BLUETOOTH_MAX_NAME_SIZE, "name unterminated")) return;
            // The texts of every row now and then; the rows a batch touched
            // are rewritten by its refresh anyway.
            if (b % 8 != 7) continue;
            for (int c = 0; c < nw::kDeviceColumnCount; ++c) {
                const wchar_t* text = table->ColumnText(d, c, buffer);
                if (!r.Check(text && std::wcslen(text) < nw::kColumnTextChars, "column text too long")) return;
            }
            for (int k = 0; k < nw::kLeDetailRows; ++k) {
                buffer[0] = 0;
                nw::LeDetailRow(*d, k, buffer, nw::kColumnTextChars);
                if (!r.Check(std::wcslen(buffer) < nw::kColumnTextChars, "detail text too long")) return;
            }
        }
        if (!r.Check(privateRows == table->PrivateRowCount(), "private rows miscounted")) return;
    }
}
