// Fuzzing the company list: whatever oui.txt the user downloaded.
#include <windows.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "annotations/CompanyIndex.h"

namespace {

using namespace nw::fuzz;

// A registry excerpt in the published shape, names of every length and byte.
std::string GeneratedRegistry(Rng& rng) {
    std::string text = "OUI/MA-L\t\t\tOrganization\r\ncompany_id\t\t\tOrganization\r\n\r\n";
    const int companies = 1 + static_cast<int>(rng.Below(40));
    for (int i = 0; i < companies; ++i) {
        char block[16];
        std::snprintf(block, sizeof block, "%02X-%02X-%02X", static_cast<unsigned>(rng.Below(256)),
                      static_cast<unsigned>(rng.Below(4)), static_cast<unsigned>(rng.Below(256)));
        std::string name;
        const size_t length = rng.OneIn(6) ? 250 + rng.Below(20) : rng.Below(60);
        for (size_t k = 0; k < length; ++k)
            name += rng.OneIn(8) ? static_cast<char>(0x80 + rng.Below(128)) : static_cast<char>('A' + rng.Below(26));
        text += std::string(block) + "   (hex)\t\t" + name + "\r\n";
        text += std::string(block, 2) + std::string(block + 3, 2) + std::string(block + 6, 2) + "     (base 16)\t\t" +
                name + "\r\n\t\t\t\tStreet 1\r\n\t\t\t\tTown\r\n\t\t\t\tXX\r\n\r\n";
    }
    return text;
}

// Checks: no fault; the lines never pass 1,022 characters and the walk
// ends; every company lookup, of a block from the text or any other, stays
// within the caller's buffer and 255 characters.
TEST(CompanyListFuzz, DamagedRegistriesIndexAndLookUpWithinBounds) {
    const uint64_t seed = Seed(0x4F55495458540000ull);
    const int rounds = Rounds(5000);
    Rng rng(seed);
    const std::vector<std::string> words = {"00-1A-7D   (hex)\t\t", "(hex)", "-", "\r", "\n", "\r\n",
                                            std::string(1, '\0'), "\t\t", "\xEF\xBB\xBF", "\xC3\xA9", "\xFF"};

    for (int round = 0; round < rounds; ++round) {
        std::string input = GeneratedRegistry(rng);
        Mutate(rng, input, words);
        Round r("oui.txt", seed, round, input);

        std::vector<char> text(input.begin(), input.end());
        text.push_back(0);
        size_t position = 0, lines = 0;
        char line[nw::kCompanyLineChars + 8];
        line[nw::kCompanyLineChars] = '#';
        while (nw::NextLine(text.data(), &position, line, nw::kCompanyLineChars)) {
            if (!r.Check(std::strlen(line) < nw::kCompanyLineChars && line[nw::kCompanyLineChars] == '#' &&
                             position <= input.size() && ++lines <= input.size() + 1,
                         "the line walk overran or did not end"))
                break;
        }

        nw::CompanyIndex index;
        if (input.empty()) continue;
        r.Check(index.Load(input.data(), input.size()), "a non-empty text did not load");
        // Blocks named in the text, then some no text names.
        std::vector<std::array<uint8_t, 3>> blocks;
        for (size_t at = 0; at + 8 <= input.size() && blocks.size() < 64; ++at) {
            if (input[at + 2] != '-' || input[at + 5] != '-') continue;
            auto hex = [&](size_t p) { return static_cast<uint8_t>(std::strtoul(input.substr(p, 2).c_str(), nullptr, 16)); };
            blocks.push_back({hex(at), hex(at + 3), hex(at + 6)});
        }
        for (int k = 0; k < 8; ++k)
            blocks.push_back({static_cast<uint8_t>(rng.Below(256)), static_cast<uint8_t>(rng.Below(256)),
                              static_cast<uint8_t>(rng.Below(256))});
        for (const auto& block : blocks) {
            const size_t sizes[] = {255, 1, 2, 17};
            for (size_t size : sizes) {
                wchar_t name[nw::kCompanyNameChars + 8];
                for (wchar_t& c : name) c = L'#';
                if (index.FindCompanyName(block.data(), name, size))
                    r.Check(BoundedLength(name, size) < size && name[size] == L'#' && BoundedLength(name, size) <= 255,
                            "a company name overran the caller's buffer");
                else
                    r.Check(name[size] == L'#', "a failed lookup wrote past the buffer");
            }
            char narrow[nw::kCompanyNameChars + 1];
            narrow[nw::kCompanyNameChars] = '#';
            if (index.FindCompany(block.data(), narrow, nw::kCompanyNameChars))
                r.Check(std::strlen(narrow) < nw::kCompanyNameChars && narrow[nw::kCompanyNameChars] == '#',
                        "an 8-bit company name overran its buffer");
        }
        if (r.Failed()) break;
    }
}

}  // namespace
