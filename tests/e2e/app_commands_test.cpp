// The command set of the real program: new-device alerts through the alert
// command line, reset, remove, menus, option toggles and exit.
#include "e2e/AppSupport.h"

#include <commctrl.h>

namespace nw::e2e {
namespace {

// Each alert appends the device's address to alerts.txt in the program's
// folder (its current folder).
std::vector<std::pair<std::string, std::string>> AlertKeys() {
    return {{"TrayIcon", "0"},
            {"DisplayBalloonOnNewDevice", "0"},
            {"UseNewDeviceExecute", "1"},
            {"NewDeviceExecute", "cmd /c echo %device_addr%>>alerts.txt"}};
}

std::vector<std::string> AlertLines(const Program& program) {
    std::vector<std::string> lines;
    for (const auto& line : ReadLines(program.PathOf(L"alerts.txt"))) {
        std::string l = line;
        while (!l.empty() && (l.back() == ' ' || l.back() == '\r')) l.pop_back();
        if (!l.empty()) lines.push_back(l);
    }
    return lines;
}

// Rate 3 waits 20 s between scans: these tests start each scan with refresh.
std::vector<std::pair<std::string, std::string>> Driven(std::vector<std::pair<std::string, std::string>> keys) {
    keys.push_back({"UpdateRate", "3"});
    return keys;
}

void ScanOnce(const Program& program) {
    int before = program.ScansClosed();
    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(program.WaitScans(before + 1, 10000));
    ::Sleep(150);   // merged and drawn
}

TEST(AppCommands, OnlyDevicesFirstSeenAfterTheBaselineAlert) {
    LaunchOptions options;
    options.config = GeneralSection(AlertKeys());
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 name=Present from the start\n"
        "device 0a:00:00:00:00:02 scans=3- name=Third scan\n"
        "device 0a:00:00:00:00:03 scans=4- name=Fourth scan\n"
        "device 0a:00:00:00:00:04 scans=6- name=Sixth scan\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(8, 20000));
    EXPECT_EQ(4, program.RowCount());
    ASSERT_TRUE(WaitUntil([&] { return AlertLines(program).size() >= 2; }, 10000));
    ::Sleep(1000);   // no late third alert
    EXPECT_EQ((std::vector<std::string>{"0a:00:00:00:00:03", "0a:00:00:00:00:04"}), AlertLines(program));
    ExitByMenu(program);
}

TEST(AppCommands, AlertOnlyWithDescriptionSkipsUndescribedDevices) {
    LaunchOptions options;
    auto keys = AlertKeys();
    keys.push_back({"DevicesAlertOnlyWithDesc", "1"});
    keys.push_back({"AutoSetDeviceDescription", "0"});
    options.config = GeneralSection(keys);
    options.descriptions = "[Descriptions]\r\n0a:00:00:00:00:03=Office printer\r\n";
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 name=Present from the start\n"
        "device 0a:00:00:00:00:03 scans=4- name=Described\n"
        "device 0a:00:00:00:00:05 scans=4- name=Undescribed\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(6, 20000));
    ASSERT_TRUE(WaitUntil([&] { return AlertLines(program).size() >= 1; }, 10000));
    ::Sleep(1000);
    EXPECT_EQ((std::vector<std::string>{"0a:00:00:00:00:03"}), AlertLines(program));
    EXPECT_EQ(L"Office printer", program.Cell(program.FindRow(2, L"0a:00:00:00:00:03"), 1));
    EXPECT_EQ(L"", program.Cell(program.FindRow(2, L"0a:00:00:00:00:05"), 1));
    ExitByMenu(program);
}

TEST(AppCommands, ResetEmptiesTheListAndTheNextScanRefillsItWithoutAlerts) {
    LaunchOptions options;
    options.config = GeneralSection(Driven(AlertKeys()));
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 name=One\n"
        "device 0a:00:00:00:00:02 name=Two\n"
        "device 0a:00:00:00:00:06 scans=6- name=Late\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 10000));
    ScanOnce(program);
    ScanOnce(program);   // the third scan completes the baseline
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 3000));

    // No keeps everything.
    ASSERT_TRUE(program.Command(IDM_RESET));
    HWND question = program.WaitDialog(5000, L"Nearwatch");
    ASSERT_TRUE(question);
    EXPECT_NE(std::wstring::npos, Program::DialogText(question).find(L"reset"));
    ASSERT_TRUE(Program::PressButton(question, IDNO));
    ASSERT_TRUE(program.WaitNoDialog());
    EXPECT_EQ(2, program.RowCount());

    ASSERT_TRUE(program.Command(IDM_RESET));
    question = program.WaitDialog(5000, L"Nearwatch");
    ASSERT_TRUE(question);
    ASSERT_TRUE(Program::PressButton(question, IDYES));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 0; }, 3000));
    EXPECT_EQ(L"0 Bluetooth devices", program.StatusText(0));

    ScanOnce(program);   // scan 4 refills without marks ...
    EXPECT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 3000));
    ScanOnce(program);   // ... and arms the alerts again for scan 6
    ScanOnce(program);
    EXPECT_EQ(3, program.RowCount());
    ASSERT_TRUE(WaitUntil([&] { return !AlertLines(program).empty(); }, 10000));
    ::Sleep(500);
    EXPECT_EQ((std::vector<std::string>{"0a:00:00:00:00:06"}), AlertLines(program));
    ExitByMenu(program);
}

