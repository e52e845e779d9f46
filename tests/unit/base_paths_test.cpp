#include <gtest/gtest.h>
#include "base/Paths.h"

TEST(PathWithSuffix, CutsAtTheLastDotWhereverItStands) {
    wchar_t out[MAX_PATH];
    ASSERT_TRUE(nw::PathWithSuffix(L"C:\\Tools\\nw.exe", L".cfg", out, MAX_PATH));
    EXPECT_STREQ(L"C:\\Tools\\nw.cfg", out);
    // The folder holds a "." while the file name has none.
    ASSERT_TRUE(nw::PathWithSuffix(L"C:\\my.tools\\nw", L".cfg", out, MAX_PATH));
    EXPECT_STREQ(L"C:\\my.cfg", out);
    ASSERT_TRUE(nw::PathWithSuffix(L"C:\\Tools\\nw", L"_Desc.ini", out, MAX_PATH));
    EXPECT_STREQ(L"C:\\Tools\\nw_Desc.ini", out);
    EXPECT_FALSE(nw::PathWithSuffix(L"C:\\Tools\\nw.exe", L".cfg", out, 10));
    EXPECT_STREQ(L"", out);
}

#include "base/Text.h"

TEST(MenuLabelAsPlainText, DropsAccessKeysAndTheShortcutPart) {
    wchar_t text[64] = L"&Save Selected Items\tCtrl+S";
    nw::MenuLabelAsPlainText(text);
    EXPECT_STREQ(L"Save Selected Items", text);
    wchar_t both[64] = L"Find && &Replace";
    nw::MenuLabelAsPlainText(both);
    EXPECT_STREQ(L"Find & Replace", both);
}

TEST(CopyText, CutsToTheBufferAndAlwaysTerminates) {
    wchar_t small[4];
    EXPECT_EQ(3u, nw::CopyText(small, L"abcdef"));
    EXPECT_STREQ(L"abc", small);
    EXPECT_EQ(0u, nw::CopyText(small, nullptr));
    EXPECT_STREQ(L"", small);
    wchar_t formatted[6];
    nw::FormatText(formatted, 6, L"%d items", 12345);
    EXPECT_STREQ(L"12345", formatted);
    // The system printf's own reading: %s is a wide string there.
    wchar_t wide[16];
    EXPECT_EQ(11u, nw::FormatText(wide, 16, L"%s-%04X/%lu", L"ab\u00e9c", 0xBEEFu, 7ul));
    EXPECT_STREQ(L"ab\u00e9c-BEEF/7", wide);
}
