// Presence figures: the departure tracking and span store per scan in a
// table of 10,000 devices, and the timeline page of 500 devices with 64
// spans each over a week, with the machine's time zone asked as the
// program asks it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Bench.h"
#include "presence/PresenceMonitor.h"
#include "presence/PresenceTracker.h"
#include "presence/TimelineWriter.h"
#include "reports/ExportSink.h"

namespace {

constexpr int kDevices = 10000;
constexpr int kAnswersPerScan = 62;
constexpr int kScans = 200;
constexpr uint64_t kSecond = 10000000ull;
constexpr uint64_t kT0 = 134411974410000000ull;

uint64_t AddressOf(int i) { return (static_cast<uint64_t>(i) * 0x9E3779B97F4Bull + 0x1234567) & 0xFFFFFFFFFFFFull; }

// Every device known and most of them gone, as after a long run; then each
// scan brings 62 answers from a rotating crowd, so devices keep leaving and
// arriving and their span stores fill. Milliseconds per scan.
double TrackScan() {
    nw::PresenceTracker tracker;
    std::vector<nw::PresenceEvent> events;
    std::vector<uint64_t> answers;
    uint64_t now = kT0;
    for (int first = 0; first < kDevices; first += 1000) {
        answers.clear();
        for (int i = first; i < first + 1000; ++i) answers.push_back(AddressOf(i));
        tracker.OnScan(answers.data(), static_cast<int>(answers.size()), now += 17 * kSecond, 3, true, events);
    }
    const double t0 = bench::NowMs();
    for (int scan = 0; scan < kScans; ++scan) {
        answers.clear();
        for (int k = 0; k < kAnswersPerScan; ++k) answers.push_back(AddressOf((scan * 37 + k * 151) % kDevices));
        events.clear();
        tracker.OnScan(answers.data(), kAnswersPerScan, now += 17 * kSecond, 3, true, events);
    }
    return (bench::NowMs() - t0) / kScans;
}

class CountingSink : public nw::ExportSink {
public:
    bool Write(const void*, size_t bytes) override {
        total += bytes;
        return true;
    }
    size_t total = 0;
};

double TimelinePage() {
    constexpr int kRows = 500;
    const uint64_t week = 7 * 86400 * kSecond;
    std::vector<std::vector<nw::PresenceSpan>> spans(kRows);
    std::vector<std::wstring> names(kRows), addresses(kRows);
    std::vector<nw::TimelineRow> rows(kRows);
    for (int r = 0; r < kRows; ++r) {
        for (int s = 0; s < nw::SpanStore::kMaxSpans; ++s) {
            const uint64_t start = kT0 + week / nw::SpanStore::kMaxSpans * s + (r % 17) * 600 * kSecond;
            spans[r].push_back({start, start + 3600 * kSecond});
        }
        names[r] = L"Device \"" + std::to_wstring(r) + L"\" <phone> & co";
        addresses[r] = L"0a:00:00:00:" + std::to_wstring(10 + r / 100) + L":" + std::to_wstring(10 + r % 90);
        rows[r] = {names[r].c_str(), addresses[r].c_str(), spans[r].data(), nw::SpanStore::kMaxSpans,
                   static_cast<uint32_t>(r % 3), r % 2 == 0};
    }
    nw::TimelinePage page = {{L"Presence timeline", L"Devices:", L"Bound:", L"still present"}, kT0, kT0 + week,
                             rows.data(), kRows, nw::SpanStore::kMaxSpans, nw::LocalOffsetMinutes};
    CountingSink sink;
    const double t0 = bench::NowMs();
    nw::WriteTimelinePage(sink, page);
    const double took = bench::NowMs() - t0;
    static bool told = false;
    if (!told) std::printf("    timeline page: %zu bytes, %zu a bar\n", sink.total, sink.total / (kRows * nw::SpanStore::kMaxSpans));
    told = true;
    return took;
}

// The anchor: the page's 64,000 bar times, each converted by the system on
// its own, as the page did before it asked once per hour.
double ZoneLookups() {
    const uint64_t week = 7 * 86400 * kSecond;
    volatile int32_t sum = 0;
    const double t0 = bench::NowMs();
    for (int i = 0; i < 500 * nw::SpanStore::kMaxSpans * 2; ++i) sum = sum + nw::LocalOffsetMinutes(kT0 + week / 64000 * i);
    return bench::NowMs() - t0;
}

bench::Registrar trackScan({"presence: departures + spans, one scan of 62 answers in 10,000 devices", "ms",
                            "< 1 ms", 7, &TrackScan});
bench::Registrar timelinePage({"presence: timeline page, 500 devices x 64 spans over a week, local times", "ms",
                               "< 100 ms", 7, &TimelinePage});
bench::Registrar zoneLookups({"presence: anchor, the same page's 64,000 times through the zone one by one", "ms", "", 3,
                              &ZoneLookups});

}  // namespace
