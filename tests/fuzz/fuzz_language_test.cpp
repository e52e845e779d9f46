// Fuzzing the language file: string lookup, the number formats it feeds,
// menu and dialog translation, and /savelangfile over a damaged file.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "alerts/TrayIconControl.h"
#include "TestFolder.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "listview/ReportListView.h"
#include "settings/Settings.h"

namespace {

using namespace nw::fuzz;

constexpr size_t kLanguageValueUnits = 4096;   // the reader's longest text, terminator included
constexpr WORD kCrashDialog = 107;             // keeps its own texts

BOOL CALLBACK CollectId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<WORD>*>(list)->push_back(static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

std::vector<WORD> ResourceIds(LPCWSTR type) {
    std::vector<WORD> ids;
    EnumResourceNamesW(GetModuleHandleW(nullptr), type, CollectId, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

std::vector<unsigned> StringIds() {
    std::vector<unsigned> ids;
    wchar_t text[8];
    for (unsigned id = 1; id <= 0xFFFF; ++id)
        if (LoadStringW(GetModuleHandleW(nullptr), id, text, 8) > 0) ids.push_back(id);
    return ids;
}

INT_PTR CALLBACK InertDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK CheckChildText(HWND child, LPARAM longest) {
    int length = GetWindowTextLengthW(child);
    int& most = *reinterpret_cast<int*>(longest);
    if (length > most) most = length;
    return TRUE;
}

// The longest item text of a menu and its pop-ups.
int LongestMenuText(HMENU menu) {
    int most = 0;
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        int length = GetMenuStringW(menu, static_cast<UINT>(i), nullptr, 0, MF_BYPOSITION);
        if (length > most) most = length;
        if (HMENU sub = GetSubMenu(menu, i)) most = std::max(most, LongestMenuText(sub));
    }
    return most;
}

std::string FileBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes = nw::test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> LanguageWords() {
    std::vector<std::string> words = {
        "%s", "%n", "%d %d", "%ls", "%99999d", "%-*d", "%%", "%", "%1$s", "%I64d",
        "\r\n[strings]\r\n", "\r\n[general]\r\n", "rtl=1\r\n", "charset=\"><script>\r\n", "12=%s devices\r\n",
        "\r\n", "=", "[menu_102]\r\n", "[dialog_111]\r\n", "caption=", "70001=", "71001=", "40050=",
        "TranslatorName=", "\xEF\xBB\xBF", "\xE2\x80\xAE", "\xF0\x9F\x98\x80", "\"", "  ", ";", "\x1A",
    };
    // The same in UTF-16, which most of the seeds are.
    const wchar_t* wide[] = {L"%s", L"%n", L"\r\n[strings]\r\n", L"12=%s %n %d\r\n", L"\r\n[menu_102]\r\n70001=",
                             L"\r\n[dialog_1096]\r\ncaption=", L"=\"", L"\xD800", L"\xFFFF", L"\x202E"};
    for (const wchar_t* w : wide) words.push_back(Utf16Bytes(w, false));
    return words;
}

// Puts a hostile format in place of one string's text: a line right after
// the "strings" section's head, in the file's own encoding.
void PlantFormat(Rng& rng, std::string& file, const std::vector<unsigned>& strings) {
    static const char* const kFormats[] = {"%s", "%n", "%d %d", "%ls %s %n", "%99999d", "%.9999f", "%c%c%c",
                                           "%x%x%x%x%x%x%s", "%*d", "%1$s"};
    const std::string line = std::to_string(strings[rng.Below(strings.size())]) + "=" + rng.Pick(kFormats) + "\r\n";
    const std::string head = "[strings]\r\n";
    size_t at = file.find(head);
    if (at != std::string::npos) {
        file.insert(at + head.size(), line);
        return;
    }
    const std::string wideHead = Utf16Bytes(L"[strings]\r\n", false);
    at = file.find(wideHead);
    if (at == std::string::npos) return;
    file.insert(at + wideHead.size(), Utf16Bytes(std::wstring(line.begin(), line.end()), false));
}

class LanguageFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
        InitCommonControlsEx(&icc);
    }
    void TearDown() override {
        nw::CloseLanguageFile();
        nw::ResetStringCacheForTests();
    }
    nw::test::TempFolder folder_;
};

// Feeds mutated translations to every reader of the language file. Checks:
// no fault; every text stays within the reader's buffer; a number format
// from the file fills within its buffer; /savelangfile over the damaged
// file gives a file that loads and holds a text for every string.
TEST_F(LanguageFuzz, DamagedFilesNeverFaultAndSaveGivesAReadableFile) {
    const uint64_t seed = Seed(0x4C414E4755414745ull);
    const int rounds = Rounds(60);
    Rng rng(seed);
    const std::vector<unsigned> strings = StringIds();
    const std::vector<WORD> menus = ResourceIds(RT_MENU);
    const std::vector<WORD> dialogs = ResourceIds(RT_DIALOG);
    ASSERT_FALSE(strings.empty());

    // Seeds: the program's own full file, the shipped translation, the
    // right-to-left sample, and a small hand-written 8-bit file.
    std::vector<std::string> seeds;
    const std::wstring full = folder_.File(L"full_lng.ini");
    nw::SaveLanguageFile(full.c_str());
    seeds.push_back(FileBytes(full));
    seeds.push_back(FileBytes(nw::test::SourceFile(L"lang/translations/german/nearwatch_lng.ini")));
    seeds.push_back(FileBytes(nw::test::SourceFile(L"tests/data/rtl_lng.ini")));
    seeds.push_back("[general]\r\nrtl=1\r\ncharset=utf-8\r\n[strings]\r\n12=%d Geraete\r\n[menu_102]\r\n70001=&Datei\r\n");
    // A translation of texts as long as the reader takes.
    std::wstring longTexts = L"[strings]\r\n";
    for (size_t i = 0; i < 12 && i < strings.size(); ++i)
        longTexts += std::to_wstring(strings[i]) + L"=" + std::wstring(kLanguageValueUnits - 1, L'x') + L"\r\n";
    seeds.push_back(Utf16Bytes(longTexts));
    for (const std::string& s : seeds) ASSERT_FALSE(s.empty());
    const std::vector<std::string> words = LanguageWords();

    for (int round = 0; round < rounds; ++round) {
        std::string input = seeds[rng.Below(seeds.size())];
        if (rng.OneIn(2)) PlantFormat(rng, input, strings);
        Mutate(rng, input, words);
        Round r("language file", seed, round, input);
        // A new name each round: the profile reader caches files by name.
        const std::wstring path = folder_.File((L"r" + std::to_wstring(round) + L"_lng.ini").c_str());
        ASSERT_TRUE(WriteWholeFile(path, input));
        nw::ResetStringCacheForTests();
        if (!r.Check(nw::LoadLanguageFile(path.c_str()), "the file did not load")) break;
        r.Check(BoundedLength(nw::LanguageCharset(), 63) < 63 && BoundedLength(nw::TranslatorName(), 63) < 63 &&
                    BoundedLength(nw::TranslatorUrl(), 255) < 255,
                "a general value overran its buffer");

        for (unsigned id : strings) {
            const wchar_t* text = nw::GetString(id);
            if (!r.Check(text && wcslen(text) < kLanguageValueUnits, "string " + std::to_string(id) + " too long"))
                break;
            // Every string has a built-in text to fall back on.
            if (!r.Check(text[0] != 0, "string " + std::to_string(id) + " came back empty")) break;
            // Translated formats are filled only through the number formatter.
            wchar_t out[64];
            out[63] = L'#';
            size_t length = nw::FormatNumberText(out, 63, text, static_cast<long long>(rng.Next()));
            r.Check(length < 63 && out[length] == 0 && out[63] == L'#',
                    "the number format of string " + std::to_string(id) + " overran its buffer");
        }
        {
            // The notification-area tip fills string 12 with the device
            // count (a "%s" there faulted before it took the number-only
            // formatter: this test's own seed, round 25).
            nw::Settings settings = {};
            settings.TrayIcon = 1;
            nw::TrayIconControl tray;   // never added: the tip is only formatted
            nw::UpdateTrayTip(tray, settings, static_cast<int>(rng.Below(100000)));
        }
        for (WORD id : menus) {
            HMENU menu = nw::LoadTranslatedMenu(id);
            if (!r.Check(menu != nullptr, "menu " + std::to_string(id) + " did not load")) continue;
            // A translated item holds the text and the program's accelerator part.
            r.Check(LongestMenuText(menu) < static_cast<int>(2 * kLanguageValueUnits),
                    "menu " + std::to_string(id) + " got an overlong item");
            DestroyMenu(menu);
        }
        // Dialogs cost the most: a few each round.
        for (int k = 0; k < 2 && !dialogs.empty(); ++k) {
            WORD id = dialogs[rng.Below(dialogs.size())];
            if (id == kCrashDialog) continue;
            HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, InertDialog, 0);
            if (!r.Check(dialog != nullptr, "dialog " + std::to_string(id) + " was not created")) continue;
            nw::TranslateDialog(dialog, id);
            nw::ApplyRightToLeft(dialog, 3);
            int longest = GetWindowTextLengthW(dialog);
            EnumChildWindows(dialog, CheckChildText, reinterpret_cast<LPARAM>(&longest));
            r.Check(longest < static_cast<int>(kLanguageValueUnits), "dialog " + std::to_string(id) + " got an overlong text");
            DestroyWindow(dialog);
        }

        // /savelangfile keeps what the damaged file holds and adds the rest.
        if (round % 6 == 0) {
            nw::SaveLanguageFile(path.c_str());
            nw::ResetStringCacheForTests();
            if (!r.Check(nw::LoadLanguageFile(path.c_str()), "the saved file did not load")) break;
            wchar_t text[kLanguageValueUnits];
            for (unsigned id : strings) {
                if (!r.Check(nw::ReadLanguageString(id, text, static_cast<int>(kLanguageValueUnits)),
                             "the saved file has no text for string " + std::to_string(id)))
                    break;
            }
        }
        nw::CloseLanguageFile();
        DeleteFileW(path.c_str());
        if (r.Failed()) break;
    }
}

}  // namespace

