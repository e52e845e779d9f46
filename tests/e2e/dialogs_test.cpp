// The program's dialogs, worked from outside: the properties window and the
// description file, find, column settings with the configuration and the
// export, and the advanced options.
#include "e2e/AppSupport.h"

#include <commctrl.h>
#include <cstdlib>

namespace nw::e2e {
namespace {

constexpr int kFindText = 0x480;      // the platform find dialog's edit (edt1)

std::vector<std::pair<std::string, std::string>> Quiet(std::vector<std::pair<std::string, std::string>> keys = {}) {
    keys.push_back({"TrayIcon", "0"});
    keys.push_back({"DisplayBalloonOnNewDevice", "0"});
    keys.push_back({"AutoSetDeviceDescription", "0"});
    return keys;
}

const char* kThreeDevices =
    "unit_ms 5\n"
    "device 0a:00:00:00:00:01 name=Alpha phone\n"
    "device 0a:00:00:00:00:02 name=Beta headset\n"
    "device 0a:00:00:00:00:03 name=Gamma Phone\n";

// Launches with kThreeDevices and waits until all three rows are listed.
void LaunchWithDevices(Program& program, std::vector<std::pair<std::string, std::string>> keys = Quiet()) {
    LaunchOptions options;
    options.config = GeneralSection(keys);
    options.scenario = kThreeDevices;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 15000));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 3; }, 5000));
}

// When NW_E2E_LOOK_MS is set, an open dialog stays up that long so that
// someone can look at it (or take a picture of the screen).
void LetSomeoneLook() {
    if (const char* ms = std::getenv("NW_E2E_LOOK_MS")) ::Sleep(static_cast<DWORD>(std::atoi(ms)));
}

struct Child {
    HWND window;
    std::wstring className;
    LONG style;
};

std::vector<Child> Children(HWND parent) {
    std::vector<Child> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        ::GetClassNameW(child, name, 64);
        children.push_back({child, name, ::GetWindowLongW(child, GWL_STYLE)});
    }
    return children;
}

// The one visible edit field of the properties window that is not read-only.
HWND EditableField(HWND dialog) {
    HWND found = nullptr;
    for (const Child& c : Children(dialog)) {
        if (_wcsicmp(c.className.c_str(), L"Edit") == 0 && (c.style & WS_VISIBLE) && !(c.style & ES_READONLY)) {
            if (found) return nullptr;   // more than one
            found = c.window;
        }
    }
    return found;
}

int VisibleEdits(HWND dialog) {
    int n = 0;
    for (const Child& c : Children(dialog))
        n += _wcsicmp(c.className.c_str(), L"Edit") == 0 && (c.style & WS_VISIBLE) ? 1 : 0;
    return n;
}

std::wstring DescriptionFile(const Program& program) { return DecodeText(FileText(program, L"nearwatch_Desc.ini")); }

// ---- Properties -------------------------------------------------------------------------

