// The properties window on a real device table: the form built from the
// column model, its colours, and the description stored on OK only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialogs_testsupport.h"
#include "discovery/DeviceTable.h"
#include "discovery/PropertiesDialog.h"
#include "lang/Strings.h"
#include "resource.h"

using dialogtest::Answer;
using dialogtest::Children;
using dialogtest::DialogScript;
using dialogtest::TextOf;

namespace {

constexpr uint64_t kPhone = 0x001A7DDA7113ull;   // 00:1a:7d:da:71:13
constexpr uint64_t kHeadset = 0x5C0E8B000001ull;

constexpr int kTitleIds[] = {IDS_COL_NAME,        IDS_COL_DESCRIPTION,  IDS_COL_ADDRESS,       IDS_COL_MAJOR,
                             IDS_COL_MINOR,       IDS_COL_FIRST_SEEN,   IDS_COL_LAST_SEEN,     IDS_COL_COUNT,
                             IDS_COL_CONNECTED,   IDS_COL_REMEMBERED,   IDS_COL_AUTHENTICATED, IDS_COL_COMPANY,
                             IDS_COL_PROBE,       IDS_COL_TRANSPORT,    IDS_COL_SIGNAL,        IDS_COL_ADDRESS_TYPE,
                             IDS_COL_MAKER,       IDS_PROP_TX_POWER,    IDS_PROP_CONNECTABLE,  IDS_PROP_UUIDS,
                             IDS_PROP_APPEARANCE, IDS_PROP_MANUFACTURER};

struct Form {
    std::vector<std::wstring> labels;
    std::vector<std::wstring> values;
    std::vector<bool> readOnly;
    std::vector<RECT> valueRects;
    std::vector<int> labelWidths;
    RECT prototype = {};
    bool focusOnDescription = false;
    COLORREF readOnlyText = 0;
    HBRUSH readOnlyBrush = nullptr;
    bool labelDefault = false;
};

Form ReadForm(HWND dialog) {
    Form form;
    for (HWND label : Children(dialog, L"Static")) {
        form.labels.push_back(TextOf(label));
        RECT r;
        GetWindowRect(label, &r);
        form.labelWidths.push_back(r.right - r.left);
    }
    std::vector<HWND> edits = Children(dialog, L"Edit");
    for (HWND edit : edits) {
        form.values.push_back(TextOf(edit));
        form.readOnly.push_back((GetWindowLongW(edit, GWL_STYLE) & ES_READONLY) != 0);
        RECT r;
        GetWindowRect(edit, &r);
        form.valueRects.push_back(r);
    }
    GetWindowRect(GetDlgItem(dialog, IDC_PROP_VALUE), &form.prototype);
    form.focusOnDescription = edits.size() > 1 && GetFocus() == edits[1];
    if (!edits.empty()) {
        HDC dc = CreateCompatibleDC(nullptr);
        form.readOnlyBrush = reinterpret_cast<HBRUSH>(
            SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edits[0])));
        form.readOnlyText = GetTextColor(dc);
        DeleteDC(dc);
        dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        const INT_PTR brush = SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                           reinterpret_cast<LPARAM>(Children(dialog, L"Static").front()));
        form.labelDefault = brush != reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH)) &&
                            GetTextColor(dc) != 0xC00000;
        DeleteDC(dc);
    }
    return form;
}

class PropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        list.Scan({Answer(kPhone, L"Phone"), Answer(kHeadset, L"Headset")});
        ASSERT_EQ(2, list.window.Rows());
    }
    // Opens the window for the row of address and runs script on it.
    int Open(uint64_t address, const std::function<void(HWND)>& script) {
        list.SelectOnly({list.RowOf(address)});
        return DialogScript::Run([&] { nw::ShowDeviceProperties(list.table, list.window.List()); }, script);
    }
    std::wstring Description(uint64_t address) { return list.table.FindDevice(address)->description; }

    dialogtest::DeviceList list;
};

