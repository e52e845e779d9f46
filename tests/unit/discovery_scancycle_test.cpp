#include <gtest/gtest.h>
#include "discovery/ScanCycle.h"

using nw::ScanCycle;

namespace {

// Ticks until the cycle asks for a scan (at most limit).
int TicksUntilStart(ScanCycle& c, int32_t& rate, int limit = 100) {
    for (int i = 1; i <= limit; ++i)
        if (c.OnTick(rate)) return i;
    return -1;
}

}  // namespace

TEST(ScanCycle, MultipliersGrowThenStay) {
    EXPECT_EQ(8, ScanCycle::NextMultiplier(3));
    EXPECT_EQ(13, ScanCycle::NextMultiplier(8));
    EXPECT_EQ(13, ScanCycle::NextMultiplier(13));
}

TEST(ScanCycle, AlertsArmOnlyAfterTheFirstSteadyScan) {
    ScanCycle c;
    EXPECT_FALSE(c.OnScanDone(3, 2, 1).armAlerts);
    EXPECT_FALSE(c.OnScanDone(8, 2, 1).armAlerts);
    EXPECT_TRUE(c.OnScanDone(13, 2, 1).armAlerts);
}

TEST(ScanCycle, RateDecidesTheWaitWhenDevicesAnswer) {
    int32_t rate = 1;
    ScanCycle c;
    auto d = c.OnScanDone(13, 4, rate);
    EXPECT_TRUE(d.startNow);
    EXPECT_FALSE(c.Waiting());

    rate = 3;
    d = c.OnScanDone(13, 4, rate);
    EXPECT_FALSE(d.startNow);
    EXPECT_TRUE(c.RateWait());
    EXPECT_EQ(20, TicksUntilStart(c, rate));

    rate = 2;
    c.OnScanDone(13, 4, rate);
    EXPECT_EQ(10, TicksUntilStart(c, rate));
    EXPECT_FALSE(c.Waiting());
    EXPECT_FALSE(c.OnTick(rate));  // a running scan: ticks do nothing
}

TEST(ScanCycle, EmptyScanWaitsFifteenTicksWhateverTheRate) {
    for (int32_t rate : {1, 2, 3}) {
        ScanCycle c;
        // The first completion follows the rate even when empty.
        auto d = c.OnScanDone(3, 0, rate);
        EXPECT_EQ(rate < 2, d.startNow);
        EXPECT_FALSE(c.LongWait());
        c.EndWait();
        d = c.OnScanDone(8, 0, rate);
        EXPECT_FALSE(d.startNow);
        EXPECT_TRUE(c.LongWait());
        EXPECT_EQ(15, TicksUntilStart(c, rate));
        c.OnScanDone(13, 0, rate);
        EXPECT_EQ(15, TicksUntilStart(c, rate));
    }
}

TEST(ScanCycle, RateLoweredDuringAWaitStartsAtTheNextTick) {
    int32_t rate = 3;
    ScanCycle c;
    c.OnScanDone(13, 1, rate);
    EXPECT_FALSE(c.OnTick(rate));
    rate = 1;
    EXPECT_TRUE(c.OnTick(rate));
}

TEST(ScanCycle, ZeroRateStartsAtOnceAndIsRepairedInAWait) {
    int32_t rate = 0;
    ScanCycle c;
    EXPECT_TRUE(c.OnScanDone(13, 1, rate).startNow);
    // A rate wait that finds 0 stores 1 and ends.
    rate = 2;
    c.OnScanDone(13, 1, rate);
    rate = 0;
    EXPECT_TRUE(c.OnTick(rate));
    EXPECT_EQ(1, rate);
}

TEST(ScanCycle, HugeRateDoesNotOverflow) {
    int32_t rate = 0x7FFFFFFF;
    ScanCycle c;
    c.OnScanDone(13, 1, rate);
    EXPECT_FALSE(c.OnTick(rate));
}

TEST(ScanCycle, EndWaitOnlyActsOnAWait) {
    int32_t rate = 3;
    ScanCycle c;
    EXPECT_FALSE(c.EndWait());
    c.OnScanDone(13, 1, rate);
    EXPECT_TRUE(c.EndWait());
    EXPECT_FALSE(c.Waiting());
    EXPECT_FALSE(c.OnTick(rate));
}
