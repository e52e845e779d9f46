// Fuzzing the description file: reads from a damaged file, and writes of
// hostile texts (device names become descriptions) that must read back.
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "TestFolder.h"
#include "annotations/Descriptions.h"

namespace {

using namespace nw::fuzz;

// What a description reads back as after WriteDescription(text).
std::wstring Stored(std::wstring text) {
    for (wchar_t& c : text)
        if (c == L'\r' || c == L'\n') c = L' ';
    if (text.size() > nw::kDescriptionMax) text.resize(nw::kDescriptionMax);
    return text;
}

std::wstring ReadBack(uint64_t address) {
    wchar_t buffer[nw::kDescriptionChars + 8];
    for (wchar_t& c : buffer) c = L'#';
    size_t n = nw::ReadDescription(address, buffer, nw::kDescriptionChars);
    if (n > nw::kDescriptionMax || buffer[n] != 0 || buffer[nw::kDescriptionChars] != L'#') return L"<overrun>";
    return buffer;
}

class DescriptionFuzz : public ::testing::Test {
protected:
    void TearDown() override { nw::SetDescriptionFileForTesting(nullptr); }
    nw::test::TempFolder folder_;
};

// Checks: no fault; a read never passes 126 characters; in a file kept in
// UTF-16, every description written this round reads back as written (line
// breaks as spaces, cut to 126), whatever the file held around it.
TEST_F(DescriptionFuzz, DamagedFilesReadWithinBoundsAndHostileTextsReadBack) {
    const uint64_t seed = Seed(0x4445534352495054ull);
    const int rounds = Rounds(200);
    Rng rng(seed);

    const uint64_t known[] = {0x608B0E4C2A91ull, 0x9003B7C1640Aull, 0x001A7DDA7113ull, 0xFFFFFFFFFFFFull, 0};
    const std::wstring text = L"[Descriptions]\r\n60:8B:0E:4C:2A:91=Anna's phone\r\n"
                              L"90:03:B7:C1:64:0A=\" Car kit \"\r\n00:1A:7D:DA:71:13=\r\nFF:FF:FF:FF:FF:FF=x=y;z\r\n";
    std::vector<std::string> seeds = {Utf16Bytes(text), Utf16Bytes(text, false), std::string()};
    for (wchar_t c : text) seeds[2] += static_cast<char>(c);   // the 8-bit form a hand-written file has
    const std::vector<std::string> words = {
        "\r\n[Descriptions]\r\n", "60:8B:0E:4C:2A:91=", "60:8b:0e:4c:2a:91=", "=", "\"", "\r\n", ";", "[",
        Utf16Bytes(L"\r\n[Descriptions]\r\n", false), Utf16Bytes(L"\r\n90:03:B7:C1:64:0A=", false),
        Utf16Bytes(L"\xD800", false), Utf16Bytes(L"\"\"", false)};

    for (int round = 0; round < rounds; ++round) {
        std::string input = seeds[rng.Below(seeds.size())];
        Mutate(rng, input, words);
        Round r("description file", seed, round, input);
        const std::wstring path = folder_.File((L"r" + std::to_wstring(round) + L"_Desc.ini").c_str());
        ASSERT_TRUE(WriteWholeFile(path, input));
        nw::SetDescriptionFileForTesting(path.c_str());

        for (uint64_t address : known) r.Check(ReadBack(address) != L"<overrun>", "a read overran its buffer");

        // Exact read-back is the promise for the program's own UTF-16 form
        // (or a file it starts); an 8-bit file keeps the code page's letters only.
        const bool unicode = input.empty() || (input.size() >= 2 && input[0] == '\xFF' && input[1] == '\xFE');
        std::map<uint64_t, std::wstring> written;
        for (int k = 0; k < 6; ++k) {
            const uint64_t address = rng.OneIn(2) ? known[rng.Below(5)] : (rng.Next() & 0xFFFFFFFFFFFFull);
            const std::wstring description = RandomText(rng, rng.OneIn(5) ? 400 : 40);
            if (!r.Check(nw::WriteDescription(address, description.c_str()), "a description was not written")) break;
            written[address] = Stored(description);
        }
        for (const auto& [address, expected] : written) {
            const std::wstring got = ReadBack(address);
            if (!r.Check(got != L"<overrun>", "a read overran its buffer")) break;
            if (unicode && !r.Check(got == expected, "a written description read back differently")) break;
        }
        nw::SetDescriptionFileForTesting(nullptr);
        DeleteFileW(path.c_str());
        if (r.Failed()) break;
    }
}

}  // namespace
