#include "app/CommandLine.h"
#include <cwctype>

namespace nw {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(const wchar_t* text) {
    std::vector<std::wstring> words;
    if (!text) return words;
    const wchar_t* p = text;
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (!*p) break;
        std::wstring word;
        bool quoted = false;
        // A word that consists only of a pair of quotes still counts as a
        // word (an empty one); it can never match an option.
        for (; *p; ++p) {
            if (*p == L'"') {
                quoted = !quoted;
            } else if (IsBlank(*p) && !quoted) {
                break;
            } else {
                word.push_back(*p);
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool IsOptionWord(const std::wstring& word, const wchar_t* option) {
    const wchar_t* a = word.c_str();
    const wchar_t* b = option;
    while (*a && *b && std::towlower(*a) == std::towlower(*b)) {
        ++a;
        ++b;
    }
    return !*a && !*b;
}

bool HasOption(const std::vector<std::wstring>& words, const wchar_t* option) {
    for (const std::wstring& word : words) {
        if (IsOptionWord(word, option)) return true;
    }
    return false;
}

}  // namespace nw
