// Reading one value of an INI-style file (settings, language file).
#pragma once
#include <cstddef>

namespace nw {

// Reads [section] key of the file at path into buffer, cut to size - 1 and
// always terminated; defaultText (may be null) when the key is absent.
// Returns the number of units in buffer.
size_t ReadProfileText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                       wchar_t* buffer, size_t size, const wchar_t* path);

}  // namespace nw
