#include "presence/SpanStore.h"

namespace nw {

// Folding the oldest two keeps what the timeline needs most, the recent
// comings and goings, while the first bar still shows since when a device
// has been around at all. Memory per device stays bounded over a week.
void SpanStore::Begin(uint64_t time) {
    if (spans_.size() >= static_cast<size_t>(kMaxSpans)) {
        spans_[0].end = spans_[1].end;
        spans_.erase(spans_.begin() + 1);
        ++merged_;
    }
    spans_.push_back({time, time});
}

void SpanStore::Extend(uint64_t time) {
    if (spans_.empty()) {
        Begin(time);
        return;
    }
    if (time > spans_.back().end) spans_.back().end = time;
}

}  // namespace nw
