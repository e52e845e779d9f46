#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "annotations/Descriptions.h"
#include "base/Paths.h"

namespace {

constexpr uint64_t kAddress = 0x001A7D0F22C4ull;   // 00:1a:7d:0f:22:c4

// Every test gets a file name of its own: the profile functions cache files
// by name and time stamp.
class DescriptionFile : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        wchar_t folder[MAX_PATH];
        ::GetTempPathW(MAX_PATH, folder);
        _snwprintf(path_, MAX_PATH, L"%snw_desc_%lu_%lu_%d.ini", folder, ::GetCurrentProcessId(),
                   ::GetTickCount(), ++serial);
        ::DeleteFileW(path_);
        nw::SetDescriptionFileForTesting(path_);
    }
    void TearDown() override {
        nw::SetDescriptionFileForTesting(nullptr);
        ::DeleteFileW(path_);
    }
    void WriteRaw(const std::string& bytes) {
        HANDLE f = ::CreateFileW(path_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        DWORD written = 0;
        ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(f);
    }
    std::string ReadRaw() {
        std::string bytes;
        HANDLE f = ::CreateFileW(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return bytes;
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(f, chunk, sizeof(chunk), &got, nullptr) && got) bytes.append(chunk, got);
        ::CloseHandle(f);
        return bytes;
    }
    std::wstring Read(uint64_t address) {
        wchar_t buffer[nw::kDescriptionChars] = {};
        size_t n = nw::ReadDescription(address, buffer, nw::kDescriptionChars);
        EXPECT_EQ(wcslen(buffer), n);
        return buffer;
    }
    wchar_t path_[MAX_PATH] = {};
};

TEST_F(DescriptionFile, MissingFileOrKeyGivesEmptyText) {
    EXPECT_EQ(L"", Read(kAddress));
    WriteRaw("[Descriptions]\r\n00:00:00:00:00:01=Other\r\n");
    EXPECT_EQ(L"", Read(kAddress));
    EXPECT_EQ(L"Other", Read(1));
}

TEST_F(DescriptionFile, HandWrittenEightBitFileWithUpperCaseKeyIsReadAndExtended) {
    WriteRaw("[General]\r\nKeep=1\r\n[Descriptions]\r\n00:1A:7D:0F:22:C4=Kitchen radio\r\n"
             "00:00:00:00:00:03=Caf\xe9\r\n");
    EXPECT_EQ(L"Kitchen radio", Read(kAddress));
    wchar_t cafe[8] = {};
    ::MultiByteToWideChar(CP_ACP, 0, "Caf\xe9", -1, cafe, 8);
    EXPECT_EQ(cafe, Read(3));
    // Writing to an existing 8-bit file keeps its other lines and its keys.
    ASSERT_TRUE(nw::WriteDescription(2, L"Second"));
    EXPECT_EQ(L"Kitchen radio", Read(kAddress));
    EXPECT_EQ(L"Second", Read(2));
    std::string raw = ReadRaw();
    EXPECT_NE(std::string::npos, raw.find("Keep=1"));
    ASSERT_GE(raw.size(), 2u);
    EXPECT_FALSE(static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE);
}

TEST_F(DescriptionFile, EmptyValueReadsEmptyAndEmptyWriteKeepsTheKey) {
    WriteRaw("[Descriptions]\r\n00:1a:7d:0f:22:c4=\r\n");
    EXPECT_EQ(L"", Read(kAddress));
    ASSERT_TRUE(nw::WriteDescription(2, L"Was here"));
    ASSERT_TRUE(nw::WriteDescription(2, L""));
    EXPECT_EQ(L"", Read(2));
    wchar_t value[16];
    ::GetPrivateProfileStringW(L"Descriptions", L"00:00:00:00:00:02", L"absent", value, 16, path_);
    EXPECT_STREQ(L"", value);
}

TEST_F(DescriptionFile, NewFileIsUnicodeAndKeepsCharactersOutsideAscii) {
    const wchar_t* text = L"K\u00fcche \u2013 \u65e5\u672c\u8a9e \u2603 \U0001F3A7";
    ASSERT_TRUE(nw::WriteDescription(kAddress, text));
    std::string raw = ReadRaw();
    ASSERT_GE(raw.size(), 2u);
    EXPECT_EQ(0xFF, static_cast<unsigned char>(raw[0]));
    EXPECT_EQ(0xFE, static_cast<unsigned char>(raw[1]));
    EXPECT_EQ(text, Read(kAddress));
    // Replacing keeps one key.
    ASSERT_TRUE(nw::WriteDescription(kAddress, L"\u00c5sa"));
    EXPECT_EQ(L"\u00c5sa", Read(kAddress));
}

TEST_F(DescriptionFile, LongTextIsReadBackAsItsFirst126Characters) {
    std::wstring name(200, L'a');
    for (size_t i = 0; i < name.size(); ++i) name[i] = static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_TRUE(nw::WriteDescription(kAddress, name.c_str()));
    EXPECT_EQ(name.substr(0, 126), Read(kAddress));
    // A smaller buffer cuts to its own size.
    wchar_t small[8];
    EXPECT_EQ(7u, nw::ReadDescription(kAddress, small, 8));
    EXPECT_EQ(name.substr(0, 7), small);
}

TEST_F(DescriptionFile, LineBreaksInAValueCannotAddKeysOrSections) {
    const wchar_t* hostile = L"x\r\n00:00:00:00:00:01=planted\n[Other]\rkey=value";
    ASSERT_TRUE(nw::WriteDescription(kAddress, hostile));
    EXPECT_EQ(L"x  00:00:00:00:00:01=planted [Other] key=value", Read(kAddress));
    EXPECT_EQ(L"", Read(1));
    wchar_t sections[256] = {};
    ::GetPrivateProfileSectionNamesW(sections, 256, path_);
    EXPECT_STREQ(L"Descriptions", sections);
    EXPECT_EQ(0, sections[wcslen(sections) + 1]);   // the only section
}

// The profile reader trims blanks around a value and takes one pair of
// matching quotes off it; a description must come back as it was written.
TEST_F(DescriptionFile, QuotesAndOuterBlanksSurviveTheFile) {
    for (const wchar_t* text : {L"\"Kitchen\"", L"'a'", L"  padded  ", L"\"", L"\"\"", L"x \"y\""}) {
        ASSERT_TRUE(nw::WriteDescription(kAddress, text));
        EXPECT_EQ(text, Read(kAddress));
    }
    // At full length the quoting costs nothing of the 126 characters.
    std::wstring full = L" " + std::wstring(124, L'q') + L" ";
    ASSERT_TRUE(nw::WriteDescription(kAddress, full.c_str()));
    EXPECT_EQ(full, Read(kAddress));
}

TEST(DescriptionFilePath, IsTheExecutablePathWithTheDescSuffix) {
    wchar_t expected[MAX_PATH], path[MAX_PATH];
    ASSERT_TRUE(nw::ModulePathWithSuffix(L"_Desc.ini", expected, MAX_PATH));
    ASSERT_TRUE(nw::DescriptionFilePath(path, MAX_PATH));
    EXPECT_STREQ(expected, path);
    EXPECT_FALSE(nw::DescriptionFilePath(path, 4));
}

}  // namespace
