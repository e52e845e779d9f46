// The Low Energy watcher's decisions, without any system call: when to start,
// restart and give up, and how an advertisement's data sections become the
// raw bytes of a sighting. LeWatcher (the Win32 half) feeds it the clock.
#pragma once
#include <cstdint>

namespace nw {

// Appends one length-type-value structure to raw (length bytes used of
// capacity). False, and raw untouched, when it does not fit or the data is
// too long for one structure.
bool AppendAdStructure(uint8_t* raw, uint16_t& length, uint16_t capacity, uint8_t type, const uint8_t* data,
                       uint32_t size);

enum class LeState : uint8_t {
    Off,          // not started (setting off, or before the first start)
    Running,      // the watcher said Started
    Waiting,      // stopped or failed; a restart is due later
    Unavailable,  // this system cannot watch: no runtime, no class
};

enum class LeReason : uint8_t {
    None,
    NoRuntime,     // no combase.dll or its entry points
    NotSupported,  // the class is not there (Windows 7, Wine 8) or not implemented
    RadioOff,      // the watcher ended as Aborted
    Failed,        // any other failure, with its code
    Stopped,       // it stopped by itself or went quiet; restarting
};

struct LeStatus {
    LeState state = LeState::Off;
    LeReason reason = LeReason::None;
    int32_t code = 0;   // HRESULT of the last failure
};

// Start, restart with back-off, watchdog. Times are milliseconds of a
// monotonic clock.
class LeRestartPolicy {
public:
    static constexpr uint64_t kFirstBackoffMs = 2000;
    static constexpr uint64_t kMaxBackoffMs = 5 * 60 * 1000;
    static constexpr uint64_t kStableMs = 60 * 1000;       // running this long resets the back-off
    static constexpr uint64_t kQuietMs = 2 * 60 * 1000;    // Started but silent this long: restart
    static constexpr uint64_t kMaxQuietMs = 30 * 60 * 1000;
    static constexpr uint64_t kMaxWaitMs = 1000;           // the watchdog looks at least this often

    enum class Action : uint8_t { None, Start, Restart };

    // A start is due at once.
    void Begin(uint64_t now);
    void OnStarted(uint64_t now);
    // permanent: nothing will change while the program runs (no runtime, no class).
    void OnStartFailed(uint64_t now, LeReason reason, int32_t code, bool permanent);
    // The watcher stopped by itself; aborted when its status said Aborted.
    void OnStopped(uint64_t now, bool aborted);
    void OnAdvertisement(uint64_t now);
    // Back from sleep: start again at once unless the system cannot watch.
    void OnResume(uint64_t now);

    // What to do now; statusStarted is the watcher's own status while running.
    Action Poll(uint64_t now, bool statusStarted);
    // How long the caller may sleep before the next Poll.
    uint32_t WaitMs(uint64_t now) const;

    const LeStatus& Status() const { return status_; }
    uint64_t BackoffMs() const { return backoff_; }
    uint64_t QuietLimitMs() const { return quietLimit_; }

private:
    void ScheduleRetry(uint64_t now);

    LeStatus status_;
    uint64_t due_ = 0;          // Waiting: when to start again
    uint64_t startedAt_ = 0;
    uint64_t lastHeard_ = 0;
    uint64_t backoff_ = kFirstBackoffMs;
    uint64_t quietLimit_ = kQuietMs;
    bool startDue_ = false;
};

}  // namespace nw
