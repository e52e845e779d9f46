#include "frame/Dpi.h"

#include "base/Paths.h"

namespace nw {

UINT SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT WindowDpi(HWND window) {
    // Bound at run time: Windows 7 has no GetDpiForWindow, and an import of
    // it would keep the program from starting there.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        LibraryEntry<GetDpiForWindowFn>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    const UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi ? dpi : SystemDpi();
}

HIMAGELIST ScaledImageStrip(HBITMAP strip, int count, int size) {
    constexpr int kSourceSize = 16;
    if (!strip || count <= 0 || size <= 0) return nullptr;
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, count, 0);
    if (!images) return nullptr;
    HDC screen = ::GetDC(nullptr);
    HDC from = ::CreateCompatibleDC(screen);
    HDC to = ::CreateCompatibleDC(screen);
    HBITMAP scaled = ::CreateCompatibleBitmap(screen, size * count, size);
    bool ok = from && to && scaled;
    COLORREF transparent = 0;
    if (ok) {
        HGDIOBJ oldFrom = ::SelectObject(from, strip);
        transparent = ::GetPixel(from, 0, 0);
        HGDIOBJ oldTo = ::SelectObject(to, scaled);
        ::SetStretchBltMode(to, size % kSourceSize == 0 ? COLORONCOLOR : HALFTONE);
        ::SetBrushOrgEx(to, 0, 0, nullptr);
        ok = ::StretchBlt(to, 0, 0, size * count, size, from, 0, 0, kSourceSize * count, kSourceSize, SRCCOPY) !=
             FALSE;
        ::SelectObject(to, oldTo);
        ::SelectObject(from, oldFrom);
    }
    if (ok) ok = ImageList_AddMasked(images, scaled, transparent) >= 0;
    if (scaled) ::DeleteObject(scaled);
    if (to) ::DeleteDC(to);
    if (from) ::DeleteDC(from);
    if (screen) ::ReleaseDC(nullptr, screen);
    if (!ok) {
        ImageList_Destroy(images);
        return nullptr;
    }
    return images;
}

}  // namespace nw
