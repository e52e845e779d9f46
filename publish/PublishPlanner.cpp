#include "publish/PublishPlanner.h"

namespace nw {

uint64_t TextHash(const wchar_t* text, uint64_t seed) {
    uint64_t hash = seed;
    if (!text) return hash;
    for (const wchar_t* p = text; *p; ++p) {
        hash ^= static_cast<uint16_t>(*p);
        hash *= 0x100000001b3ull;
    }
    // The end of the text counts, so "ab" + "c" differs from "a" + "bc".
    hash ^= 0xFFFF;
    return hash * 0x100000001b3ull;
}

void PublishPlanner::RepublishAll() {
    ++generation_;
    ++discoveryGeneration_;
    presentCount_ = -1;
    sensorDue_ = true;
}

void PublishPlanner::RediscoverAll() {
    ++discoveryGeneration_;
    sensorDue_ = true;
}

void PublishPlanner::Plan(const DeviceView* devices, size_t count, uint64_t now, std::vector<PlanStep>& out) {
    for (size_t i = 0; i < count; ++i) {
        const DeviceView& d = devices[i];
        PlanStep step = {d.address, false, false, DiscoveryStep::Keep};
        bool textChanged = false;
        auto found = memory_.find(d.address);
        if (found == memory_.end()) {
            Memory fresh = {d.textHash, d.lastSeen, now, d.count, generation_, 0, d.present, false};
            found = memory_.emplace(d.address, fresh).first;
            step.record = step.presence = true;
        } else {
            Memory& m = found->second;
            const bool whole = m.generation != generation_;
            step.presence = whole || m.present != d.present;
            textChanged = m.textHash != d.textHash;
            step.record = step.presence || textChanged ||
                          ((m.lastSeen != d.lastSeen || m.count != d.count) && now - m.recordTime >= kRecordIntervalTicks);
        }
        Memory& m = found->second;
        if (step.record) {
            m.textHash = d.textHash;
            m.lastSeen = d.lastSeen;
            m.count = d.count;
            m.recordTime = now;
            m.generation = generation_;
        }
        m.present = d.present;
        if (d.inDiscovery && (!m.discovered || m.discoveryGeneration != discoveryGeneration_ || textChanged)) {
            // Sent again when the texts change: its title follows the
            // description and name.
            step.discovery = DiscoveryStep::Send;
            m.discovered = true;
            m.discoveryGeneration = discoveryGeneration_;
        } else if (!d.inDiscovery && m.discovered) {
            step.discovery = DiscoveryStep::Clear;
            m.discovered = false;
        }
        if (step.record || step.presence || step.discovery != DiscoveryStep::Keep) out.push_back(step);
    }
}

bool PublishPlanner::PresentCountDue(int n) {
    if (n == presentCount_) return false;
    presentCount_ = n;
    return true;
}

bool PublishPlanner::SensorDue() {
    const bool due = sensorDue_;
    sensorDue_ = false;
    return due;
}

bool PublishPlanner::Forget(uint64_t address, bool& discovered) {
    discovered = false;
    auto found = memory_.find(address);
    if (found == memory_.end()) return false;
    discovered = found->second.discovered;
    memory_.erase(found);
    return true;
}

void PublishPlanner::ForgetAll(std::vector<Published>& published) {
    for (const auto& [address, m] : memory_) published.push_back({address, m.discovered});
    memory_.clear();
    presentCount_ = -1;
}

}  // namespace nw
