// The scan cycle of the real program against the simulated radio: what the
// list shows after each scan, and the pace the radio's log records.
#include "e2e/AppSupport.h"

namespace nw::e2e {
namespace {

const char kTwoDevices[] =
    "unit_ms 5\n"
    "device 00:1a:7d:da:71:13 class=0x5a020c connected=1 remembered=0 authenticated=1 name=Pocket phone\n"
    "device 11:22:33:44:55:66 class=0x240404 connected=0 remembered=1 authenticated=0 name=Head set\n";

// Rate 3 waits 20 s after each scan: the tests drive the scans with F5.
std::string SlowPaceConfig() { return GeneralSection({{"UpdateRate", "3"}, {"TrayIcon", "0"}}); }

TEST(AppScan, DevicesShowWithTheirTexts) {
    LaunchOptions options;
    options.scenario = kTwoDevices;
    options.config = SlowPaceConfig();
    options.copies = {{L"Z:\\usr\\share\\ieee-data\\oui.txt", L"oui.txt"}};
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 10000));

    int phone = program.FindRow(2, L"00:1a:7d:da:71:13");
    int headset = program.FindRow(2, L"11:22:33:44:55:66");
    ASSERT_GE(phone, 0);
    ASSERT_GE(headset, 0);
    Row p = program.RowTexts(phone);
    ASSERT_EQ(17u, p.size());
    EXPECT_EQ(L"Pocket phone", p[0]);
    EXPECT_EQ(L"Phone", p[3]);
    EXPECT_EQ(L"Smartphone", p[4]);
    EXPECT_FALSE(p[5].empty());
    EXPECT_EQ(p[5], p[6]);          // first and last detection: the same merge
    EXPECT_EQ(L"1", p[7]);
    EXPECT_EQ(L"Yes", p[8]);
    EXPECT_EQ(L"No", p[9]);
    EXPECT_EQ(L"Yes", p[10]);
    EXPECT_EQ(L"cyber-blue(HK)Ltd", p[11]);
    EXPECT_EQ(L"", p[12]);
    // Found by the inquiry only: classic, public, no signal, no maker.
    EXPECT_EQ((Row{L"Classic", L"", L"Public", L""}), Row(p.begin() + 13, p.end()));
    Row h = program.RowTexts(headset);
    EXPECT_EQ(L"Head set", h[0]);
    EXPECT_EQ(L"Audio/Video", h[3]);
    EXPECT_EQ(L"Headset", h[4]);
    EXPECT_EQ(L"No", h[8]);
    EXPECT_EQ(L"Yes", h[9]);
    EXPECT_EQ(L"", h[11]);
    // Sorted by name after the scan (sort on every update is on).
    EXPECT_EQ(L"Head set", program.Cell(0, 0));
    EXPECT_EQ(L"2 Bluetooth devices, 2 present", program.StatusText(0));

    // A selection change updates the status text and the command states.
    ASSERT_TRUE(program.SelectOnly(0));
    EXPECT_TRUE(WaitUntil([&] { return program.StatusText(0) == L"2 Bluetooth devices, 2 present, 1 selected"; }, 3000));
    EXPECT_TRUE(WaitUntil([&] { return program.ToolButtonEnabled(IDM_PROPERTIES); }, 3000));
    EXPECT_TRUE(program.ToolButtonEnabled(IDM_SAVE_SELECTED));
    ASSERT_TRUE(program.SelectRow(1));
    EXPECT_TRUE(WaitUntil([&] { return !program.ToolButtonEnabled(IDM_PROPERTIES); }, 3000));
    EXPECT_TRUE(program.ToolButtonEnabled(IDM_COPY_SELECTED));
    ASSERT_TRUE(program.SelectRow(-1, false));
    EXPECT_TRUE(WaitUntil([&] { return !program.ToolButtonEnabled(IDM_SAVE_SELECTED); }, 3000));
    EXPECT_EQ(L"2 Bluetooth devices, 2 present", program.StatusText(0));

    // The second merge sets the description from the name (on by default).
    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(program.WaitScans(2, 10000));
    EXPECT_TRUE(WaitUntil([&] { return program.Cell(program.FindRow(2, L"00:1a:7d:da:71:13"), 1) == L"Pocket phone"; },
                          3000));
    ExitByMenu(program);
}

