#include "base/ProfileText.h"
#include "base/Text.h"
#include <windows.h>
#include <memory>
#include <new>

namespace nw {

// The system's reader takes a value's pair of outer quotes off only when both
// fit in the buffer it is given, and otherwise drops the value's last
// character; so a quoted text of the longest length lost one character at
// every read. Reading with room for the pair and cutting afterwards keeps it.
size_t ReadProfileText(const wchar_t* section, const wchar_t* key, const wchar_t* defaultText,
                       wchar_t* buffer, size_t size, const wchar_t* path) {
    if (size == 0) return 0;
    buffer[0] = 0;
    if (!path || !path[0]) return CopyText(buffer, size, defaultText);
    const wchar_t* fallback = defaultText ? defaultText : L"";
    std::unique_ptr<wchar_t[]> whole(new (std::nothrow) wchar_t[size + 2]);
    if (!whole) {
        ::GetPrivateProfileStringW(section, key, fallback, buffer, static_cast<DWORD>(size), path);
        buffer[size - 1] = 0;
        return wcslen(buffer);
    }
    ::GetPrivateProfileStringW(section, key, fallback, whole.get(), static_cast<DWORD>(size + 2), path);
    return CopyText(buffer, size, whole.get());
}

}  // namespace nw