TEST_F(PropertiesTest, EveryColumnInIndexOrderOnlyTheDescriptionEditableAndTheOthersBlueOnWhite) {
    // Hidden and moved columns of the list do not change the form.
    LVCOLUMNW hide = {};
    hide.mask = LVCF_WIDTH | LVCF_ORDER;
    hide.cx = 0;
    hide.iOrder = 5;
    SendMessageW(list.window.List(), LVM_SETCOLUMNW, 2, reinterpret_cast<LPARAM>(&hide));
    list.table.FindDevice(kPhone)->probeResult = 0;
    // Heard over LE too: its details follow the columns.
    nw::LeSighting heard = {};
    heard.address = kPhone;
    heard.flags = nw::kLeHasTxPower | nw::kLeConnectable;
    heard.txPower = -8;
    const uint8_t raw[] = {0x06, 0xFF, 0x4C, 0x00, 0x10, 0x05, 0x0B, 0x05, 0x03, 0x0F, 0x18, 0x0A, 0x18};
    std::memcpy(heard.raw, raw, sizeof raw);
    heard.rawLength = sizeof raw;
    list.table.MergeLeSightings(&heard, 1);
    list.table.UpdateAllRowTexts();

    Form form;
    ASSERT_EQ(1, Open(kPhone, [&](HWND dialog) {
                  form = ReadForm(dialog);
                  DialogScript::Press(dialog, IDCANCEL);
              }));

    constexpr size_t kRows = nw::kDeviceColumnCount + nw::kLeDetailRows;
    static_assert(kRows == sizeof kTitleIds / sizeof kTitleIds[0]);
    ASSERT_EQ(kRows, form.labels.size());
    ASSERT_EQ(kRows, form.values.size());
    wchar_t buffer[nw::kTextBufferSize];
    const nw::DeviceRecord* phone = list.table.FindDevice(kPhone);
    EXPECT_EQ(L"-8 dBm", form.values[nw::kDeviceColumnCount]);
    EXPECT_EQ(L"Yes", form.values[nw::kDeviceColumnCount + 1]);
    EXPECT_EQ(L"180f, 180a", form.values[nw::kDeviceColumnCount + 2]);
    EXPECT_EQ(L"", form.values[nw::kDeviceColumnCount + 3]);
    EXPECT_EQ(L"4C 00 10 05 0B", form.values[nw::kDeviceColumnCount + 4]);
    for (size_t c = 0; c < kRows; ++c) {
        EXPECT_EQ(std::wstring(nw::GetString(kTitleIds[c])) + L":", form.labels[c]) << c;
        if (c < nw::kDeviceColumnCount) {
            EXPECT_EQ(std::wstring(list.table.ColumnText(phone, static_cast<int>(c), buffer)), form.values[c]) << c;
        }
        EXPECT_EQ(c != 1, form.readOnly[c]) << c;
        // One label width for all rows; the values keep the template's right edge.
        EXPECT_EQ(form.labelWidths[0], form.labelWidths[c]);
        EXPECT_EQ(form.prototype.right, form.valueRects[c].right) << c;
        if (c) {
            EXPECT_GT(form.valueRects[c].top, form.valueRects[c - 1].top);
        }
    }
    EXPECT_EQ(L"Phone", form.values[0]);
    EXPECT_EQ(L"00:1a:7d:da:71:13", form.values[2]);
    EXPECT_TRUE(form.focusOnDescription);
    EXPECT_EQ(static_cast<COLORREF>(0xC00000), form.readOnlyText);
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), form.readOnlyBrush);
    EXPECT_TRUE(form.labelDefault);
}

TEST_F(PropertiesTest, OkStoresTheEditedDescriptionCutTo126InTheRecordTheRowAndTheFile) {
    const std::wstring typed(200, L'x');
    ASSERT_EQ(1, Open(kHeadset, [&](HWND dialog) {
                  SetWindowTextW(Children(dialog, L"Edit")[1], (L"Kitchen " + typed).c_str());
                  DialogScript::Press(dialog, IDOK);
              }));
    const std::wstring stored = (L"Kitchen " + typed).substr(0, 126);
    EXPECT_EQ(stored, Description(kHeadset));
    EXPECT_EQ(L"", Description(kPhone));
    EXPECT_EQ(stored, list.window.Cell(list.RowOf(kHeadset), 1));
    EXPECT_NE(std::wstring::npos, list.DescriptionFileText().find(L"5c:0e:8b:00:00:01=" + stored));
    EXPECT_EQ(list.window.List(), GetFocus());
}

TEST_F(PropertiesTest, CancelAndEscapeChangeNothingAndWriteNothing) {
    // The Cancel button, the Escape key and the close box.
    for (int way = 0; way < 3; ++way) {
        ASSERT_EQ(1, Open(kPhone, [&](HWND dialog) {
                      HWND edit = Children(dialog, L"Edit")[1];
                      SetWindowTextW(edit, L"Not stored");
                      if (way == 0) DialogScript::Press(dialog, IDCANCEL);
                      if (way == 1) PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
                      if (way == 2) PostMessageW(dialog, WM_CLOSE, 0, 0);
                  })) << way;
    }
    EXPECT_EQ(L"", Description(kPhone));
    EXPECT_EQ(L"<absent>", list.DescriptionFileText());
}

TEST_F(PropertiesTest, NothingOpensUnlessExactlyOneRowIsSelected) {
    list.SelectOnly({0, 1});
    auto fail = [](HWND dialog) { DialogScript::Press(dialog, IDCANCEL); };
    EXPECT_EQ(0, DialogScript::Run([&] { nw::ShowDeviceProperties(list.table, list.window.List()); }, fail));
    list.SelectOnly({});
    EXPECT_EQ(0, DialogScript::Run([&] { nw::ShowDeviceProperties(list.table, list.window.List()); }, fail));
    EXPECT_EQ(list.window.List(), GetFocus());
}

TEST_F(PropertiesTest, ADeviceDroppedWhileTheWindowIsOpenGetsNothingStored) {
    ASSERT_EQ(1, Open(kPhone, [&](HWND dialog) {
                  SetWindowTextW(Children(dialog, L"Edit")[1], L"Gone meanwhile");
                  list.table.Reset();
                  DialogScript::Press(dialog, IDOK);
              }));
    EXPECT_EQ(nullptr, list.table.FindDevice(kPhone));
    EXPECT_EQ(L"<absent>", list.DescriptionFileText());
}

}  // namespace
