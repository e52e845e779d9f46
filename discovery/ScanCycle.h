// The pace of the endless scan cycle: which inquiry length the next scan
// uses, when the baseline is complete, and how many one-second ticks to wait
// between scans. No window or system call: the main window drives it.
#pragma once
#include <cstdint>

namespace nw {

class ScanCycle {
public:
    static constexpr int32_t kFirstMultiplier = 3;
    static constexpr int32_t kSecondMultiplier = 8;
    static constexpr int32_t kSteadyMultiplier = 13;
    static constexpr int32_t kLongWaitTicks = 15;

    // What the completion of a scan asks for.
    struct Completion {
        bool armAlerts;          // the baseline is complete: alerts from now on
        int32_t nextMultiplier;  // inquiry length of the next scan
        bool startNow;           // start the next scan at once
    };

    // A scan that used usedMultiplier ended with answers answers.
    Completion OnScanDone(int32_t usedMultiplier, int answers, int32_t updateRate);
    // One timer tick; true when the wait is over and a scan must start.
    // A rate of 0 found during a rate wait is stored back as 1.
    bool OnTick(int32_t& updateRate);
    // Ends a wait early (refresh): true when a wait was running.
    bool EndWait();
    bool Waiting() const { return longWait_ || rateWait_; }
    bool LongWait() const { return longWait_; }
    bool RateWait() const { return rateWait_; }
    int32_t Ticks() const { return ticks_; }

    static int32_t NextMultiplier(int32_t used);

private:
    bool longWait_ = false;
    bool rateWait_ = false;
    int32_t ticks_ = 0;
};

}  // namespace nw
