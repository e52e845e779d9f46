#include "discovery/ScanCycle.h"

namespace nw {

// 3 -> 8 -> 13 -> 13 ...: a short first look fills the list quickly, the
// steady length finds the slow devices.
int32_t ScanCycle::NextMultiplier(int32_t used) {
    return used == kFirstMultiplier ? kSecondMultiplier : kSteadyMultiplier;
}

ScanCycle::Completion ScanCycle::OnScanDone(int32_t usedMultiplier, int answers,
                                            int32_t updateRate) {
    Completion c = {};
    // The first three scans (3, 8, 13) only build the baseline; devices
    // present at start-up must never alert.
    c.armAlerts = usedMultiplier == kSteadyMultiplier;
    c.nextMultiplier = NextMultiplier(usedMultiplier);
    longWait_ = false;
    rateWait_ = false;
    ticks_ = 0;
    if (c.nextMultiplier == kSteadyMultiplier && answers == 0) {
        // Nothing answered (most likely no radio): don't spin the inquiry.
        longWait_ = true;
    } else if (updateRate >= 2) {
        rateWait_ = true;
    } else {
        c.startNow = true;
    }
    return c;
}

bool ScanCycle::OnTick(int32_t& updateRate) {
    if (longWait_) {
        if (++ticks_ >= kLongWaitTicks) {
            longWait_ = false;
            return true;
        }
        return false;
    }
    if (rateWait_) {
        ++ticks_;
        if (updateRate == 0) updateRate = 1;
        // 64-bit so that an absurd rate from a hand-edited file cannot overflow.
        if (static_cast<int64_t>(ticks_) >= static_cast<int64_t>(updateRate) * 10 - 10) {
            rateWait_ = false;
            return true;
        }
    }
    return false;
}

bool ScanCycle::EndWait() {
    if (!Waiting()) return false;
    longWait_ = false;
    rateWait_ = false;
    ticks_ = 0;
    return true;
}

}  // namespace nw
