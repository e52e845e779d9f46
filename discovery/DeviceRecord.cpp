#include "discovery/DeviceRecord.h"

#include "annotations/BluetoothNumbers.h"
#include "base/BluetoothAddress.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "resource.h"

namespace nw {

unsigned MajorTypeStringId(uint32_t classOfDevice) {
    // Majors without a string (7, 8, ...) give IDs the table does not hold,
    // hence an empty text.
    return IDS_MAJOR_BASE + MajorClass(classOfDevice);
}

// Only computers, phones, audio/video and peripherals have minor texts. The
// full six minor bits are used, so a peripheral with the keyboard or
// pointing bits (16 and up) finds no string and stays empty.
unsigned MinorTypeStringId(uint32_t classOfDevice) {
    const unsigned minor = MinorClass(classOfDevice);
    switch (MajorClass(classOfDevice)) {
    case 1: return IDS_MINOR_COMPUTER_BASE + minor;
    case 2: return IDS_MINOR_PHONE_BASE + minor;
    case 4: return IDS_MINOR_AV_BASE + minor;
    case 5: return IDS_MINOR_PERIPH_BASE + minor;
    default: return 0;
    }
}

unsigned YesNoStringId(int32_t flag) { return flag ? IDS_YES : IDS_NO; }

const wchar_t* ProbeResultText(uint32_t result, const wchar_t* okText, const wchar_t* failedFormat,
                               wchar_t* buffer, size_t size) {
    if (result == kProbeNever) {
        if (size) buffer[0] = 0;
        return buffer;
    }
    if (result == 0) return okText ? okText : L"";
    FormatNumberText(buffer, size, failedFormat, static_cast<int32_t>(result));
    return buffer;
}

LeAddressType ClassifyLeAddress(uint64_t address, uint8_t addressKind, const AdvertisementData& data) {
    bool random = addressKind == kLeAddressRandom;
    if (addressKind != kLeAddressPublic && addressKind != kLeAddressRandom) {
        // Older Windows gives no type: only the device's own word, an
        // address section naming this very address, can make it random.
        random = (data.present & kAdHasDeviceAddress) && data.deviceAddressRandom &&
                 (data.deviceAddress & 0xFFFFFFFFFFFFull) == (address & 0xFFFFFFFFFFFFull);
    }
    if (!random) return kAddressPublic;
    return ((address >> 46) & 3) == 3 ? kAddressRandomStatic : kAddressPrivate;
}

int16_t SmoothSignal(int16_t smoothed, int rssi) {
    if (rssi < -126) rssi = -126;
    if (rssi > 126) rssi = 126;
    const int reading = rssi * 16;
    if (smoothed == kNoSignal) return static_cast<int16_t>(reading);
    // An exponential average over about four advertisements: one weak
    // packet does not move the row, a device walking away does.
    return static_cast<int16_t>(smoothed + (reading - smoothed) / 4);
}

int SignalDbm(int16_t smoothed) { return smoothed >= 0 ? (smoothed + 8) / 16 : -((-smoothed + 8) / 16); }

unsigned TransportStringId(uint8_t transports) {
    if (!(transports & kTransportLe)) return IDS_TRANSPORT_CLASSIC;
    return (transports & kTransportClassic) ? IDS_TRANSPORT_BOTH : IDS_TRANSPORT_LE;
}

unsigned AddressTypeStringId(uint8_t addressType) {
    switch (addressType) {
    case kAddressRandomStatic: return IDS_ADDRESS_RANDOM_STATIC;
    case kAddressPrivate: return IDS_ADDRESS_PRIVATE;
    default: return IDS_ADDRESS_PUBLIC;
    }
}

const char* TransportName(uint8_t transports) {
    if (!(transports & kTransportLe)) return "classic";
    return (transports & kTransportClassic) ? "classic+le" : "le";
}

const char* AddressTypeName(uint8_t addressType) {
    switch (addressType) {
    case kAddressRandomStatic: return "random_static";
    case kAddressPrivate: return "private";
    default: return "public";
    }
}

unsigned LeDetailRow(const DeviceRecord& record, int row, wchar_t* buffer, size_t size) {
    if (size == 0) return 0;
    buffer[0] = 0;
    const LeDetails& le = record.le;
    switch (row) {
    case 0:
        if (le.known & kLeKnownTxPower) FormatNumberText(buffer, size, GetString(IDS_DBM), le.txPower);
        return IDS_PROP_TX_POWER;
    case 1:
        if (le.known & kLeKnownConnectable) CopyText(buffer, size, GetString(YesNoStringId(le.connectable)));
        return IDS_PROP_CONNECTABLE;
    case 2:
        for (int k = 0; k < le.uuidCount && k < kLeUuidsKept; ++k) {
            wchar_t uuid[kUuidTextChars];
            FormatUuid(le.uuids[k], uuid, kUuidTextChars);
            if (k) AppendText(buffer, size, L", ");
            AppendText(buffer, size, uuid);
        }
        return IDS_PROP_UUIDS;
    case 3:
        if (le.known & kLeKnownAppearance) {
            wchar_t name[128];
            FormatText(buffer, size, L"0x%04X", static_cast<unsigned>(le.appearance));
            if (AppearanceSubcategoryName(le.appearance, name, 128) ||
                AppearanceCategoryName(le.appearance, name, 128)) {
                AppendText(buffer, size, L" ");
                AppendText(buffer, size, name);
            }
        }
        return IDS_PROP_APPEARANCE;
    case 4:
        if (le.known & kLeKnownMaker) {
            // The company id as sent (low byte first), then the data.
            FormatText(buffer, size, L"%02X %02X", static_cast<unsigned>(le.makerId & 0xFF),
                       static_cast<unsigned>(le.makerId >> 8));
            for (int k = 0; k < le.manufacturerLength && k < kLeManufacturerKept; ++k) {
                wchar_t byte[4];
                FormatText(byte, 4, L" %02X", static_cast<unsigned>(le.manufacturer[k]));
                AppendText(buffer, size, byte);
            }
        }
        return IDS_PROP_MANUFACTURER;
    default: return 0;
    }
}

bool FormatDeviceTime(const FILETIME& utc, wchar_t* buffer, size_t size) {
    if (size == 0 || (utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0)) return false;
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &fields)) return false;
    if (!IsShownYear(fields.wYear)) return false;
    wchar_t date[128];
    wchar_t time[128];
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &fields, nullptr, date, 128)) date[0] = 0;
    if (!GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &fields, nullptr, time, 128)) time[0] = 0;
    CopyText(buffer, size, date);
    AppendText(buffer, size, L" ");
    AppendText(buffer, size, time);
    return true;
}