TEST(AppScan, DetectionCountsGrowScanByScanAndRefreshStartsAWaitingScan) {
    LaunchOptions options;
    options.scenario = "unit_ms 5\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n";
    options.config = SlowPaceConfig();
    Program program;
    NW_LAUNCH(program, options);
    auto count = [&] { return program.Cell(program.FindRow(2, L"00:1a:7d:da:71:13"), 7); };
    ASSERT_TRUE(program.WaitScans(1, 10000));
    EXPECT_TRUE(WaitUntil([&] { return count() == L"1"; }, 3000));
    // The rate wait holds the next scan back.
    ::Sleep(1500);
    EXPECT_EQ(1, program.ScansStarted());

    // F5 (the context menu's refresh) starts the waiting scan at once.
    ULONGLONG pressed = ::GetTickCount64();
    ASSERT_TRUE(program.PostKey(VK_F5));
    ASSERT_TRUE(program.WaitScans(2, 5000));
    EXPECT_LT(::GetTickCount64() - pressed, 10000u) << "it waited out the 20 s";
    EXPECT_TRUE(WaitUntil([&] { return count() == L"2"; }, 3000));

    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(program.WaitScans(3, 5000));
    EXPECT_TRUE(WaitUntil([&] { return count() == L"3"; }, 3000));

    // While a scan runs, refresh does nothing: a slow scan, F5 during it,
    // and no further scan once it is over (the rate wait holds).
    ASSERT_TRUE(program.WriteScenario("unit_ms 150\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n"));
    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(WaitScansStarted(program, 4, 5000));
    ASSERT_TRUE(program.PostKey(VK_F5));
    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(program.WaitScans(4, 10000));
    ::Sleep(1500);
    EXPECT_EQ(4, program.ScansStarted());
    EXPECT_EQ(L"4", count());
    ExitByMenu(program);
}

TEST(AppScan, InquiryLengthsGrowThenStay) {
    LaunchOptions options;
    options.scenario = "unit_ms 5\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(5, 20000));
    std::vector<int> m = program.ScanMultipliers();
    ASSERT_GE(m.size(), 5u);
    EXPECT_EQ((std::vector<int>{3, 8, 13, 13, 13}), std::vector<int>(m.begin(), m.begin() + 5));
    // Update rate 1 with devices in range: each scan follows the last at once,
    // not after a rate wait (the shortest is ten seconds).
    auto events = RadioEvents(program);
    for (unsigned n = 1; n <= 4; ++n) {
        const RadioEvent* closed = FindEvent(events, n, false);
        const RadioEvent* next = FindEvent(events, n + 1, true);
        ASSERT_TRUE(closed && next);
        EXPECT_LT(next->ms - closed->ms, 5000u) << "after scan " << n;
    }
    ExitByMenu(program);
}

TEST(AppScan, EmptyScansWaitFifteenSecondsFromTheSecondOn) {
    LaunchOptions options;
    options.scenario = "unit_ms 5\nradio on\n";   // a radio that finds nobody
    options.config = GeneralSection({{"TrayIcon", "0"}});
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(WaitScansStarted(program, 3, 25000));
    auto events = RadioEvents(program);
    const RadioEvent* close1 = FindEvent(events, 1, false);
    const RadioEvent* start2 = FindEvent(events, 2, true);
    const RadioEvent* close2 = FindEvent(events, 2, false);
    const RadioEvent* start3 = FindEvent(events, 3, true);
    ASSERT_TRUE(close1 && start2 && close2 && start3);
    EXPECT_EQ(3u, FindEvent(events, 1, true)->value);
    EXPECT_EQ(8u, start2->value);
    EXPECT_EQ(13u, start3->value);
    // The first completion follows the update rate (1: at once) ...
    EXPECT_LT(start2->ms - close1->ms, 5000u);
    // ... the next one waits 15 one-second ticks.
    unsigned long long wait = start3->ms - close2->ms;
    EXPECT_GE(wait, 13500u);
    EXPECT_LE(wait, 17500u);
    ExitByMenu(program);
}

TEST(AppScan, MediumRateWaitsTenSeconds) {
    LaunchOptions options;
    options.scenario = "unit_ms 5\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n";
    options.config = GeneralSection({{"UpdateRate", "2"}, {"TrayIcon", "0"}});
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(WaitScansStarted(program, 2, 20000));
    auto events = RadioEvents(program);
    const RadioEvent* close1 = FindEvent(events, 1, false);
    const RadioEvent* start2 = FindEvent(events, 2, true);
    ASSERT_TRUE(close1 && start2);
    unsigned long long wait = start2->ms - close1->ms;
    EXPECT_GE(wait, 8500u);
    EXPECT_LE(wait, 12500u);
    ExitByMenu(program);
}

}  // namespace
}  // namespace nw::e2e
