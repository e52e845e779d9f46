// Start, configuration and shutdown of the real program.
#include "e2e/AppSupport.h"

#include <commctrl.h>

namespace nw::e2e {
namespace {

TEST(AppLifecycle, FirstStartUsesDefaultsAndWritesEveryKeyInOrder) {
    Program program;
    NW_LAUNCH(program, LaunchOptions{});
    ASSERT_TRUE(program.WaitScans(1));
    EXPECT_EQ(L"Nearwatch", program.Title());
    EXPECT_EQ(17, program.ColumnCount());
    EXPECT_EQ(3, program.StatusPartCount());   // devices, link, LE state
    EXPECT_EQ(L"0 Bluetooth devices", program.StatusText(0));
    DWORD style = program.ListExtendedStyle();
    EXPECT_TRUE(style & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(style & LVS_EX_HEADERDRAGDROP);
    EXPECT_TRUE(style & LVS_EX_INFOTIP);       // on by default
    EXPECT_FALSE(style & LVS_EX_GRIDLINES);    // off by default
    EXPECT_FALSE(program.FileExists(L"nearwatch.cfg"));   // written at exit only
    ExitByMenu(program);

    std::string bytes;
    ASSERT_TRUE(program.ReadFile(L"nearwatch.cfg", bytes));
    auto lines = SplitLines(DecodeText(bytes));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(L"[General]", lines[0]);
    EXPECT_EQ(ConfigurationKeys(), KeysOf(lines));
    const std::pair<const wchar_t*, const wchar_t*> defaults[] = {
        {L"ShowGridLines", L"0"}, {L"SaveFilterIndex", L"0"}, {L"ShowInfoTip", L"1"},
        {L"TrayIcon", L"1"}, {L"SortOnEveryUpdate", L"1"}, {L"DisplayBalloonOnNewDevice", L"1"},
        {L"OpenWindowOnNewDevice", L"0"}, {L"BeepOnNewDevice", L"0"}, {L"MarkNewDevices", L"1"},
        {L"DevicesAlertOnlyWithDesc", L"0"}, {L"AutoSetDeviceDescription", L"1"}, {L"UpdateRate", L"1"},
        {L"NewDeviceExecute", L""}, {L"UseNewDeviceExecute", L"0"},
        {L"NewDeviceSpeak", L"%device_desc% is here"}, {L"UseNewDeviceSpeak", L"0"}, {L"Sort", L"0"},
        {L"DepartAfterScans", L"3"}, {L"UseDepartedDeviceExecute", L"0"}, {L"DepartedDeviceExecute", L""},
        {L"BalloonOnDeparted", L"0"}, {L"KeepHistoryLog", L"0"}, {L"ScanLowEnergy", L"1"},
        {L"ForgetPrivateAfterMinutes", L"5"}, {L"MqttServer", L""}, {L"MqttTopic", L"nearwatch"},
        {L"MqttDiscovery", L"0"},
        {L"Columns", L"82 00 00 00 82 00 01 00 82 00 02 00 64 00 03 00 64 00 04 00 78 00 05 00 78 00 06 00 "
                     L"64 00 07 00 50 00 08 00 50 00 09 00 50 00 0A 00 B4 00 0B 00 96 00 0C 00 "
                     L"5A 00 0D 00 50 00 0E 00 64 00 0F 00 A0 00 10 00"},
    };
    for (const auto& [key, value] : defaults) EXPECT_EQ(value, ValueOf(lines, key)) << Narrow(key);
    EXPECT_EQ(0u, ValueOf(lines, L"WinPos").rfind(L"2C 00 00 00", 0));
    EXPECT_EQ(131u, ValueOf(lines, L"WinPos").size());
}

TEST(AppLifecycle, ConfigurationIsReadAtStart) {
    LaunchOptions options;
    // A hand-edited departure count beyond 1-99, minutes beyond 1-1440; the
    // other new keys absent.
    options.config = GeneralSection({{"ShowGridLines", "1"}, {"ShowInfoTip", "0"}, {"TrayIcon", "0"},
                                     {"DepartAfterScans", "500"}, {"ForgetPrivateAfterMinutes", "0"}});
    Program program;
    NW_LAUNCH(program, options);
    DWORD style = program.ListExtendedStyle();
    EXPECT_TRUE(style & LVS_EX_GRIDLINES);
    EXPECT_FALSE(style & LVS_EX_INFOTIP);
    // Without the tray icon the close box ends the program at once.
    DWORD code = 99;
    ASSERT_TRUE(program.Close(10000, &code));
    EXPECT_EQ(0u, code);
    EXPECT_TRUE(program.Dialogs().empty());
    auto lines = SplitLines(DecodeText(FileText(program, L"nearwatch.cfg")));
    EXPECT_EQ(L"1", ValueOf(lines, L"ShowGridLines"));
    EXPECT_EQ(L"0", ValueOf(lines, L"TrayIcon"));
    EXPECT_EQ(L"99", ValueOf(lines, L"DepartAfterScans"));
    EXPECT_EQ(L"0", ValueOf(lines, L"KeepHistoryLog"));
    EXPECT_EQ(L"1", ValueOf(lines, L"ForgetPrivateAfterMinutes"));
    EXPECT_EQ(L"1", ValueOf(lines, L"ScanLowEnergy"));
}

TEST(AppLifecycle, NoSaveLoadLeavesTheFileAloneAndUsesDefaults) {
    const std::string config =
        GeneralSection({{"ShowGridLines", "1"}, {"ShowInfoTip", "0"}, {"TrayIcon", "0"}}) +
        "[Mine]\r\nkept=yes\r\n";
    {
        LaunchOptions options;
        options.config = config;
        options.arguments = L"/NoSaveLoad";
        Program program;
        NW_LAUNCH(program, options);
        DWORD style = program.ListExtendedStyle();
        EXPECT_FALSE(style & LVS_EX_GRIDLINES);
        EXPECT_TRUE(style & LVS_EX_INFOTIP);
        ExitByMenu(program);
        EXPECT_EQ(config, FileText(program, L"nearwatch.cfg"));
    }
    {
        LaunchOptions options;
        options.arguments = L"\"/nosaveload\"";
        Program program;
        NW_LAUNCH(program, options);
        ExitByMenu(program);
        EXPECT_FALSE(program.FileExists(L"nearwatch.cfg"));
    }
}

TEST(AppLifecycle, WinPosRestoresTheWindow) {
    {
        LaunchOptions options;
        options.config = GeneralSection({{"TrayIcon", "0"}, {"WinPos", WinPosValue(120, 90, 720, 540, SW_SHOWNORMAL)}});
        Program program;
        NW_LAUNCH(program, options);
        RECT r = {};
        ASSERT_TRUE(::GetWindowRect(program.MainWindow(), &r));
        EXPECT_EQ(120, r.left);
        EXPECT_EQ(90, r.top);
        EXPECT_EQ(720, r.right);
        EXPECT_EQ(540, r.bottom);
        EXPECT_TRUE(program.IsVisible());
        EXPECT_FALSE(::IsZoomed(program.MainWindow()));
        ExitByMenu(program);
    }
    {
        LaunchOptions options;
        options.config =
            GeneralSection({{"TrayIcon", "0"}, {"WinPos", WinPosValue(120, 90, 720, 540, SW_SHOWMAXIMIZED)}});
        Program program;
        NW_LAUNCH(program, options);
        EXPECT_TRUE(WaitUntil([&] { return ::IsZoomed(program.MainWindow()) != FALSE; }, 3000));
        ExitByMenu(program);
    }
    {
        // Implausible (20 pixels wide): the window keeps its created place.
        LaunchOptions options;
        options.config = GeneralSection({{"TrayIcon", "0"}, {"WinPos", WinPosValue(120, 90, 140, 540, SW_SHOWNORMAL)}});
        Program program;
        NW_LAUNCH(program, options);
        RECT r = {};
        ASSERT_TRUE(::GetWindowRect(program.MainWindow(), &r));
        EXPECT_EQ(640, r.right - r.left);
        EXPECT_EQ(480, r.bottom - r.top);
        ExitByMenu(program);
    }
}

TEST(AppLifecycle, CloseBoxWithTrayIconAsksAndNoKeepsRunning) {
    Program program;
    NW_LAUNCH(program, LaunchOptions{});   // the tray icon is on by default
    ASSERT_TRUE(program.PostClose());
    HWND question = program.WaitDialog(5000, L"Nearwatch");
    ASSERT_TRUE(question);
    EXPECT_NE(std::wstring::npos, Program::DialogText(question).find(L"exit"));
    ASSERT_TRUE(Program::PressButton(question, IDNO));
    ASSERT_TRUE(program.WaitNoDialog());
    ::Sleep(500);
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(program.IsVisible());

    ASSERT_TRUE(program.PostClose());
    question = program.WaitDialog(5000, L"Nearwatch");
    ASSERT_TRUE(question);
    ASSERT_TRUE(Program::PressButton(question, IDYES));
    DWORD code = 99;
    ASSERT_TRUE(program.WaitExit(10000, &code));
    EXPECT_EQ(0u, code);
}

TEST(AppLifecycle, ExitIsPromptWhileALongInquiryRuns) {
    LaunchOptions options;
    // The first scan would take 3 x 5 s.
    options.scenario = "unit_ms 5000\ndevice 00:1a:7d:da:71:13 name=Slow phone\n";
    options.config = GeneralSection({{"TrayIcon", "0"}});
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(WaitScansStarted(program, 1, 10000));
    ULONGLONG begin = ::GetTickCount64();
    DWORD code = 99;
    ASSERT_TRUE(program.Close(5000, &code)) << "closing waited for the radio";
    EXPECT_LT(::GetTickCount64() - begin, 7500u) << "it waited for the 15 s inquiry";
    EXPECT_EQ(0u, code);
    EXPECT_EQ(0, program.ScansClosed());
    EXPECT_TRUE(program.FileExists(L"nearwatch.cfg"));
}

TEST(AppLifecycle, SwitchesThatEndWithoutAWindow) {
    {
        LaunchOptions options;
        options.arguments = L"/SaveLangFile";
        options.waitForWindow = false;
        Program program;
        NW_LAUNCH(program, options);
        DWORD code = 99;
        ASSERT_TRUE(program.WaitExit(10000, &code));
        EXPECT_EQ(0u, code);
        EXPECT_TRUE(program.FileExists(L"nearwatch_lng.ini"));
        EXPECT_FALSE(program.FileExists(L"radio.log"));   // no window, no scan
    }
    {
        LaunchOptions options;
        options.arguments = L"/deleteregkey";
        options.waitForWindow = false;
        Program program;
        NW_LAUNCH(program, options);
        DWORD code = 99;
        ASSERT_TRUE(program.WaitExit(10000, &code));
        EXPECT_EQ(0u, code);
        EXPECT_FALSE(program.FileExists(L"radio.log"));
        EXPECT_FALSE(program.FileExists(L"nearwatch.cfg"));
    }
}

}  // namespace
}  // namespace nw::e2e
