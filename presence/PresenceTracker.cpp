#include "presence/PresenceTracker.h"

namespace nw {

// The classic inquiry misses a device that is there now and then, so a
// device leaves only after departAfterScans completed scans in a row
// without it; one answer afterwards is an arrival again. Runs on the window
// thread from the scan handler.
void PresenceTracker::OnScan(const uint64_t* answered, int count, uint64_t now, int32_t departAfterScans,
                             bool alertsArmed, std::vector<PresenceEvent>& events) {
    const int32_t limit = departAfterScans < 1 ? 1 : departAfterScans;
    const bool first = scans_ == 0;
    const int64_t scan = ++scans_;
    if (first) firstScan_ = now;
    for (int i = 0; i < count; ++i) {
        const uint64_t address = answered[i];
        auto found = index_.find(address);
        if (found == index_.end()) {
            devices_.push_back(Device{address, scan, 0, false, now, {}});
            index_.emplace(address, static_cast<int>(devices_.size() - 1));
            devices_.back().spans.Begin(now);
            ++present_;
            events.push_back({first ? PresenceEventKind::Present : PresenceEventKind::Arrived, address, now, now,
                              false});
            continue;
        }
        Device& d = devices_[static_cast<size_t>(found->second)];
        if (d.lastScan == scan) continue;   // answered twice in one scan
        d.lastScan = scan;
        d.missed = 0;
        d.lastSeen = now;
        if (d.departed) {
            d.departed = false;
            ++present_;
            d.spans.Begin(now);
            events.push_back({PresenceEventKind::Arrived, address, now, now, false});
        } else {
            d.spans.Extend(now);
        }
    }
    for (Device& d : devices_) {
        if (d.lastScan == scan || d.departed) continue;
        if (++d.missed < limit) continue;
        d.departed = true;
        --present_;
        events.push_back({PresenceEventKind::Left, d.address, now, d.lastSeen, alertsArmed});
    }
}

void PresenceTracker::Reset() {
    devices_.clear();
    index_.clear();
    scans_ = 0;
    present_ = 0;
    firstScan_ = 0;
}

const PresenceTracker::Device* PresenceTracker::Find(uint64_t address) const {
    auto found = index_.find(address);
    return found == index_.end() ? nullptr : &devices_[static_cast<size_t>(found->second)];
}

bool PresenceTracker::IsDeparted(uint64_t address) const {
    const Device* d = Find(address);
    return d && d->departed;
}

bool PresenceTracker::IsPresent(uint64_t address) const {
    const Device* d = Find(address);
    return d && !d->departed;
}

const SpanStore* PresenceTracker::Spans(uint64_t address) const {
    const Device* d = Find(address);
    return d ? &d->spans : nullptr;
}

}  // namespace nw
