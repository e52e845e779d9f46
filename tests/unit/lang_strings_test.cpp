#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "base/ProfileText.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "lang_test_support.h"
#include "resource.h"

using nw::GetString;
using nw::kBuiltInString;

namespace {

class StringLookup : public ::testing::Test {
protected:
    void SetUp() override {
        nw::CloseLanguageFile();
        nw::ResetStringCacheForTests();
    }
    void TearDown() override {
        nw::CloseLanguageFile();
        nw::ResetStringCacheForTests();
    }
    // A language file whose "strings" section holds the given lines.
    void UseStrings(const std::wstring& lines) {
        path_ = folder_.File(L"nw_lng.ini");
        langtest::WriteUtf16(path_, L"[strings]\r\n" + lines);
        ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
    }
    langtest::TempFolder folder_;
    std::wstring path_;
};

}  // namespace

TEST_F(StringLookup, BuiltInTextsAreCachedAndNeverNull) {
    const wchar_t* text = GetString(IDS_STATUS_DEVICES);
    EXPECT_STREQ(L"%d Bluetooth devices", text);
    EXPECT_EQ(text, GetString(IDS_STATUS_DEVICES));   // the same pooled text
    // Without a language file both forms give the same text.
    EXPECT_STREQ(text, GetString(IDS_STATUS_DEVICES | kBuiltInString));
    const wchar_t* missing = GetString(64999);
    ASSERT_NE(nullptr, missing);
    EXPECT_STREQ(L"", missing);
}

TEST_F(StringLookup, TranslatedTextComesFirstAndBuiltInStaysReachable) {
    UseStrings(L"4=%d Ger\u00e4te\r\n5=\r\n64999=Nur \u00fcbersetzt\r\n");
    EXPECT_STREQ(L"%d Ger\u00e4te", GetString(IDS_STATUS_DEVICES));
    EXPECT_STREQ(L"%d Bluetooth devices", GetString(IDS_STATUS_DEVICES | kBuiltInString));
    // An empty value counts as missing.
    EXPECT_STREQ(L", %d selected", GetString(IDS_STATUS_SELECTED));
    // Not in the file at all.
    EXPECT_STREQ(L"Yes", GetString(IDS_YES));
    // Only in the file: the built-in form has no text.
    EXPECT_STREQ(L"Nur \u00fcbersetzt", GetString(64999));
    EXPECT_STREQ(L"", GetString(64999 | kBuiltInString));
}

TEST_F(StringLookup, AfterTheEntriesRunOutNewKeysGiveTheEmptyText) {
    std::wstring lines;
    for (int i = 0; i < 300; ++i) lines += std::to_wstring(20000 + i) + L"=text " + std::to_wstring(i) + L"\r\n";
    UseStrings(lines);
    const wchar_t* first[256];
    for (int i = 0; i < 255; ++i) {
        first[i] = GetString(20000 + i);
        ASSERT_EQ(L"text " + std::to_wstring(i), first[i]) << i;
    }
    // A key without text takes no entry.
    EXPECT_STREQ(L"", GetString(30000));
    first[255] = GetString(20255);
    EXPECT_STREQ(L"text 255", first[255]);
    // The 257th distinct key.
    EXPECT_STREQ(L"", GetString(20256));
    EXPECT_STREQ(L"", GetString(IDS_YES));
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(first[i], GetString(20000 + i)) << i;
        EXPECT_EQ(L"text " + std::to_wstring(i), first[i]) << i;
    }
}

TEST_F(StringLookup, LongTextsNeverCrowdOutTheOthers) {
    // Eight texts of 4000 units fill most of a 32768-unit block; the texts
    // after them go to a new block (this used to give the empty text, found
    // by the language fuzz test), and the first ones stay where they were.
    // 760 units would fill the block's last unit without their terminator
    // (the test build's guard units see a terminator written past it).
    std::wstring lines;
    for (int i = 0; i < 9; ++i) lines += std::to_wstring(20000 + i) + L"=" + std::wstring(4000, L'a' + i) + L"\r\n";
    lines += L"20104=" + std::wstring(760, L'w') + L"\r\n";
    lines += L"20100=" + std::wstring(757, L'x') + L"\r\n";
    lines += L"20101=" + std::wstring(758, L'y') + L"\r\n";
    lines += L"20102=z\r\n";
    // At the longest length a text in quotes keeps its last unit.
    lines += L"20103=\"" + std::wstring(4095, L'q') + L"\"\r\n";
    UseStrings(lines);
    const wchar_t* first = GetString(20000);
    for (int i = 1; i < 8; ++i) ASSERT_EQ(4000u, wcslen(GetString(20000 + i))) << i;
    EXPECT_EQ(std::wstring(760, L'w'), GetString(20104));
    ASSERT_EQ(4000u, wcslen(GetString(20008)));
    EXPECT_EQ(757u, wcslen(GetString(20100)));
    EXPECT_EQ(758u, wcslen(GetString(20101)));
    EXPECT_STREQ(L"z", GetString(20102));
    EXPECT_EQ(std::wstring(4095, L'q'), GetString(20103));
    EXPECT_STREQ(GetString(IDS_YES | kBuiltInString), GetString(IDS_YES));
    EXPECT_EQ(first, GetString(20000));
    EXPECT_EQ(std::wstring(4000, L'a'), first);
}

