#include <gtest/gtest.h>
#include <string>
#include "alerts/TemplateExpansion.h"

namespace {

using nw::ReplaceVariable;

std::wstring Repeat(const std::wstring& piece, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(ReplaceVariable, ReplacesAtMostTenTimes) {
    std::wstring text = Repeat(L"%device_addr%;", 11);
    ReplaceVariable(text, L"%device_addr%", L"00:1a:7d:da:71:13");
    EXPECT_EQ(Repeat(L"00:1a:7d:da:71:13;", 10) + L"%device_addr%;", text);
}

TEST(ReplaceVariable, IgnoresTheCaseOfAsciiLetters) {
    std::wstring text = L"[%Device_Name%] [%DEVICE_NAME%]";
    ReplaceVariable(text, L"%device_name%", L"Phone");
    EXPECT_EQ(L"[Phone] [Phone]", text);
    // Only ASCII folds: a dotless capital I is another letter.
    text = L"%dev\u0130ce_name%";
    ReplaceVariable(text, L"%device_name%", L"Phone");
    EXPECT_EQ(L"%dev\u0130ce_name%", text);
}

TEST(ReplaceVariable, EmptyValueRemovesAndAValueHoldingTheVariableCountsAgainstTheTen) {
    std::wstring text = L"a%device_desc%b%device_desc%c";
    ReplaceVariable(text, L"%device_desc%", L"");
    EXPECT_EQ(L"abc", text);
    text = L"<%device_name%>";
    ReplaceVariable(text, L"%device_name%", L"x%device_name%");
    EXPECT_EQ(L"<" + Repeat(L"x", 10) + L"%device_name%>", text);
}

TEST(ExpandDeviceVariables, LaterVariablesActOnTextBroughtInByEarlierOnes) {
    nw::DeviceTexts device{L"Car %device_desc%", L"of %device_addr%", L"00:1a:7d:da:71:13"};
    std::wstring out;
    nw::ExpandDeviceVariables(L"%device_name% is here", device, nw::ExpandTarget::Speech, out);
    EXPECT_EQ(L"Car of 00:1a:7d:da:71:13 is here", out);
    nw::DeviceTexts unnamed{L"", L"", L"00:00:00:00:00:01"};
    nw::ExpandDeviceVariables(L"%device_desc% is here", unnamed, nw::ExpandTarget::Speech, out);
    EXPECT_EQ(L" is here", out);
}

TEST(CommandLineValue, RemovesWhatEndsAnArgumentOrStartsACommand) {
    EXPECT_EQ(L"x  del /q C:\\*.*  ", nw::CommandLineValue(L"x\" & del /q C:\\*.* & \""));
    EXPECT_EQ(L"abcdef", nw::CommandLineValue(L"a|b<c>d^e%f"));
    EXPECT_EQ(L"line1line2", nw::CommandLineValue(L"line1\r\nline2\t\x7f\x85"));
    // Trailing backslashes would escape the template's closing quote.
    EXPECT_EQ(L"C:\\dir", nw::CommandLineValue(L"C:\\dir\\\\"));
    // Everything else stays as it is.
    EXPECT_EQ(L"Jo's Phone (2) \u00e9\u65e5!", nw::CommandLineValue(L"Jo's Phone (2) \u00e9\u65e5!"));
}

TEST(ExpandDeviceVariables, HostileNameCannotRunItsOwnCommand) {
    nw::DeviceTexts device{L"x\" & del /q C:\\*.* & \"", L"%device_addr%\r\nexit", L"00:1a:7d:da:71:13"};
    std::wstring out;
    nw::ExpandDeviceVariables(L"cmd /c echo %device_name% >> log.txt", device, nw::ExpandTarget::CommandLine,
                              out);
    EXPECT_EQ(L"cmd /c echo x  del /q C:\\*.*   >> log.txt", out);
    nw::ExpandDeviceVariables(L"cmd /c echo \"%device_desc%\" %device_addr%", device,
                              nw::ExpandTarget::CommandLine, out);
    EXPECT_EQ(L"cmd /c echo \"device_addrexit\" 00:1a:7d:da:71:13", out);
    // The sentence keeps the values as they are.
    nw::ExpandDeviceVariables(L"%device_name%", device, nw::ExpandTarget::Speech, out);
    EXPECT_EQ(device.name, out);
}

TEST(ExpandDeviceVariables, ASpokenNameCannotBringInSpeechMarkup) {
    nw::DeviceTexts device{L"<silence msec=\"99999999\"/>Phone", L"<volume level=\"0\">", L"00:1a:7d:da:71:13"};
    std::wstring out;
    nw::ExpandDeviceVariables(L"%device_name% is here", device, nw::ExpandTarget::Speech, out);
    EXPECT_EQ(L"silence msec=\"99999999\"/>Phone is here", out);
    nw::ExpandDeviceVariables(L"<rate speed=\"2\"/>%device_desc% %device_addr%", device,
                              nw::ExpandTarget::Speech, out);
    EXPECT_EQ(L"<rate speed=\"2\"/>volume level=\"0\"> 00:1a:7d:da:71:13", out);
}

TEST(BalloonText, LinesOfAddressAndDescriptionOrName) {
    nw::BalloonText balloon;
    balloon.AddDevice({L"Phone", L"Kitchen", L"00:00:00:00:00:01"});
    balloon.AddDevice({L"Phone", L"", L"00:00:00:00:00:02"});
    balloon.AddDevice({L"", L"", L"00:00:00:00:00:03"});
    EXPECT_STREQ(L"00:00:00:00:00:01  Kitchen\r\n00:00:00:00:00:02  Phone\r\n00:00:00:00:00:03\r\n",
                 balloon.Text());
}

TEST(BalloonText, TwentyLongLinesStopAtTheBudget) {
    // Lines of 17 + 32 + 2 = 51: four whole lines (204), then the fifth
    // address and name (253); its line end and everything later is dropped.
    std::wstring name(30, L'n');
    nw::BalloonText balloon;
    for (int i = 0; i < 20; ++i) balloon.AddDevice({name.c_str(), L"", L"00:00:00:00:00:01"});
    std::wstring line = L"00:00:00:00:00:01  " + name + L"\r\n";
    EXPECT_EQ(line + line + line + line + L"00:00:00:00:00:01  " + name, balloon.Text());
    EXPECT_EQ(253u, balloon.Length());

    // Lines of 61: after four (244) only the two-character line ends fit.
    std::wstring description(40, L'd');
    nw::BalloonText second;
    for (int i = 0; i < 20; ++i) second.AddDevice({L"", description.c_str(), L"00:00:00:00:00:02"});
    std::wstring longLine = L"00:00:00:00:00:02  " + description + L"\r\n";
    EXPECT_EQ(longLine + longLine + longLine + longLine + L"\r\n\r\n\r\n\r\n", second.Text());
}

TEST(BalloonText, APieceThatDoesNotFitIsDroppedWholeWhileAShorterOneFits) {
    nw::BalloonText balloon;
    std::wstring filler(240, L'f');
    ASSERT_TRUE(balloon.Append(filler.c_str()));
    EXPECT_FALSE(balloon.Append(L"00:00:00:00:00:01"));   // 257 > 253
    EXPECT_TRUE(balloon.Append(L"  Kitchen"));            // 249
    EXPECT_FALSE(balloon.Append(L"12345"));               // 254 > 253
    EXPECT_TRUE(balloon.Append(L"1234"));                 // exactly 253
    EXPECT_FALSE(balloon.Append(L"x"));
    EXPECT_EQ(253u, balloon.Length());
    EXPECT_EQ(filler + L"  Kitchen1234", balloon.Text());
}

}  // namespace
