// Reading one value of an INI-style file (settings, language file).
#pragma once
#include <cstddef>

namespace nw {

// Reads [section] key of the file at path into buffer, cut to size - 1 and
// always terminated; defaultText (may be null) when the key is absent.
// Returns the number of units in buffer.
size_t ReadProfileText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                       wchar_t* buffer, size_t size, const wchar_t* path);

// The same from a whole file's text in memory (UTF-16 without the byte-order
// mark, units long), by the system reader's rules: blanks around names and
// values dropped, names compared without case, the first section and key of
// a name found, one pair of matching outer quotes taken off the value.
size_t ReadProfileTextFrom(const wchar_t* text, size_t units, const wchar_t* section, const wchar_t* key,
                           const wchar_t* defaultText, wchar_t* buffer, size_t size);

}  // namespace nw
