// The optional language file <exe>_lng.ini: translated strings, menus and
// dialogs, right-to-left layout, HTML character set and translator.
#pragma once
#include <windows.h>

namespace nw {

void LoadLanguageFile();                 // once at start-up; off when no file
bool LanguageFileInUse();
// Writes a complete file from the program's own resources (/savelangfile).
void SaveLanguageFile();

// Text of a string ID from section "strings"; false when absent or empty.
bool ReadLanguageString(unsigned id, wchar_t* buffer, int size);

HMENU LoadTranslatedMenu(int menuId);
void TranslateDialog(HWND dialog);       // uses CurrentTemplateId()
// flags: 1 = mirror child positions, 2 = right-to-left layout for children;
// the window itself always gets the layout when the file asks for it.
void ApplyRightToLeft(HWND window, int flags);

bool RightToLeft();
const wchar_t* LanguageCharset();        // empty when none
const wchar_t* TranslatorName();
const wchar_t* TranslatorUrl();

}  // namespace nw