TEST(Dialogs, PropertiesOkWritesTheDescriptionAndCancelWritesNothing) {
    Program program;
    LaunchWithDevices(program);
    const int row = program.FindRow(2, L"0a:00:00:00:00:02");
    ASSERT_GE(row, 0);
    ASSERT_TRUE(program.SelectOnly(row));

    // Cancel first: nothing is written, nothing changes.
    ASSERT_TRUE(program.Command(IDM_PROPERTIES));
    HWND dialog = program.WaitDialog(5000, L"Properties");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(17, VisibleEdits(dialog));   // one field per column
    HWND field = EditableField(dialog);
    ASSERT_TRUE(field);
    ASSERT_TRUE(::SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Not kept")));
    ASSERT_TRUE(Program::PressButton(dialog, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());
    EXPECT_FALSE(program.FileExists(L"nearwatch_Desc.ini"));

    // OK stores it while the scans go on.
    ASSERT_TRUE(program.Command(IDM_PROPERTIES));
    dialog = program.WaitDialog(5000, L"Properties");
    ASSERT_TRUE(dialog);
    LetSomeoneLook();
    field = EditableField(dialog);
    ASSERT_TRUE(field);
    ASSERT_TRUE(::SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Meeting room speaker")));
    ASSERT_TRUE(Program::PressButton(dialog, IDOK));
    ASSERT_TRUE(program.WaitNoDialog());
    ASSERT_TRUE(WaitUntil([&] { return program.FileWritten(L"nearwatch_Desc.ini"); }, 3000));
    EXPECT_NE(std::wstring::npos, DescriptionFile(program).find(L"0a:00:00:00:00:02=Meeting room speaker"));
    EXPECT_EQ(std::wstring::npos, DescriptionFile(program).find(L"Not kept"));
    EXPECT_TRUE(WaitUntil(
        [&] { return program.Cell(program.FindRow(2, L"0a:00:00:00:00:02"), 1) == L"Meeting room speaker"; }, 3000));
    ExitByMenu(program);
}

TEST(Dialogs, PropertiesWithTwoRowsSelectedOpensNothing) {
    Program program;
    LaunchWithDevices(program);
    ASSERT_TRUE(program.SelectOnly(0));
    ASSERT_TRUE(program.SelectRow(1));
    ASSERT_EQ(2, program.SelectedCount());
    ASSERT_TRUE(program.Command(IDM_PROPERTIES));
    ::Sleep(1500);
    EXPECT_TRUE(program.Dialogs().empty());
    ExitByMenu(program);
}

// ---- Find ---------------------------------------------------------------------------------

TEST(Dialogs, FindSelectsTheNextMatchWrapsAroundAndKeepsTheTextForTheNextOpening) {
    Program program;
    // Rate 3: no scan re-sorts the rows between the presses.
    LaunchWithDevices(program, Quiet({{"UpdateRate", "3"}}));
    // Sorted by name: Alpha phone, Beta headset, Gamma Phone.
    ASSERT_EQ(0, program.FindRow(0, L"Alpha phone"));
    ASSERT_EQ(2, program.FindRow(0, L"Gamma Phone"));
    ASSERT_TRUE(program.SelectOnly(0));

    ASSERT_TRUE(program.Command(IDM_FIND));
    HWND find = program.WaitDialog(5000, L"Find");
    ASSERT_TRUE(find);
    ASSERT_TRUE(Program::SetControlText(find, kFindText, L"phone"));
    ASSERT_TRUE(Program::PressButton(find, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return program.SelectedRows() == std::vector<int>{2}; }, 3000));
    ASSERT_TRUE(Program::PressButton(find, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return program.SelectedRows() == std::vector<int>{0}; }, 3000));
    // Only one dialog at a time.
    ASSERT_TRUE(program.Command(IDM_FIND));
    ::Sleep(500);
    EXPECT_EQ(1u, program.Dialogs().size());

    ASSERT_TRUE(Program::PressButton(find, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());
    ASSERT_TRUE(program.Command(IDM_FIND));
    find = program.WaitDialog(5000, L"Find");
    ASSERT_TRUE(find);
    EXPECT_EQ(L"phone", Program::ControlText(find, kFindText));
    ASSERT_TRUE(Program::SetControlText(find, kFindText, L"headset"));
    ASSERT_TRUE(Program::PressButton(find, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return program.SelectedRows() == std::vector<int>{1}; }, 3000));
    ASSERT_TRUE(Program::PressButton(find, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());
    ExitByMenu(program);
}

// Delete typed into the find box edits the search text; it must not remove
// the selected device, as the list's Delete accelerator would.
TEST(Dialogs, DeleteInTheFindBoxLeavesTheListAlone) {
    Program program;
    LaunchOptions options;
    options.config = GeneralSection(Quiet());
    // Alpha is only in the first answer, so a removal would hide it for good.
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 scans=1 name=Alpha phone\n"
        "device 0a:00:00:00:00:02 name=Beta headset\n";
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(2, 15000));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 5000));
    ASSERT_TRUE(program.SelectOnly(program.FindRow(0, L"Alpha phone")));

    ASSERT_TRUE(program.Command(IDM_FIND));
    HWND find = program.WaitDialog(5000, L"Find");
    ASSERT_TRUE(find);
    HWND edit = ::GetDlgItem(find, kFindText);
    ASSERT_TRUE(edit);
    ASSERT_TRUE(program.PostKey(VK_DELETE, edit));
    ::Sleep(1000);
    EXPECT_GE(program.FindRow(0, L"Alpha phone"), 0);
    ASSERT_TRUE(Program::PressButton(find, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());
    ExitByMenu(program);
}

