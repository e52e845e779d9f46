#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <string>

#include "discovery/ScanWorker.h"
#include "simradio/TestRadio.h"

using nw::ScanAnswer;
using nw::ScanWorker;
using namespace nw::testradio;

namespace {

// A real (hidden) window on the test thread that the worker posts to.
class DoneWindow {
public:
    DoneWindow() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"NwScanWorkerTest";
        ::RegisterClassW(&wc);
        hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    }
    ~DoneWindow() {
        if (hwnd) ::DestroyWindow(hwnd);
    }

    // Pumps the thread's messages for up to timeoutMs, counting doneMessage;
    // returns as soon as one has arrived unless waitFull.
    int Pump(DWORD timeoutMs, bool waitFull = false) {
        int seen = 0;
        ULONGLONG end = ::GetTickCount64() + timeoutMs;
        for (;;) {
            MSG msg;
            while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.hwnd == hwnd && msg.message == NWM_SCAN_DONE) {
                    EXPECT_EQ(0u, msg.wParam);
                    EXPECT_EQ(0, msg.lParam);
                    ++seen;
                    continue;
                }
                ::DispatchMessageW(&msg);
            }
            ULONGLONG now = ::GetTickCount64();
            if (now >= end || (seen && !waitFull)) return seen;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        }
    }

    HWND hwnd = nullptr;
};

// Runs one scan to its completion message and takes the answer.
bool Scan(ScanWorker& worker, DoneWindow& window, ScanAnswer& answer, int* messages = nullptr) {
    if (!worker.StartScan()) return false;
    int seen = window.Pump(10000);
    // Any second message would arrive right behind the first.
    seen += window.Pump(150, true);
    if (messages) *messages = seen;
    return seen >= 1 && worker.TakeAnswer(answer);
}

std::string Devices(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += "device " + AddressText(static_cast<unsigned long long>(i)) + " class=0x" + std::to_string(i) +
                " name=Device " + std::to_string(i) + "\n";
    return text;
}

bool Unloaded() {
    for (int i = 0; i < 200; ++i) {
        if (!::GetModuleHandleW(L"simradio.dll")) return true;
        ::Sleep(10);
    }
    return false;
}

}  // namespace

TEST(ScanWorker, KeepsTheFirst62AnswersAndStillClosesTheEnumeration) {
    RadioFolder radio;
    ASSERT_TRUE(radio.Scenario("unit_ms 0\n" + Devices(70)));
    DoneWindow window;
    ASSERT_NE(nullptr, window.hwnd);
    ScanWorker worker;
    worker.window = window.hwnd;
    worker.timeoutMultiplier = 0x10D;   // only the low 8 bits reach the platform
    auto answer = std::make_unique<ScanAnswer>();
    int messages = 0;
    ASSERT_TRUE(Scan(worker, window, *answer, &messages));
    EXPECT_EQ(1, messages);
    ASSERT_EQ(62, answer->count);
    for (int i = 0; i < 62; ++i) {
        const BLUETOOTH_DEVICE_INFO& info = answer->results[i];
        EXPECT_EQ(560u, info.dwSize);
        EXPECT_EQ(static_cast<ULONGLONG>(i + 1), info.Address.ullLong);
        EXPECT_EQ((L"Device " + std::to_wstring(i + 1)), info.szName);
    }
    // Sizes right, dwSize set before every call, the enumeration closed.
    EXPECT_EQ((std::vector<std::string>{"start 1 multiplier 13", "close 1 answers 70"}), radio.LogEvents());
    EXPECT_FALSE(worker.Running());
    EXPECT_TRUE(Unloaded());
}

TEST(ScanWorker, NoRadioGivesAnEmptyAnswerAndOneMessage) {
    DoneWindow window;
    ScanWorker worker;
    worker.window = window.hwnd;
    worker.timeoutMultiplier = 3;
    auto answer = std::make_unique<ScanAnswer>();
    {
        // Answers of an earlier scan must not survive a scan that finds nothing.
        RadioFolder radio;
        ASSERT_TRUE(radio.Scenario("unit_ms 0\n" + Devices(3)));
        ASSERT_TRUE(Scan(worker, window, *answer));
        ASSERT_EQ(3, answer->count);
        EXPECT_TRUE(worker.RadioFound());
    }
    const char* scenarios[] = {nullptr, "radio off\n" "device 00:00:00:00:00:01\n", "unit_ms 0\n"};
    for (const char* scenario : scenarios) {
        RadioFolder radio;
        if (scenario) {
            ASSERT_TRUE(radio.Scenario(scenario));
        }
        answer->count = 99;
        int messages = 0;
        ASSERT_TRUE(Scan(worker, window, *answer, &messages)) << (scenario ? scenario : "no file");
        EXPECT_EQ(1, messages);
        EXPECT_EQ(0, answer->count);
        EXPECT_EQ((std::vector<std::string>{"start 1 multiplier 3", "close 1 answers 0"}), radio.LogEvents());
        // A radio that found nothing is still a radio.
        EXPECT_EQ(scenario == scenarios[2], worker.RadioFound()) << (scenario ? scenario : "no file");
    }
    {
        // No Bluetooth library at all.
        RadioFolder radio;
        ::SetEnvironmentVariableW(L"NEARWATCH_RADIO", L"C:\\nowhere\\missing-radio.dll");
        answer->count = 99;
        int messages = 0;
        ASSERT_TRUE(Scan(worker, window, *answer, &messages));
        EXPECT_EQ(1, messages);
        EXPECT_EQ(0, answer->count);
        EXPECT_FALSE(worker.RadioFound());
    }
}

