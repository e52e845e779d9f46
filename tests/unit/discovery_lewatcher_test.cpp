// The LE watcher's pure half: data sections rebuilt into raw bytes, and the
// start / restart / back-off / watchdog decisions.
#include <gtest/gtest.h>
#include <cstring>
#include "discovery/LeSighting.h"
#include "discovery/LeWatchLogic.h"

namespace nw {
namespace {

using Action = LeRestartPolicy::Action;

TEST(LeAdBytes, SectionsFillTheRecordAndOneTooManyIsLeftOut) {
    LeSighting s = {};
    const uint8_t flags = 0x06;
    ASSERT_TRUE(AppendAdStructure(s.raw, s.rawLength, kLeRawDataMax, 0x01, &flags, 1));
    EXPECT_EQ(s.rawLength, 3);
    EXPECT_EQ(s.raw[0], 2);
    EXPECT_EQ(s.raw[1], 0x01);
    EXPECT_EQ(s.raw[2], 0x06);
    // An empty section is still a structure of its own.
    ASSERT_TRUE(AppendAdStructure(s.raw, s.rawLength, kLeRawDataMax, 0x09, nullptr, 0));
    EXPECT_EQ(s.rawLength, 5);
    EXPECT_EQ(s.raw[3], 1);

    // Longer than one length byte can say: refused.
    uint8_t big[300];
    memset(big, 'A', sizeof big);
    EXPECT_FALSE(AppendAdStructure(s.raw, s.rawLength, kLeRawDataMax, 0xFF, big, 255));
    EXPECT_EQ(s.rawLength, 5);
    // Exactly to the end of the record, then nothing more, raw untouched.
    const uint16_t room = static_cast<uint16_t>(kLeRawDataMax - s.rawLength - 2);
    ASSERT_TRUE(AppendAdStructure(s.raw, s.rawLength, kLeRawDataMax, 0xFF, big, room));
    EXPECT_EQ(s.rawLength, kLeRawDataMax);
    const uint8_t before = s.raw[kLeRawDataMax];
    EXPECT_FALSE(AppendAdStructure(s.raw, s.rawLength, kLeRawDataMax, 0x01, &flags, 0));
    EXPECT_EQ(s.rawLength, kLeRawDataMax);
    EXPECT_EQ(s.raw[kLeRawDataMax], before);
}

TEST(LeRestartPolicy, NoClassGivesUpQuietlyAndResumeChangesNothing) {
    LeRestartPolicy p;
    p.Begin(0);
    EXPECT_EQ(p.Poll(0, false), Action::Start);
    p.OnStartFailed(0, LeReason::NotSupported, static_cast<int32_t>(0x80040154u), true);
    EXPECT_EQ(p.Status().state, LeState::Unavailable);
    EXPECT_EQ(p.Status().reason, LeReason::NotSupported);
    EXPECT_EQ(p.Status().code, static_cast<int32_t>(0x80040154u));
    p.OnResume(10);
    EXPECT_EQ(p.Poll(1000000, false), Action::None);
}

TEST(LeRestartPolicy, StopsAndFailuresBackOffDoublingToTheCapAndAStableRunResetsIt) {
    LeRestartPolicy p;
    p.Begin(0);
    ASSERT_EQ(p.Poll(0, false), Action::Start);
    p.OnStarted(0);
    EXPECT_EQ(p.Poll(10, true), Action::None);
    // The radio went off: wait the first back-off, then try again.
    p.OnStopped(100, true);
    EXPECT_EQ(p.Status().reason, LeReason::RadioOff);
    EXPECT_EQ(p.Poll(100 + LeRestartPolicy::kFirstBackoffMs - 1, false), Action::None);
    EXPECT_LE(p.WaitMs(100), LeRestartPolicy::kFirstBackoffMs);
    uint64_t now = 100 + LeRestartPolicy::kFirstBackoffMs;
    ASSERT_EQ(p.Poll(now, false), Action::Start);
    // Failing starts wait twice as long each time, up to the cap.
    uint64_t expected = 2 * LeRestartPolicy::kFirstBackoffMs;
    for (int i = 0; i < 12; ++i) {
        p.OnStartFailed(now, LeReason::Failed, -1, false);
        EXPECT_EQ(p.Poll(now + expected - 1, false), Action::None) << i;
        now += expected;
        ASSERT_EQ(p.Poll(now, false), Action::Start) << i;
        expected = expected * 2 > LeRestartPolicy::kMaxBackoffMs ? LeRestartPolicy::kMaxBackoffMs : expected * 2;
    }
    EXPECT_EQ(p.BackoffMs(), LeRestartPolicy::kMaxBackoffMs);
    p.OnStarted(now);
    p.OnAdvertisement(now + LeRestartPolicy::kStableMs);
    EXPECT_EQ(p.BackoffMs(), LeRestartPolicy::kFirstBackoffMs);
    EXPECT_EQ(p.Status().reason, LeReason::None);
}

TEST(LeRestartPolicy, WatchdogRestartsASilentStartedWatcherWaitingLongerEachTime) {
    LeRestartPolicy p;
    p.Begin(0);
    p.Poll(0, false);
    p.OnStarted(0);
    p.OnAdvertisement(1000);
    EXPECT_EQ(p.Poll(1000 + LeRestartPolicy::kQuietMs - 1, true), Action::None);
    uint64_t now = 1000 + LeRestartPolicy::kQuietMs;
    ASSERT_EQ(p.Poll(now, true), Action::Restart);
    p.OnStarted(now);
    EXPECT_EQ(p.Poll(now + LeRestartPolicy::kQuietMs, true), Action::None);
    EXPECT_EQ(p.Poll(now + 2 * LeRestartPolicy::kQuietMs, true), Action::Restart);
    // A status other than Started counts as a stop, even without its event.
    p.OnStarted(now);
    EXPECT_EQ(p.Poll(now + 1, false), Action::None);
    EXPECT_EQ(p.Status().state, LeState::Waiting);
    EXPECT_EQ(p.Status().reason, LeReason::Stopped);
    // Back from sleep: at once, whatever the back-off.
    p.OnResume(now + 2);
    EXPECT_EQ(p.WaitMs(now + 2), 0u);
    EXPECT_EQ(p.Poll(now + 2, false), Action::Start);
    p.OnStarted(now + 3);
    p.OnResume(now + 4);
    EXPECT_EQ(p.Poll(now + 4, true), Action::Restart);
}

}  // namespace
}  // namespace nw