// ---- Column settings ---------------------------------------------------------------------

// Selects exactly one row of the dialog's column list.
bool SelectColumnRow(HWND dialog, int row) {
    HWND list = ::GetDlgItem(dialog, IDC_COL_LIST);
    return list && ListSetState(list, -1, 0, LVIS_SELECTED) && ListSetState(list, row, LVIS_SELECTED, LVIS_SELECTED);
}

// Saves the selected rows through the save dialog as tab-delimited text.
bool SaveSelectedAs(const Program& program, const std::wstring& name) {
    return AnswerSaveDialog(program, name) && program.WaitNoDialog() &&
           WaitUntil([&] { return program.FileWritten(name); }, 5000);
}

TEST(Dialogs, ColumnSettingsHideAColumnThatStaysOutOfTheExportAndTheConfigurationThenRestoreDefaults) {
    Program program;
    LaunchWithDevices(program, Quiet({{"UpdateRate", "3"}, {"SaveFilterIndex", "2"}}));

    ASSERT_TRUE(program.Command(IDM_CHOOSE_COLUMNS));
    HWND dialog = program.WaitDialog(5000, L"Column");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(17, ListRowCount(::GetDlgItem(dialog, IDC_COL_LIST)));
    EXPECT_EQ(ListColumnTitle(program.List(), 2), ListCell(::GetDlgItem(dialog, IDC_COL_LIST), 2, 0));
    ASSERT_TRUE(SelectColumnRow(dialog, 2));   // the address
    LetSomeoneLook();
    ASSERT_TRUE(Program::PressButton(dialog, IDC_COL_HIDE));
    ASSERT_TRUE(Program::PressButton(dialog, IDOK));
    ASSERT_TRUE(program.WaitNoDialog());
    EXPECT_EQ(0, program.ColumnWidth(2));
    EXPECT_EQ(130, program.ColumnWidth(0));

    // The export leaves the hidden column out.
    ASSERT_TRUE(program.SelectOnly(program.FindRow(0, L"Beta headset")));
    ASSERT_TRUE(SaveSelectedAs(program, L"rows.txt"));
    const std::wstring exported = DecodeText(FileText(program, L"rows.txt"));
    EXPECT_NE(std::wstring::npos, exported.find(L"Beta headset"));
    EXPECT_EQ(std::wstring::npos, exported.find(L"0a:00:00:00:00:02")) << Narrow(exported);
    EXPECT_EQ(std::wstring::npos, exported.find(ListColumnTitle(program.List(), 2))) << Narrow(exported);

    // Restore defaults brings it back at its own place and width.
    ASSERT_TRUE(program.Command(IDM_CHOOSE_COLUMNS));
    dialog = program.WaitDialog(5000, L"Column");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(Program::PressButton(dialog, IDC_COL_DEFAULTS));
    ASSERT_TRUE(Program::PressButton(dialog, IDOK));
    ASSERT_TRUE(program.WaitNoDialog());
    EXPECT_EQ(130, program.ColumnWidth(2));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}), program.ColumnOrder());

    // Hidden again and saved: width 0 in "Columns".
    ASSERT_TRUE(program.Command(IDM_CHOOSE_COLUMNS));
    dialog = program.WaitDialog(5000, L"Column");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(SelectColumnRow(dialog, 2));
    ASSERT_TRUE(Program::PressButton(dialog, IDC_COL_HIDE));
    ASSERT_TRUE(Program::PressButton(dialog, IDOK));
    ASSERT_TRUE(program.WaitNoDialog());
    ExitByMenu(program);
    const auto lines = SplitLines(DecodeText(FileText(program, L"nearwatch.cfg")));
    EXPECT_EQ(L"82 00 00 00 82 00 01 00 00 00 02 00 64 00 03 00 64 00 04 00 78 00 05 00 78 00 06 00 64 00 07 00 "
              L"50 00 08 00 50 00 09 00 50 00 0A 00 B4 00 0B 00 96 00 0C 00 5A 00 0D 00 50 00 0E 00 64 00 0F 00 "
              L"A0 00 10 00",
              ValueOf(lines, L"Columns"));
}

