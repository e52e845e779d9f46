// One Bluetooth device ever seen: a plain fixed-size record that the device
// table stores and copies as bytes. Also the pure pieces of its column texts.
#pragma once
#include <windows.h>
#include <bluetoothapis.h>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include "discovery/AdvertisementData.h"
#include "discovery/LeSighting.h"
#include "listview/ReportListView.h"

namespace nw {

static_assert(sizeof(BLUETOOTH_DEVICE_INFO) == 560);

constexpr uint32_t kProbeNever = 0xFFFF;      // probeResult before any probe
constexpr size_t kDeviceNameMax = BLUETOOTH_MAX_NAME_SIZE - 1;   // characters kept of any name
constexpr size_t kColumnTextChars = 1024;     // least buffer a ColumnText caller passes

constexpr int kLeUuidsKept = 4;              // service UUIDs a record keeps
constexpr int kLeManufacturerKept = 24;      // manufacturer bytes a record keeps after the company id
constexpr int16_t kNoSignal = -32768;       // LeDetails::signal before any reading

enum Transport : uint8_t {
    kTransportClassic = 1,   // answered a classic inquiry
    kTransportLe = 2,        // heard over Low Energy
};

enum LeAddressType : uint8_t {
    kAddressPublic = 0,
    kAddressRandomStatic = 1,
    kAddressPrivate = 2,     // resolvable or non-resolvable: changes every few minutes
};

enum LeDetailBits : uint8_t {
    kLeKnownTxPower = 1,
    kLeKnownAppearance = 2,
    kLeKnownMaker = 4,
    kLeKnownConnectable = 8,
    kLeNameFromLe = 16,          // the name came from an advertisement
    kLeNameComplete = 32,        // ... and was the complete one
};

// What Low Energy advertisements told of a device; all zero for a device
// only a classic inquiry found.
struct LeDetails {
    FILETIME lastHeard;          // UTC of the latest advertisement; zero = never
    uint32_t heardPeriod;        // scan period of the latest advertisement (DeviceTable::ScanPeriod)
    int16_t signal;              // smoothed dBm x 16, or kNoSignal
    uint16_t appearance;
    uint16_t makerId;            // Bluetooth SIG company identifier
    uint8_t transports;          // Transport bits
    uint8_t addressType;         // LeAddressType
    uint8_t known;               // LeDetailBits
    uint8_t connectable;
    int8_t txPower;              // dBm
    uint8_t uuidCount;
    uint8_t manufacturerLength;
    uint8_t manufacturer[kLeManufacturerKept];
    LeUuid uuids[kLeUuidsKept];
};
static_assert(sizeof(LeDetails) == 120);

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
    LeDetails le;
};
static_assert(std::is_trivially_copyable_v<DeviceRecord>);
static_assert(sizeof(DeviceRecord) == 1496);

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
    kColTransport,
    kColSignal,
    kColAddressType,
    kColMaker,
    kDeviceColumnCount
};

constexpr int kClassicColumnCount = kColProbe + 1;   // the columns before Low Energy

inline uint64_t DeviceAddress(const DeviceRecord& record) { return record.info.Address.ullLong; }
inline bool IsPrivateDevice(const DeviceRecord& record) { return record.le.addressType == kAddressPrivate; }

// ---- Low Energy pieces (pure) ------------------------------------------------
// The type of an LE address: a public one stays public; a random one is
// static when its two top bits are 11, private otherwise. kLeAddressUnknown
// (Windows before 10 2004 does not say) counts as public unless the
// advertisement states its own address as random.
LeAddressType ClassifyLeAddress(uint64_t address, uint8_t addressKind, const AdvertisementData& data);
// Smoothed signal after one reading (dBm): the first reading as it is, then
// a quarter of each step, in 1/16 dBm.
int16_t SmoothSignal(int16_t smoothed, int rssi);
// The smoothed signal as whole dBm, rounded half away from zero.
int SignalDbm(int16_t smoothed);
// String IDs of the Transport and Address Type texts.
unsigned TransportStringId(uint8_t transports);
unsigned AddressTypeStringId(uint8_t addressType);
// The same as fixed names for other programs: "classic", "le" or
// "classic+le"; "public", "random_static" or "private".
const char* TransportName(uint8_t transports);
const char* AddressTypeName(uint8_t addressType);

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

// The properties window's Low Energy rows after the columns: transmit power,
// connectable, service UUIDs, appearance, manufacturer data (hex). Returns
// the label's string ID and writes the value (empty when not known).
constexpr int kLeDetailRows = 5;
unsigned LeDetailRow(const DeviceRecord& record, int row, wchar_t* buffer, size_t size);

// ---- Texts with the system's help -------------------------------------------
// Local date and time in the user's short date and time formats; false (buffer
// untouched) when the time is zero, cannot be converted or is not after 1985.
bool FormatDeviceTime(const FILETIME& utc, wchar_t* buffer, size_t size);
// The text of one column (buffer at least kColumnTextChars units); a field of
// the record, a string-table text, or buffer. Empty above the last column.
const wchar_t* DeviceColumnText(const DeviceRecord& record, int column, wchar_t* buffer, size_t size);
// -1/0/1 for the first/last detection, count and signal columns, 255 for the others.
int CompareDeviceColumn(const DeviceRecord& a, int column, const DeviceRecord& b);

}  // namespace nw
