#include "discovery/AdvertisementData.h"

#include <cstring>

namespace nw {

namespace {

enum AdType : uint8_t {
    kTypeFlags = 0x01,
    kTypeUuid16Incomplete = 0x02,
    kTypeUuid16Complete = 0x03,
    kTypeUuid32Incomplete = 0x04,
    kTypeUuid32Complete = 0x05,
    kTypeUuid128Incomplete = 0x06,
    kTypeUuid128Complete = 0x07,
    kTypeNameShortened = 0x08,
    kTypeNameComplete = 0x09,
    kTypeTxPower = 0x0A,
    kTypeAppearance = 0x19,
    kTypeDeviceAddress = 0x1B,
    kTypeManufacturer = 0xFF,
};

constexpr wchar_t kReplacement = 0xFFFD;

// Characters that would move the caret, end a line in an export, or turn the
// text around on screen.
bool IsHarmfulCharacter(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
           c == 0x2028 || c == 0x2029;
}

// One character from UTF-8 at bytes[*i]; moves *i past it. A malformed
// sequence gives one U+FFFD for its longest valid start (at least one
// byte), so a name cut in the middle of a character loses one character.
uint32_t NextCodePoint(const uint8_t* bytes, size_t count, size_t* i) {
    const uint8_t lead = bytes[*i];
    ++*i;
    if (lead < 0x80) return lead;
    int more;
    uint32_t c;
    uint8_t low = 0x80, high = 0xBF;   // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2, c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;          // no overlong forms
        if (lead == 0xED) high = 0x9F;         // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3, c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;         // nothing above U+10FFFF
    } else {
        return kReplacement;
    }
    for (int k = 0; k < more; ++k) {
        if (*i >= count || bytes[*i] < low || bytes[*i] > high) return kReplacement;
        c = (c << 6) | (bytes[*i] & 0x3F);
        ++*i;
        low = 0x80, high = 0xBF;
    }
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
    if (length == 0 || (out.present & kAdNameComplete) || (!complete && (out.present & kAdHasName))) return;
    DecodeAdvertisedName(data, length, out.name, kAdNameChars);
    out.present |= kAdHasName;
    if (complete) out.present |= kAdNameComplete;
}

void TakeSection(uint8_t type, const uint8_t* data, size_t length, AdvertisementData& out) {
    switch (type) {
    case kTypeFlags:
        if (length >= 1) out.flags = data[0], out.present |= kAdHasFlags;
        break;
    case kTypeUuid16Incomplete:
    case kTypeUuid16Complete: AddUuids(data, length, 2, type == kTypeUuid16Incomplete, out); break;
    case kTypeUuid32Incomplete:
    case kTypeUuid32Complete: AddUuids(data, length, 4, type == kTypeUuid32Incomplete, out); break;
    case kTypeUuid128Incomplete:
    case kTypeUuid128Complete: AddUuids(data, length, 16, type == kTypeUuid128Incomplete, out); break;
    case kTypeNameShortened:
    case kTypeNameComplete: TakeName(data, length, type == kTypeNameComplete, out); break;
    case kTypeTxPower:
        if (length >= 1) out.txPower = static_cast<int8_t>(data[0]), out.present |= kAdHasTxPower;
        break;
    case kTypeAppearance:
        if (length >= 2) out.appearance = Le16(data), out.present |= kAdHasAppearance;
        break;
    case kTypeDeviceAddress:
        if (length >= 7) {
            uint64_t address = 0;
            for (int k = 5; k >= 0; --k) address = (address << 8) | data[k];
            out.deviceAddress = address;
            out.deviceAddressRandom = data[6] & 1;
            out.present |= kAdHasDeviceAddress;
        }
        break;
    case kTypeManufacturer:
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