TEST(Dialogs, ColumnSettingsCancelChangesNothing) {
    Program program;
    LaunchWithDevices(program, Quiet({{"UpdateRate", "3"}}));
    ASSERT_TRUE(program.Command(IDM_CHOOSE_COLUMNS));
    HWND dialog = program.WaitDialog(5000, L"Column");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(SelectColumnRow(dialog, 0));
    ASSERT_TRUE(Program::PressButton(dialog, IDC_COL_HIDE));
    ASSERT_TRUE(Program::PressButton(dialog, IDC_COL_DOWN));
    ASSERT_TRUE(Program::PressButton(dialog, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());
    EXPECT_EQ(130, program.ColumnWidth(0));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}), program.ColumnOrder());
    ExitByMenu(program);
}

// ---- Advanced options ---------------------------------------------------------------------

TEST(Dialogs, AdvancedOptionsTickingEnablesTheEditAndCancelLeavesTheSettings) {
    Program program;
    LaunchWithDevices(program, Quiet({{"UseNewDeviceExecute", "0"}, {"NewDeviceExecute", "before.exe"}}));

    ASSERT_TRUE(program.Command(IDM_ADVANCED_OPTIONS));
    HWND dialog = program.WaitDialog(5000, L"Advanced");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(L"before.exe", Program::ControlText(dialog, IDC_ADV_EXECUTE));
    EXPECT_FALSE(Program::IsEnabled(dialog, IDC_ADV_EXECUTE));
    ASSERT_TRUE(Program::SetChecked(dialog, IDC_ADV_USE_EXECUTE, true));
    ASSERT_TRUE(Program::PressButton(dialog, IDC_ADV_USE_EXECUTE));
    EXPECT_TRUE(WaitUntil([&] { return Program::IsEnabled(dialog, IDC_ADV_EXECUTE); }, 3000));
    ASSERT_TRUE(Program::SetControlText(dialog, IDC_ADV_EXECUTE, L"after.exe"));
    ASSERT_TRUE(Program::PressButton(dialog, IDCANCEL));
    ASSERT_TRUE(program.WaitNoDialog());

    // OK this time, for the speech only.
    ASSERT_TRUE(program.Command(IDM_ADVANCED_OPTIONS));
    dialog = program.WaitDialog(5000, L"Advanced");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(L"before.exe", Program::ControlText(dialog, IDC_ADV_EXECUTE));
    EXPECT_FALSE(Program::IsEnabled(dialog, IDC_ADV_EXECUTE));
    ASSERT_TRUE(Program::SetControlText(dialog, IDC_ADV_SPEAK, L"New device %device_name%"));
    ASSERT_TRUE(Program::PressButton(dialog, IDOK));
    ASSERT_TRUE(program.WaitNoDialog());
    ExitByMenu(program);

    const auto lines = SplitLines(DecodeText(FileText(program, L"nearwatch.cfg")));
    EXPECT_EQ(L"before.exe", ValueOf(lines, L"NewDeviceExecute"));
    EXPECT_EQ(L"0", ValueOf(lines, L"UseNewDeviceExecute"));
    EXPECT_EQ(L"New device %device_name%", ValueOf(lines, L"NewDeviceSpeak"));
}

}  // namespace
}  // namespace nw::e2e
