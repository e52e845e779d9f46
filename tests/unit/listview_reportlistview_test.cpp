#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lang/Strings.h"
#include "listview/ReportListView.h"
#include "listview_testsupport.h"
#include "resource.h"
#include "settings/SettingsStore.h"

using listtest::ListWindow;
using listtest::MessageCounter;
using nw::ListRecord;

namespace {

// A small record type: a name, a number (compared numerically) and a
// hidden mark that plays the part of the device table's removed mark.
struct TestRecord : ListRecord {
    int value;
    int hidden;
    wchar_t name[32];
};

const nw::ColumnSpec kTestColumns[3] = {{IDS_COL_NAME, 130, 20, 1}, {IDS_COL_COUNT, 100, 20, 1}, {IDS_COL_ADDRESS, 80, 50, 0}};

class TestList : public nw::ReportListView {
public:
    const wchar_t* ColumnText(const ListRecord* record, int column, wchar_t* buffer) const override {
        auto* r = static_cast<const TestRecord*>(record);
        switch (column) {
        case 0: return r->name;
        case 1: swprintf(buffer, 32, L"%d", r->value); return buffer;
        case 2: return L"fixed";
        default: buffer[0] = 0; return buffer;
        }
    }
    int CompareColumn(const ListRecord* a, int column, const ListRecord* b) const override {
        if (column != 1) return 255;
        int x = static_cast<const TestRecord*>(a)->value, y = static_cast<const TestRecord*>(b)->value;
        return x < y ? -1 : x > y ? 1 : 0;
    }
    size_t RecordSize() const override { return sizeof(TestRecord); }
    bool IsRecordShown(const ListRecord* record, int) const override {
        return !static_cast<const TestRecord*>(record)->hidden;
    }
    const wchar_t* ProgressFormat() const override { return progress; }
    void SetRemoved(ListRecord* record) override {
        static_cast<TestRecord*>(record)->hidden = 1;
        MarkRecordChanged(record);
    }
    void CustomDrawCell(const ListRecord* record, NMLVCUSTOMDRAW* draw) override {
        drawn = record;
        draw->clrTextBk = 0x123456;
    }
    TestRecord* At(int i) { return static_cast<TestRecord*>(RecordAt(i)); }
    void SetGrowthStep(int step) { growthStep_ = step; }

    const wchar_t* progress = nullptr;
    const ListRecord* drawn = nullptr;
};

TestRecord Make(const wchar_t* name, int value) {
    TestRecord r;
    std::memset(&r, 0, sizeof r);
    r.value = value;
    wcsncpy(r.name, name, 31);
    return r;
}

struct Fixture {
    ListWindow window;
    TestList list;
    Fixture() {
        list.Attach(window.List(), kTestColumns, 3);
        list.InsertColumns();
        list.SetStatusBar(window.Status());
    }
    TestRecord* Add(const wchar_t* name, int value) {
        TestRecord r = Make(name, value);
        return static_cast<TestRecord*>(list.AddRecord(&r));
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (int row = 0; row < window.Rows(); ++row) names.push_back(window.Cell(row, 0));
        return names;
    }
};

}  // namespace

// ---- Pure helpers -------------------------------------------------------------

TEST(TextMatchesFind, WholeWordNeedsTheWholeTextSubstringDoesNot) {
    EXPECT_TRUE(nw::TextMatchesFind(L"Phone", L"Phone", FR_WHOLEWORD));
    EXPECT_FALSE(nw::TextMatchesFind(L"Phone 7", L"Phone", FR_WHOLEWORD));
    EXPECT_TRUE(nw::TextMatchesFind(L"Phone 7", L"Phone", 0));
    EXPECT_TRUE(nw::TextMatchesFind(L"my Phone 7", L"one 7", 0));
    EXPECT_TRUE(nw::TextMatchesFind(L"abc", L"abc", 0));
    EXPECT_FALSE(nw::TextMatchesFind(L"ab", L"abc", 0));
    EXPECT_FALSE(nw::TextMatchesFind(L"", L"a", 0));
}

