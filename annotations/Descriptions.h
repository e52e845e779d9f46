// Device descriptions, kept per address in <exe>_Desc.ini beside the program
// (section "Descriptions", key = address text). Nothing is cached: each call
// opens the file by name.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nw {

constexpr size_t kDescriptionChars = 128;   // DeviceRecord::description, 126 + terminator
constexpr size_t kDescriptionMax = 126;

// Reads the description of address into buffer, cut to 126 characters (and
// to size - 1). An absent file or key gives the empty text. Returns the
// number of characters read.
size_t ReadDescription(uint64_t address, wchar_t* buffer, size_t size);

// Stores text as the description of address (an empty text stays as an empty
// value). Line breaks become spaces; outer blanks and quotes survive the
// file. Returns the platform's write result.
bool WriteDescription(uint64_t address, const wchar_t* text);

// Turns the line breaks of text into spaces, in place: what WriteDescription
// stores, so a record can hold the same text as its file.
void FlattenDescription(wchar_t* text);

// <exe cut at its last ".">_Desc.ini; false when it does not fit.
bool DescriptionFilePath(wchar_t* buffer, size_t size);

// Test hook: use path instead of the file beside the executable; null
// restores the normal file.
void SetDescriptionFileForTesting(const wchar_t* path);

}  // namespace nw
