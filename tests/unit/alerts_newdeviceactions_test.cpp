#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "alerts/AlertCommands.h"
#include "alerts/DepartureActions.h"
#include "alerts/NewDeviceActions.h"
#include "alerts/TrayIconControl.h"
#include "discovery/DeviceRecord.h"
#include "base/Text.h"
#include "settings/Settings.h"

namespace {

// ---- Recording hooks ---------------------------------------------------------

std::vector<std::wstring> g_commands;
int g_beeps = 0;
int g_speakCalls = 0;
std::wstring g_spoken;
HANDLE g_speakStarted = nullptr;   // set by the hook when it begins
HANDLE g_speakRelease = nullptr;   // the hook waits for it before reading
HANDLE g_speakDone = nullptr;

HANDLE g_commandRelease = nullptr;   // set: commands start at once
HANDLE g_commandStarted = nullptr;
DWORD g_windowThread = 0;
int g_startedOnWindowThread = 0;
// On the queue's thread; the test reads g_commands once the queue is idle.
void RecordCommand(const wchar_t* commandLine) {
    if (::GetCurrentThreadId() == g_windowThread) ++g_startedOnWindowThread;
    else ::SetEvent(g_commandStarted);
    if (::GetCurrentThreadId() != g_windowThread) ::WaitForSingleObject(g_commandRelease, 10000);
    g_commands.emplace_back(commandLine);
}
void RecordBeep() { ++g_beeps; }
// Reads the text only after the test let it go, so a test can destroy the
// actions object first.
void RecordSpeech(const wchar_t* text) {
    ++g_speakCalls;
    ::SetEvent(g_speakStarted);
    ::WaitForSingleObject(g_speakRelease, 10000);
    g_spoken = text;
    ::SetEvent(g_speakDone);
}
const nw::AlertHooks kHooks = {RecordCommand, RecordBeep, RecordSpeech};

class NewDeviceActionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_commands.clear();
        g_beeps = 0;
        g_speakCalls = 0;
        g_spoken.clear();
        g_speakStarted = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_speakRelease = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_speakDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_commandRelease = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
        g_commandStarted = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_windowThread = ::GetCurrentThreadId();
        g_startedOnWindowThread = 0;
        nw::SetAlertHooksForTesting(&kHooks);
        // A child of a message-only window stands in for the main window:
        // showing it sets WS_VISIBLE without a round trip to the display.
        parent_ = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        window_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 100, 100, parent_, nullptr, nullptr,
                                    nullptr);
        settings_ = {};
    }
    void TearDown() override {
        ::SetEvent(g_speakRelease);
        ::SetEvent(g_commandRelease);
        EXPECT_TRUE(nw::AlertCommandQueue().WaitIdle(10000));
        ::CloseHandle(g_commandRelease);
        ::CloseHandle(g_commandStarted);
        ::DestroyWindow(parent_);
        nw::SetAlertHooksForTesting(nullptr);
        ::CloseHandle(g_speakStarted);
        ::CloseHandle(g_speakRelease);
        ::CloseHandle(g_speakDone);
    }
    nw::DeviceRecord& AddDevice(uint64_t address, const wchar_t* name, const wchar_t* description, bool isNew) {
        records_.push_back(nw::DeviceRecord{});
        nw::DeviceRecord& r = records_.back();
        r.info.dwSize = sizeof(r.info);
        r.info.Address.ullLong = address;
        nw::CopyText(r.info.szName, name);
        nw::CopyText(r.description, description);
        r.isNew = isNew;
        return r;
    }
    void Run(nw::NewDeviceActions& actions) {
        std::vector<const nw::DeviceRecord*> rows;
        for (const auto& r : records_) rows.push_back(&r);
        actions.RunOnRecords(rows.data(), static_cast<int>(rows.size()), settings_, tray_, window_, nullptr);
    }
    static bool WaitUntilIdle(const nw::NewDeviceActions& actions) {
        for (int i = 0; i < 500 && actions.SpeechBusy(); ++i) ::Sleep(10);
        return !actions.SpeechBusy();
    }
    void SetSpeech(const wchar_t* templ) {
        settings_.alerts.UseNewDeviceSpeak = 1;
        nw::CopyText(settings_.alerts.NewDeviceSpeak, templ);
    }

    bool Shown() const { return (::GetWindowLongPtrW(window_, GWL_STYLE) & WS_VISIBLE) != 0; }

    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    nw::Settings settings_{};
    nw::TrayIconControl tray_;
    std::vector<nw::DeviceRecord> records_;
};

TEST_F(NewDeviceActionsTest, SpeaksEveryNewDeviceOnceFromTheLastRowUp) {
    AddDevice(1, L"Alpha", L"First", true);
    AddDevice(2, L"Beta", L"", false);
    AddDevice(3, L"Gamma", L"Third", true);
    AddDevice(4, L"", L"", true);
    SetSpeech(L"%device_desc% is here");
    nw::NewDeviceActions actions;
    Run(actions);
    EXPECT_TRUE(actions.SpeechBusy());
    ::SetEvent(g_speakRelease);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakDone, 10000));
    EXPECT_EQ(L" is here Third is here First is here ", g_spoken);
    EXPECT_TRUE(WaitUntilIdle(actions));
    EXPECT_EQ(1, g_speakCalls);
}