TEST(TextMatchesFind, CaseIsFoldedOnlyForAsciiLettersAndOnlyWithoutMatchCase) {
    EXPECT_TRUE(nw::TextMatchesFind(L"HEADSET", L"headset", 0));
    EXPECT_FALSE(nw::TextMatchesFind(L"HEADSET", L"headset", FR_MATCHCASE));
    EXPECT_TRUE(nw::TextMatchesFind(L"HEADSET", L"HEADSET", FR_MATCHCASE | FR_WHOLEWORD));
    EXPECT_TRUE(nw::TextMatchesFind(L"Head", L"hEAD", FR_WHOLEWORD));
    EXPECT_FALSE(nw::TextMatchesFind(L"Head", L"hEAD", FR_WHOLEWORD | FR_MATCHCASE));
    EXPECT_FALSE(nw::TextMatchesFind(L"\u00C4x", L"\u00E4x", 0));   // not ASCII: no folding
    EXPECT_TRUE(nw::TextMatchesFind(L"a[b", L"A[", 0));
    EXPECT_FALSE(nw::TextMatchesFind(L"a{b", L"A[", 0));           // '[' and '{' differ by 32 too
}

TEST(FormatNumberText, PutsInTheNumberAndLeavesForeignConversionsAsText) {
    wchar_t out[64];
    nw::FormatNumberText(out, 64, L"Loading... %d", 150);
    EXPECT_STREQ(L"Loading... 150", out);
    nw::FormatNumberText(out, 64, L"error code %d", -10060);
    EXPECT_STREQ(L"error code -10060", out);
    nw::FormatNumberText(out, 64, L"[%5d|%-4d|%03d|%%|%ld|%+d]", 42);
    EXPECT_STREQ(L"[   42|42  |042|%|42|+42]", out);
    // A translated format with the wrong conversion must not read a string.
    nw::FormatNumberText(out, 64, L"%s loaded %d", 3);
    EXPECT_STREQ(L"%s loaded 3", out);
    nw::FormatNumberText(out, 64, L"%u", -1);
    EXPECT_STREQ(L"4294967295", out);
    EXPECT_EQ(5u, nw::FormatNumberText(out, 6, L"Loading %d", 50));
    EXPECT_STREQ(L"Loadi", out);
    nw::FormatNumberText(out, 64, L"100%", 1);
    EXPECT_STREQ(L"100%", out);
}

// ---- Records ------------------------------------------------------------------

TEST(ReportListRecords, GrowInStepsAndReuseAFreedSlotFirst) {
    Fixture f;
    f.list.SetGrowthStep(5);
    for (int i = 0; i < 6; ++i) ASSERT_NE(nullptr, f.Add(L"r", i));
    EXPECT_EQ(6, f.list.RecordCount());
    EXPECT_EQ(10, f.list.RecordCapacity());
    EXPECT_EQ(-1, f.list.At(5)->image);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(i, f.list.At(i)->value);   // moved as bytes when grown

    f.list.FreeRecord(2);
    TestRecord* reused = f.Add(L"again", 99);
    EXPECT_EQ(f.list.RecordAt(2), reused);
    EXPECT_EQ(6, f.list.RecordCount());
    EXPECT_EQ(0, reused->flags & nw::kRecordFree);

    // A record of the array itself can be added even when the array moves.
    for (int i = 6; i < 10; ++i) f.Add(L"r", i);
    ASSERT_EQ(10, f.list.RecordCapacity());
    TestRecord* copy = static_cast<TestRecord*>(f.list.AddRecord(f.list.RecordAt(1)));
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(1, copy->value);
    EXPECT_EQ(15, f.list.RecordCapacity());
}

TEST(ReportListRecords, FindRecordSkipsFreeSlotsAndUsesTheMatchRule) {
    struct ValueList : TestList {
        bool SameRecord(const ListRecord* a, const ListRecord* b) const override {
            return static_cast<const TestRecord*>(a)->value == static_cast<const TestRecord*>(b)->value;
        }
    };
    ListWindow window;
    ValueList list;
    list.Attach(window.List(), kTestColumns, 3);
    for (int v : {4, 7, 7}) {
        TestRecord r = Make(L"x", v);
        list.AddRecord(&r);
    }
    TestRecord key = Make(L"", 7);
    EXPECT_EQ(list.RecordAt(1), list.FindRecord(&key));
    list.FreeRecord(1);
    EXPECT_EQ(list.RecordAt(2), list.FindRecord(&key));
    key.value = 5;
    EXPECT_EQ(nullptr, list.FindRecord(&key));
    // The find command's match skips a freed slot too, though its row is not gone yet.
    FINDREPLACEW find = {};
    wchar_t what[] = L"x";
    find.lpstrFindWhat = what;
    EXPECT_TRUE(list.RecordMatchesFind(list.RecordAt(0), find));
    EXPECT_FALSE(list.RecordMatchesFind(list.RecordAt(1), find));
}

