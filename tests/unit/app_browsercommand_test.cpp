#include <gtest/gtest.h>
#include "app/BrowserCommand.h"

using nw::BrowserPathFromCommand;

TEST(BrowserCommand, QuotedProgramEndsAtTheNextQuote) {
    wchar_t out[260];
    ASSERT_TRUE(BrowserPathFromCommand(L"\"C:\\Program Files\\Web\\web.exe\" -- \"%1\"", out, 260));
    EXPECT_STREQ(L"C:\\Program Files\\Web\\web.exe", out);
    ASSERT_TRUE(BrowserPathFromCommand(L"\"C:\\a b\\web.exe", out, 260));   // unclosed
    EXPECT_STREQ(L"C:\\a b\\web.exe", out);
}

TEST(BrowserCommand, UnquotedProgramEndsAtTheFirstBlankAfterTheLastBackslash) {
    wchar_t out[260];
    ASSERT_TRUE(BrowserPathFromCommand(L"C:\\Program Files\\Old Web\\iexplore.exe -nohome %1", out, 260));
    EXPECT_STREQ(L"C:\\Program Files\\Old Web\\iexplore.exe", out);
    ASSERT_TRUE(BrowserPathFromCommand(L"web.exe %1", out, 260));
    EXPECT_STREQ(L"web.exe", out);
    ASSERT_TRUE(BrowserPathFromCommand(L"C:\\web\\web.exe", out, 260));
    EXPECT_STREQ(L"C:\\web\\web.exe", out);
}

TEST(BrowserCommand, EmptyOrTooLongGivesNothing) {
    wchar_t out[8] = L"x";
    EXPECT_FALSE(BrowserPathFromCommand(L"", out, 8));
    EXPECT_STREQ(L"", out);
    EXPECT_FALSE(BrowserPathFromCommand(L"\"\" %1", out, 8));
    EXPECT_FALSE(BrowserPathFromCommand(L"C:\\toolong.exe", out, 8));
    EXPECT_FALSE(BrowserPathFromCommand(nullptr, out, 8));
}
