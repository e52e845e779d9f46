// The LE watcher's pure half: data sections rebuilt into raw bytes, and the
// start / restart / back-off / watchdog decisions.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "discovery/LeSighting.h"
#include "discovery/LeWatchLogic.h"
#include "discovery/LeWatcher.h"
#include "simradio/TestRadio.h"

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

// ---- The watcher against the simulated runtime ----------------------------------------

// The watcher of this process pointed at simradio.dll (or at path), with a
// message-only window to receive its messages.
class WatchedRuntime {
public:
    explicit WatchedRuntime(const std::string& scenario, const std::wstring& runtime = testradio::SimRadioPath()) {
        folder_.Scenario(scenario);
        ::SetEnvironmentVariableW(L"NEARWATCH_WINRT", runtime.c_str());
        window_ = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        started_ = window_ && watcher_.Start(window_);
    }
    ~WatchedRuntime() {
        watcher_.Stop();
        if (window_) ::DestroyWindow(window_);
        ::SetEnvironmentVariableW(L"NEARWATCH_WINRT", nullptr);
    }
    bool Started() const { return started_; }
    LeWatcher& Watcher() { return watcher_; }
    std::vector<std::string> Log() const { return folder_.Log(); }

    // Pumps the window's messages, collecting sightings, until done() or 10 s.
    template <typename Done>
    bool Pump(Done done) {
        const ULONGLONG end = ::GetTickCount64() + 10000;
        while (!done()) {
            if (::GetTickCount64() > end) return false;
            MSG msg;
            while (::PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) {
                if (msg.message != NWM_LE_SIGHTINGS) continue;
                LeSighting batch[64];
                for (int n; (n = watcher_.Take(batch, 64)) > 0;) seen.insert(seen.end(), batch, batch + n);
            }
            ::Sleep(10);
        }
        return true;
    }

    std::vector<LeSighting> seen;

private:
    testradio::RadioFolder folder_;
    HWND window_ = nullptr;
    LeWatcher watcher_;
    bool started_ = false;
};

const LeSighting* Find(const std::vector<LeSighting>& seen, uint64_t address, bool scanResponse) {
    for (const LeSighting& s : seen)
        if (s.address == address && ((s.flags & kLeScanResponse) != 0) == scanResponse) return &s;
    return nullptr;
}

std::vector<uint8_t> Raw(const LeSighting& s) { return std::vector<uint8_t>(s.raw, s.raw + s.rawLength); }

TEST(LeWatcher, SightingsFromTheSimulatedRuntimeCarryTheirSectionsAndNameInTheScanResponse) {
    WatchedRuntime runtime("le 5a:11:22:33:44:55 random=1 rssi=-70 txpower=-8 mfr=004c:0215aa appearance=0x00c2 "
                           "uuids=180f name=Tag \"%x%\"\n"
                           "le 00:1b:dc:00:00:01 rssi=-127 connectable=0\n");
    ASSERT_TRUE(runtime.Started());
    const uint64_t tag = 0x5a1122334455ull, plain = 0x001bdc000001ull;
    ASSERT_TRUE(runtime.Pump([&] {
        return Find(runtime.seen, tag, false) && Find(runtime.seen, tag, true) && Find(runtime.seen, plain, false);
    }));
    EXPECT_EQ(runtime.Watcher().Status().state, LeState::Running);

    const LeSighting& ad = *Find(runtime.seen, tag, false);
    EXPECT_EQ(ad.addressKind, kLeAddressRandom);
    EXPECT_EQ(ad.flags & (kLeHasRssi | kLeConnectable), kLeHasRssi | kLeConnectable);
    EXPECT_EQ(ad.rssi, -70);
    EXPECT_GT(ad.timestamp, 0);
    EXPECT_EQ(Raw(ad), (std::vector<uint8_t>{2, 0x01, 0x06, 2, 0x0A, 0xF8, 3, 0x19, 0xC2, 0x00, 3, 0x03, 0x0F, 0x18,
                                             6, 0xFF, 0x4C, 0x00, 0x02, 0x15, 0xAA}));
    const LeSighting& response = *Find(runtime.seen, tag, true);
    const std::string name = "Tag \"%x%\"";
    std::vector<uint8_t> expected = {static_cast<uint8_t>(name.size() + 1), 0x09};
    expected.insert(expected.end(), name.begin(), name.end());
    EXPECT_EQ(Raw(response), expected);

    // -127 is no reading; a public address says so.
    const LeSighting& other = *Find(runtime.seen, plain, false);
    EXPECT_EQ(other.flags & (kLeHasRssi | kLeConnectable | kLeScanResponse), 0);
    EXPECT_EQ(other.addressKind, kLeAddressPublic);
}

// Each way the runtime can fail leaves a status that says why, and no sighting.
TEST(LeWatcher, FailuresEndInAStatusThatSaysWhy) {
    struct Case {
        const char* scenario;
        const wchar_t* runtime;
        LeState state;
        LeReason reason;
        int32_t code;
    };
    const std::wstring missing = testradio::BinFolder() + L"\\no-such-runtime.dll";
    const Case cases[] = {
        {"le_runtime absent\nle 00:00:00:00:00:01\n", nullptr, LeState::Unavailable, LeReason::NotSupported,
         static_cast<int32_t>(REGDB_E_CLASSNOTREG)},
        {"le_runtime aborted\nle 00:00:00:00:00:01\n", nullptr, LeState::Waiting, LeReason::RadioOff, 0},
        {"le 00:00:00:00:00:01\n", missing.c_str(), LeState::Unavailable, LeReason::NoRuntime,
         static_cast<int32_t>(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND))},
    };
    for (const Case& c : cases) {
        WatchedRuntime runtime(c.scenario, c.runtime ? c.runtime : testradio::SimRadioPath());
        ASSERT_TRUE(runtime.Started());
        EXPECT_TRUE(runtime.Pump([&] { return runtime.Watcher().Status().reason == c.reason; })) << c.scenario;
        const LeStatus status = runtime.Watcher().Status();
        EXPECT_EQ(status.state, c.state) << c.scenario;
        EXPECT_EQ(status.code, c.code) << c.scenario;
        EXPECT_TRUE(runtime.seen.empty()) << c.scenario;
        wchar_t text[256];
        FormatLeStatus(status, true, text, 256);
        EXPECT_EQ(std::wstring(text).rfind(L"LE: unavailable (", 0), 0u) << c.scenario;
    }
    // Before Windows 10 2004 the arguments have no address type.
    WatchedRuntime old("le_runtime no_args2\nle 00:00:00:00:00:02 random=1\n");
    ASSERT_TRUE(old.Pump([&] { return !old.seen.empty(); }));
    EXPECT_EQ(old.seen[0].addressKind, kLeAddressUnknown);
}

}  // namespace
}  // namespace nw
