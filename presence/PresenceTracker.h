// Who is here: arrivals and departures from the answers of completed scans,
// with each device's present spans. No window or system call: the main
// window feeds it after every merge.
#pragma once
#include <cstdint>
#include <unordered_map>
#include <vector>
#include "discovery/DeviceTable.h"
#include "presence/SpanStore.h"

namespace nw {

enum class PresenceEventKind : uint8_t { Present, Arrived, Left };

struct PresenceEvent {
    PresenceEventKind kind;
    uint64_t address;
    uint64_t time;       // FILETIME ticks, UTC: the scan's completion
    uint64_t lastSeen;   // the device's last answer (Left: before it went)
    bool alert;          // the alerts were armed when the scan was merged
};

class PresenceTracker : public DepartedRows {
public:
    // One completed scan: the addresses that answered (repeats allowed) and
    // the time it completed; departAfterScans below 1 counts as 1. Appends its events: first answers in answer
    // order (Present in the first scan, Arrived later), then departures.
    void OnScan(const uint64_t* answered, int count, uint64_t now, int32_t departAfterScans, bool alertsArmed,
                std::vector<PresenceEvent>& events);
    // Forgets every device; the next scan is a first scan again.
    void Reset();

    bool IsDeparted(uint64_t address) const override;
    bool IsPresent(uint64_t address) const;
    int PresentCount() const { return present_; }
    int DeviceCount() const { return static_cast<int>(devices_.size()); }
    int ScanCount() const { return scans_; }
    uint64_t FirstScanTime() const { return firstScan_; }
    // The device's spans; null when it never answered since the start or reset.
    const SpanStore* Spans(uint64_t address) const;

private:
    struct Device {
        uint64_t address;
        int64_t lastScan;   // number of the last scan it answered in
        int32_t missed;     // completed scans in a row without it
        bool departed;
        uint64_t lastSeen;
        SpanStore spans;
    };
    const Device* Find(uint64_t address) const;

    std::vector<Device> devices_;
    std::unordered_map<uint64_t, int> index_;
    int64_t scans_ = 0;
    int present_ = 0;
    uint64_t firstScan_ = 0;
};

}  // namespace nw