TEST_F(NewDeviceActionsTest, DevicesSeenWhileSpeakingAreNotSpokenAndStartNoSecondThread) {
    AddDevice(1, L"Alpha", L"", true);
    SetSpeech(L"%device_name%");
    nw::NewDeviceActions actions;
    Run(actions);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakStarted, 10000));
    records_[0].isNew = false;
    AddDevice(2, L"Beta", L"", true);
    Run(actions);
    ::SetEvent(g_speakRelease);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakDone, 10000));
    EXPECT_EQ(L"Alpha ", g_spoken);
    ASSERT_TRUE(WaitUntilIdle(actions));
    EXPECT_EQ(1, g_speakCalls);
    // Once idle, the next pass speaks again.
    ::ResetEvent(g_speakDone);
    Run(actions);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakDone, 10000));
    EXPECT_EQ(L"Beta ", g_spoken);
    EXPECT_TRUE(WaitUntilIdle(actions));
}

// The main window may be destroyed while a sentence is spoken; the thread
// still reads its text afterwards.
TEST_F(NewDeviceActionsTest, TheSpeechThreadOutlivesTheActionsObject) {
    AddDevice(0x001A7DDA7113ull, L"Phone", L"", true);
    SetSpeech(L"New device %device_addr%");
    auto* actions = new nw::NewDeviceActions;
    Run(*actions);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakStarted, 10000));
    delete actions;
    // Reuse the freed memory, so a thread reading freed text would see junk.
    std::vector<std::wstring> noise(64, std::wstring(64, L'#'));
    ::SetEvent(g_speakRelease);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakDone, 10000));
    EXPECT_EQ(L"New device 00:1a:7d:da:71:13 ", g_spoken);
}

TEST_F(NewDeviceActionsTest, CommandLinesGetSafeValuesWhileSentencesKeepThem) {
    const wchar_t* hostile = L"x\" & del /q C:\\*.* & \"";
    AddDevice(0x001A7DDA7113ull, hostile, L"", true);
    settings_.alerts.UseNewDeviceExecute = 1;
    nw::CopyText(settings_.alerts.NewDeviceExecute, L"cmd /c echo %device_name% %device_addr% >> log.txt");
    SetSpeech(L"%device_name%");
    nw::NewDeviceActions actions;
    Run(actions);
    ASSERT_TRUE(nw::AlertCommandQueue().WaitIdle(10000));
    ASSERT_EQ(1u, g_commands.size());
    EXPECT_EQ(L"cmd /c echo x  del /q C:\\*.*   00:1a:7d:da:71:13 >> log.txt", g_commands[0]);
    ::SetEvent(g_speakRelease);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_speakDone, 10000));
    EXPECT_EQ(std::wstring(hostile) + L" ", g_spoken);
    EXPECT_TRUE(WaitUntilIdle(actions));
}

// Through the real command processor: the hostile name's own command must
// not run, while the user's command does.
TEST_F(NewDeviceActionsTest, AHostileNameStartsNoCommandOfItsOwn) {
    const nw::AlertHooks platformLaunch = {nullptr, RecordBeep, RecordSpeech};
    nw::SetAlertHooksForTesting(&platformLaunch);
    wchar_t folder[MAX_PATH], out[MAX_PATH], marker[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    _snwprintf(out, MAX_PATH, L"%snw_alert_out_%lu.txt", folder, ::GetCurrentProcessId());
    _snwprintf(marker, MAX_PATH, L"%snw_alert_marker_%lu.txt", folder, ::GetCurrentProcessId());
    ::DeleteFileW(out);
    ::DeleteFileW(marker);
    std::wstring name = L"x & echo planted> \"";
    name += marker;
    name += L"\" & rem ";
    AddDevice(1, name.c_str(), L"", true);
    settings_.alerts.UseNewDeviceExecute = 1;
    std::wstring command = L"cmd /c echo %device_name%> \"";
    command += out;
    command += L"\"";
    nw::CopyText(settings_.alerts.NewDeviceExecute, command.c_str());
    nw::NewDeviceActions actions;
    Run(actions);
    // The command runs on its own; wait for its output.
    bool written = false;
    for (int i = 0; i < 300 && !written; ++i) {
        HANDLE f = ::CreateFileW(out, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            char text[512] = {};
            DWORD got = 0;
            ::ReadFile(f, text, sizeof(text) - 1, &got, nullptr);
            ::CloseHandle(f);
            written = strstr(text, "echo planted") != nullptr;
        }
        if (!written) ::Sleep(50);
    }
    EXPECT_TRUE(written);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(marker));
    ::DeleteFileW(out);
    ::DeleteFileW(marker);
}

