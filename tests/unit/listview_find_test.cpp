// The find search: the visiting order of the rows, and Find Next over a real
// device list (display order, wrapping, whole word, match case, hidden
// columns, silence when nothing matches).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs_testsupport.h"
#include "listview/FindDialog.h"

using dialogtest::Answer;

namespace {

// ---- Visiting order ------------------------------------------------------------

struct Visits {
    std::vector<int> rows;
    int matchAt = -1;
};

bool Record(int row, void* context) {
    auto* visits = static_cast<Visits*>(context);
    visits->rows.push_back(row);
    return row == visits->matchAt;
}

std::vector<int> Order(int count, int selected, bool down, int matchAt = -1, int* found = nullptr) {
    Visits visits;
    visits.matchAt = matchAt;
    int row = nw::NextMatchingRow(count, selected, down, Record, &visits);
    if (found) *found = row;
    return visits.rows;
}

TEST(FindOrder, EveryRowOnceFromAfterTheSelectionRoundToTheSelectedRowLast) {
    EXPECT_EQ((std::vector<int>{3, 4, 0, 1, 2}), Order(5, 2, true));
    EXPECT_EQ((std::vector<int>{1, 0, 4, 3, 2}), Order(5, 2, false));
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), Order(5, 4, true));   // selection on the last row
    EXPECT_EQ((std::vector<int>{4, 3, 2, 1, 0}), Order(5, 0, false));  // and on the first, upward
    int found = -2;
    EXPECT_EQ((std::vector<int>{3, 4, 0, 1, 2}), Order(5, 2, true, 2, &found));
    EXPECT_EQ(2, found);   // only the selected row matches: selected again
}

TEST(FindOrder, WithoutSelectionRowZeroComesFirstInBothDirections) {
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), Order(4, -1, true));
    EXPECT_EQ((std::vector<int>{0, 3, 2, 1}), Order(4, -1, false));
}

TEST(FindOrder, AnEmptyListIsNotSearched) {
    int found = 0;
    EXPECT_TRUE(Order(0, -1, true, -1, &found).empty());
    EXPECT_EQ(-1, found);
}

// ---- Find Next on the device list ------------------------------------------------

constexpr uint64_t kA = 0x0A0000000001ull;
constexpr uint64_t kB = 0x0A0000000002ull;
constexpr uint64_t kC = 0x0A0000000003ull;
constexpr uint64_t kD = 0x0A0000000004ull;
constexpr uint32_t kNoType = 0x700;

class FindNextTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Sorted by name: Alpha phone, Beta headset, Gamma Phone, Phoneless.
        // Class 0x700 has no type texts, so only names and addresses hold
        // the words searched for.
        list.Scan({Answer(kC, L"Gamma Phone", kNoType), Answer(kA, L"Alpha phone", kNoType),
                   Answer(kD, L"Phoneless", kNoType), Answer(kB, L"Beta headset", kNoType)});
        list.table.Sort(0, true);
        ASSERT_EQ(0, list.RowOf(kA));
        ASSERT_EQ(3, list.RowOf(kD));
    }
    bool Next(const wchar_t* text, DWORD flags) {
        wcscpy(list.table.Find().text, text);
        FINDREPLACEW& find = list.table.Find().record;
        find.lpstrFindWhat = list.table.Find().text;
        find.Flags = flags | FR_FINDNEXT;
        return nw::FindNext(find, list.table);
    }
    std::vector<int> Selected() const { return list.SelectedRows(); }
    int Focused() const {
        return static_cast<int>(SendMessageW(list.window.List(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    }

    dialogtest::DeviceList list;
};

TEST_F(FindNextTest, DownSelectsTheNextMatchInDisplayOrderAndWrapsAround) {
    list.SelectOnly({0});
    ASSERT_TRUE(Next(L"phone", FR_DOWN));
    EXPECT_EQ((std::vector<int>{2}), Selected());
    EXPECT_EQ(2, Focused());
    ASSERT_TRUE(Next(L"phone", FR_DOWN));
    EXPECT_EQ((std::vector<int>{3}), Selected());
    ASSERT_TRUE(Next(L"phone", FR_DOWN));
    EXPECT_EQ((std::vector<int>{0}), Selected());
}

TEST_F(FindNextTest, UpWithoutSelectionLooksAtRowZeroFirstThenTheLastRowUpward) {
    list.SelectOnly({});
    ASSERT_TRUE(Next(L"a", 0));   // every name holds an "a" or "A": row 0 first
    EXPECT_EQ((std::vector<int>{0}), Selected());
    list.SelectOnly({});
    ASSERT_TRUE(Next(L"headset", 0));
    EXPECT_EQ((std::vector<int>{1}), Selected());
    ASSERT_TRUE(Next(L"phone", 0));   // up from row 1: row 0
    EXPECT_EQ((std::vector<int>{0}), Selected());
    ASSERT_TRUE(Next(L"phone", 0));   // wraps to the last row
    EXPECT_EQ((std::vector<int>{3}), Selected());
}

TEST_F(FindNextTest, TextOnlyInTheSelectedRowSelectsItAgain) {
    list.SelectOnly({1});
    ASSERT_TRUE(Next(L"Beta", FR_DOWN));
    EXPECT_EQ((std::vector<int>{1}), Selected());
}

TEST_F(FindNextTest, WholeWordNeedsTheWholeColumnText) {
    list.SelectOnly({0});
    EXPECT_FALSE(Next(L"Phone", FR_DOWN | FR_WHOLEWORD));
    EXPECT_EQ((std::vector<int>{0}), Selected());
    ASSERT_TRUE(Next(L"phoneless", FR_DOWN | FR_WHOLEWORD));
    EXPECT_EQ((std::vector<int>{3}), Selected());
    ASSERT_TRUE(Next(L"0a:00:00:00:00:02", FR_DOWN | FR_WHOLEWORD));
    EXPECT_EQ((std::vector<int>{1}), Selected());
}

TEST_F(FindNextTest, MatchCaseTellsUpperFromLowerCase) {
    list.SelectOnly({0});
    ASSERT_TRUE(Next(L"Phone", FR_DOWN | FR_MATCHCASE));   // "Alpha phone" (row 0) does not match
    EXPECT_EQ((std::vector<int>{2}), Selected());
    ASSERT_TRUE(Next(L"Phone", FR_DOWN | FR_MATCHCASE));
    EXPECT_EQ((std::vector<int>{3}), Selected());
    ASSERT_TRUE(Next(L"Phone", FR_DOWN | FR_MATCHCASE));
    EXPECT_EQ((std::vector<int>{2}), Selected());
    EXPECT_FALSE(Next(L"BETA", FR_DOWN | FR_MATCHCASE));
    ASSERT_TRUE(Next(L"BETA", FR_DOWN));
    EXPECT_EQ((std::vector<int>{1}), Selected());
}

TEST_F(FindNextTest, HiddenColumnsAreSearchedAndNoMatchChangesNothing) {
    LVCOLUMNW hide = {};
    hide.mask = LVCF_WIDTH;
    hide.cx = 0;
    SendMessageW(list.window.List(), LVM_SETCOLUMNW, 2, reinterpret_cast<LPARAM>(&hide));   // the address
    list.SelectOnly({0, 2});
    ASSERT_TRUE(Next(L"00:00:00:04", FR_DOWN));
    EXPECT_EQ((std::vector<int>{3}), Selected());
    list.SelectOnly({1, 2});
    EXPECT_FALSE(Next(L"nowhere", FR_DOWN));
    EXPECT_EQ((std::vector<int>{1, 2}), Selected());
}

TEST_F(FindNextTest, AnEmptyListFindsNothing) {
    list.table.Reset();
    list.table.Refresh();
    ASSERT_EQ(0, list.window.Rows());
    EXPECT_FALSE(Next(L"a", FR_DOWN));
}

// Down chosen, whole word and match case off (the platform dialog's
// controls: rad2 down, chx1 whole word, chx2 match case).
bool StartsDownward(HWND dialog) {
    return IsDlgButtonChecked(dialog, 0x421) == BST_CHECKED && IsDlgButtonChecked(dialog, 0x410) == BST_UNCHECKED &&
           IsDlgButtonChecked(dialog, 0x411) == BST_UNCHECKED;
}

TEST_F(FindNextTest, TheDialogKeepsTheTextBetweenOpeningsAndStartsDownwardEachTime) {
    HWND owner = GetParent(list.window.List());
    wcscpy(list.table.Find().text, L"Gamma");
    ASSERT_TRUE(nw::OpenFind(owner, list.table));
    HWND dialog = nw::FindDialogWindow();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(nw::OpenFind(owner, list.table));   // one at a time
    EXPECT_EQ(dialog, nw::FindDialogWindow());
    const FINDREPLACEW& find = list.table.Find().record;
    EXPECT_TRUE(StartsDownward(dialog));
    EXPECT_EQ(list.table.Find().text, find.lpstrFindWhat);
    EXPECT_EQ(255, find.wFindWhatLen);
    EXPECT_EQ(L"Gamma", dialogtest::TextOf(GetDlgItem(dialog, 0x480)));

    // The closing report forgets the dialog and focuses the list.
    list.table.Find().record.Flags = FR_DIALOGTERM | FR_MATCHCASE;
    nw::OnFindMessage(list.table, reinterpret_cast<LPARAM>(&list.table.Find().record));
    EXPECT_EQ(nullptr, nw::FindDialogWindow());
    DestroyWindow(dialog);

    // Options changed in the last dialog do not carry over.
    ASSERT_TRUE(nw::OpenFind(owner, list.table));
    EXPECT_TRUE(StartsDownward(nw::FindDialogWindow()));
    EXPECT_EQ(L"Gamma", dialogtest::TextOf(GetDlgItem(nw::FindDialogWindow(), 0x480)));

    // A Find Next report searches.
    list.SelectOnly({0});
    list.table.Find().record.Flags = FR_DOWN | FR_FINDNEXT;
    nw::OnFindMessage(list.table, reinterpret_cast<LPARAM>(&list.table.Find().record));
    EXPECT_EQ((std::vector<int>{2}), Selected());
    DestroyWindow(nw::FindDialogWindow());
    // A dialog gone without its report does not block the next one.
    ASSERT_TRUE(nw::OpenFind(owner, list.table));
    DestroyWindow(nw::FindDialogWindow());
    list.table.Find().record.Flags = FR_DIALOGTERM;
    nw::OnFindMessage(list.table, reinterpret_cast<LPARAM>(&list.table.Find().record));
}

}  // namespace
