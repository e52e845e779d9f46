// The device list's display options: grid lines and info tips from the
// settings, and the user-chosen list font (kept for the run only).
#pragma once
#include <windows.h>
#include "base/Handles.h"

namespace nw {

class ReportListView;
struct Settings;

constexpr DWORD kListFontDialogFlags = CF_SCREENFONTS | CF_FORCEFONTEXIST;   // 0x10001

// Grid lines from ShowGridLines and info tips from ShowInfoTip; the list's
// other extended styles stay as they are.
void ApplyListStyles(ReportListView& list, const Settings& settings);

// Pure: the font dialog's flags for the current choice (starting on it when
// it has a face name).
DWORD ListFontDialogFlags(const LOGFONTW& current);
// Pure: what the list is given of a chosen font: face, height and weight,
// with the default character set; every other field zero.
LOGFONTW ListFontDescription(const LOGFONTW& chosen);

// The platform font dialog over owner, filling font; true when confirmed
// (font then holds the choice), false with font unchanged otherwise.
bool ChooseListFont(HWND owner, LOGFONTW& font);

// Sets font on the list control: an empty face name gives the list its
// default font; otherwise a font made from ListFontDescription replaces the
// one in owned (the caller's, released at the next creation or with the
// caller). False when the font could not be created: the list keeps its font.
bool ApplyListFont(HWND list, const LOGFONTW& font, Font& owned);

}  // namespace nw
