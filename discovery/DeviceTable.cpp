#include "discovery/DeviceTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "annotations/Descriptions.h"
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
    if (!scanResults) return;
    const int count = std::clamp(static_cast<int>(scanResults->count), 0, kScanSlots);
    for (int i = 0; i < count; ++i) {
        const BLUETOOTH_DEVICE_INFO& answer = scanResults->results[i];
        if (DeviceRecord* record = FindDevice(answer.Address.ullLong)) {
            UpdateFromAnswer(record, answer);
        } else {
            AddFromAnswer(answer);
        }
    }
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
    ++record->detectionCount;
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
        int capacity = std::max(slotCount_ * 2, 128);
        while (capacity < (RecordCount() + 1) * 2) capacity *= 2;
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
