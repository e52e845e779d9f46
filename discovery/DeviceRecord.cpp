#include "discovery/DeviceRecord.h"

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
    case kColMajorType: return GetString(MajorTypeStringId(record.info.ulClassofDevice));
    case kColMinorType: {
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
    default: return buffer;
    }
}

int CompareDeviceColumn(const DeviceRecord& a, int column, const DeviceRecord& b) {
    switch (column) {
    case kColFirstSeen: return CompareFileTime(&a.firstSeen, &b.firstSeen);
    case kColLastSeen: return CompareFileTime(&a.lastSeen, &b.lastSeen);
    case kColCount:
        return a.detectionCount < b.detectionCount ? -1 : a.detectionCount > b.detectionCount ? 1 : 0;
    default: return 255;
    }
}

}  // namespace nw