TEST(ScanWorker, SystemLibraryWithoutAStandIn) {
    // Whatever the machine's Bluetooth answers, the scan ends with one message.
    ::SetEnvironmentVariableW(L"NEARWATCH_RADIO", nullptr);
    DoneWindow window;
    ScanWorker worker;
    worker.window = window.hwnd;
    worker.timeoutMultiplier = 1;
    auto answer = std::make_unique<ScanAnswer>();
    int messages = 0;
    ASSERT_TRUE(Scan(worker, window, *answer, &messages));
    EXPECT_EQ(1, messages);
    EXPECT_GE(answer->count, 0);
    EXPECT_LE(answer->count, 62);
}

TEST(ScanWorker, RepeatedAddressIsStoredTwiceAndEachScanStartsEmpty) {
    RadioFolder radio;
    ASSERT_TRUE(radio.Scenario("unit_ms 0\n"
                               "device 00:1a:7d:da:71:13 scans=1,3 name=Phone\n"
                               "device 00:1a:7d:da:71:13 scans=1 name=Phone\n"
                               "device 00:00:00:00:00:07 scans=1-2 name=Watch\n"));
    DoneWindow window;
    ScanWorker worker;
    worker.window = window.hwnd;
    auto answer = std::make_unique<ScanAnswer>();

    ASSERT_TRUE(Scan(worker, window, *answer));
    ASSERT_EQ(3, answer->count);
    EXPECT_EQ(0x001A7DDA7113ull, answer->results[0].Address.ullLong);
    EXPECT_EQ(0x001A7DDA7113ull, answer->results[1].Address.ullLong);

    // The library is unloaded after every scan; the scan number goes on.
    ASSERT_TRUE(Unloaded());
    ASSERT_TRUE(Scan(worker, window, *answer));
    ASSERT_EQ(1, answer->count);
    EXPECT_STREQ(L"Watch", answer->results[0].szName);

    ASSERT_TRUE(Unloaded());
    ASSERT_TRUE(Scan(worker, window, *answer));
    ASSERT_EQ(1, answer->count);
    EXPECT_STREQ(L"Phone", answer->results[0].szName);

    // A test may rewrite the scenario between scans.
    ASSERT_TRUE(radio.Scenario("unit_ms 0\n"));
    ASSERT_TRUE(Scan(worker, window, *answer));
    EXPECT_EQ(0, answer->count);

    EXPECT_EQ((std::vector<std::string>{"start 1 multiplier 3", "close 1 answers 3", "start 2 multiplier 3",
                                        "close 2 answers 1", "start 3 multiplier 3", "close 3 answers 1",
                                        "start 4 multiplier 3", "close 4 answers 0"}),
              radio.LogEvents());
}

TEST(ScanWorker, OneScanAtATimeAndNoAnswerWhileItRuns) {
    RadioFolder radio;
    ASSERT_TRUE(radio.Scenario("unit_ms 100\n" + Devices(2)));
    DoneWindow window;
    ScanWorker worker;
    worker.window = window.hwnd;
    worker.timeoutMultiplier = 2;
    auto answer = std::make_unique<ScanAnswer>();
    answer->count = 5;
    ASSERT_TRUE(worker.StartScan());
    EXPECT_TRUE(worker.Running());
    EXPECT_NE(0u, worker.ThreadId());
    EXPECT_FALSE(worker.StartScan());
    EXPECT_FALSE(worker.TakeAnswer(*answer));
    EXPECT_EQ(5, answer->count);
    EXPECT_EQ(1, window.Pump(10000));
    EXPECT_TRUE(worker.TakeAnswer(*answer));
    EXPECT_EQ(2, answer->count);
    EXPECT_EQ(0, window.Pump(150, true));
    EXPECT_EQ(2u, radio.LogEvents().size());
}

TEST(ScanWorker, DestroyedDuringAScanNeitherWaitsNorPosts) {
    RadioFolder radio;
    ASSERT_TRUE(radio.Scenario("unit_ms 100\n" + Devices(70)));
    DoneWindow window;
    long before = ScanWorker::LiveBuffers();
    {
        ScanWorker worker;
        EXPECT_EQ(before + 1, ScanWorker::LiveBuffers());
        worker.window = window.hwnd;
        worker.timeoutMultiplier = 4;
        ASSERT_TRUE(worker.StartScan());
    }
    // The thread still holds the buffer and writes 62 answers into it once the
    // inquiry ends; then it lets go.
    EXPECT_EQ(before + 1, ScanWorker::LiveBuffers());
    EXPECT_EQ(0, window.Pump(1000, true));
    for (int i = 0; i < 500 && ScanWorker::LiveBuffers() != before; ++i) ::Sleep(10);
    EXPECT_EQ(before, ScanWorker::LiveBuffers());
    EXPECT_EQ((std::vector<std::string>{"start 1 multiplier 4", "close 1 answers 70"}), radio.LogEvents());
    EXPECT_EQ(0, window.Pump(100, true));
}