TEST_F(NewDeviceActionsTest, BeepsPerDeviceShowsTheWindowAndListsTheBalloon) {
    AddDevice(1, L"Alpha", L"Kitchen", true);
    AddDevice(2, L"Beta", L"", false);
    AddDevice(3, L"Gamma", L"", true);
    settings_.BeepOnNewDevice = 1;
    settings_.OpenWindowOnNewDevice = 1;
    settings_.DisplayBalloonOnNewDevice = 1;
    settings_.TrayIcon = 1;
    nw::NewDeviceActions actions;
    ASSERT_FALSE(Shown());
    Run(actions);
    EXPECT_EQ(2, g_beeps);
    EXPECT_TRUE(Shown());
    EXPECT_TRUE(actions.BalloonShown());
    EXPECT_STREQ(L"00:00:00:00:00:03  Gamma\r\n00:00:00:00:00:01  Kitchen\r\n", actions.BalloonTextShown());
    EXPECT_TRUE(g_commands.empty());
    EXPECT_EQ(0, g_speakCalls);
    actions.RemoveBalloonIfShown(tray_);
    EXPECT_FALSE(actions.BalloonShown());
}

TEST_F(NewDeviceActionsTest, NoBalloonWithoutTheTrayIconAndNothingWithoutNewDevices) {
    AddDevice(1, L"Alpha", L"", true);
    settings_.DisplayBalloonOnNewDevice = 1;
    settings_.TrayIcon = 0;
    settings_.OpenWindowOnNewDevice = 1;
    nw::NewDeviceActions actions;
    Run(actions);
    EXPECT_FALSE(actions.BalloonShown());
    EXPECT_STREQ(L"", actions.BalloonTextShown());

    ::ShowWindow(window_, SW_HIDE);
    records_[0].isNew = false;
    settings_.TrayIcon = 1;
    settings_.BeepOnNewDevice = 1;
    Run(actions);
    EXPECT_FALSE(Shown());
    EXPECT_FALSE(actions.BalloonShown());
    EXPECT_EQ(0, g_beeps);
}

// A scan with 62 new devices and as many departures: the window thread only
// queues the commands (here the first one cannot even start until the test
// lets it), and the queue's thread starts them all in order.
TEST_F(NewDeviceActionsTest, CommandsOfABurstStartOffTheWindowThreadInOrder) {
    std::vector<nw::DepartedDevice> departed;
    for (int i = 0; i < 62; ++i) AddDevice(0x100 + i, (L"D" + std::to_wstring(i)).c_str(), L"", true);
    for (const auto& record : records_) departed.push_back({&record, L"2026-12-08T10:57:21"});
    settings_.alerts.UseNewDeviceExecute = 1;
    nw::CopyText(settings_.alerts.NewDeviceExecute, L"new %device_name%");
    settings_.presence.UseDepartedDeviceExecute = 1;
    nw::CopyText(settings_.presence.DepartedDeviceExecute, L"gone %device_name% %device_last_seen%");
    ::ResetEvent(g_commandRelease);
    nw::NewDeviceActions actions;
    nw::DepartureActions departures;
    const size_t droppedBefore = nw::AlertCommandQueue().Dropped();
    Run(actions);
    departures.Run(departed.data(), static_cast<int>(departed.size()), settings_, tray_, nullptr);
    EXPECT_EQ(0, g_startedOnWindowThread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_commandStarted, 10000));
    EXPECT_TRUE(g_commands.empty());   // still held, yet both passes are done
    ::SetEvent(g_commandRelease);
    ASSERT_TRUE(nw::AlertCommandQueue().WaitIdle(10000));
    ASSERT_EQ(124u, g_commands.size());
    EXPECT_EQ(L"new D61", g_commands[0]);   // from the last row up
    EXPECT_EQ(L"new D0", g_commands[61]);
    EXPECT_EQ(L"gone D0 2026-12-08T10:57:21", g_commands[62]);
    EXPECT_EQ(L"gone D61 2026-12-08T10:57:21", g_commands[123]);
    EXPECT_EQ(droppedBefore, nw::AlertCommandQueue().Dropped());
}

// Beyond its limit a queue drops and counts; stopped (at exit) it drops
// what waits, lets the command being started finish, and takes no more.
TEST_F(NewDeviceActionsTest, AFullOrStoppedQueueDropsAndCounts) {
    ::ResetEvent(g_commandRelease);
    nw::CommandQueue queue(4);
    ASSERT_TRUE(queue.Push(L"first", RecordCommand));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(g_commandStarted, 10000));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(queue.Push((L"queued " + std::to_wstring(i)).c_str(), RecordCommand));
    EXPECT_FALSE(queue.Push(L"one too many", RecordCommand));
    EXPECT_FALSE(queue.Push(L"two too many", RecordCommand));
    EXPECT_EQ(2u, queue.Dropped());
    EXPECT_FALSE(queue.WaitIdle(0));
    queue.Stop(0);
    EXPECT_EQ(6u, queue.Dropped());
    EXPECT_FALSE(queue.Push(L"after the stop", RecordCommand));
    EXPECT_EQ(7u, queue.Dropped());
    ::SetEvent(g_commandRelease);
    ASSERT_TRUE(queue.WaitIdle(10000));
    EXPECT_EQ(std::vector<std::wstring>{L"first"}, g_commands);
}

}  // namespace
