// The column-settings dialog: the row move rules, the order the columns are
// listed in, what OK makes of the rows, the row swap on a real control, and
// the dialog itself over a real device list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs_testsupport.h"
#include "lang/Strings.h"
#include "listview/ColumnSettingsDialog.h"
#include "resource.h"

using dialogtest::DialogScript;

namespace {

// ---- Move rules ------------------------------------------------------------------

struct Rows {
    std::vector<char> names;
    std::vector<bool> selected;
    int Count() const { return static_cast<int>(names.size()); }
    bool Selected(int r) const { return selected[r]; }
    void Swap(int a, int b) {
        std::swap(names[a], names[b]);
        bool s = selected[a];
        selected[a] = selected[b];
        selected[b] = s;
    }
    std::string Order() const { return std::string(names.begin(), names.end()); }
};

Rows Make(const char* names, std::vector<int> picked) {
    Rows rows;
    for (const char* p = names; *p; ++p) rows.names.push_back(*p);
    rows.selected.assign(rows.names.size(), false);
    for (int r : picked) rows.selected[r] = true;
    return rows;
}

TEST(ColumnMoves, TwoAdjacentSelectedRowsMoveTogetherByOnePlace) {
    Rows rows = Make("abcdef", {2, 3});
    nw::MoveSelectedRowsUp(rows);
    EXPECT_EQ("acdbef", rows.Order());
    EXPECT_EQ((std::vector<bool>{false, true, true, false, false, false}), rows.selected);
    nw::MoveSelectedRowsDown(rows);
    nw::MoveSelectedRowsDown(rows);
    EXPECT_EQ("abecdf", rows.Order());
}

TEST(ColumnMoves, AtTheEdgesTheFirstTwoRowsChangePlacesAndTheLastRowStays) {
    Rows up = Make("abcd", {0, 1});
    nw::MoveSelectedRowsUp(up);
    EXPECT_EQ("bacd", up.Order());
    Rows down = Make("abcd", {3});
    nw::MoveSelectedRowsDown(down);
    EXPECT_EQ("abcd", down.Order());
    Rows apart = Make("abcde", {1, 4});
    nw::MoveSelectedRowsUp(apart);
    EXPECT_EQ("baced", apart.Order());
}

// ---- Listing order and OK ---------------------------------------------------------

nw::ColumnLayout Layout(std::vector<std::pair<int, int>> entries) {
    nw::ColumnLayout layout = {};
    layout.count = static_cast<int>(entries.size());
    for (int c = 0; c < layout.count; ++c)
        layout.entries[c] = {static_cast<int16_t>(entries[c].first), static_cast<int16_t>(entries[c].second)};
    return layout;
}

TEST(ColumnLayoutRules, ColumnsAreListedByPositionAndNoneIsLost) {
    int columns[nw::kMaxColumns];
    nw::ColumnLayout layout = Layout({{100, 2}, {0, 0}, {80, 1}, {50, 3}});
    ASSERT_EQ(4, nw::ColumnsInDisplayOrder(layout, columns));
    EXPECT_EQ((std::vector<int>{1, 2, 0, 3}), std::vector<int>(columns, columns + 4));
    // Out of range and doubled positions still give every column one row.
    layout = Layout({{100, 9}, {100, 1}, {100, 1}, {100, -3}});
    ASSERT_EQ(4, nw::ColumnsInDisplayOrder(layout, columns));
    EXPECT_EQ((std::vector<int>{1, 2, 0, 3}), std::vector<int>(columns, columns + 4));
}

TEST(ColumnLayoutRules, OkGivesRowPositionsZeroForUncheckedAndAHundredForCheckedAtZero) {
    nw::ColumnLayout layout = Layout({{130, 0}, {0, 1}, {90, 2}});
    const int columns[3] = {2, 0, 1};
    const bool checked[3] = {false, true, true};
    nw::CollectLayout(layout, columns, checked, 3);
    EXPECT_EQ(1, layout.entries[0].position);
    EXPECT_EQ(130, layout.entries[0].width);
    EXPECT_EQ(2, layout.entries[1].position);
    EXPECT_EQ(nw::kShownAgainWidth, layout.entries[1].width);
    EXPECT_EQ(0, layout.entries[2].position);
    EXPECT_EQ(0, layout.entries[2].width);
}

// ---- Row swap on a real control ------------------------------------------------------

TEST(ColumnListRows, SwapExchangesTextDataSelectionAndCheckState) {
    listtest::ListWindow window;
    HWND list = window.List();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 200;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    const wchar_t* names[3] = {L"Name", L"Address", L"Company"};
    for (int r = 0; r < 3; ++r) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_INDENT;
        item.iItem = r;
        item.pszText = const_cast<wchar_t*>(names[r]);
        item.lParam = 10 + r;
        item.iIndent = r;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK | LVIS_SELECTED;
    state.state = INDEXTOSTATEIMAGEMASK(2) | LVIS_SELECTED;   // row 0 checked and selected
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    state.state = INDEXTOSTATEIMAGEMASK(1);                    // row 2 unchecked
    SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));

    ASSERT_TRUE(nw::SwapListRows(list, 0, 2));
    auto read = [&](int row) {
        LVITEMW item = {};
        item.mask = LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
        item.iItem = row;
        item.stateMask = LVIS_STATEIMAGEMASK | LVIS_SELECTED;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        return item;
    };
    EXPECT_EQ(L"Company", window.Cell(0, 0));
    EXPECT_EQ(L"Name", window.Cell(2, 0));
    EXPECT_EQ(L"Address", window.Cell(1, 0));
    EXPECT_EQ(12, read(0).lParam);
    EXPECT_EQ(10, read(2).lParam);
    EXPECT_EQ(2, read(0).iIndent);
    EXPECT_EQ(0, read(2).iIndent);
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(1)), read(0).state);
    EXPECT_EQ(static_cast<UINT>(INDEXTOSTATEIMAGEMASK(2) | LVIS_SELECTED), read(2).state);
}

