#include "listview/ListFont.h"

#include <commctrl.h>
#include <commdlg.h>
#include <cstring>
#include "base/Text.h"
#include "listview/ReportListView.h"
#include "settings/Settings.h"

namespace nw {

void ApplyListStyles(ReportListView& list, const Settings& settings) {
    list.SetExtendedStyle(LVS_EX_GRIDLINES, settings.ShowGridLines != 0);
    list.SetExtendedStyle(LVS_EX_INFOTIP, settings.ShowInfoTip != 0);
}

DWORD ListFontDialogFlags(const LOGFONTW& current) {
    return kListFontDialogFlags | (current.lfFaceName[0] ? CF_INITTOLOGFONTSTRUCT : 0);
}

// Italic, underline, width and the rest of the chosen font are dropped on
// purpose: the list always shows upright text at the chosen face, height and
// weight.
LOGFONTW ListFontDescription(const LOGFONTW& chosen) {
    LOGFONTW font;
    std::memset(&font, 0, sizeof font);
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfHeight = chosen.lfHeight;
    font.lfWeight = chosen.lfWeight;
    wchar_t face[LF_FACESIZE];
    std::memcpy(face, chosen.lfFaceName, sizeof face);
    face[LF_FACESIZE - 1] = 0;
    CopyText(font.lfFaceName, face);
    return font;
}

bool ChooseListFont(HWND owner, LOGFONTW& font) {
    // The dialog writes into a copy, so a cancelled dialog leaves the font
    // exactly as it was.
    LOGFONTW chosen = font;
    CHOOSEFONTW choose = {};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = owner;
    choose.lpLogFont = &chosen;
    choose.Flags = ListFontDialogFlags(font);
    if (!::ChooseFontW(&choose)) return false;
    font = chosen;
    return true;
}

bool ApplyListFont(HWND list, const LOGFONTW& font, Font& owned) {
    if (!font.lfFaceName[0]) {
        // The font made earlier stays with its owner until the next one is
        // made: nothing uses it once the list has its default font back.
        ::SendMessageW(list, WM_SETFONT, 0, TRUE);
        return true;
    }
    const LOGFONTW description = ListFontDescription(font);
    HFONT made = ::CreateFontIndirectW(&description);
    if (!made) return false;
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
    // Released only after the list has stopped using it.
    owned.reset(made);
    return true;
}

}  // namespace nw