TEST(ReportListRecords, LoadingProgressShowsAtMultiplesOfFifty) {
    Fixture f;
    f.list.progress = nw::GetString(IDS_LOADING);
    for (int i = 0; i < 49; ++i) f.Add(L"r", i);
    EXPECT_EQ(L"", f.window.StatusText());
    f.Add(L"r", 49);
    wchar_t expected[64];
    nw::FormatNumberText(expected, 64, nw::GetString(IDS_LOADING), 50);
    EXPECT_EQ(expected, f.window.StatusText());
    EXPECT_NE(std::wstring::npos, f.window.StatusText().find(L"50"));
    for (int i = 0; i < 49; ++i) f.Add(L"r", i);
    EXPECT_EQ(expected, f.window.StatusText());
    f.Add(L"r", 0);
    nw::FormatNumberText(expected, 64, nw::GetString(IDS_LOADING), 100);
    EXPECT_EQ(expected, f.window.StatusText());
    // Without a format there is no text.
    ListWindow other;
    TestList silent;
    silent.Attach(other.List(), kTestColumns, 3);
    silent.SetStatusBar(other.Status());
    for (int i = 0; i < 50; ++i) {
        TestRecord r = Make(L"r", i);
        silent.AddRecord(&r);
    }
    EXPECT_EQ(L"", other.StatusText());
}

// ---- Refresh --------------------------------------------------------------------

