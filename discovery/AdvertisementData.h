// The data sections of one Low Energy advertisement (length, type, data...),
// decoded into the few fields the device table keeps. Pure: no system calls.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nw {

constexpr int kAdNameChars = 248;            // a decoded name: at most 247 units + terminator
constexpr int kAdUuidMax = 8;                // service UUIDs kept of one advertisement
constexpr int kAdManufacturerMax = 24;       // manufacturer bytes kept after the company id
constexpr size_t kUuidTextChars = 37;        // "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" + terminator

enum AdPresent : uint32_t {
    kAdHasFlags = 1u << 0,
    kAdHasName = 1u << 1,
    kAdNameComplete = 1u << 2,     // the name is the complete one (else shortened)
    kAdHasTxPower = 1u << 3,
    kAdHasAppearance = 1u << 4,
    kAdHasManufacturer = 1u << 5,
    kAdHasDeviceAddress = 1u << 6,  // the device's own LE address section
    kAdUuidsIncomplete = 1u << 7,   // a list said more UUIDs exist
    kAdTruncated = 1u << 8,         // a section ran past the end; the rest was ignored
};

// A 16-, 32- or 128-bit service UUID as it was sent (little-endian bytes).
struct LeUuid {
    uint8_t width;       // 2, 4 or 16 bytes; 0 = none
    uint8_t bytes[16];
};

struct AdvertisementData {
    uint32_t present;                  // AdPresent bits
    uint8_t flags;                     // section 0x01
    int8_t txPower;                    // 0x0A, dBm
    uint16_t appearance;               // 0x19
    uint16_t companyId;                // first 0xFF section
    uint8_t manufacturerLength;        // bytes kept in manufacturer
    uint8_t manufacturer[kAdManufacturerMax];
    uint64_t deviceAddress;            // 0x1B: the address it states, and
    uint8_t deviceAddressRandom;       // whether it says the address is random
    uint8_t uuidCount;
    LeUuid uuids[kAdUuidMax];
    wchar_t name[kAdNameChars];        // complete name (0x09) before shortened (0x08)
};

// Decodes size bytes of data sections. A zero length ends the sections (the
// rest is padding); a section that runs past the end is ignored with what
// follows. Never reads outside data[0, size).
void ParseAdvertisement(const uint8_t* data, size_t size, AdvertisementData& out);

// A name's UTF-8 bytes as UTF-16 (out of size units, always terminated):
// invalid or overlong sequences and surrogates become U+FFFD, control
// characters (C0, DEL, C1) and the direction overrides a space, and a
// character that does not fit whole is left out. Returns the length.
size_t DecodeAdvertisedName(const uint8_t* bytes, size_t count, wchar_t* out, size_t size);

// "180f" for 16-bit, "0000180f" for 32-bit, the usual 8-4-4-4-12 form for
// 128-bit UUIDs; empty for width 0. out needs kUuidTextChars units.
void FormatUuid(const LeUuid& uuid, wchar_t* out, size_t size);

}  // namespace nw
