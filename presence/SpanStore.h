// The time spans a device was present, kept per device with a bound: the
// most recent spans stay exact, older ones are folded into the first.
#pragma once
#include <cstdint>
#include <vector>

namespace nw {

// Times are FILETIME ticks (100 ns since 1601, UTC).
struct PresenceSpan {
    uint64_t start;
    uint64_t end;   // the last answer inside the span
};

class SpanStore {
public:
    static constexpr int kMaxSpans = 64;

    // A new span [time, time]. With kMaxSpans kept already, the two oldest
    // become one first.
    void Begin(uint64_t time);
    // Moves the end of the latest span to time (Begin when there is none).
    void Extend(uint64_t time);

    int Count() const { return static_cast<int>(spans_.size()); }
    const PresenceSpan& At(int i) const { return spans_[static_cast<size_t>(i)]; }
    const PresenceSpan* Data() const { return spans_.data(); }
    // Spans folded into the first one (0 while the bound was never reached).
    uint32_t Merged() const { return merged_; }

private:
    std::vector<PresenceSpan> spans_;
    uint32_t merged_ = 0;
};

}  // namespace nw