TEST(ReportListRefresh, RowsKeepTheirPlaceAndOnlyChangedCellsAreWritten) {
    Fixture f;
    for (int i = 0; i < 5; ++i) f.Add(std::wstring(1, wchar_t(L'a' + i)).c_str(), i * 10);
    f.list.Refresh();
    ASSERT_EQ((std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e"}), f.Names());
    EXPECT_EQ(L"20", f.window.Cell(2, 1));
    EXPECT_EQ(L"fixed", f.window.Cell(2, 2));
    for (int row = 0; row < 5; ++row) EXPECT_EQ(row, f.window.ItemData(row));

    f.list.Sort(1 | nw::kSortDescending, true);
    ASSERT_EQ((std::vector<std::wstring>{L"e", L"d", L"c", L"b", L"a"}), f.Names());

    MessageCounter count(f.window.List());
    f.list.Refresh();   // nothing changed: nothing is touched
    EXPECT_EQ(0, count.setText);
    EXPECT_EQ(0, count.insert);
    EXPECT_EQ(0, count.remove);

    f.list.At(1)->value = 11;   // b
    f.list.MarkRecordChanged(f.list.RecordAt(1));
    count.Reset();
    f.list.Refresh();
    EXPECT_EQ(1, count.setText);   // only the number cell
    EXPECT_EQ((std::vector<std::wstring>{L"e", L"d", L"c", L"b", L"a"}), f.Names());
    EXPECT_EQ(L"11", f.window.Cell(3, 1));

    // A hidden record loses its row; the others keep their order.
    f.list.SetRemoved(f.list.RecordAt(3));   // d
    count.Reset();
    f.list.Refresh();
    EXPECT_EQ(1, count.remove);
    EXPECT_EQ(0, count.insert);
    EXPECT_EQ((std::vector<std::wstring>{L"e", L"c", L"b", L"a"}), f.Names());

    // New records and records shown again come last, in array order.
    f.Add(L"f", 50);
    f.list.At(3)->hidden = 0;
    f.list.MarkRecordChanged(f.list.RecordAt(3));
    count.Reset();
    f.list.Refresh();
    EXPECT_EQ(2, count.insert);
    EXPECT_EQ((std::vector<std::wstring>{L"e", L"c", L"b", L"a", L"d", L"f"}), f.Names());
    EXPECT_EQ(L"50", f.window.Cell(5, 1));
    EXPECT_EQ(L"30", f.window.Cell(4, 1));
}

// Many rows at once are drawn in one go; the control must come out of it
// drawing again, and a hidden control must stay hidden.
TEST(ReportListRefresh, ABatchOfRowsLeavesTheControlAsItWas) {
    Fixture f;
    for (int i = 0; i < 20; ++i) f.Add(L"x", i);
    f.list.Refresh();
    EXPECT_NE(0, GetWindowLongPtrW(f.window.List(), GWL_STYLE) & WS_VISIBLE);
    ShowWindow(f.window.List(), SW_HIDE);
    for (int i = 0; i < 20; ++i) {
        f.list.At(i)->value += 100;
        f.list.MarkRecordChanged(f.list.RecordAt(i));
    }
    f.Add(L"y", 1);
    f.list.Refresh();
    EXPECT_EQ(0, GetWindowLongPtrW(f.window.List(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(21, f.window.Rows());
    EXPECT_EQ(L"119", f.window.Cell(19, 1));
    ShowWindow(f.window.List(), SW_SHOWNA);
    // Drawing is on again: a single change still reaches the control.
    f.list.At(0)->value = 7;
    f.list.MarkRecordChanged(f.list.RecordAt(0));
    f.list.Refresh();
    EXPECT_EQ(L"7", f.window.Cell(0, 1));
    EXPECT_NE(0, GetWindowLongPtrW(f.window.List(), GWL_STYLE) & WS_VISIBLE);
}

TEST(ReportListRefresh, RowsChangedBehindTheListsBackAreStillFound) {
    Fixture f;
    for (int i = 0; i < 4; ++i) f.Add(L"x", i);
    f.list.Refresh();
    // Someone deletes a row and reorders directly in the control.
    SendMessageW(f.window.List(), LVM_DELETEITEM, 0, 0);
    f.list.At(3)->value = 333;
    f.list.MarkRecordChanged(f.list.RecordAt(3));
    f.list.Refresh();
    ASSERT_EQ(3, f.window.Rows());
    EXPECT_EQ(3, f.window.ItemData(2));
    EXPECT_EQ(L"333", f.window.Cell(2, 1));
    EXPECT_EQ(L"1", f.window.Cell(0, 1));
}

// Random changes, hides, additions, frees and sorts: after every refresh the
// rows are exactly the shown records with their current texts, and rows
// that stayed keep their relative order.
TEST(ReportListRefresh, AgreesWithAFullPassOverManyRandomSteps) {
    Fixture f;
    unsigned seed = 12345;
    auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    std::vector<LPARAM> before;
    for (int step = 0; step < 60; ++step) {
        const int actions = 1 + static_cast<int>(next(8));
        for (int a = 0; a < actions; ++a) {
            const unsigned what = next(10);
            const int count = f.list.RecordCount();
            if (what < 3 || count == 0) {
                wchar_t name[8];
                swprintf(name, 8, L"n%u", next(1000));
                f.Add(name, static_cast<int>(next(100)));
            } else if (what < 6) {
                TestRecord* r = f.list.At(static_cast<int>(next(count)));
                if (r->flags & nw::kRecordFree) continue;
                r->value = static_cast<int>(next(100));
                f.list.MarkRecordChanged(r);
            } else if (what < 8) {
                TestRecord* r = f.list.At(static_cast<int>(next(count)));
                r->hidden = !r->hidden;
                f.list.MarkRecordChanged(r);
            } else if (what < 9) {
                f.list.FreeRecord(static_cast<int>(next(count)));
            } else {
                f.list.Sort(static_cast<int>(next(2)), next(2) != 0);
            }
        }
        before.clear();
        for (int row = 0; row < f.window.Rows(); ++row) before.push_back(f.window.ItemData(row));
        f.list.Refresh();

        std::vector<int> shown;
        for (int i = 0; i < f.list.RecordCount(); ++i) {
            const TestRecord* r = f.list.At(i);
            if (!(r->flags & nw::kRecordFree) && !r->hidden) shown.push_back(i);
        }
        std::vector<int> rows;
        for (int row = 0; row < f.window.Rows(); ++row) {
            const int index = static_cast<int>(f.window.ItemData(row));
            rows.push_back(index);
            const TestRecord* r = f.list.At(index);
            ASSERT_EQ(r->name, f.window.Cell(row, 0)) << "step " << step;
            ASSERT_EQ(std::to_wstring(r->value), f.window.Cell(row, 1)) << "step " << step;
        }
        std::vector<int> sorted = rows;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(shown, sorted) << "step " << step;
        // Rows that stayed keep their relative order.
        std::vector<LPARAM> kept;
        for (LPARAM index : before) {
            if (std::find(rows.begin(), rows.end(), static_cast<int>(index)) != rows.end()) kept.push_back(index);
        }
        std::vector<LPARAM> head(rows.begin(), rows.begin() + static_cast<long>(kept.size()));
        ASSERT_EQ(kept, head) << "step " << step;
    }
}

TEST(ReportListRefresh, RowsOfClearedRecordsGoAndDeletedRowsComeBack) {
    Fixture f;
    for (int i = 0; i < 3; ++i) f.Add(L"x", i);
    f.list.Refresh();
    f.list.DeleteAllRows();
    f.list.Refresh();
    EXPECT_EQ(3, f.window.Rows());

    f.list.ClearRecords();
    EXPECT_EQ(nullptr, f.list.RowRecord(0));   // the row names a record that is gone
    f.Add(L"y", 7);
    f.list.Refresh();
    ASSERT_EQ(1, f.window.Rows());
    EXPECT_EQ(L"y", f.window.Cell(0, 0));
}

// ---- Sorting ------------------------------------------------------------------------

namespace {

void HeaderFormat(HWND header, int item, int* format, int* image) {
    HDITEMW hd = {};
    hd.mask = HDI_FORMAT | HDI_IMAGE;
    SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&hd));
    *format = hd.fmt;
    *image = hd.iImage;
}

}  // namespace

TEST(ReportListSort, ClicksSortAscendingThenReverseAndShowTheIndicator) {
    Fixture f;
    f.list.CreateImageLists(nullptr);
    for (int v : {10, 2, 33}) f.Add(L"x", v);
    f.list.Refresh();

    f.list.Sort(1, false);
    EXPECT_EQ(1, f.list.SortKey());
    EXPECT_EQ(L"2", f.window.Cell(0, 1));
    EXPECT_EQ(L"33", f.window.Cell(2, 1));
    int format, image;
    HeaderFormat(f.window.Header(), 1, &format, &image);
    EXPECT_EQ(HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT, format & (HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT));
    EXPECT_EQ(0, image);
    HeaderFormat(f.window.Header(), 0, &format, &image);
    EXPECT_EQ(0, format & HDF_IMAGE);

    f.list.Sort(1, false);   // the same column again: reversed
    EXPECT_EQ(1 | nw::kSortDescending, f.list.SortKey());
    EXPECT_EQ(L"33", f.window.Cell(0, 1));
    HeaderFormat(f.window.Header(), 1, &format, &image);
    EXPECT_EQ(1, image);

    f.list.Sort(f.list.SortKey(), true);   // kept as it is
    EXPECT_EQ(1 | nw::kSortDescending, f.list.SortKey());

    f.list.Sort(0, false);   // another column: ascending
    EXPECT_EQ(0, f.list.SortKey());
    HeaderFormat(f.window.Header(), 1, &format, &image);
    EXPECT_EQ(0, format & HDF_IMAGE);
    HeaderFormat(f.window.Header(), 0, &format, &image);
    EXPECT_NE(0, format & HDF_IMAGE);

    // A column the list does not have: no indicator anywhere, nothing moves.
    f.list.Sort(40, false);
    for (int c = 0; c < 3; ++c) {
        HeaderFormat(f.window.Header(), c, &format, &image);
        EXPECT_EQ(0, format & HDF_IMAGE);
    }

    // Both arrows, as large as the screen's scale makes the text: made
    // again after a change of DPI.
    for (UINT dpi : {96u, 144u, 192u}) {
        f.list.SetDpi(dpi);
        f.list.CreateImageLists(nullptr);
        auto arrows = reinterpret_cast<HIMAGELIST>(SendMessageW(f.window.Header(), HDM_GETIMAGELIST, 0, 0));
        int cx = 0, cy = 0;
        EXPECT_TRUE(ImageList_GetIconSize(arrows, &cx, &cy));
        EXPECT_EQ(static_cast<int>(dpi / 6), cx);
        EXPECT_EQ(cx, cy);
        EXPECT_EQ(2, ImageList_GetImageCount(arrows));
    }
}

TEST(ReportListSort, TextsAreComparedWithoutRegardToCase) {
    Fixture f;
    for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"ALPHB"}) f.Add(name, 0);
    f.list.Refresh();
    f.list.Sort(0, false);   // the key starts as the first column ascending: a click reverses it
    EXPECT_EQ((std::vector<std::wstring>{L"gamma", L"beta", L"ALPHB", L"Alpha"}), f.Names());
    f.list.Sort(0, false);
    EXPECT_EQ(0, f.list.SortKey());
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"ALPHB", L"beta", L"gamma"}), f.Names());
    // Rows stay bound to their records after the sort.
    f.list.At(2)->value = 5;   // gamma
    f.list.MarkRecordChanged(f.list.RecordAt(2));
    f.list.Refresh();
    EXPECT_EQ(L"5", f.window.Cell(3, 1));
}

