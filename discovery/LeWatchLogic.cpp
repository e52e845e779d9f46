#include "discovery/LeWatchLogic.h"

#include <cstring>

namespace nw {

// One structure is its length byte (type plus data), the type and the data:
// a length byte holds at most 255, so the data at most 254 bytes.
bool AppendAdStructure(uint8_t* raw, uint16_t& length, uint16_t capacity, uint8_t type, const uint8_t* data,
                       uint32_t size) {
    if (size > 254 || length > capacity) return false;
    const uint32_t need = size + 2;
    if (need > static_cast<uint32_t>(capacity - length)) return false;
    raw[length] = static_cast<uint8_t>(size + 1);
    raw[length + 1] = type;
    if (size) memcpy(raw + length + 2, data, size);
    length = static_cast<uint16_t>(length + need);
    return true;
}

void LeRestartPolicy::Begin(uint64_t now) {
    status_ = {};
    startDue_ = true;
    due_ = now;
    backoff_ = kFirstBackoffMs;
    quietLimit_ = kQuietMs;
}

void LeRestartPolicy::OnStarted(uint64_t now) {
    startDue_ = false;
    status_ = {LeState::Running, LeReason::None, 0};
    startedAt_ = now;
    lastHeard_ = now;
}

void LeRestartPolicy::OnStartFailed(uint64_t now, LeReason reason, int32_t code, bool permanent) {
    startDue_ = false;
    status_.reason = reason;
    status_.code = code;
    if (permanent) {
        status_.state = LeState::Unavailable;
        return;
    }
    status_.state = LeState::Waiting;
    ScheduleRetry(now);
}

void LeRestartPolicy::OnStopped(uint64_t now, bool aborted) {
    if (status_.state != LeState::Running) return;
    // A watcher that ran a good while and then stopped starts the back-off afresh.
    if (now - startedAt_ >= kStableMs) backoff_ = kFirstBackoffMs;
    status_ = {LeState::Waiting, aborted ? LeReason::RadioOff : LeReason::Stopped, 0};
    ScheduleRetry(now);
}

void LeRestartPolicy::OnAdvertisement(uint64_t now) {
    if (status_.state != LeState::Running) return;
    lastHeard_ = now;
    quietLimit_ = kQuietMs;
    if (now - startedAt_ >= kStableMs) backoff_ = kFirstBackoffMs;
}

void LeRestartPolicy::OnResume(uint64_t now) {
    if (status_.state == LeState::Unavailable || status_.state == LeState::Off) return;
    // The radio may have been reset while the machine slept: a fresh watcher.
    backoff_ = kFirstBackoffMs;
    startDue_ = true;
    due_ = now;
}

void LeRestartPolicy::ScheduleRetry(uint64_t now) {
    due_ = now + backoff_;
    backoff_ = backoff_ * 2 > kMaxBackoffMs ? kMaxBackoffMs : backoff_ * 2;
}

LeRestartPolicy::Action LeRestartPolicy::Poll(uint64_t now, bool statusStarted) {
    switch (status_.state) {
    case LeState::Off:
        return startDue_ ? Action::Start : Action::None;
    case LeState::Unavailable:
        return Action::None;
    case LeState::Waiting:
        if (now >= due_) return Action::Start;
        return Action::None;
    case LeState::Running:
        if (startDue_) return Action::Restart;
        // Stopped without its event reaching us: as if it had.
        if (!statusStarted) {
            OnStopped(now, false);
            return Action::None;
        }
        // A known fault: the watcher says Started and delivers nothing more.
        // A quiet room looks the same, so each such restart waits longer.
        if (now - lastHeard_ >= quietLimit_) {
            quietLimit_ = quietLimit_ * 2 > kMaxQuietMs ? kMaxQuietMs : quietLimit_ * 2;
            status_ = {LeState::Waiting, LeReason::Stopped, 0};
            return Action::Restart;
        }
        return Action::None;
    }
    return Action::None;
}

uint32_t LeRestartPolicy::WaitMs(uint64_t now) const {
    uint64_t wait = kMaxWaitMs;
    if (status_.state == LeState::Waiting && due_ > now && due_ - now < wait) wait = due_ - now;
    if (status_.state == LeState::Waiting && due_ <= now) wait = 0;
    if (startDue_) wait = 0;
    return static_cast<uint32_t>(wait);
}

}  // namespace nw
