// Scaling to the screen's pixels per inch. The program declares itself aware
// per monitor (res/nearwatch.manifest), so it sizes what it draws itself:
// column widths, toolbar images, status bar parts, fonts it makes.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "base/Handles.h"

namespace nw {

constexpr UINT kBaseDpi = 96;   // 100 %: the sizes written in the code

// Pure: value (pixels at `from` DPI) in pixels at `to` DPI, rounded.
constexpr int RescaleForDpi(int value, UINT to, UINT from) {
    if (from == 0 || to == from) return value;
    const long long scaled = static_cast<long long>(value) * to;
    const long long half = static_cast<long long>(from) / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / from : -((-scaled + half) / from));
}
constexpr int ScaleForDpi(int value, UINT dpi) { return RescaleForDpi(value, dpi, kBaseDpi); }

// The DPI of the monitor the window is on (Windows 10 1607 and later), or
// the system's DPI where the system cannot tell per window.
UINT WindowDpi(HWND window);
// The DPI the system's fonts and metrics are made for.
UINT SystemDpi();

struct ImageListTraits {
    static HIMAGELIST Empty() { return nullptr; }
    static bool Valid(HIMAGELIST h) { return h != nullptr; }
    static void Close(HIMAGELIST h) { ImageList_Destroy(h); }
};
using ImageList = UniqueHandle<HIMAGELIST, ImageListTraits>;

// An image list of `count` square images of `size` pixels made from a strip
// of 16-pixel images, the colour of its top-left pixel masked out. A whole
// factor repeats pixels (sharp); others are smoothed. Null on failure.
HIMAGELIST ScaledImageStrip(HBITMAP strip, int count, int size);

}  // namespace nw
