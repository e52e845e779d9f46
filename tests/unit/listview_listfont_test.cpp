// The list's display options: the extended styles from the settings, and
// the list font made of face, height and weight only.
#include <gtest/gtest.h>

#include <cstring>

#include "dialogs_testsupport.h"
#include "listview/ListFont.h"

namespace {

LOGFONTW Chosen(const wchar_t* face) {
    LOGFONTW font;
    std::memset(&font, 0, sizeof font);
    font.lfHeight = -16;
    font.lfWidth = 7;
    font.lfWeight = FW_BOLD;
    font.lfItalic = 1;
    font.lfUnderline = 1;
    font.lfStrikeOut = 1;
    font.lfCharSet = SYMBOL_CHARSET;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = FIXED_PITCH;
    wcscpy(font.lfFaceName, face);
    return font;
}

TEST(ListFont, OnlyFaceHeightAndWeightAreTakenWithTheDefaultCharacterSet) {
    const LOGFONTW made = nw::ListFontDescription(Chosen(L"Tahoma"));
    LOGFONTW expected;
    std::memset(&expected, 0, sizeof expected);
    expected.lfHeight = -16;
    expected.lfWeight = FW_BOLD;
    expected.lfCharSet = DEFAULT_CHARSET;
    wcscpy(expected.lfFaceName, L"Tahoma");
    EXPECT_EQ(0, std::memcmp(&expected, &made, sizeof made));
}

TEST(ListFont, TheFontDialogStartsOnTheChoiceOnlyWhenThereIsOne) {
    LOGFONTW none;
    std::memset(&none, 0, sizeof none);
    EXPECT_EQ(0x10001u, nw::ListFontDialogFlags(none));
    EXPECT_EQ(0x10041u, nw::ListFontDialogFlags(Chosen(L"Tahoma")));
}

TEST(ListFont, AChosenFontReplacesTheOwnedOneAndAnEmptyFaceGivesTheDefaultBack) {
    listtest::ListWindow window;
    HWND list = window.List();
    const HFONT original = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
    nw::Font owned;
    ASSERT_TRUE(nw::ApplyListFont(list, Chosen(L"Tahoma"), owned));
    ASSERT_TRUE(owned);
    EXPECT_EQ(owned.get(), reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    LOGFONTW used = {};
    GetObjectW(owned.get(), sizeof used, &used);
    EXPECT_EQ(-16, used.lfHeight);
    EXPECT_EQ(FW_BOLD, used.lfWeight);
    EXPECT_EQ(0, used.lfItalic);

    const HFONT first = owned.get();
    ASSERT_TRUE(nw::ApplyListFont(list, Chosen(L"Courier New"), owned));
    EXPECT_NE(first, owned.get());
    EXPECT_EQ(owned.get(), reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));

    LOGFONTW cleared;
    std::memset(&cleared, 0, sizeof cleared);
    const HFONT second = owned.get();
    ASSERT_TRUE(nw::ApplyListFont(list, cleared, owned));
    EXPECT_EQ(original, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
    EXPECT_EQ(second, owned.get());   // kept until the next font is made
}

TEST(ListFont, StylesFollowTheSettingsAndLeaveTheOtherBitsAlone) {
    dialogtest::DeviceList list;
    list.table.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP, true);
    auto style = [&] { return static_cast<DWORD>(SendMessageW(list.window.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)); };
    list.settings.ShowGridLines = 1;
    list.settings.ShowInfoTip = 0;
    nw::ApplyListStyles(list.table, list.settings);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_GRIDLINES), style() & (LVS_EX_GRIDLINES | LVS_EX_INFOTIP));
    list.settings.ShowInfoTip = 1;
    nw::ApplyListStyles(list.table, list.settings);
    list.settings.ShowInfoTip = 0;
    list.settings.ShowGridLines = 0;
    nw::ApplyListStyles(list.table, list.settings);
    EXPECT_EQ(0u, style() & (LVS_EX_GRIDLINES | LVS_EX_INFOTIP));
    list.settings.ShowInfoTip = 1;
    nw::ApplyListStyles(list.table, list.settings);
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_INFOTIP), style() & (LVS_EX_GRIDLINES | LVS_EX_INFOTIP));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP),
              style() & (LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP));
}

}  // namespace
