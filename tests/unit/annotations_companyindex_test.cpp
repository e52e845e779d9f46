#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "annotations/CompanyIndex.h"

namespace {

const uint8_t kBlock[3] = {0x00, 0x1A, 0x7D};

std::string Find(const nw::CompanyIndex& index, const uint8_t block[3]) {
    char out[nw::kCompanyNameChars] = {};
    if (!index.FindCompany(block, out, sizeof(out))) return "<none>";
    return out;
}

nw::CompanyIndex& Loaded(nw::CompanyIndex& index, const std::string& text) {
    EXPECT_TRUE(index.Load(text.data(), text.size()));
    return index;
}

TEST(NextLine, SplitsAtCrLfAndCrLfAndStopsAtZero) {
    const char text[] = "one\r\ntwo\nthree\rfour\n\nlast";
    const char* expected[] = {"one", "two", "three", "four", "", "last"};
    size_t position = 0;
    char line[nw::kCompanyLineChars];
    for (const char* e : expected) {
        ASSERT_TRUE(nw::NextLine(text, &position, line, sizeof(line)));
        EXPECT_STREQ(e, line);
    }
    EXPECT_FALSE(nw::NextLine(text, &position, line, sizeof(line)));
    EXPECT_EQ(sizeof(text) - 1, position);   // stays on the zero byte
}

TEST(NextLine, CutsLongLinesTo1022Characters) {
    std::string text(2000, 'x');
    text += "\nnext";
    size_t position = 0;
    char line[nw::kCompanyLineChars];
    ASSERT_TRUE(nw::NextLine(text.c_str(), &position, line, sizeof(line)));
    EXPECT_EQ(1022u, strlen(line));
    ASSERT_TRUE(nw::NextLine(text.c_str(), &position, line, sizeof(line)));
    EXPECT_STREQ("next", line);
}

TEST(CompanyIndex, OnlyTheRegistryLineShapeCounts) {
    nw::CompanyIndex index;
    Loaded(index, "00-1A-7D   (hex)\t\tExample Radio Ltd\r\n"
                  "001A7D     (base 16)\t\tExample Radio Ltd\r\n"
                  "00-11-22 (hex)\r\n"       // wrong shape
                  "00-1B-7D   (h\r\n");      // 13 characters: a company line with no name
    EXPECT_EQ(2u, index.Count());
    EXPECT_EQ("Example Radio Ltd", Find(index, kBlock));
    const uint8_t shortLine[3] = {0x00, 0x1B, 0x7D};
    EXPECT_EQ("", Find(index, shortLine));
    const uint8_t absent[3] = {0x00, 0x11, 0x22};
    EXPECT_EQ("<none>", Find(index, absent));
}

TEST(CompanyIndex, ShortLinesNeverCount) {
    nw::CompanyIndex index;
    Loaded(index, "00-1A-7D   (\n00-1A-7D\n\n-");
    EXPECT_EQ(0u, index.Count());
    EXPECT_EQ("<none>", Find(index, kBlock));
}

TEST(CompanyIndex, DigitsInEitherCaseAndPairsWithoutDigits) {
    nw::CompanyIndex index;
    Loaded(index, "00-1a-7d   (hex)\t\tLower Case\n"
                  "xy-0z-F    (hex)  \tOdd Pairs\n");
    EXPECT_EQ("Lower Case", Find(index, kBlock));
    const uint8_t odd[3] = {0x00, 0x00, 0x0F};   // "xy" -> 0, "0z" -> 0, "F " -> F
    EXPECT_EQ("Odd Pairs", Find(index, odd));
}

TEST(CompanyIndex, FirstLineWinsAndAnOverlongFirstNameGivesNone) {
    nw::CompanyIndex index;
    Loaded(index, "00-1A-7D   (hex)\t\tFirst\n00-1A-7D   (hex)\t\tSecond\n");
    EXPECT_EQ("First", Find(index, kBlock));

    std::string longName(300, 'N');
    nw::CompanyIndex overlong;
    Loaded(overlong, "00-1A-7D   (hex)\t\t" + longName + "\n00-1A-7D   (hex)\t\tLater\n");
    EXPECT_EQ("<none>", Find(overlong, kBlock));

    // 254 characters still fit; 255 do not.
    nw::CompanyIndex edge;
    Loaded(edge, "00-00-01   (hex)\t\t" + std::string(254, 'a') + "\n00-00-02   (hex)\t\t" +
                     std::string(255, 'b') + "\n");
    const uint8_t one[3] = {0, 0, 1}, two[3] = {0, 0, 2};
    EXPECT_EQ(std::string(254, 'a'), Find(edge, one));
    EXPECT_EQ("<none>", Find(edge, two));
}

TEST(CompanyIndex, AllLineEndsAndALastLineWithoutTerminator) {
    const char* texts[] = {
        "00-00-01   (hex)\t\tAlpha\r\n00-00-02   (hex)\t\tBeta\r\n00-00-03   (hex)\t\tGamma",
        "00-00-01   (hex)\t\tAlpha\n00-00-02   (hex)\t\tBeta\n00-00-03   (hex)\t\tGamma",
        "00-00-01   (hex)\t\tAlpha\r00-00-02   (hex)\t\tBeta\r00-00-03   (hex)\t\tGamma",
        "00-00-01   (hex)\t\tAlpha\r\r\n\n00-00-02   (hex)\t\tBeta\n\r00-00-03   (hex)\t\tGamma",
    };
    for (const char* text : texts) {
        nw::CompanyIndex index;
        Loaded(index, text);
        const uint8_t a[3] = {0, 0, 1}, b[3] = {0, 0, 2}, c[3] = {0, 0, 3};
        EXPECT_EQ("Alpha", Find(index, a)) << text;
        EXPECT_EQ("Beta", Find(index, b)) << text;
        EXPECT_EQ("Gamma", Find(index, c)) << text;
    }
}

// Names of every length up to a few words, under every terminator, so that
// line ends fall at every position of the scanner's blocks.
TEST(CompanyIndex, LineEndsAtEveryOffset) {
    const char* terminators[] = {"\r\n", "\n", "\r", "\n\n", "\r\n\t\t\tstreet\r\n"};
    std::string text = "OUI/MA-L    header\r\n";
    for (int i = 0; i < 200; ++i) {
        char head[32];
        snprintf(head, sizeof(head), "00-%02X-%02X   (hex)\t\t", i / 256, i % 256);
        text += head;
        text += std::string(static_cast<size_t>(i % 45), static_cast<char>('a' + i % 26));
        text += terminators[i % 5];
    }
    nw::CompanyIndex index;
    Loaded(index, text);
    EXPECT_EQ(200u, index.Count());
    for (int i = 0; i < 200; ++i) {
        const uint8_t block[3] = {0, static_cast<uint8_t>(i / 256), static_cast<uint8_t>(i % 256)};
        EXPECT_EQ(std::string(static_cast<size_t>(i % 45), static_cast<char>('a' + i % 26)), Find(index, block)) << i;
    }
}

TEST(CompanyIndex, AZeroByteEndsTheText) {
    std::string text = "00-00-01   (hex)\t\tAlpha\n";
    text += '\0';
    text += "00-00-02   (hex)\t\tBeta\n";
    nw::CompanyIndex index;
    Loaded(index, text);
    EXPECT_EQ(1u, index.Count());
    const uint8_t b[3] = {0, 0, 2};
    EXPECT_EQ("<none>", Find(index, b));
}

TEST(CompanyIndex, NoTextNoResult) {
    nw::CompanyIndex index;
    EXPECT_EQ("<none>", Find(index, kBlock));
    EXPECT_FALSE(index.Load("", 0));
    EXPECT_FALSE(index.LoadFile(L"Z:\\nonexistent\\folder\\oui.txt"));
    wchar_t out[8] = L"keep";
    EXPECT_FALSE(index.FindCompanyName(kBlock, out, 8));
}

TEST(CompanyIndex, NameOfAnAnsiListIsStillConverted) {
    // "Caf\xE9" is not valid UTF-8: it comes from the ANSI code page.
    nw::CompanyIndex index;
    Loaded(index, "00-1A-7D   (hex)\t\tCaf\xE9 Radio\n00-1A-7E   (hex)\t\tStra\xC3\x9F" "e\n");
    wchar_t expected[32] = {};
    ::MultiByteToWideChar(CP_ACP, 0, "Caf\xE9 Radio", -1, expected, 32);
    wchar_t name[nw::kCompanyNameChars];
    ASSERT_TRUE(index.FindCompanyName(kBlock, name, nw::kCompanyNameChars));
    EXPECT_STREQ(expected, name);
    EXPECT_EQ(10u, wcslen(name));
    const uint8_t utf8[3] = {0x00, 0x1A, 0x7E};
    ASSERT_TRUE(index.FindCompanyName(utf8, name, nw::kCompanyNameChars));
    EXPECT_STREQ(L"Stra\u00dfe", name);
    // Cut to the caller's buffer.
    wchar_t small[4];
    ASSERT_TRUE(index.FindCompanyName(utf8, small, 4));
    EXPECT_STREQ(L"Str", small);
}

// The Debian copy of the registry, loaded from a folder of the test's own.
TEST(CompanyIndex, RealRegistryKeepsUtf8Names) {
    wchar_t folder[MAX_PATH], copy[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    _snwprintf(copy, MAX_PATH, L"%snw_oui_%lu.txt", folder, ::GetCurrentProcessId());
    if (!::CopyFileW(L"Z:\\usr\\share\\ieee-data\\oui.txt", copy, FALSE)) {
        GTEST_SKIP() << "no registry copy at /usr/share/ieee-data/oui.txt";
    }
    nw::CompanyIndex index;
    bool loaded = index.LoadFile(copy);
    ::DeleteFileW(copy);
    ASSERT_TRUE(loaded);
    EXPECT_GT(index.Count(), 10000u);
    const uint8_t securitas[3] = {0x58, 0xB5, 0x68};
    wchar_t name[nw::kCompanyNameChars];
    ASSERT_TRUE(index.FindCompanyName(securitas, name, nw::kCompanyNameChars));
    EXPECT_STREQ(L"SECURITAS DIRECT ESPA\u00d1A, SAU", name);
    const uint8_t first[3] = {0x00, 0x22, 0x72};
    ASSERT_TRUE(index.FindCompanyName(first, name, nw::kCompanyNameChars));
    EXPECT_STREQ(L"American Micro-Fuel Device Corp.", name);
}

}  // namespace
