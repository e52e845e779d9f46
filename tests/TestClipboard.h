// The clipboard's text as a test sees it.
#pragma once
#include <windows.h>
#include <string>

namespace nw::test {

// The Unicode text on the clipboard; empty when there is none or when the
// clipboard stays busy (another process may hold it for a moment).
inline std::wstring ClipboardText() {
    std::wstring text;
    bool open = false;
    for (int attempt = 0; attempt < 20 && !(open = ::OpenClipboard(nullptr) != FALSE); ++attempt) ::Sleep(25);
    if (!open) return text;
    if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(::GlobalLock(data))) {
            text = p;
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

}  // namespace nw::test