// ---- The dialog over a device list ------------------------------------------------------

class ColumnDialogTest : public ::testing::Test {
protected:
    HWND Rows(HWND dialog) const { return GetDlgItem(dialog, IDC_COL_LIST); }
    std::wstring RowText(HWND dialog, int row) const {
        wchar_t text[256] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(Rows(dialog), LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    bool Checked(HWND dialog, int row) const {
        return (SendMessageW(Rows(dialog), LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) >> 12) == 2;
    }
    void Select(HWND dialog, std::vector<int> rows) const {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED;
        SendMessageW(Rows(dialog), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        state.state = LVIS_SELECTED;
        for (int r : rows) SendMessageW(Rows(dialog), LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&state));
    }
    bool Enabled(HWND dialog, int id) const { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    int Run(const std::function<void(HWND)>& script) {
        return DialogScript::Run([&] { nw::ShowColumnSettings(list.table, list.window.List()); }, script);
    }

    dialogtest::DeviceList list;
};

TEST_F(ColumnDialogTest, ListsTheColumnsInDisplayOrderWithTheirChecksAndTheFirstRowSelected) {
    nw::ColumnLayout layout = list.table.Layout();
    list.table.ReadLayoutFromControl(layout);
    std::swap(layout.entries[0].position, layout.entries[2].position);   // address leftmost
    layout.entries[4].width = 0;                                         // minor type hidden
    ASSERT_TRUE(list.table.ApplyLayout(layout));

    std::vector<std::wstring> texts;
    std::vector<bool> checks;
    bool upEnabled = true, downEnabled = false, hideEnabled = false, showEnabled = true;
    std::wstring width;
    ASSERT_EQ(1, Run([&](HWND dialog) {
                  for (int r = 0; r < 13; ++r) {
                      texts.push_back(RowText(dialog, r));
                      checks.push_back(Checked(dialog, r));
                  }
                  upEnabled = Enabled(dialog, IDC_COL_UP);
                  downEnabled = Enabled(dialog, IDC_COL_DOWN);
                  hideEnabled = Enabled(dialog, IDC_COL_HIDE);
                  showEnabled = Enabled(dialog, IDC_COL_SHOW);
                  width = dialogtest::TextOf(GetDlgItem(dialog, IDC_COL_WIDTH));
                  DialogScript::Press(dialog, IDCANCEL);
              }));
    ASSERT_EQ(13u, texts.size());
    EXPECT_EQ(nw::GetString(IDS_COL_ADDRESS), texts[0]);
    EXPECT_EQ(nw::GetString(IDS_COL_DESCRIPTION), texts[1]);
    EXPECT_EQ(nw::GetString(IDS_COL_NAME), texts[2]);
    EXPECT_EQ(nw::GetString(IDS_COL_MINOR), texts[4]);
    EXPECT_FALSE(checks[4]);
    EXPECT_TRUE(checks[0] && checks[12]);
    EXPECT_FALSE(upEnabled);
    EXPECT_TRUE(downEnabled);
    EXPECT_TRUE(hideEnabled);
    EXPECT_FALSE(showEnabled);
    EXPECT_EQ(L"130", width);
    // Cancel: the list is as it was.
    EXPECT_EQ(0, list.window.ColumnWidth(4));
    EXPECT_EQ(0, list.window.ColumnOrder(2));
}

TEST_F(ColumnDialogTest, HideMoveAndWidthReachTheListOnOkAndAHiddenColumnComesBackAtItsDefaultWidth) {
    ASSERT_EQ(1, Run([&](HWND dialog) {
                  Select(dialog, {3});   // major type
                  DialogScript::Press(dialog, IDC_COL_HIDE);
                  Select(dialog, {11});  // company: up one place, 250 wide
                  SetDlgItemTextW(dialog, IDC_COL_WIDTH, L"250");
                  DialogScript::Press(dialog, IDC_COL_UP);
                  Select(dialog, {5, 6});   // two rows: a typed width is ignored
                  SetDlgItemTextW(dialog, IDC_COL_WIDTH, L"77");
                  Select(dialog, {7});
                  SetDlgItemTextW(dialog, IDC_COL_WIDTH, L"1000");   // above 999: ignored
                  DialogScript::Press(dialog, IDOK);
              }));
    EXPECT_EQ(0, list.window.ColumnWidth(3));
    EXPECT_EQ(250, list.window.ColumnWidth(11));
    EXPECT_EQ(10, list.window.ColumnOrder(11));
    EXPECT_EQ(11, list.window.ColumnOrder(10));
    EXPECT_EQ(120, list.window.ColumnWidth(5));
    EXPECT_EQ(120, list.window.ColumnWidth(6));
    EXPECT_EQ(100, list.window.ColumnWidth(7));

    // Shown again in a later opening: its default width.
    ASSERT_EQ(1, Run([&](HWND dialog) {
                  Select(dialog, {3});
                  DialogScript::Press(dialog, IDC_COL_SHOW);
                  DialogScript::Press(dialog, IDOK);
              }));
    EXPECT_EQ(100, list.window.ColumnWidth(3));
}

TEST_F(ColumnDialogTest, RestoreDefaultsPutsEveryColumnAtItsIndexWithItsDefaultWidthAllChecked) {
    nw::ColumnLayout layout = list.table.Layout();
    list.table.ReadLayoutFromControl(layout);
    for (int c = 0; c < 13; ++c) {
        layout.entries[c].position = static_cast<int16_t>(12 - c);
        layout.entries[c].width = static_cast<int16_t>(c % 2 ? 0 : 55);
    }
    ASSERT_TRUE(list.table.ApplyLayout(layout));
    ASSERT_EQ(1, Run([&](HWND dialog) {
                  DialogScript::Press(dialog, IDC_COL_DEFAULTS);
                  DialogScript::Press(dialog, IDOK);
              }));
    for (int c = 0; c < 13; ++c) {
        EXPECT_EQ(c, list.window.ColumnOrder(c)) << c;
        EXPECT_EQ(nw::kDeviceColumns[c].defaultWidth, list.window.ColumnWidth(c)) << c;
    }
}

TEST_F(ColumnDialogTest, DoubleClickTogglesARowsCheck) {
    bool before = false, after = true;
    ASSERT_EQ(1, Run([&](HWND dialog) {
                  before = Checked(dialog, 2);
                  NMITEMACTIVATE click = {};
                  click.hdr.hwndFrom = Rows(dialog);
                  click.hdr.idFrom = IDC_COL_LIST;
                  click.hdr.code = NM_DBLCLK;
                  click.iItem = 2;
                  SendMessageW(dialog, WM_NOTIFY, IDC_COL_LIST, reinterpret_cast<LPARAM>(&click));
                  after = Checked(dialog, 2);
                  DialogScript::Press(dialog, IDOK);
              }));
    EXPECT_TRUE(before);
    EXPECT_FALSE(after);
    EXPECT_EQ(0, list.window.ColumnWidth(2));
}

}  // namespace
