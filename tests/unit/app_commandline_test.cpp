#include <gtest/gtest.h>
#include "app/CommandLine.h"

using nw::HasOption;
using nw::SplitCommandLine;

TEST(CommandLine, SplitsAtBlanksOutsideQuotes) {
    auto w = SplitCommandLine(L"  /a   b\tc ");
    ASSERT_EQ(3u, w.size());
    EXPECT_EQ(L"/a", w[0]);
    EXPECT_EQ(L"b", w[1]);
    EXPECT_EQ(L"c", w[2]);
    EXPECT_TRUE(SplitCommandLine(L"").empty());
    EXPECT_TRUE(SplitCommandLine(L"   ").empty());
    EXPECT_TRUE(SplitCommandLine(nullptr).empty());
}

TEST(CommandLine, QuotesToggleAndAreDropped) {
    auto w = SplitCommandLine(L"\"/nosaveload\" \"a b\"c d\"e f\" \"g");
    ASSERT_EQ(4u, w.size());
    EXPECT_EQ(L"/nosaveload", w[0]);
    EXPECT_EQ(L"a bc", w[1]);
    EXPECT_EQ(L"de f", w[2]);
    EXPECT_EQ(L"g", w[3]);  // an unclosed quote runs to the end
}

TEST(CommandLine, OptionsMatchWholeWordsIgnoringCase) {
    auto w = SplitCommandLine(L"foo /SaveLangFile \"/NoSaveLoad\" /nosaveload2");
    EXPECT_TRUE(HasOption(w, L"/savelangfile"));
    EXPECT_TRUE(HasOption(w, L"/nosaveload"));
    EXPECT_FALSE(HasOption(w, L"/deleteregkey"));
    EXPECT_FALSE(HasOption(SplitCommandLine(L"/nosaveload2 x/nosaveload"), L"/nosaveload"));
    EXPECT_FALSE(HasOption(SplitCommandLine(L"/nosave"), L"/nosaveload"));
    EXPECT_FALSE(HasOption(SplitCommandLine(L"\"\""), L"/nosaveload"));
}
