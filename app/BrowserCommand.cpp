#include "app/BrowserCommand.h"
#include <cwchar>

namespace nw {

bool BrowserPathFromCommand(const wchar_t* command, wchar_t* out, size_t size) {
    if (size == 0) return false;
    out[0] = 0;
    if (!command) return false;
    const wchar_t* begin = command;
    const wchar_t* end;
    if (*begin == L'"') {
        ++begin;
        end = wcschr(begin, L'"');
        if (!end) end = begin + wcslen(begin);
    } else {
        // "C:\Program Files\Browser\b.exe -flag": blanks may stand in the
        // folders, the program name itself has none.
        const wchar_t* slash = wcsrchr(begin, L'\\');
        end = wcschr(slash ? slash : begin, L' ');
        if (!end) end = begin + wcslen(begin);
    }
    size_t length = static_cast<size_t>(end - begin);
    if (length == 0 || length + 1 > size) return false;
    wmemcpy(out, begin, length);
    out[length] = 0;
    return true;
}

}  // namespace nw
