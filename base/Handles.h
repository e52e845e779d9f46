// Small move-only owners for Win32 handles. Owned handles live in these;
// a raw HANDLE/HWND/HFONT in a struct is borrowed.
#pragma once
#include <windows.h>
#include <utility>

namespace nw {

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    T get() const { return h_; }
    explicit operator bool() const { return Traits::Valid(h_); }
    T release() { T h = h_; h_ = Traits::Empty(); return h; }
    void reset(T h = Traits::Empty()) {
        if (Traits::Valid(h_)) Traits::Close(h_);
        h_ = h;
    }
    T* put() { reset(); return &h_; }

private:
    T h_ = Traits::Empty();
};

// Kernel handles: both null and INVALID_HANDLE_VALUE count as empty.
struct KernelHandleTraits {
    static HANDLE Empty() { return nullptr; }
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
using Handle = UniqueHandle<HANDLE, KernelHandleTraits>;

struct GdiTraits {
    static HGDIOBJ Empty() { return nullptr; }
    static bool Valid(HGDIOBJ h) { return h != nullptr; }
    static void Close(HGDIOBJ h) { ::DeleteObject(h); }
};
template <typename T>
struct GdiObjectTraits {
    static T Empty() { return nullptr; }
    static bool Valid(T h) { return h != nullptr; }
    static void Close(T h) { ::DeleteObject(h); }
};
using Font = UniqueHandle<HFONT, GdiObjectTraits<HFONT>>;
using Brush = UniqueHandle<HBRUSH, GdiObjectTraits<HBRUSH>>;
using Bitmap = UniqueHandle<HBITMAP, GdiObjectTraits<HBITMAP>>;

struct MenuTraits {
    static HMENU Empty() { return nullptr; }
    static bool Valid(HMENU h) { return h != nullptr; }
    static void Close(HMENU h) { ::DestroyMenu(h); }
};
using Menu = UniqueHandle<HMENU, MenuTraits>;

struct IconTraits {
    static HICON Empty() { return nullptr; }
    static bool Valid(HICON h) { return h != nullptr; }
    static void Close(HICON h) { ::DestroyIcon(h); }
};
using Icon = UniqueHandle<HICON, IconTraits>;

struct LibraryTraits {
    static HMODULE Empty() { return nullptr; }
    static bool Valid(HMODULE h) { return h != nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
using Library = UniqueHandle<HMODULE, LibraryTraits>;

struct FindTraits {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
using FindHandle = UniqueHandle<HANDLE, FindTraits>;

// A window DC released with the window it came from.
class WindowDC {
public:
    explicit WindowDC(HWND wnd) : wnd_(wnd), dc_(::GetDC(wnd)) {}
    ~WindowDC() { if (dc_) ::ReleaseDC(wnd_, dc_); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }
private:
    HWND wnd_;
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~SelectGuard() { if (old_) ::SelectObject(dc_, old_); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
private:
    HDC dc_;
    HGDIOBJ old_;
};

// COM for this thread; uninitialises only when init succeeded.
class ComInit {
public:
    ComInit() : hr_(::CoInitialize(nullptr)) {}
    ~ComInit() { if (SUCCEEDED(hr_)) ::CoUninitialize(); }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    bool ok() const { return SUCCEEDED(hr_); }
private:
    HRESULT hr_;
};

}  // namespace nw
