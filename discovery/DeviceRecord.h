// One Bluetooth device ever seen: a plain fixed-size record that the device
// table stores and copies as bytes. Also the pure pieces of its column texts.
#pragma once
#include <windows.h>
#include <bluetoothapis.h>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include "listview/ReportListView.h"

namespace nw {

static_assert(sizeof(BLUETOOTH_DEVICE_INFO) == 560);

constexpr uint32_t kProbeNever = 0xFFFF;      // probeResult before any probe
constexpr size_t kDeviceNameMax = BLUETOOTH_MAX_NAME_SIZE - 1;   // characters kept of any name
constexpr size_t kColumnTextChars = 1024;     // least buffer a ColumnText caller passes

struct DeviceRecord : ListRecord {
    BLUETOOTH_DEVICE_INFO info;   // as the platform returned it at creation
    FILETIME firstSeen;           // UTC
    FILETIME lastSeen;            // UTC
    uint32_t detectionCount;
    int32_t isNew;                // marked new by the latest merge
    wchar_t description[128];     // at most 126 characters
    wchar_t company[256];
    int32_t index;                // running number, 1 for the first ever
    uint32_t probeResult;         // kProbeNever, 0 = connected, else the error
    int32_t removed;              // hidden by the user until seen again
};
static_assert(std::is_trivially_copyable_v<DeviceRecord>);
static_assert(sizeof(DeviceRecord) == 1376);

enum DeviceColumn : int {
    kColName = 0,
    kColDescription,
    kColAddress,
    kColMajorType,
    kColMinorType,
    kColFirstSeen,
    kColLastSeen,
    kColCount,
    kColConnected,
    kColRemembered,
    kColAuthenticated,
    kColCompany,
    kColProbe,
    kDeviceColumnCount
};

inline uint64_t DeviceAddress(const DeviceRecord& record) { return record.info.Address.ullLong; }

// ---- Pure column pieces ----------------------------------------------------
// Class of device: major = bits 8-12, minor = bits 2-7.
inline unsigned MajorClass(uint32_t classOfDevice) { return (classOfDevice >> 8) & 0x1F; }
inline unsigned MinorClass(uint32_t classOfDevice) { return (classOfDevice >> 2) & 0x3F; }
// String ID of the major / minor type text; 0 when there is no text.
unsigned MajorTypeStringId(uint32_t classOfDevice);
unsigned MinorTypeStringId(uint32_t classOfDevice);
// IDS_YES or IDS_NO.
unsigned YesNoStringId(int32_t flag);
// Probe result: "" for kProbeNever, IDS_PROBE_OK's text for 0, else
// IDS_PROBE_FAILED filled with the value as a signed number. Returns the text
// (okText, or buffer).
const wchar_t* ProbeResultText(uint32_t result, const wchar_t* okText, const wchar_t* failedFormat,
                               wchar_t* buffer, size_t size);
// Whether a calendar year is shown (after 1985).
inline bool IsShownYear(unsigned year) { return year > 1985; }

// ---- Texts with the system's help -------------------------------------------
// Local date and time in the user's short date and time formats; false (buffer
// untouched) when the time is zero, cannot be converted or is not after 1985.
bool FormatDeviceTime(const FILETIME& utc, wchar_t* buffer, size_t size);
// The text of one column (buffer at least kColumnTextChars units); a field of
// the record, a string-table text, or buffer. Empty above the last column.
const wchar_t* DeviceColumnText(const DeviceRecord& record, int column, wchar_t* buffer, size_t size);
// -1/0/1 for the first/last detection and count columns, 255 for the others.
int CompareDeviceColumn(const DeviceRecord& a, int column, const DeviceRecord& b);

}  // namespace nw
