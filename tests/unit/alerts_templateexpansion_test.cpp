#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
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

// What a child that reads its command line in a code page sees of it.
std::string SeenInCodePage(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(codePage, 0, text.c_str(), static_cast<int>(text.size()),
                                                         bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                                         nullptr)));
    return bytes;
}

// Every value goes into the new-device and the departure command alike; the
// look-alikes are those that the code page's best-fit mapping turns into a
// filtered character.
TEST(CommandLineValue, NothingTheChildSeesEndsAnArgumentOrStartsACommand) {
    struct Case {
        const wchar_t* value;
        UINT codePage;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"x\" & del /q C:\\*.* & \"", 1252, L"x  del /q C:\\*.*  "},
        {L"a|b<c>d^e%f", 1252, L"abcdef"},
        {L"line1\r\nline2\t\x7f\x85", 1252, L"line1line2"},
        {L"C:\\dir\\\\", 1252, L"C:\\dir"},   // would escape the template's closing quote
        {L"Jo's Phone (2) \u00e9\u65e5! \U0001F600", 1252, L"Jo's Phone (2) \u00e9\u65e5! \U0001F600"},
        {L"x\uFF02 & calc \u02BAy", 1252, L"x  calc y"},    // fullwidth and modifier quotes
        {L"\uFF06\uFF5C\uFF1C\uFF1E\uFF3E\uFF05\u02C4\u2329\u232A|", 1252, L""},
        {L"dir\uFF3C\u2216", 1252, L"dir"},             // backslash look-alikes at the end
        {L"a\uFF3Cb", 1252, L"a\\b"},                  // and one inside, as the child sees it
        {L"\u00A5x\u00A5", 932, L"\\x"},               // the yen sign is the backslash of 932
        {L"\u00A5x\u00A5", 1252, L"\u00A5x\u00A5"},    // and itself in 1252
        {L"\u20A9", 949, L""},                        // the won sign of 949
        {L"\uFF02\u02BA", 932, L"\uFF02\u02BA"},       // 932 holds the fullwidth quote; U+02BA is "?"
    };
    const nw::DeviceTexts hostileDescription{L"", L"", L"00:1a:7d:da:71:13"};
    for (const Case& c : cases) {
        const std::wstring value(c.value);
        EXPECT_EQ(c.expected, nw::CommandLineValue(c.value, c.codePage)) << testing::PrintToString(value) << c.codePage;
        // Both commands, in the code page the program runs in: the child sees
        // the template's two quotes and nothing of the value ends its argument.
        const std::wstring safe = nw::CommandLineValue(c.value);
        nw::DeviceTexts device{c.value, c.value, L"00:1a:7d:da:71:13"};
        std::wstring fresh, gone;
        nw::ExpandDeviceVariables(L"run \"%device_name%\" \"%device_desc%\"", device, nw::ExpandTarget::CommandLine,
                                  fresh);
        nw::ExpandDepartureVariables(L"run \"%device_name%\" \"%device_last_seen%\"", hostileDescription, c.value,
                                     gone);
        EXPECT_EQ(L"run \"" + safe + L"\" \"" + safe + L"\"", fresh) << testing::PrintToString(value);
        EXPECT_EQ(L"run \"\" \"" + safe + L"\"", gone) << testing::PrintToString(value);
        for (const std::wstring& line : {fresh, gone}) {
            const std::string seen = SeenInCodePage(line, GetACP());
            EXPECT_EQ(4, std::count(seen.begin(), seen.end(), '"')) << seen;
            EXPECT_EQ(std::string::npos, seen.find_first_of("&|<>^%")) << seen;
            EXPECT_EQ(std::string::npos, seen.find("\\\"")) << seen;
        }
    }
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