namespace {

int TemporaryCopies() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(folder) + L"nwl*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

}  // namespace

// What most editors write today: UTF-8 without a byte-order mark. Read as
// UTF-8 when the bytes are valid UTF-8, from the ANSI code page otherwise;
// the UTF-8 text is read in memory, never through a file of its own whose
// name another program could have taken.
TEST_F(StringLookup, Utf8FilesAreReadAsUtf8WithOrWithoutAMark) {
    const int copiesBefore = TemporaryCopies();
    const std::string utf8 = "[general]\r\nTranslatorName=J\xC3\xBCrgen\r\nrtl= +01\r\n[strings]\r\n4=%d Ger\xC3\xA4te \xE2\x9C\x93\r\n";
    for (const std::string& bytes : {utf8, "\xEF\xBB\xBF" + utf8}) {
        path_ = folder_.File(L"nw_lng.ini");
        langtest::WriteAnsi(path_, bytes);
        ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
        EXPECT_STREQ(L"%d Ger\u00e4te \u2713", GetString(IDS_STATUS_DEVICES));
        EXPECT_STREQ(L"J\u00fcrgen", nw::TranslatorName());
        EXPECT_TRUE(nw::RightToLeft());
        EXPECT_STREQ(L"Yes", GetString(IDS_YES));
        EXPECT_EQ(copiesBefore, TemporaryCopies());
        nw::CloseLanguageFile();
        nw::ResetStringCacheForTests();
    }

    // Not valid UTF-8 (a lone 0xE4): the ANSI code page, as before.
    langtest::WriteAnsi(path_, "[strings]\r\n4=%d Ger\xE4te\r\n");
    ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
    wchar_t expected[32] = {};
    MultiByteToWideChar(CP_ACP, 0, "%d Ger\xE4te", -1, expected, 32);
    EXPECT_STREQ(expected, GetString(IDS_STATUS_DEVICES));
}

// The reader of a UTF-8 file's text in memory gives what the system's reader
// gives for the same text in a file, value by value.
TEST_F(StringLookup, TheReaderInMemoryReadsAsTheSystemReader) {
    const std::wstring text = L"stray=before any section\r\n"
                              L"[General]\r\n"
                              L"  Name  =  value with blanks  \r\n"
                              L"quoted=\"  kept blanks  \"\r\nsingle='x'\r\nlone=\"\r\nmismatch=\"abc'\r\nempty=\r\n"
                              L"noequals\r\ndup=first\r\nDUP=second\r\nCaseKey=v\r\n; comment=1\r\n"
                              L"[ strings ]\r\nspaced=1\r\n"
                              L"[strings]\r\na=1\r\nb = x=y\r\nlong=\"" + std::wstring(5000, L'l') + L"\"\r\n"
                              L"cr=one\rcrkey=two\nlf=three\r\n\u00c4rger=\u00fc\r\n"
                              L"[general]\r\ndup=a second section\r\nlater=only here\r\n"
                              L"[strings]\r\na=another\r\n[last";
    const std::wstring path = folder_.File(L"reference.ini");
    langtest::WriteUtf16(path, text);
    const wchar_t* const queries[][2] = {
        {L"General", L"Name"}, {L"general", L"quoted"}, {L"GENERAL", L"single"}, {L"General", L"lone"},
        {L"General", L"mismatch"}, {L"General", L"empty"}, {L"General", L"noequals"}, {L"General", L"dup"},
        {L"General", L"casekey"}, {L"General", L" Name "}, {L" General ", L"name"}, {L"General", L"missing"},
        {L"General", L"later"}, {L"General", L"; comment"}, {L"General", L"stray"}, {L"", L"stray"},
        {L" strings ", L"spaced"}, {L"strings", L"spaced"}, {L"strings", L"a"}, {L"strings", L"b"},
        {L"strings", L"long"}, {L"strings", L"cr"}, {L"strings", L"crkey"}, {L"strings", L"lf"},
        {L"strings", L"\u00e4rger"}, {L"last", L"x"}, {L"nothing", L"a"},
    };
    for (const auto& query : queries) {
        for (size_t size : {size_t{8192}, size_t{3}, size_t{1}}) {
            wchar_t system[8192], memory[8192];
            const size_t systemLength = nw::ReadProfileText(query[0], query[1], L"dflt", system, size, path.c_str());
            const size_t memoryLength =
                nw::ReadProfileTextFrom(text.c_str(), text.size(), query[0], query[1], L"dflt", memory, size);
            EXPECT_EQ(std::wstring(system), std::wstring(memory)) << testing::PrintToString(query) << size;
            EXPECT_EQ(systemLength, memoryLength) << testing::PrintToString(query) << size;
        }
    }
}
