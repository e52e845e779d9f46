// In-memory dialog templates and small window helpers for the frame tests.
#pragma once
#include <windows.h>
#include <vector>

namespace frametest {

// Builds a DLGTEMPLATE with its items in a WORD buffer (DWORD-aligned start).
class DialogTemplate {
public:
    DialogTemplate(DWORD style, short cx, short cy) {
        Dword(style | DS_SETFONT);
        Dword(0);       // extended style
        countAt_ = words_.size();
        words_.push_back(0);
        words_.push_back(0);
        words_.push_back(0);
        words_.push_back(static_cast<WORD>(cx));
        words_.push_back(static_cast<WORD>(cy));
        words_.push_back(0);   // no menu
        words_.push_back(0);   // default class
        Text(L"Frame test");
        words_.push_back(8);
        Text(L"MS Shell Dlg");
    }

    // classAtom: 0x80 button, 0x81 edit, 0x82 static.
    DialogTemplate& Item(WORD classAtom, WORD id, DWORD style, short x, short y, short cx, short cy,
                         const wchar_t* text = L"") {
        if (words_.size() % 2) words_.push_back(0);
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        words_.push_back(static_cast<WORD>(x));
        words_.push_back(static_cast<WORD>(y));
        words_.push_back(static_cast<WORD>(cx));
        words_.push_back(static_cast<WORD>(cy));
        words_.push_back(id);
        words_.push_back(0xFFFF);
        words_.push_back(classAtom);
        Text(text);
        words_.push_back(0);   // no creation data
        ++words_[countAt_];
        return *this;
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Dword(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void Text(const wchar_t* text) {
        while (*text) words_.push_back(static_cast<WORD>(*text++));
        words_.push_back(0);
    }

    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

// A plain top-level window class for hosting test children.
inline HWND CreateHostWindow(int width, int height) {
    static const wchar_t* kClass = L"nw_frame_test_host";
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        registered = ::RegisterClassW(&wc) != 0;
    }
    return ::CreateWindowExW(0, kClass, L"host", WS_OVERLAPPEDWINDOW, 20, 20, width, height,
                             nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

}  // namespace frametest
