// The device list: the ReportListView whose records are DeviceRecords, with
// the merge of each scan answer, the device columns and the new-row colour.
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>
#include "annotations/CompanyIndex.h"
#include "discovery/DeviceRecord.h"
#include "discovery/LeSighting.h"
#include "listview/ReportListView.h"

namespace nw {

struct ScanAnswer;   // discovery/ScanWorker.h

constexpr int kDeviceGrowthStep = 64;
constexpr COLORREF kNewDeviceBackground = RGB(240, 255, 240);
constexpr COLORREF kDepartedDeviceText = RGB(150, 150, 150);

// Asked while a row is drawn: whether the device has left (grey text).
class DepartedRows {
public:
    virtual bool IsDeparted(uint64_t address) const = 0;

protected:
    ~DepartedRows() = default;
};

// The device columns, in column order: the thirteen classic ones, then the
// four of Low Energy.
extern const ColumnSpec kDeviceColumns[kDeviceColumnCount];

class DeviceTable : public ReportListView {
public:
    DeviceTable();
    ~DeviceTable() override;

    // Binds the table to its list control with the device columns.
    void Attach(HWND control);
    // Drops every record and row; clears alertsArmed, keeps lastIndex.
    void Reset();

    DeviceRecord* Device(int index) { return static_cast<DeviceRecord*>(RecordAt(index)); }
    // The record with this 48-bit address, removed ones included; null if none.
    DeviceRecord* FindDevice(uint64_t address);

    // ---- Record operations -------------------------------------------------
    const wchar_t* ColumnText(const ListRecord* record, int column, wchar_t* buffer) const override;
    int CompareColumn(const ListRecord* record, int column, const ListRecord* other) const override;
    // The address column by number: the same order as its texts, without formatting them.
    int CompareRecords(int column, const ListRecord* a, const ListRecord* b) const override;

    // ---- List operations ---------------------------------------------------
    void ClearRecords() override;
    const wchar_t* ProgressFormat() const override;
    bool RecordsMatch(const ListRecord* key, const ListRecord* record) const override;
    ListRecord* FindRecord(const ListRecord* key) override;
    // Merges scanResults into the table and ends the scan period (see
    // ScanPeriod).
    void ReloadRecords() override;

    // ---- Low Energy ----------------------------------------------------------
    // Merges a batch of advertisements (and scan responses) into the table:
    // one row per address, shared with the classic inquiry. True when a row
    // changed; the rows follow at the next Refresh.
    bool MergeLeSightings(const LeSighting* sightings, int count);
    // The records the latest MergeLeSightings marked new (for
    // NewDeviceActions::RunOnRecords).
    void LeNewRecords(std::vector<const DeviceRecord*>& out) const;
    // Scan periods run from one completed classic scan (ReloadRecords) to the
    // next; an LE device counts once per period, in detectionCount and as an
    // answer of that scan for presence.
    uint32_t ScanPeriod() const { return scanPeriod_; }
    // Addresses heard over LE (private ones left out) during the period the
    // latest ReloadRecords closed.
    const std::vector<uint64_t>& LeHeardInLastScan() const { return leHeardClosed_; }
    // Frees the rows of private addresses silent for more than minutes
    // (before nowUtc, FILETIME ticks); returns how many went.
    int ForgetPrivateDevices(uint64_t nowUtc, int minutes);
    // Shown rows with a private address, for the status bar.
    int PrivateRowCount() const;
    size_t RecordSize() const override { return sizeof(DeviceRecord); }
    bool IsColumnSearchable(int column) const override;
    bool IsRecordShown(const ListRecord* record, int index) const override;
    void CustomDrawCell(const ListRecord* record, NMLVCUSTOMDRAW* draw) override;
    void SetRemoved(ListRecord* record) override;

    int32_t lastIndex = 0;                     // last index handed out; kept by Reset
    const ScanAnswer* scanResults = nullptr;   // the scan worker's answer buffer (borrowed)
    int32_t alertsArmed = 0;                   // while 0 nothing is marked new
    CompanyIndex companies;
    const DepartedRows* departedRows = nullptr;   // borrowed; null: no row is grey

protected:
    void OnRecordStored(int index) override;

private:
    void MarkIfAlertable(DeviceRecord* record);
    bool MergeLeSighting(const LeSighting& sighting, AdvertisementData& data);
    bool AddFromSighting(const LeSighting& sighting, const AdvertisementData& data, LeAddressType type);
    bool UpdateFromSighting(DeviceRecord* record, const LeSighting& sighting, const AdvertisementData& data,
                            LeAddressType type);
    void HeardOverLe(DeviceRecord* record);
    void ClearNewMarks();
    void UpdateFromAnswer(DeviceRecord* record, const BLUETOOTH_DEVICE_INFO& answer);
    void AddFromAnswer(const BLUETOOTH_DEVICE_INFO& answer);
    bool IndexInsert(int index);
    bool IndexRebuild(int capacity);
    int IndexLookup(uint64_t address);

    // Records marked new by the latest merge, so the next merge clears only
    // those; when a push fails the next merge clears every record.
    IndexList newMarks_;
    bool clearAllMarks_ = false;
    // Open-addressing index from address to record: slot = record index + 1,
    // 0 = empty; the key is read from the record.
    int32_t* slots_ = nullptr;
    int slotCount_ = 0;     // power of two, or 0
    int slotUsed_ = 0;
    bool indexBroken_ = false;   // allocation failed: FindDevice searches the array

    uint32_t scanPeriod_ = 1;
    std::vector<uint64_t> leHeard_;         // this period's LE addresses, each once
    std::vector<uint64_t> leHeardClosed_;   // the previous period's
    IndexList leNewMarks_;                  // marked new by the latest LE merge
};

}  // namespace nw