// The rows come out in the order the runtime's _wcsicmp gives, also for
// characters between the upper and lower case letters and outside ASCII.
TEST(ReportListSort, TextOrderIsTheRuntimesCaseInsensitiveOrder) {
    Fixture f;
    std::vector<std::wstring> names = {L"zeta", L"_under", L"[bracket", L"Zeta2", L"\u00e9t\u00e9", L"\u00c9T\u00c9",
                                       L"", L"a", L"A", L"ab", L"aB1", L"~tilde", L"`tick", L"0"};
    for (const std::wstring& name : names) f.Add(name.c_str(), 0);
    f.list.Refresh();
    f.list.Sort(0, true);
    std::vector<std::wstring> rows = f.Names();
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_LE(_wcsicmp(rows[i - 1].c_str(), rows[i].c_str()), 0) << i;
    }
    std::sort(names.begin(), names.end());
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(names, rows);
}

// ---- Columns and layout ------------------------------------------------------------------

TEST(ReportListColumns, AttachBuildsTheColumnModel) {
    Fixture f;
    ASSERT_EQ(3, f.list.ColumnCount());
    EXPECT_STREQ(nw::GetString(IDS_COL_COUNT), f.list.Column(1).title);
    EXPECT_EQ(100, f.list.Column(1).defaultWidth);
    EXPECT_EQ(LVCFMT_LEFT, f.list.Column(1).format);
    EXPECT_STREQ(nw::GetString(IDS_COL_ADDRESS | nw::kBuiltInString), f.list.ColumnExport(2).builtInTitle);
    EXPECT_EQ(50, f.list.ColumnExport(2).fixedWidth);
    EXPECT_EQ(0, f.list.ColumnExport(2).noWrap);
    EXPECT_STREQ(L"", f.list.ColumnExport(0).headerWidth);
    EXPECT_EQ(130, f.window.ColumnWidth(0));
    EXPECT_EQ(80, f.window.ColumnWidth(2));
    EXPECT_EQ(100, f.list.Layout().entries[2].width);
    EXPECT_EQ(2, f.list.Layout().entries[2].position);
}

