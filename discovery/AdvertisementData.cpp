#include "discovery/AdvertisementData.h"

#include <cstring>

namespace nw {

namespace {

enum AdType : uint8_t {
    kAdFlags = 0x01,
    kAdUuid16Incomplete = 0x02,
    kAdUuid16Complete = 0x03,
    kAdUuid32Incomplete = 0x04,
    kAdUuid32Complete = 0x05,
    kAdUuid128Incomplete = 0x06,
    kAdUuid128Complete = 0x07,
    kAdNameShortened = 0x08,
    kAdNameComplete = 0x09,
    kAdTxPower = 0x0A,
    kAdAppearance = 0x19,
    kAdDeviceAddress = 0x1B,
    kAdManufacturer = 0xFF,
};

constexpr wchar_t kReplacement = 0xFFFD;

// Characters that would move the caret, end a line in an export, or turn the
// text around on screen.
bool IsHarmfulCharacter(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x2028 || c == 0x2029;
}

// One character from UTF-8 at bytes[*i]; moves *i past it (at least one
// byte). U+FFFD for anything malformed, as the one byte that starts it.
uint32_t NextCodePoint(const uint8_t* bytes, size_t count, size_t* i) {
    const uint8_t lead = bytes[*i];
    ++*i;
    if (lead < 0x80) return lead;
    int more;
    uint32_t c;
    uint32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3, c = lead & 0x07, least = 0x10000;
    } else {
        return kReplacement;
    }
    size_t j = *i;
    for (int k = 0; k < more; ++k, ++j) {
        if (j >= count || (bytes[j] & 0xC0) != 0x80) return kReplacement;
        c = (c << 6) | (bytes[j] & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kReplacement;
    *i = j;
    return c;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void AddUuids(const uint8_t* data, size_t length, uint8_t width, bool incomplete, AdvertisementData& out) {
    if (incomplete) out.present |= kAdUuidsIncomplete;
    // A count is whatever fits: a list of any length ends at its section.
    for (size_t at = 0; at + width <= length; at += width) {
        if (out.uuidCount >= kAdUuidMax) {
            out.present |= kAdUuidsIncomplete;
            return;
        }
        LeUuid& uuid = out.uuids[out.uuidCount++];
        uuid.width = width;
        std::memcpy(uuid.bytes, data + at, width);
    }
}

void TakeName(const uint8_t* data, size_t length, bool complete, AdvertisementData& out) {
    // A complete name is never replaced by a shortened one, nor by a
    // second complete one.
    if ((out.present & kAdNameComplete) || (!complete && (out.present & kAdHasName))) return;
    DecodeAdvertisedName(data, length, out.name, kAdNameChars);
    out.present |= kAdHasName;
    if (complete) out.present |= kAdNameComplete;
}

void TakeSection(uint8_t type, const uint8_t* data, size_t length, AdvertisementData& out) {
    switch (type) {
    case kAdFlags:
        if (length >= 1) out.flags = data[0], out.present |= kAdHasFlags;
        break;
    case kAdUuid16Incomplete:
    case kAdUuid16Complete: AddUuids(data, length, 2, type == kAdUuid16Incomplete, out); break;
    case kAdUuid32Incomplete:
    case kAdUuid32Complete: AddUuids(data, length, 4, type == kAdUuid32Incomplete, out); break;
    case kAdUuid128Incomplete:
    case kAdUuid128Complete: AddUuids(data, length, 16, type == kAdUuid128Incomplete, out); break;
    case kAdNameShortened:
    case kAdNameComplete: TakeName(data, length, type == kAdNameComplete, out); break;
    case kAdTxPower:
        if (length >= 1) out.txPower = static_cast<int8_t>(data[0]), out.present |= kAdHasTxPower;
        break;
    case kAdAppearance:
        if (length >= 2) out.appearance = Le16(data), out.present |= kAdHasAppearance;
        break;
    case kAdDeviceAddress:
        if (length >= 7) {
            uint64_t address = 0;
            for (int k = 5; k >= 0; --k) address = (address << 8) | data[k];
            out.deviceAddress = address;
            out.deviceAddressRandom = data[6] & 1;
            out.present |= kAdHasDeviceAddress;
        }
        break;
    case kAdManufacturer:
        // The first maker wins: a second section is most often a beacon
        // frame added by a library, not the device's maker.
        if (length >= 2 && !(out.present & kAdHasManufacturer)) {
            out.companyId = Le16(data);
            size_t kept = length - 2;
            if (kept > kAdManufacturerMax) kept = kAdManufacturerMax;
            std::memcpy(out.manufacturer, data + 2, kept);
            out.manufacturerLength = static_cast<uint8_t>(kept);
            out.present |= kAdHasManufacturer;
        }
        break;
    default: break;
    }
}

}  // namespace

size_t DecodeAdvertisedName(const uint8_t* bytes, size_t count, wchar_t* out, size_t size) {
    if (size == 0) return 0;
    size_t n = 0;
    for (size_t i = 0; i < count;) {
        uint32_t c = NextCodePoint(bytes, count, &i);
        if (IsHarmfulCharacter(c)) c = L' ';
        if (c >= 0x10000) {
            if (n + 2 >= size) break;
            c -= 0x10000;
            out[n++] = static_cast<wchar_t>(0xD800 + (c >> 10));
            out[n++] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            if (n + 1 >= size) break;
            out[n++] = static_cast<wchar_t>(c);
        }
    }
    out[n] = 0;
    return n;
}

void ParseAdvertisement(const uint8_t* data, size_t size, AdvertisementData& out) {
    std::memset(&out, 0, sizeof out);
    if (!data) return;
    size_t at = 0;
    while (at < size) {
        const size_t length = data[at];
        if (length == 0) break;
        if (length > size - at - 1) {
            out.present |= kAdTruncated;
            break;
        }
        TakeSection(data[at + 1], data + at + 2, length - 1, out);
        at += 1 + length;
    }
}

void FormatUuid(const LeUuid& uuid, wchar_t* out, size_t size) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    if (size == 0) return;
    out[0] = 0;
    if (size < kUuidTextChars || (uuid.width != 2 && uuid.width != 4 && uuid.width != 16)) return;
    size_t n = 0;
    // Sent least significant byte first; written most significant first.
    for (int k = uuid.width - 1; k >= 0; --k) {
        out[n++] = kHex[uuid.bytes[k] >> 4];
        out[n++] = kHex[uuid.bytes[k] & 15];
        if (uuid.width == 16 && (k == 12 || k == 10 || k == 8 || k == 6)) out[n++] = L'-';
    }
    out[n] = 0;
}

}  // namespace nw
