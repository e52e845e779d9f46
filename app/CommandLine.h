// The program's command line as a list of words, and the option test.
#pragma once
#include <string>
#include <vector>

namespace nw {

// Splits the text after the program path: blanks separate words unless they
// stand inside double quotes; a double quote toggles quoting and is not part
// of the word; leading blanks of a word are skipped.
std::vector<std::wstring> SplitCommandLine(const wchar_t* text);

// True when word equals option, ignoring case.
bool IsOptionWord(const std::wstring& word, const wchar_t* option);

// True when some word equals option, ignoring case. Unknown words are ignored.
bool HasOption(const std::vector<std::wstring>& words, const wchar_t* option);

}  // namespace nw
