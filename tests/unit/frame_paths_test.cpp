#include <gtest/gtest.h>
#include "frame/Paths.h"

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