TEST(AppCommands, RemoveHidesADeviceUntilAScanReportsItAgain) {
    LaunchOptions options;
    options.config = GeneralSection(Driven({{"TrayIcon", "0"}}));
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 name=Always\n"
        "device 0a:00:00:00:00:02 scans=1,3- name=Comes and goes\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 10000));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 3000));
    ScanOnce(program);   // scan 2 reports only "Always"

    // Delete (an accelerator) removes the selected device; it is not in the
    // last answer, so it stays hidden.
    ASSERT_TRUE(program.SelectOnly(program.FindRow(2, L"0a:00:00:00:00:02")));
    ASSERT_TRUE(WaitUntil([&] { return program.SelectedCount() == 1; }, 3000));
    ASSERT_TRUE(program.PostKey(VK_DELETE));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 1; }, 3000));
    EXPECT_EQ(-1, program.FindRow(2, L"0a:00:00:00:00:02"));
    EXPECT_EQ(L"1 Bluetooth devices, 1 present", program.StatusText(0));

    // A device that is in the last answer comes back at once.
    ASSERT_TRUE(program.SelectOnly(0));
    ASSERT_TRUE(WaitUntil([&] { return program.SelectedCount() == 1; }, 3000));
    ASSERT_TRUE(program.Command(IDM_REMOVE_SELECTED));
    ::Sleep(300);
    EXPECT_EQ(1, program.RowCount());
    EXPECT_GE(program.FindRow(2, L"0a:00:00:00:00:01"), 0);

    ScanOnce(program);   // scan 3 reports the removed device again
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 3000));
    EXPECT_EQ(L"2", program.Cell(program.FindRow(2, L"0a:00:00:00:00:02"), 7));
    ExitByMenu(program);
}

TEST(AppCommands, ContextMenuFollowsTheSelection) {
    LaunchOptions options;
    options.config = GeneralSection(Driven({{"TrayIcon", "0"}}));
    options.scenario = "unit_ms 5\ndevice 0a:00:00:00:00:01 name=One\ndevice 0a:00:00:00:00:02 name=Two\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 10000));

    ASSERT_TRUE(program.Command(IDM_SELECT_ALL));
    ASSERT_TRUE(WaitUntil([&] { return program.SelectedCount() == 2; }, 3000));
    ASSERT_TRUE(WaitUntil([&] { return program.ToolButtonEnabled(IDM_SAVE_SELECTED); }, 3000));
    ContextMenuLook look = LookAtContextMenu(program);
    ASSERT_TRUE(look.opened);
    EXPECT_TRUE(look.firstEnabled);
    EXPECT_TRUE(look.lastEnabled);

    ASSERT_TRUE(program.Command(IDM_DESELECT_ALL));
    ASSERT_TRUE(WaitUntil([&] { return program.SelectedCount() == 0; }, 3000));
    look = LookAtContextMenu(program);
    ASSERT_TRUE(look.opened);
    EXPECT_FALSE(look.firstEnabled) << "save is not greyed without a selection";
    EXPECT_TRUE(look.lastEnabled);   // refresh always works
    ExitByMenu(program);
}

