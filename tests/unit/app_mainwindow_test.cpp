// The main window inside the test process: its scan-done glue against the
// simulated radio, the focus after its dialogs, and shutdown while one of its
// own handlers still waits in a modal loop or the find dialog is open.
#include <gtest/gtest.h>
#include <windows.h>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "alerts/NewDeviceActions.h"
#include "app/MainWindow.h"
#include "dialogs_testsupport.h"
#include "discovery/DeviceRecord.h"
#include "discovery/ScanWorker.h"
#include "frame/CrashReport.h"
#include "settings/Settings.h"
#include "simradio/TestRadio.h"
#include "resource.h"

namespace {

std::atomic<int> g_faults{0};

int CountFault(const EXCEPTION_POINTERS*, HWND) {
    ++g_faults;
    return 1;   // continue
}

struct OwnedDialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<OwnedDialogSearch*>(context);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
    if (::GetWindow(window, GW_OWNER) != search->owner) return TRUE;
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (wcscmp(name, L"#32770") != 0) return TRUE;
    search->found = window;
    return FALSE;
}

HWND OwnedDialog(HWND owner) {
    OwnedDialogSearch search{owner, nullptr};
    ::EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The window of the program, created in this process without the settings
// file; the radio is whatever the environment names when Create runs.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedSettings_ = nw::AppSettings();
        buffersBefore_ = nw::ScanWorker::LiveBuffers();
    }
    void TearDown() override {
        Close();
        main_.reset();
        ::UnregisterClassW(L"Nearwatch", ::GetModuleHandleW(nullptr));
        nw::SetAppSettings(savedSettings_);
        // The window's last scan ends on its own; later tests count buffers.
        for (int i = 0; i < 1000 && nw::ScanWorker::LiveBuffers() != buffersBefore_; ++i) ::Sleep(10);
        EXPECT_EQ(buffersBefore_, nw::ScanWorker::LiveBuffers());
    }
    void Create() {
        main_ = std::make_unique<nw::MainWindow>();
        main_->SetNoSaveLoad(true);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = nw::SharedWindowProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = main_->ClassName();
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, main_->ClassName(), L"Nearwatch", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                    nullptr, nullptr, ::GetModuleHandleW(nullptr), main_.get());
        ASSERT_TRUE(window_);
        ASSERT_NE(nullptr, main_->Table());
    }
    void Close() {
        if (window_) ::DestroyWindow(window_);
        window_ = nullptr;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    // Runs the thread's messages until the window has handled one scan's
    // completion; false after ten seconds without one.
    bool HandleNextScanDone() {
        const ULONGLONG end = ::GetTickCount64() + 10000;
        while (::GetTickCount64() < end) {
            MSG msg;
            if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
            if (msg.hwnd == window_ && msg.message == NWM_SCAN_DONE) return true;
        }
        return false;
    }

    std::unique_ptr<nw::MainWindow> main_;
    HWND window_ = nullptr;
    nw::Settings* savedSettings_ = nullptr;
    long buffersBefore_ = 0;
};

std::atomic<int> g_beeps{0};
void CountBeep() { ++g_beeps; }

// The end-of-session query arrives while the font dialog of the main window
// is open: the table that the command goes on using after the dialog must
// still be there, and it is released once the command has returned.
TEST_F(MainWindowTest, EndOfSessionInsideACommandReleasesTheTableAfterIt) {
    Create();
    HWND window = window_;

    g_faults = 0;
    nw::SetCrashReportHookForTests(CountFault);
    std::atomic<bool> returned{false};
    std::atomic<bool> dialogSeen{false};
    std::thread helper([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 400 && !returned && !(dialog = OwnedDialog(window)); ++i) ::Sleep(25);
        if (!dialog) return;
        dialogSeen = true;
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, &answer);
        // Should the dialog outlive the quit message, it is cancelled.
        for (int i = 0; i < 80 && !returned; ++i) ::Sleep(25);
        if (!returned && ::IsWindow(dialog)) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_CHOOSE_FONT, 0), 0);
    returned = true;
    helper.join();
    nw::SetCrashReportHookForTests(nullptr);

    EXPECT_TRUE(dialogSeen) << "the font dialog did not open";
    EXPECT_EQ(0, g_faults.load());
    EXPECT_EQ(nullptr, main_->Table());
}

