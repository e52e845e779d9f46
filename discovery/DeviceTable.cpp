#include "discovery/DeviceTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "annotations/Descriptions.h"
#include "discovery/AdvertisementData.h"
#include "base/BluetoothAddress.h"
#include "discovery/ScanWorker.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "resource.h"
#include "settings/Settings.h"

namespace nw {

const ColumnSpec kDeviceColumns[kDeviceColumnCount] = {
    {IDS_COL_NAME, 130, 20, 1},
    {IDS_COL_DESCRIPTION, 130, 20, 1},
    {IDS_COL_ADDRESS, 130, 20, 1},
    {IDS_COL_MAJOR, 100, 20, 1},
    {IDS_COL_MINOR, 100, 20, 1},
    {IDS_COL_FIRST_SEEN, 120, 20, 1},
    {IDS_COL_LAST_SEEN, 120, 20, 1},
    {IDS_COL_COUNT, 100, 20, 1},
    {IDS_COL_CONNECTED, 80, 20, 1},
    {IDS_COL_REMEMBERED, 80, 20, 1},
    {IDS_COL_AUTHENTICATED, 80, 20, 1},
    {IDS_COL_COMPANY, 180, 50, 1},
    {IDS_COL_PROBE, 150, 50, 1},
    {IDS_COL_TRANSPORT, 90, 14, 1},
    {IDS_COL_SIGNAL, 80, 14, 1},
    {IDS_COL_ADDRESS_TYPE, 100, 15, 1},
    {IDS_COL_MAKER, 160, 50, 1},
};

namespace {

constexpr uint64_t kAddressMask = 0xFFFFFFFFFFFFull;   // the six bytes the text shows

const DeviceRecord* AsDevice(const ListRecord* record) { return static_cast<const DeviceRecord*>(record); }

uint32_t HashAddress(uint64_t address) {
    address ^= address >> 33;
    address *= 0xFF51AFD7ED558CCDull;
    address ^= address >> 33;
    return static_cast<uint32_t>(address);
}

}  // namespace

DeviceTable::DeviceTable() = default;

DeviceTable::~DeviceTable() { DeviceTable::ClearRecords(); }

void DeviceTable::Attach(HWND control) {
    ReportListView::Attach(control, kDeviceColumns, kDeviceColumnCount);
    reuseFreeSlots_ = 1;
    growthStep_ = kDeviceGrowthStep;
    titleId_ = IDS_LIST_TITLE;
    firstLaterColumn_ = kClassicColumnCount;
    alertsArmed = 0;
}

// The rows go first: deleting them notifies the parent, which may still ask
// for their records.
void DeviceTable::Reset() {
    DeleteAllRows();
    ClearRecords();
    alertsArmed = 0;
}

void DeviceTable::ClearRecords() {
    ReportListView::ClearRecords();
    std::free(slots_);
    slots_ = nullptr;
    slotCount_ = slotUsed_ = 0;
    indexBroken_ = false;
    newMarks_.Clear();
    clearAllMarks_ = false;
    leNewMarks_.Clear();
    leHeard_.clear();
    leHeardClosed_.clear();
}

// ============================================================================
// Record operations
// ============================================================================

const wchar_t* DeviceTable::ColumnText(const ListRecord* record, int column, wchar_t* buffer) const {
    return DeviceColumnText(*AsDevice(record), column, buffer, kColumnTextChars);
}

int DeviceTable::CompareColumn(const ListRecord* record, int column, const ListRecord* other) const {
    return CompareDeviceColumn(*AsDevice(record), column, *AsDevice(other));
}

// The address text is twelve lower-case hex digits at fixed places, so the
// case-insensitive text order a sort would use is the numeric order of the
// 48 bits it shows. Comparing the numbers gives the same rows in the same
// order without formatting two texts per comparison.
int DeviceTable::CompareRecords(int column, const ListRecord* a, const ListRecord* b) const {
    if (column != kColAddress) return CompareColumn(a, column, b);
    const uint64_t x = AsDevice(a)->info.Address.ullLong & kAddressMask;
    const uint64_t y = AsDevice(b)->info.Address.ullLong & kAddressMask;
    return x < y ? -1 : x > y ? 1 : 0;
}

const wchar_t* DeviceTable::ProgressFormat() const { return GetString(IDS_LOADING); }

bool DeviceTable::RecordsMatch(const ListRecord* key, const ListRecord* record) const {
    return std::memcmp(&AsDevice(key)->info.Address, &AsDevice(record)->info.Address, 8) == 0;
}

ListRecord* DeviceTable::FindRecord(const ListRecord* key) {
    return key ? FindDevice(AsDevice(key)->info.Address.ullLong) : nullptr;
}

bool DeviceTable::IsColumnSearchable(int) const { return true; }

bool DeviceTable::IsRecordShown(const ListRecord* record, int) const { return AsDevice(record)->removed != 1; }

// The new-device highlight wins over the grey of a device that has left.
void DeviceTable::CustomDrawCell(const ListRecord* record, NMLVCUSTOMDRAW* draw) {
    const Settings* settings = AppSettings();
    if (AsDevice(record)->isNew && settings && settings->MarkNewDevices) {
        draw->clrText = RGB(0, 0, 0);
        draw->clrTextBk = kNewDeviceBackground;
    } else if (departedRows && departedRows->IsDeparted(DeviceAddress(*AsDevice(record)))) {
        draw->clrText = kDepartedDeviceText;
    }
}

void DeviceTable::SetRemoved(ListRecord* record) {
    if (!record) return;
    static_cast<DeviceRecord*>(record)->removed = 1;
    MarkRecordChanged(record);
}

// ============================================================================
// Merge
// ============================================================================

// Every answer of the latest scan updates the record with its address or
// creates one. Records the scan did not report are left as they are.
void DeviceTable::ReloadRecords() {
    ClearNewMarks();
    const int count = scanResults ? std::clamp(static_cast<int>(scanResults->count), 0, kScanSlots) : 0;
    for (int i = 0; i < count; ++i) {
        const BLUETOOTH_DEVICE_INFO& answer = scanResults->results[i];
        if (DeviceRecord* record = FindDevice(answer.Address.ullLong)) {
            UpdateFromAnswer(record, answer);
        } else {
            AddFromAnswer(answer);
        }
    }
    // The scan closes its period: what LE heard since the previous scan
    // counts as answers of this one, but for an address that has since
    // turned out private.
    leHeardClosed_.swap(leHeard_);
    leHeard_.clear();
    leHeardClosed_.erase(std::remove_if(leHeardClosed_.begin(), leHeardClosed_.end(),
                                        [this](uint64_t address) {
                                            const DeviceRecord* record = FindDevice(address);
                                            return !record || IsPrivateDevice(*record);
                                        }),
                         leHeardClosed_.end());
    ++scanPeriod_;
}

// Only the records the previous merge marked can carry a mark; their rows
// are redrawn, since the highlight goes while the texts may stay.
void DeviceTable::ClearNewMarks() {
    if (clearAllMarks_) {
        for (int i = 0; i < RecordCount(); ++i) {
            DeviceRecord* record = Device(i);
            if (!record->isNew) continue;
            record->isNew = 0;
            MarkRecordChanged(record, true);
        }
        clearAllMarks_ = false;
    } else {
        for (int k = 0; k < newMarks_.Count(); ++k) {
            const int index = newMarks_[k];
            if (index < 0 || index >= RecordCount()) continue;
            DeviceRecord* record = Device(index);
            record->isNew = 0;
            MarkRecordChanged(record, true);
        }
    }
    newMarks_.Clear();
}

void DeviceTable::MarkIfAlertable(DeviceRecord* record) {
    const Settings* settings = AppSettings();
    if (settings && settings->DevicesAlertOnlyWithDesc && record->description[0] == 0) return;
    if (record->isNew) return;
    record->isNew = 1;
    const int index = RecordIndex(record);
    if (index < 0) return;   // a candidate: its row will be new and painted whole
    if (!newMarks_.Push(index)) clearAllMarks_ = true;
    // A row that stays gets the highlight in every cell, not only in the
    // cells whose texts change.
    MarkRecordChanged(record, true);
}

void DeviceTable::UpdateFromAnswer(DeviceRecord* record, const BLUETOOTH_DEVICE_INFO& answer) {
    const Settings* settings = AppSettings();
    // A later answer often comes without the name the device gave before.
    // It keeps as much as a first answer does: a 247-character name must not
    // lose its last character on the second scan.
    if (answer.szName[0]) CopyText(record->info.szName, kDeviceNameMax + 1, answer.szName);
    if (settings && settings->AutoSetDeviceDescription && record->description[0] == 0 && record->info.szName[0]) {
        CopyText(record->description, kDescriptionMax + 1, record->info.szName);
        // The row shows what the file holds.
        FlattenDescription(record->description);
        WriteDescription(record->info.Address.ullLong, record->description);
    }
    // The flags are the device's state now, so zeros are copied too.
    record->info.fAuthenticated = answer.fAuthenticated;
    record->info.fConnected = answer.fConnected;
    record->info.fRemembered = answer.fRemembered;
    record->info.ulClassofDevice = answer.ulClassofDevice;
    // A device LE has already counted in this scan period is not counted twice.
    if (record->le.heardPeriod != scanPeriod_) ++record->detectionCount;
    record->le.transports |= kTransportClassic;
    if (record->le.addressType != kAddressPublic) {
        // An inquiry answers only at a public address.
        record->le.addressType = kAddressPublic;
        uint8_t block[3];
        CompanyBlock(record->info.Address.ullLong, block);
        if (!companies.FindCompanyName(block, record->company, 255)) record->company[0] = 0;
    }
    GetSystemTimeAsFileTime(&record->lastSeen);
    if (record->removed == 1) {
        if (alertsArmed) MarkIfAlertable(record);
        record->removed = 0;
    }
    MarkRecordChanged(record);
}

void DeviceTable::AddFromAnswer(const BLUETOOTH_DEVICE_INFO& answer) {
    DeviceRecord candidate;
    std::memset(&candidate, 0, sizeof candidate);
    candidate.probeResult = kProbeNever;
    candidate.info = answer;
    // The name is shown straight from the record: it must end inside it,
    // whatever the platform put there.
    candidate.info.szName[BLUETOOTH_MAX_NAME_SIZE - 1] = 0;
    candidate.detectionCount = 1;
    candidate.le.signal = kNoSignal;
    candidate.le.transports = kTransportClassic;
    GetSystemTimeAsFileTime(&candidate.firstSeen);
    candidate.lastSeen = candidate.firstSeen;
    const uint64_t address = answer.Address.ullLong;
    ReadDescription(address, candidate.description, kDescriptionMax + 1);
    candidate.description[kDescriptionMax] = 0;
    if (alertsArmed) MarkIfAlertable(&candidate);
    uint8_t block[3];
    CompanyBlock(address, block);
    if (!companies.FindCompanyName(block, candidate.company, 255)) candidate.company[0] = 0;
    ++lastIndex;
    candidate.index = lastIndex;
    // A record the array has no room for is dropped; the next scan that
    // reports the device tries again.
    auto* stored = static_cast<DeviceRecord*>(AddRecord(&candidate));
    if (stored && stored->isNew) {
        if (!newMarks_.Push(RecordIndex(stored))) clearAllMarks_ = true;
    }
}

// ============================================================================
// Low Energy merge
// ============================================================================

namespace {

FILETIME TicksToFileTime(uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

uint64_t FileTimeTicks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The reception time, or now when the platform gave none.
uint64_t SightingTicks(const LeSighting& sighting) {
    if (sighting.timestamp > 0) return static_cast<uint64_t>(sighting.timestamp);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeTicks(now);
}

// Union of the service UUIDs, each once, as many as the record keeps.
void KeepUuids(LeDetails& le, const AdvertisementData& data) {
    for (int k = 0; k < data.uuidCount && k < kAdUuidMax; ++k) {
        const LeUuid& uuid = data.uuids[k];
        bool known = false;
        for (int j = 0; j < le.uuidCount && !known; ++j) {
            known = le.uuids[j].width == uuid.width && std::memcmp(le.uuids[j].bytes, uuid.bytes, uuid.width) == 0;
        }
        if (!known && le.uuidCount < kLeUuidsKept) le.uuids[le.uuidCount++] = uuid;
    }
}

// The fields an advertisement brings, whichever of the advertisement and its
// scan response carries them; a field neither carries keeps its value. True
// when the name changed.
bool TakeAdvertisement(DeviceRecord& record, const LeSighting& sighting, const AdvertisementData& data) {
    LeDetails& le = record.le;
    le.transports |= kTransportLe;
    if (sighting.flags & kLeHasRssi) le.signal = SmoothSignal(le.signal, sighting.rssi);
    if (sighting.flags & kLeHasTxPower) {
        le.txPower = sighting.txPower;
        le.known |= kLeKnownTxPower;
    } else if (data.present & kAdHasTxPower) {
        le.txPower = data.txPower;
        le.known |= kLeKnownTxPower;
    }
    // A scan response says nothing of whether the device takes connections.
    if (!(sighting.flags & kLeScanResponse)) {
        le.connectable = (sighting.flags & kLeConnectable) ? 1 : 0;
        le.known |= kLeKnownConnectable;
    }
    if (data.present & kAdHasAppearance) {
        le.appearance = data.appearance;
        le.known |= kLeKnownAppearance;
    }
    if (data.present & kAdHasManufacturer) {
        le.makerId = data.companyId;
        le.manufacturerLength = data.manufacturerLength < kLeManufacturerKept ? data.manufacturerLength
                                                                              : kLeManufacturerKept;
        std::memcpy(le.manufacturer, data.manufacturer, le.manufacturerLength);
        le.known |= kLeKnownMaker;
    }
    KeepUuids(le, data);
    // The name a classic inquiry gave stays; an advertised one fills an empty
    // name, and the complete name replaces a shortened one.
    bool nameChanged = false;
    if ((data.present & kAdHasName) && data.name[0]) {
        const bool complete = (data.present & kAdNameComplete) != 0;
        const bool fromLe = (le.known & kLeNameFromLe) != 0;
        const bool take = record.info.szName[0] == 0 || (fromLe && (complete || !(le.known & kLeNameComplete)));
        if (take && std::wcsncmp(record.info.szName, data.name, kDeviceNameMax) != 0) {
            CopyText(record.info.szName, kDeviceNameMax + 1, data.name);
            nameChanged = true;
        }
        if (take) {
            le.known = static_cast<uint8_t>((le.known & ~kLeNameComplete) | kLeNameFromLe |
                                            (complete ? kLeNameComplete : 0));
        }
    }
    const uint64_t ticks = SightingTicks(sighting);
    // A batch may hold an older packet after a newer one.
    if (ticks > FileTimeTicks(le.lastHeard)) le.lastHeard = TicksToFileTime(ticks);
    if (ticks > FileTimeTicks(record.lastSeen)) record.lastSeen = TicksToFileTime(ticks);
    return nameChanged;
}

// What a row shows of a record, to tell whether an advertisement changed it.
struct ShownState {
    uint64_t lastSecond;
    uint32_t count;
    int signal;
    uint16_t appearance;
    uint16_t makerId;
    uint8_t transports;
    uint8_t addressType;
    uint8_t known;
    int32_t isNew;
    int32_t removed;
};

ShownState StateOf(const DeviceRecord& record) {
    return {FileTimeTicks(record.lastSeen) / 10000000u,
            record.detectionCount,
            record.le.signal == kNoSignal ? 1000 : SignalDbm(record.le.signal),
            record.le.appearance,
            record.le.makerId,
            record.le.transports,
            record.le.addressType,
            record.le.known,
            record.isNew,
            record.removed};
}

bool SameState(const ShownState& a, const ShownState& b) {
    return a.lastSecond == b.lastSecond && a.count == b.count && a.signal == b.signal &&
           a.appearance == b.appearance && a.makerId == b.makerId && a.transports == b.transports &&
           a.addressType == b.addressType && a.known == b.known && a.isNew == b.isNew && a.removed == b.removed;
}

}  // namespace

// Each advertisement costs one parse of at most 255 bytes and one index
// lookup; a row is marked for the refresh only when one of its texts can
// have changed (the last detection moves by whole seconds).
bool DeviceTable::MergeLeSightings(const LeSighting* sightings, int count) {
    leNewMarks_.Clear();
    if (!sightings || count <= 0) return false;
    bool changed = false;
    AdvertisementData data;
    for (int i = 0; i < count; ++i) {
        if (MergeLeSighting(sightings[i], data)) changed = true;
    }
    return changed;
}

bool DeviceTable::MergeLeSighting(const LeSighting& sighting, AdvertisementData& data) {
    const size_t length = sighting.rawLength < kLeRawDataMax ? sighting.rawLength : kLeRawDataMax;
    ParseAdvertisement(sighting.raw, length, data);
    const uint64_t address = sighting.address & kAddressMask;
    const LeAddressType type = ClassifyLeAddress(address, sighting.addressKind, data);
    DeviceRecord* record = FindDevice(address);
    if (!record) return AddFromSighting(sighting, data, type);
    return UpdateFromSighting(record, sighting, data, type);
}

bool DeviceTable::UpdateFromSighting(DeviceRecord* record, const LeSighting& sighting, const AdvertisementData& data,
                                     LeAddressType type) {
    const ShownState before = StateOf(*record);
    const bool nameChanged = TakeAdvertisement(*record, sighting, data);
    // A device an inquiry found has a public address whatever LE says.
    if (!(record->le.transports & kTransportClassic) && type != record->le.addressType) {
        record->le.addressType = static_cast<uint8_t>(type);
        // A private address never alerts, even one first heard as another type.
        if (type == kAddressPrivate && record->isNew) {
            record->isNew = 0;
            MarkRecordChanged(record, true);
        }
        if (type != kAddressPublic) {
            record->company[0] = 0;   // a random address has no company block
        } else {
            uint8_t block[3];
            CompanyBlock(DeviceAddress(*record), block);
            if (!companies.FindCompanyName(block, record->company, 255)) record->company[0] = 0;
        }
    }
    const bool isPrivate = IsPrivateDevice(*record);
    const Settings* settings = AppSettings();
    if (!isPrivate && settings && settings->AutoSetDeviceDescription && record->description[0] == 0 &&
        record->info.szName[0]) {
        CopyText(record->description, kDescriptionMax + 1, record->info.szName);
        FlattenDescription(record->description);
        WriteDescription(DeviceAddress(*record), record->description);
        MarkRecordChanged(record);
    }
    HeardOverLe(record);
    if (record->removed == 1) {
        if (alertsArmed && !isPrivate && !record->isNew) {
            MarkIfAlertable(record);
            if (record->isNew && !leNewMarks_.Push(RecordIndex(record))) clearAllMarks_ = true;
        }
        record->removed = 0;
    }
    if (SameState(before, StateOf(*record)) && !nameChanged) return false;
    MarkRecordChanged(record);
    return true;
}

bool DeviceTable::AddFromSighting(const LeSighting& sighting, const AdvertisementData& data, LeAddressType type) {
    DeviceRecord candidate;
    std::memset(&candidate, 0, sizeof candidate);
    candidate.probeResult = kProbeNever;
    candidate.info.dwSize = sizeof candidate.info;
    const uint64_t address = sighting.address & kAddressMask;
    candidate.info.Address.ullLong = address;
    candidate.le.signal = kNoSignal;
    candidate.le.addressType = static_cast<uint8_t>(type);
    TakeAdvertisement(candidate, sighting, data);
    candidate.firstSeen = candidate.lastSeen;
    candidate.detectionCount = 1;
    candidate.le.heardPeriod = scanPeriod_;
    const bool isPrivate = type == kAddressPrivate;
    // A private address is gone in minutes: neither a description nor an
    // alert is worth its while, and reading the file for each would cost.
    if (!isPrivate) {
        ReadDescription(address, candidate.description, kDescriptionMax + 1);
        candidate.description[kDescriptionMax] = 0;
        if (alertsArmed) MarkIfAlertable(&candidate);
    }
    if (type == kAddressPublic) {
        uint8_t block[3];
        CompanyBlock(address, block);
        if (!companies.FindCompanyName(block, candidate.company, 255)) candidate.company[0] = 0;
    }
    ++lastIndex;
    candidate.index = lastIndex;
    auto* stored = static_cast<DeviceRecord*>(AddRecord(&candidate));
    if (!stored) return false;
    if (!isPrivate) {
        leHeard_.push_back(address);
    }
    if (stored->isNew) {
        const int index = RecordIndex(stored);
        if (!newMarks_.Push(index)) clearAllMarks_ = true;
        if (!leNewMarks_.Push(index)) clearAllMarks_ = true;
    }
    return true;
}

// Once per scan period: the count, and an answer of the scan for presence.
void DeviceTable::HeardOverLe(DeviceRecord* record) {
    if (record->le.heardPeriod == scanPeriod_) return;
    record->le.heardPeriod = scanPeriod_;
    ++record->detectionCount;
    if (IsPrivateDevice(*record)) return;
    leHeard_.push_back(DeviceAddress(*record));
}

void DeviceTable::LeNewRecords(std::vector<const DeviceRecord*>& out) const {
    out.clear();
    for (int k = 0; k < leNewMarks_.Count(); ++k) {
        const int index = leNewMarks_[k];
        if (index < 0 || index >= RecordCount()) continue;
        const DeviceRecord* record = static_cast<const DeviceRecord*>(RecordAt(index));
        if (!(record->flags & kRecordFree) && record->isNew && !IsPrivateDevice(*record)) out.push_back(record);
    }
}

int DeviceTable::ForgetPrivateDevices(uint64_t nowUtc, int minutes) {
    const uint64_t span = static_cast<uint64_t>(minutes < 1 ? 1 : minutes) * 60u * 10000000u;
    int forgotten = 0;
    for (int i = 0; i < RecordCount(); ++i) {
        DeviceRecord* record = Device(i);
        if ((record->flags & kRecordFree) || !IsPrivateDevice(*record)) continue;
        const uint64_t heard = FileTimeTicks(record->le.lastHeard);
        if (heard > nowUtc || nowUtc - heard <= span) continue;
        FreeRecord(i);
        ++forgotten;
    }
    return forgotten;
}

int DeviceTable::PrivateRowCount() const {
    int count = 0;
    for (int i = 0; i < RecordCount(); ++i) {
        const auto* record = static_cast<const DeviceRecord*>(RecordAt(i));
        if (!(record->flags & kRecordFree) && record->removed != 1 && IsPrivateDevice(*record)) ++count;
    }
    return count;
}

// ============================================================================
// Address index
// ============================================================================

DeviceRecord* DeviceTable::FindDevice(uint64_t address) {
    if (indexBroken_) {
        for (int i = 0; i < RecordCount(); ++i) {
            DeviceRecord* record = Device(i);
            if (!(record->flags & kRecordFree) && record->info.Address.ullLong == address) return record;
        }
        return nullptr;
    }
    const int index = IndexLookup(address);
    return index >= 0 ? Device(index) : nullptr;
}

// The lowest matching record index, as a search in array order would find.
int DeviceTable::IndexLookup(uint64_t address) {
    if (slotCount_ == 0) return -1;
    const uint32_t mask = static_cast<uint32_t>(slotCount_ - 1);
    int best = -1;
    for (uint32_t s = HashAddress(address) & mask;; s = (s + 1) & mask) {
        const int32_t value = slots_[s];
        if (value == 0) break;
        const int index = value - 1;
        if (index >= RecordCount() || (best >= 0 && index >= best)) continue;
        const DeviceRecord* record = Device(index);
        if (!(record->flags & kRecordFree) && record->info.Address.ullLong == address) best = index;
    }
    return best;
}

bool DeviceTable::IndexInsert(int index) {
    const uint32_t mask = static_cast<uint32_t>(slotCount_ - 1);
    uint32_t s = HashAddress(Device(index)->info.Address.ullLong) & mask;
    while (slots_[s] != 0) {
        if (slots_[s] == index + 1) return true;
        s = (s + 1) & mask;
    }
    slots_[s] = index + 1;
    ++slotUsed_;
    return true;
}

bool DeviceTable::IndexRebuild(int capacity) {
    auto* slots = static_cast<int32_t*>(std::calloc(static_cast<size_t>(capacity), sizeof(int32_t)));
    if (!slots) return false;
    std::free(slots_);
    slots_ = slots;
    slotCount_ = capacity;
    slotUsed_ = 0;
    for (int i = 0; i < RecordCount(); ++i) {
        if (!(Device(i)->flags & kRecordFree)) IndexInsert(i);
    }
    return true;
}

// Kept at most half full, so a probe ends soon at an empty slot.
void DeviceTable::OnRecordStored(int index) {
    if (indexBroken_) return;
    if ((slotUsed_ + 1) * 2 > slotCount_) {
        // Sized by the records, not by the slots used: a freed record leaves
        // its slot behind, and private addresses come and go by thousands a
        // day; the rebuild drops those slots.
        int capacity = 128;
        while (capacity < (RecordCount() + 1) * 4) capacity *= 2;
        if (!IndexRebuild(capacity)) {
            std::free(slots_);
            slots_ = nullptr;
            slotCount_ = slotUsed_ = 0;
            indexBroken_ = true;
        }
        return;
    }
    IndexInsert(index);
}

}  // namespace nw