TEST(AppCommands, DialogsOpenFromTheirCommands) {
    LaunchOptions options;
    options.config = GeneralSection(Driven({{"TrayIcon", "0"}}));
    options.scenario = "unit_ms 5\ndevice 0a:00:00:00:00:01 name=Alpha\ndevice 0a:00:00:00:00:02 name=Bravo\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 10000));

    // Properties only with exactly one row selected.
    ASSERT_TRUE(program.Command(IDM_SELECT_ALL));
    ASSERT_TRUE(WaitUntil([&] { return program.SelectedCount() == 2; }, 3000));
    ASSERT_TRUE(program.Command(IDM_PROPERTIES));
    ::Sleep(700);
    EXPECT_TRUE(program.Dialogs().empty());
    ASSERT_TRUE(program.SelectOnly(0));
    ASSERT_TRUE(WaitUntil([&] { return program.SelectedCount() == 1; }, 3000));
    ASSERT_TRUE(program.Command(IDM_PROPERTIES));
    HWND properties = program.WaitDialog();
    ASSERT_TRUE(properties);
    ASSERT_TRUE(Program::PressButton(properties, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());

    // Find: the modeless dialog's "find next" reaches the list through the
    // main window.
    ASSERT_TRUE(program.Command(IDM_FIND));
    HWND find = program.WaitDialog();
    ASSERT_TRUE(find);
    ASSERT_TRUE(Program::SetControlText(find, 0x480, L"bravo"));
    ASSERT_TRUE(Program::PressButton(find, IDOK));
    const int bravo = program.FindRow(0, L"Bravo");
    EXPECT_TRUE(WaitUntil([&] { return program.SelectedRows() == std::vector<int>{bravo}; }, 3000));
    ASSERT_TRUE(Program::PressButton(find, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());

    ASSERT_TRUE(program.Command(IDM_ABOUT));
    HWND about = program.WaitDialog();
    ASSERT_TRUE(about);
    ASSERT_TRUE(Program::PressButton(about, IDOK));
    ASSERT_TRUE(program.WaitNoDialog());
    EXPECT_TRUE(program.Running());
    ExitByMenu(program);
}

TEST(AppCommands, TogglesTakeEffectAndAreSaved) {
    Program program;
    NW_LAUNCH(program, LaunchOptions{});
    // With the tray icon (the default) hiding leaves only the icon.
    ASSERT_TRUE(program.Command(IDM_HIDE_WINDOW));
    EXPECT_TRUE(WaitUntil([&] { return !program.IsVisible(); }, 3000));
    ASSERT_TRUE(program.Command(IDM_OPEN_WINDOW));
    EXPECT_TRUE(WaitUntil([&] { return program.IsVisible(); }, 3000));

    const int toggles[] = {IDM_GRID_LINES,     IDM_INFO_TIP,    IDM_TRAY_ICON,   IDM_SORT_ON_UPDATE,
                           IDM_BALLOON_ON_NEW, IDM_OPEN_ON_NEW, IDM_BEEP_ON_NEW, IDM_MARK_NEW,
                           IDM_ALERT_ONLY_DESC, IDM_AUTO_DESCRIPTION, IDM_RATE_LOW};
    for (int command : toggles) ASSERT_TRUE(program.Command(command));
    EXPECT_TRUE(WaitUntil([&] { return (program.ListExtendedStyle() & LVS_EX_GRIDLINES) != 0; }, 3000));
    EXPECT_FALSE(program.ListExtendedStyle() & LVS_EX_INFOTIP);

    // Without the tray icon nothing could bring a hidden window back: it is
    // minimised instead and stays reachable.
    ASSERT_TRUE(program.Command(IDM_HIDE_WINDOW));
    EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(program.MainWindow()) != FALSE; }, 3000));
    EXPECT_TRUE(program.IsVisible());
    ASSERT_TRUE(program.Command(IDM_OPEN_WINDOW));
    EXPECT_TRUE(WaitUntil([&] { return !::IsIconic(program.MainWindow()); }, 3000));

    // The tray icon is off now: the close box asks nothing.
    DWORD code = 99;
    ASSERT_TRUE(program.Close(10000, &code));
    EXPECT_EQ(0u, code);
    auto lines = SplitLines(DecodeText(FileText(program, L"nearwatch.cfg")));
    const std::pair<const wchar_t*, const wchar_t*> flipped[] = {
        {L"ShowGridLines", L"1"}, {L"ShowInfoTip", L"0"}, {L"TrayIcon", L"0"},
        {L"SortOnEveryUpdate", L"0"}, {L"DisplayBalloonOnNewDevice", L"0"}, {L"OpenWindowOnNewDevice", L"1"},
        {L"BeepOnNewDevice", L"1"}, {L"MarkNewDevices", L"0"}, {L"DevicesAlertOnlyWithDesc", L"1"},
        {L"AutoSetDeviceDescription", L"0"}, {L"UpdateRate", L"3"},
    };
    for (const auto& [key, value] : flipped) EXPECT_EQ(value, ValueOf(lines, key)) << Narrow(key);
}

TEST(AppCommands, ExitFromTheMenuAsksNothing) {
    Program program;
    NW_LAUNCH(program, LaunchOptions{});   // tray icon on: the close box would ask
    ASSERT_TRUE(program.Command(IDM_EXIT));
    bool asked = false;
    bool ended = WaitUntil(
        [&] {
            asked = asked || !program.Dialogs().empty();
            return !program.Running();
        },
        10000);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(asked);
}

TEST(AppCommands, AHostileDeviceNameNeverRunsASecondCommand) {
    LaunchOptions options;
    options.config = GeneralSection({{"TrayIcon", "0"},
                                     {"DisplayBalloonOnNewDevice", "0"},
                                     {"UseNewDeviceExecute", "1"},
                                     {"NewDeviceExecute", "cmd /c echo %device_name% >> log.txt"}});
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 name=Harmless\n"
        "device 0a:00:00:00:00:66 scans=4- name=x\" & echo PWNED > pwned.txt & \"\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(5, 20000));
    ASSERT_TRUE(WaitUntil([&] { return FileText(program, L"log.txt").find("PWNED") != std::string::npos; }, 10000))
        << "the alert command did not run";
    ::Sleep(1000);   // a smuggled second command would have run by now
    EXPECT_FALSE(program.FileExists(L"pwned.txt"));
    ExitByMenu(program);
}

}  // namespace
}  // namespace nw::e2e
