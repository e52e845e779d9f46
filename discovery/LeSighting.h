// One Low Energy advertisement (or scan response) as the watcher copied it
// off a pool thread: plain bytes, so a batch of them crosses to the window
// thread as one block. Its data sections stay raw; the table decodes them.
#pragma once
#include <cstdint>
#include <type_traits>

namespace nw {

constexpr int kLeRawDataMax = 255;   // data sections of one advertisement, as length-type-value bytes

enum LeAddressKind : uint8_t {
    kLeAddressPublic = 0,
    kLeAddressRandom = 1,   // the platform's "random": the top two bits tell static from private
    kLeAddressUnknown = 2,  // no address type from the platform (before Windows 10 2004)
};

enum LeSightingFlags : uint8_t {
    kLeConnectable = 1,
    kLeScanResponse = 2,
    kLeHasTxPower = 4,
    kLeHasRssi = 8,
};

struct LeSighting {
    uint64_t address;        // 48 bits, most significant byte first as shown
    int64_t timestamp;       // FILETIME ticks (UTC) of the reception
    uint8_t addressKind;     // LeAddressKind
    uint8_t flags;           // LeSightingFlags
    int8_t rssi;             // dBm; valid with kLeHasRssi (-127 is never stored)
    int8_t txPower;          // dBm; valid with kLeHasTxPower
    uint16_t rawLength;      // bytes used of raw
    uint8_t raw[kLeRawDataMax + 1];   // AD structures: length, type, data...
};
static_assert(std::is_trivially_copyable_v<LeSighting>);

}  // namespace nw