const wchar_t* DeviceColumnText(const DeviceRecord& record, int column, wchar_t* buffer, size_t size) {
    if (size == 0) return L"";
    buffer[0] = 0;
    switch (column) {
    case kColName: return record.info.szName;
    case kColDescription: return record.description;
    case kColAddress:
        if (size < kAddressTextChars) return buffer;
        FormatAddress(record.info.Address.ullLong, buffer);
        return buffer;
    case kColMajorType:
    case kColMinorType: {
        // An advertised appearance says more than no class of device; a
        // device only LE has heard and that tells neither has no type.
        if (record.le.known & kLeKnownAppearance) {
            const bool named = column == kColMajorType
                                   ? AppearanceCategoryName(record.le.appearance, buffer, size)
                                   : AppearanceSubcategoryName(record.le.appearance, buffer, size);
            if (named && (record.le.appearance >> 6) != 0) return buffer;
            buffer[0] = 0;
        }
        if ((record.le.transports & kTransportLe) && !(record.le.transports & kTransportClassic)) return buffer;
        if (column == kColMajorType) return GetString(MajorTypeStringId(record.info.ulClassofDevice));
        const unsigned id = MinorTypeStringId(record.info.ulClassofDevice);
        return id ? GetString(id) : L"";
    }
    case kColFirstSeen:
    case kColLastSeen:
        if (!FormatDeviceTime(column == kColFirstSeen ? record.firstSeen : record.lastSeen, buffer, size)) {
            return GetString(IDS_NOT_AVAILABLE);
        }
        return buffer;
    case kColCount: FormatText(buffer, size, L"%u", record.detectionCount); return buffer;
    case kColConnected: return GetString(YesNoStringId(record.info.fConnected));
    case kColRemembered: return GetString(YesNoStringId(record.info.fRemembered));
    case kColAuthenticated: return GetString(YesNoStringId(record.info.fAuthenticated));
    case kColCompany: return record.company;
    case kColProbe:
        return ProbeResultText(record.probeResult, GetString(IDS_PROBE_OK), GetString(IDS_PROBE_FAILED), buffer,
                               size < kColumnTextChars ? size : kColumnTextChars);
    case kColTransport: return GetString(TransportStringId(record.le.transports));
    case kColSignal:
        if (record.le.signal != kNoSignal) FormatText(buffer, size, L"%d", SignalDbm(record.le.signal));
        return buffer;
    case kColAddressType: return GetString(AddressTypeStringId(record.le.addressType));
    case kColMaker:
        if (record.le.known & kLeKnownMaker) {
            if (!BluetoothCompanyName(record.le.makerId, buffer, size)) {
                FormatText(buffer, size, L"0x%04X", static_cast<unsigned>(record.le.makerId));
            }
        }
        return buffer;
    default: return buffer;
    }
}

int CompareDeviceColumn(const DeviceRecord& a, int column, const DeviceRecord& b) {
    switch (column) {
    case kColFirstSeen: return CompareFileTime(&a.firstSeen, &b.firstSeen);
    case kColLastSeen: return CompareFileTime(&a.lastSeen, &b.lastSeen);
    case kColCount:
        return a.detectionCount < b.detectionCount ? -1 : a.detectionCount > b.detectionCount ? 1 : 0;
    case kColSignal:
        // By number, no reading below every reading.
        return a.le.signal < b.le.signal ? -1 : a.le.signal > b.le.signal ? 1 : 0;
    default: return 255;
    }
}

}  // namespace nw