// The modeless find dialog types into a record that the table owns: the end
// of the session closes the dialog before the table goes.
TEST_F(MainWindowTest, EndOfSessionClosesTheFindDialogBeforeTheTableGoes) {
    Create();
    ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDM_FIND, 0), 0);
    HWND find = main_->FindDialog();
    ASSERT_TRUE(find && ::IsWindow(find));
    ::SendMessageW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    EXPECT_EQ(nullptr, main_->Table());
    EXPECT_FALSE(::IsWindow(find));
    EXPECT_EQ(nullptr, main_->FindDialog());
}

TEST_F(MainWindowTest, TheListHasTheKeyboardFocusAgainAfterADialog) {
    Create();
    ::ShowWindow(window_, SW_SHOW);
    HWND list = main_->Table()->Control();
    for (WORD command : {IDM_ADVANCED_OPTIONS, IDM_ABOUT}) {
        ::SetFocus(window_);
        ASSERT_NE(list, ::GetFocus());
        EXPECT_EQ(1, dialogtest::DialogScript::Run(
                         [&] { ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(command, 0), 0); },
                         [](HWND dialog) { dialogtest::DialogScript::Press(dialog, IDCANCEL); }))
            << command;
        EXPECT_EQ(list, ::GetFocus()) << command;
    }
}

// The scan-done glue against the simulated radio: the inquiry grows 3, 8,
// 13, 13...; the devices of the first three scans are the baseline and never
// alert, one new in the fourth does; the re-sort after every scan keeps the
// direction the user chose.
TEST_F(MainWindowTest, ScanDoneGrowsTheInquiryArmsAlertsAfterTheBaselineAndKeepsTheSortDirection) {
    nw::testradio::RadioFolder radio;
    ASSERT_TRUE(radio.Scenario("unit_ms 0\n"
                               "device 00:00:00:00:00:01 name=Alpha\n"
                               "device 00:00:00:00:00:02 scans=2- name=Bravo\n"
                               "device 00:00:00:00:00:03 scans=3- name=Charlie\n"
                               "device 00:00:00:00:00:04 scans=4- name=Delta\n"
                               "device 00:00:00:00:00:05 scans=5- name=Echo\n"));
    g_beeps = 0;
    const nw::AlertHooks hooks = {nullptr, CountBeep, nullptr};
    nw::SetAlertHooksForTesting(&hooks);
    Create();
    nw::Settings& settings = main_->GetSettings();
    settings.TrayIcon = 0;
    settings.DisplayBalloonOnNewDevice = 0;
    settings.OpenWindowOnNewDevice = 0;
    settings.BeepOnNewDevice = 1;
    settings.SortOnEveryUpdate = 1;
    settings.UpdateRate = 1;   // the next scan starts at once
    nw::DeviceTable& table = *main_->Table();
    const int descendingByName = nw::kColName | nw::kSortDescending;
    table.Sort(descendingByName, true);

    const wchar_t* const names[] = {L"Alpha", L"Bravo", L"Charlie", L"Delta", L"Echo"};
    const int beepsAfter[] = {0, 0, 0, 1, 2};
    for (int scan = 1; scan <= 5; ++scan) {
        ASSERT_TRUE(HandleNextScanDone()) << "scan " << scan;
        ASSERT_EQ(scan, table.RowCount()) << "scan " << scan;
        EXPECT_EQ(beepsAfter[scan - 1], g_beeps.load()) << "scan " << scan;
        EXPECT_EQ(descendingByName, table.SortKey()) << "scan " << scan;
        auto* first = static_cast<const nw::DeviceRecord*>(table.RowRecord(0));
        ASSERT_NE(nullptr, first);
        EXPECT_STREQ(names[scan - 1], first->info.szName) << "scan " << scan;
    }
    Close();
    nw::SetAlertHooksForTesting(nullptr);

    std::vector<std::string> starts;
    for (const std::string& event : radio.LogEvents())
        if (event.rfind("start ", 0) == 0 && starts.size() < 5) starts.push_back(event);
    EXPECT_EQ((std::vector<std::string>{"start 1 multiplier 3", "start 2 multiplier 8", "start 3 multiplier 13",
                                        "start 4 multiplier 13", "start 5 multiplier 13"}),
              starts);
}

}  // namespace
