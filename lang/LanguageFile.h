// The optional language file <exe>_lng.ini: translated strings, menus and
// dialogs, right-to-left layout, HTML character set and translator.
#pragma once
#include <windows.h>

namespace nw {

void LoadLanguageFile();                 // once at start-up; off when no file
// The same for a given file (tests). False, and off, when it does not exist.
bool LoadLanguageFile(const wchar_t* path);
bool LanguageFileInUse();
// Turns the language file off again (tests).
void CloseLanguageFile();

// Writes a complete file from the program's own resources (/savelangfile),
// keeping every non-empty value already there; the language file is off
// afterwards. A new file is UTF-16 with a byte-order mark.
void SaveLanguageFile();
void SaveLanguageFile(const wchar_t* path);

// Text of a string ID from section "strings"; false when absent or empty.
bool ReadLanguageString(unsigned id, wchar_t* buffer, int size);

HMENU LoadTranslatedMenu(int menuId);
void TranslateDialog(HWND dialog, int templateId);
// flags: 1 = mirror child positions, 2 = right-to-left layout for children;
// the window itself always gets the layout when the file asks for it.
void ApplyRightToLeft(HWND window, int flags);

bool RightToLeft();
const wchar_t* LanguageCharset();        // empty when none
const wchar_t* TranslatorName();
const wchar_t* TranslatorUrl();

// x of a child mirrored within its parent's client rectangle.
inline int MirroredChildX(const RECT& parentClient, const RECT& child) {
    return parentClient.right - child.right - parentClient.left;
}

}  // namespace nw