TEST(ReportListColumns, ApplyLayoutRejectsTwoLeftmostAndKeepsWidthsOutOfRange) {
    Fixture f;
    nw::ColumnLayout layout = {};
    layout.count = 3;
    layout.entries[0] = {50, 0};
    layout.entries[1] = {60, 0};
    layout.entries[2] = {70, 1};
    EXPECT_FALSE(f.list.ApplyLayout(layout));
    EXPECT_EQ(130, f.window.ColumnWidth(0));
    EXPECT_EQ(80, f.window.ColumnWidth(2));

    layout.entries[0] = {2000, 2};
    layout.entries[1] = {-1, 0};
    layout.entries[2] = {0, 1};
    EXPECT_TRUE(f.list.ApplyLayout(layout));
    EXPECT_EQ(130, f.window.ColumnWidth(0));   // out of range: the order only
    EXPECT_EQ(100, f.window.ColumnWidth(1));
    EXPECT_EQ(0, f.window.ColumnWidth(2));     // hidden
    EXPECT_EQ(2, f.window.ColumnOrder(0));
    EXPECT_EQ(0, f.window.ColumnOrder(1));
    EXPECT_EQ(1, f.window.ColumnOrder(2));
    // The cells move with their headers: column 1, now leftmost, draws at 0.
    f.Add(L"Phone", 1);
    RECT cell = {LVIR_BOUNDS, 1, 0, 0};
    ASSERT_TRUE(SendMessageW(f.window.List(), LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&cell)));
    RECT header = {};
    SendMessageW(ListView_GetHeader(f.window.List()), HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(header.left, cell.left);
    EXPECT_EQ(0, header.left);
    LVHITTESTINFO hit = {};
    hit.pt = {header.left + 2, (cell.top + cell.bottom) / 2};
    SendMessageW(f.window.List(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    EXPECT_EQ(1, hit.iSubItem);

    f.list.ComputeVisibleColumns();
    ASSERT_EQ(2, f.list.VisibleColumnCount());
    EXPECT_EQ(1, f.list.VisibleColumn(0));
    EXPECT_EQ(0, f.list.VisibleColumn(1));

    f.list.AutoSizeColumns();
    EXPECT_EQ(0, f.window.ColumnWidth(2));   // hidden stays hidden

    nw::ColumnLayout back;
    f.list.ReadLayoutFromControl(back);
    EXPECT_EQ(3, back.count);
    EXPECT_EQ(0, back.entries[2].width);
    EXPECT_EQ(1, back.entries[2].position);
    EXPECT_EQ(2, back.entries[0].position);
}

TEST(ReportListColumns, SettingsKeepColumnsAsFourBytesEachAndTheSortKey) {
    listtest::TempFolder folder;
    const std::wstring path = folder.File(L"list.cfg");
    {
        Fixture f;
        f.list.Sort(2, false);
        f.list.Sort(2, false);
        SendMessageW(f.window.List(), LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(0, 0));
        nw::SettingsStore store(nw::SettingsStore::Write, path.c_str());
        f.list.ExchangeColumnSettings(store);
        ASSERT_TRUE(store.Commit());
    }
    EXPECT_EQ(L"4098", listtest::ProfileValue(path, L"Sort"));
    EXPECT_EQ(L"82 00 00 00 00 00 01 00 50 00 02 00", listtest::ProfileValue(path, L"Columns"));

    Fixture g;
    nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
    g.list.ExchangeColumnSettings(store);
    EXPECT_EQ(4098, g.list.SortKey());
    EXPECT_EQ(0, g.window.ColumnWidth(1));
    EXPECT_EQ(80, g.window.ColumnWidth(2));
}

TEST(ReportListColumns, StoredColumnsShorterThanTheTableOrWithTwoLeftmostEntries) {
    listtest::TempFolder folder;
    const std::wstring path = folder.File(L"list.cfg");
    WritePrivateProfileStringW(L"General", L"Columns", L"82 00 00 00", path.c_str());
    {
        Fixture f;
        nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
        f.list.ExchangeColumnSettings(store);
        EXPECT_EQ(130, f.window.ColumnWidth(0));
        EXPECT_EQ(100, f.window.ColumnWidth(1));   // the layout's own 100
        EXPECT_EQ(100, f.window.ColumnWidth(2));
        EXPECT_EQ(1, f.window.ColumnOrder(1));
        EXPECT_EQ(0, f.list.SortKey());
    }
    WritePrivateProfileStringW(L"General", L"Columns", L"00 00 00 00 00 00 00 00 00 00 00 00", path.c_str());
    {
        Fixture f;
        nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
        f.list.ExchangeColumnSettings(store);
        EXPECT_EQ(130, f.window.ColumnWidth(0));
        EXPECT_EQ(100, f.window.ColumnWidth(1));
        EXPECT_EQ(80, f.window.ColumnWidth(2));
    }
    WritePrivateProfileStringW(L"General", L"Columns", L"", path.c_str());
    {
        Fixture f;
        nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
        f.list.ExchangeColumnSettings(store);
        EXPECT_EQ(80, f.window.ColumnWidth(2));
    }
    // No byte list, or every column hidden: the defaults, and they are what
    // is saved again.
    for (const wchar_t* bad : {L"hello world", L"82 00 00 00 0", L"8200 0000", L"82 00 00 00 64 00 01 00 5x 00 02 00",
                               L"00 00 00 00 00 00 01 00 00 00 02 00"}) {
        WritePrivateProfileStringW(L"General", L"Columns", bad, path.c_str());
        Fixture f;
        {
            nw::SettingsStore store(nw::SettingsStore::Read, path.c_str());
            f.list.ExchangeColumnSettings(store);
        }
        EXPECT_EQ(130, f.window.ColumnWidth(0)) << bad;
        EXPECT_EQ(100, f.window.ColumnWidth(1)) << bad;
        EXPECT_EQ(80, f.window.ColumnWidth(2)) << bad;
        EXPECT_EQ(0, f.window.ColumnOrder(0)) << bad;
        nw::SettingsStore store(nw::SettingsStore::Write, path.c_str());
        f.list.ExchangeColumnSettings(store);
        ASSERT_TRUE(store.Commit());
        EXPECT_EQ(L"82 00 00 00 64 00 01 00 50 00 02 00", listtest::ProfileValue(path, L"Columns")) << bad;
    }
}

// ---- Drawing, selection and check boxes ------------------------------------------------

TEST(ReportListDrawing, CustomDrawAsksForItemsThenCellsAndColoursTheRowsRecord) {
    Fixture f;
    f.Add(L"a", 1);
    f.Add(L"b", 2);
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(CDRF_NOTIFYITEMDRAW, f.list.OnCustomDraw(&draw));
    EXPECT_EQ(3, f.list.VisibleColumnCount());
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    EXPECT_EQ(CDRF_NOTIFYSUBITEMDRAW, f.list.OnCustomDraw(&draw));
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
    draw.nmcd.lItemlParam = 1;
    EXPECT_EQ(CDRF_NEWFONT, f.list.OnCustomDraw(&draw));
    EXPECT_EQ(f.list.RecordAt(1), f.list.drawn);
    EXPECT_EQ(0x123456u, draw.clrTextBk);
    draw.nmcd.lItemlParam = 9;   // no such record
    EXPECT_EQ(CDRF_DODEFAULT, f.list.OnCustomDraw(&draw));
    draw.nmcd.dwDrawStage = CDDS_POSTPAINT;
    EXPECT_EQ(CDRF_DODEFAULT, f.list.OnCustomDraw(&draw));
}

TEST(ReportListSelection, SelectionWrappersAndRemovingTheSelectedRows) {
    Fixture f;
    for (int i = 0; i < 4; ++i) f.Add(L"x", i);
    f.list.Refresh();
    f.list.SetRowState(-1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(4, f.list.SelectedCount());
    f.list.SetRowState(-1, 0, LVIS_SELECTED);
    EXPECT_EQ(0, f.list.SelectedCount());
    f.list.SetRowState(1, LVIS_SELECTED, LVIS_SELECTED);
    f.list.SetRowState(3, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(f.list.IsRowSelected(1));
    EXPECT_FALSE(f.list.IsRowSelected(2));
    f.list.MarkSelectedRemoved();
    f.list.Refresh();
    ASSERT_EQ(2, f.window.Rows());
    EXPECT_EQ(L"0", f.window.Cell(0, 1));
    EXPECT_EQ(L"2", f.window.Cell(1, 1));
}

TEST(ReportListSelection, CheckStateIsTheStateImageMinusOne) {
    Fixture f;
    f.list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT, true);
    DWORD style = static_cast<DWORD>(SendMessageW(f.window.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    const DWORD both = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    EXPECT_EQ(both, style & both);
    f.Add(L"x", 1);
    f.list.Refresh();
    f.list.SetRowChecked(0, true);
    EXPECT_TRUE(f.list.RowChecked(0));
    EXPECT_EQ(LRESULT{0x2000}, SendMessageW(f.window.List(), LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK));
    f.list.SetRowChecked(0, false);
    EXPECT_FALSE(f.list.RowChecked(0));
    f.list.SetExtendedStyle(LVS_EX_FULLROWSELECT, false);
    style = static_cast<DWORD>(SendMessageW(f.window.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(DWORD{0}, style & LVS_EX_FULLROWSELECT);
}
