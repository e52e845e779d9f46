// The device list: the ReportListView whose records are DeviceRecords, with
// the merge of each scan answer, the device columns and the new-row colour.
#pragma once
#include <windows.h>
#include <cstdint>
#include "annotations/CompanyIndex.h"
#include "discovery/DeviceRecord.h"
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

// The thirteen device columns, in column order.
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
    // Merges scanResults into the table.
    void ReloadRecords() override;
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
};

}  // namespace nw
