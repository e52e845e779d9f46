#include "lang/LanguageFile.h"
#include "frame/Frame.h"
#include "base/Handles.h"
#include "base/Paths.h"
#include "base/ProfileText.h"
#include "base/Text.h"
#include "base/UnitBuffer.h"
#include <cwchar>
#include <memory>
#include <new>

namespace nw {

namespace {

constexpr int kValueUnits = 4096;        // any one text read or written
constexpr int kMenuKeyTopLevel = 70001;  // + position in the menu bar
constexpr int kMenuKeyNested = 71000;    // + running count of nested pop-ups
constexpr int kMaxResources = 256;

// One instance for the run; window thread only.
struct LanguageState {
    wchar_t path[MAX_PATH];              // empty: no language file in use
    int rtl;
    wchar_t charset[63];
    wchar_t translatorName[63];
    wchar_t translatorUrl[255];
};
LanguageState g_language = {};

// The text of a UTF-8 language file, turned into UTF-16 once (see
// LoadUtf8Text); empty when the file is read through the system's reader.
struct Utf8Text {
    UnitArray units;
    size_t count = 0;
};
Utf8Text g_utf8;

const WORD kSkippedDialogs[] = {107, 0};  // the crash report keeps its own texts

HMODULE ProgramModule() { return ::GetModuleHandleW(nullptr); }

bool ReadKey(const wchar_t* section, const wchar_t* key, wchar_t* buffer, size_t size) {
    if (size == 0) return false;
    buffer[0] = 0;
    if (g_utf8.units) ReadProfileTextFrom(g_utf8.units.get(), g_utf8.count, section, key, L"", buffer, size);
    else if (g_language.path[0]) ReadProfileText(section, key, L"", buffer, size, g_language.path);
    else return false;
    return buffer[0] != 0;
}

bool ReadNumberKey(const wchar_t* section, int number, wchar_t* buffer, size_t size) {
    wchar_t key[16];
    FormatText(key, 16, L"%d", number);
    return ReadKey(section, key, buffer, size);
}

// Writes only where the file holds no non-empty value yet, so a translator's
// work is never overwritten.
void WriteKeyIfMissing(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    wchar_t existing[kValueUnits];
    if (ReadKey(section, key, existing, kValueUnits)) return;
    size_t length = wcslen(value);
    if (!ProfileValueNeedsQuotes(value)) {
        ::WritePrivateProfileStringW(section, key, value, g_language.path);
        return;
    }
    std::unique_ptr<wchar_t[]> quoted(new (std::nothrow) wchar_t[length + 3]);
    if (!quoted) return;
    quoted[0] = L'"';
    wmemcpy(quoted.get() + 1, value, length);
    quoted[length + 1] = L'"';
    quoted[length + 2] = 0;
    ::WritePrivateProfileStringW(section, key, quoted.get(), g_language.path);
}

void WriteNumberKeyIfMissing(const wchar_t* section, int number, const wchar_t* value) {
    wchar_t key[16];
    FormatText(key, 16, L"%d", number);
    WriteKeyIfMissing(section, key, value);
}

// A static control's "text" of an icon or picture is a resource name, and
// -1 (0xFFFF in old templates) is the shared ID of unnamed controls: none of
// these identify a translatable text.
bool IsTranslatableControl(HWND control, int id) {
    if (id <= 0 || id == 0xFFFF) return false;
    wchar_t className[32];
    if (::GetClassNameW(control, className, 32) && lstrcmpiW(className, L"Static") == 0) {
        LONG_PTR type = ::GetWindowLongPtrW(control, GWL_STYLE) & SS_TYPEMASK;
        if (type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE) return false;
    }
    return true;
}

// ---- Menus ------------------------------------------------------------------

enum class MenuPass { Translate, Save };

struct MenuWalk {
    MenuPass pass;
    wchar_t section[24];
    int counter;   // nested pop-ups seen so far in this menu resource
};

// Pre-order walk by position: a pop-up's key is taken before its items.
void WalkMenu(HMENU menu, bool topLevel, MenuWalk& walk) {
    int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[kValueUnits];
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = kValueUnits;
        text[0] = 0;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
        if (!info.dwTypeData) text[0] = 0;
        if (text[0]) {
            int key;
            if (!info.hSubMenu) key = static_cast<int>(info.wID);
            else if (topLevel) key = kMenuKeyTopLevel + position;
            else key = kMenuKeyNested + ++walk.counter;
            wchar_t* tab = wcschr(text, L'\t');
            if (walk.pass == MenuPass::Save) {
                if (tab) *tab = 0;
                WriteNumberKeyIfMissing(walk.section, key, text);
            } else {
                wchar_t translated[kValueUnits];
                if (ReadNumberKey(walk.section, key, translated, kValueUnits)) {
                    // The accelerator part stays the program's own.
                    if (tab) AppendText(translated, kValueUnits, tab);
                    // Only the text changes: the item keeps its ID, sub-menu,
                    // state and type.
                    MENUITEMINFOW change = {};
                    change.cbSize = sizeof(change);
                    change.fMask = MIIM_STRING;
                    change.dwTypeData = translated;
                    ::SetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &change);
                }
            }
        }
        if (info.hSubMenu) WalkMenu(info.hSubMenu, false, walk);
    }
}

// ---- Resource enumeration ----------------------------------------------------

struct ResourceIds {
    WORD ids[kMaxResources];
    int count;
};

BOOL CALLBACK CollectResourceId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR context) {
    auto* list = reinterpret_cast<ResourceIds*>(context);
    if (IS_INTRESOURCE(name) && list->count < kMaxResources)
        list->ids[list->count++] = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

void EnumerateResources(LPCWSTR type, ResourceIds& list) {
    list.count = 0;
    ::EnumResourceNamesW(ProgramModule(), type, CollectResourceId, reinterpret_cast<LONG_PTR>(&list));
}

// ---- Dialogs -------------------------------------------------------------------

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Creates the dialog from a copy of its template with WS_VISIBLE taken off, so
// it never shows, whatever the template says.
HWND CreateHiddenDialog(WORD templateId) {
    HMODULE module = ProgramModule();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    if (!found) return nullptr;
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data || size < sizeof(DLGTEMPLATE)) return nullptr;
    // DWORD-aligned storage, as the template functions expect.
    std::unique_ptr<DWORD[]> copy(new (std::nothrow) DWORD[(size + 3) / 4]);
    if (!copy) return nullptr;
    memcpy(copy.get(), data, size);
    auto* words = reinterpret_cast<WORD*>(copy.get());
    bool extended = words[0] == 1 && words[1] == 0xFFFF;
    // DLGTEMPLATEEX: version, signature, help ID, extended style, style.
    DWORD* style = extended ? copy.get() + 3 : copy.get();
    if (extended && size < 16) return nullptr;
    *style &= ~static_cast<DWORD>(WS_VISIBLE);
    return ::CreateDialogIndirectParamW(module, reinterpret_cast<LPCDLGTEMPLATEW>(copy.get()), nullptr,
                                        InertDialogProc, 0);
}

struct DialogPass {
    wchar_t section[24];
};

BOOL CALLBACK SaveControlText(HWND control, LPARAM context) {
    auto* pass = reinterpret_cast<DialogPass*>(context);
    int id = ::GetDlgCtrlID(control);
    if (!IsTranslatableControl(control, id)) return TRUE;
    wchar_t className[64];
    if (::GetClassNameW(control, className, 64) && lstrcmpiW(className, L"sysdatetimepick32") == 0)
        return TRUE;
    wchar_t text[kValueUnits];
    if (::GetWindowTextW(control, text, kValueUnits) > 0)
        WriteNumberKeyIfMissing(pass->section, id, text);
    return TRUE;
}

BOOL CALLBACK TranslateControlText(HWND control, LPARAM context) {
    auto* pass = reinterpret_cast<DialogPass*>(context);
    int id = ::GetDlgCtrlID(control);
    if (!IsTranslatableControl(control, id)) return TRUE;
    wchar_t text[kValueUnits];
    if (ReadNumberKey(pass->section, id, text, kValueUnits)) ::SetWindowTextW(control, text);
    return TRUE;
}

void SaveDialogs() {
    ResourceIds dialogs;
    EnumerateResources(RT_DIALOG, dialogs);
    for (int i = 0; i < dialogs.count; ++i) {
        WORD id = dialogs.ids[i];
        bool skipped = false;
        for (const WORD* s = kSkippedDialogs; *s; ++s) skipped = skipped || *s == id;
        if (skipped) continue;
        DialogPass pass;
        FormatText(pass.section, 24, L"dialog_%d", id);
        HWND dialog = CreateHiddenDialog(id);
        if (!dialog) continue;
        wchar_t caption[kValueUnits];
        if (::GetWindowTextW(dialog, caption, kValueUnits) > 0) WriteKeyIfMissing(pass.section, L"caption", caption);
        ::EnumChildWindows(dialog, SaveControlText, reinterpret_cast<LPARAM>(&pass));
        ::DestroyWindow(dialog);
    }
}

void SaveMenus() {
    ResourceIds menus;
    EnumerateResources(RT_MENU, menus);
    for (int i = 0; i < menus.count; ++i) {
        HMENU menu = ::LoadMenuW(ProgramModule(), MAKEINTRESOURCEW(menus.ids[i]));
        if (!menu) continue;
        MenuWalk walk = {MenuPass::Save, {}, 0};
        FormatText(walk.section, 24, L"menu_%d", menus.ids[i]);
        WalkMenu(menu, true, walk);
        ::DestroyMenu(menu);
    }
}

void SaveStrings() {
    for (int id = 0; id <= 0xFFFF; ++id) {
        wchar_t text[kValueUnits];
        if (::LoadStringW(ProgramModule(), static_cast<UINT>(id), text, kValueUnits) > 0)
            WriteNumberKeyIfMissing(L"strings", id, text);
    }
}

// A new file starts with the UTF-16 byte-order mark: the profile writer then
// keeps it in UTF-16, so a translator's text survives whatever the code page.
void CreateUtf16FileIfMissing(const wchar_t* path) {
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    static const BYTE kBom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file, kBom, sizeof(kBom), &written, nullptr);
    ::CloseHandle(file);
}

BOOL CALLBACK AddRightToLeftLayout(HWND child, LPARAM) {
    LONG_PTR style = ::GetWindowLongPtrW(child, GWL_EXSTYLE);
    ::SetWindowLongPtrW(child, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
    return TRUE;
}

BOOL CALLBACK MirrorChildPosition(HWND child, LPARAM) {
    HWND parent = ::GetParent(child);
    RECT rect, client;
    if (!parent || !::GetWindowRect(child, &rect) || !::GetClientRect(parent, &client)) return TRUE;
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::SetWindowPos(child, nullptr, MirroredChildX(client, rect), rect.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

constexpr DWORD kMaxLanguageFileBytes = 16 * 1024 * 1024;

// Most editors save UTF-8 without a byte-order mark, which the profile reader
// takes for the ANSI code page, garbling every translated text. A file whose
// bytes are valid UTF-8 (with or without the mark) and not plain ASCII is
// therefore turned into UTF-16 in memory and its values read from there; no
// copy on disk, whose name another program could have taken first. Any
// other file is read by the system's reader. False when the file is not
// such UTF-8 (or cannot be read whole).
bool LoadUtf8Text(const wchar_t* path, Utf8Text& out) {
    Handle file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxLanguageFileBytes)
        return false;
    const DWORD bytes = static_cast<DWORD>(size.QuadPart);
    std::unique_ptr<char[]> data(new (std::nothrow) char[bytes]);
    DWORD got = 0;
    if (!data || !::ReadFile(file.get(), data.get(), bytes, &got, nullptr) || got != bytes) return false;
    file.reset();

    const char* text = data.get();
    DWORD length = bytes;
    const bool utf8Mark = length >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
                          static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF;
    if (utf8Mark) {
        text += 3;
        length -= 3;
    } else {
        bool ascii = true;
        for (DWORD i = 0; i < length && ascii; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
        // Plain ASCII reads the same either way; a UTF-16 mark is the reader's own.
        if (ascii) return false;
    }
    const int units = length ? ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length),
                                                     nullptr, 0)
                             : 0;
    if (units <= 0) return false;   // not UTF-8: the ANSI code page, as before
    UnitArray wide(AllocateUnits(static_cast<size_t>(units)));
    if (!wide || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), wide.get(),
                                       units) != units)
        return false;
    out.units = std::move(wide);
    out.count = static_cast<size_t>(units);
    return true;
}

}  // namespace

// ---- Loading and state ------------------------------------------------------------

void LoadLanguageFile() {
    wchar_t path[MAX_PATH];
    if (!ModulePathWithSuffix(L"_lng.ini", path, MAX_PATH)) {
        CloseLanguageFile();
        return;
    }
    LoadLanguageFile(path);
}

bool LoadLanguageFile(const wchar_t* path) {
    CloseLanguageFile();
    if (!path || ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return false;
    // Every dialog and frame window from now on passes through the file.
    SetTranslationHooks(TranslateDialog, ApplyRightToLeft);
    if (CopyText(g_language.path, path) != wcslen(path)) {
        g_language.path[0] = 0;
        return false;
    }
    LoadUtf8Text(path, g_utf8);
    // Only exactly 1 asks for the mirrored layout (read as the system reads a
    // number: the digits after blanks and a sign).
    wchar_t rtl[32];
    ReadKey(L"general", L"rtl", rtl, 32);
    const wchar_t* digit = rtl;
    while (*digit == L' ' || *digit == L'\t') ++digit;
    if (*digit == L'+') ++digit;
    while (*digit == L'0') ++digit;
    g_language.rtl = digit[0] == L'1' && !(digit[1] >= L'0' && digit[1] <= L'9');
    ReadKey(L"general", L"charset", g_language.charset, 63);
    ReadKey(L"general", L"TranslatorName", g_language.translatorName, 63);
    ReadKey(L"general", L"TranslatorURL", g_language.translatorUrl, 255);
    return true;
}

void CloseLanguageFile() {
    g_language = LanguageState{};
    g_utf8 = Utf8Text{};
}

bool LanguageFileInUse() { return g_language.path[0] != 0; }
bool RightToLeft() { return g_language.rtl != 0; }
const wchar_t* LanguageCharset() { return g_language.charset; }
const wchar_t* TranslatorName() { return g_language.translatorName; }
const wchar_t* TranslatorUrl() { return g_language.translatorUrl; }

bool ReadLanguageString(unsigned id, wchar_t* buffer, int size) {
    if (size <= 0) return false;
    wchar_t key[16];
    FormatText(key, 16, L"%u", id);
    return ReadKey(L"strings", key, buffer, static_cast<size_t>(size));
}

// ---- Translation -------------------------------------------------------------------

HMENU LoadTranslatedMenu(int menuId) {
    HMENU menu = ::LoadMenuW(ProgramModule(), MAKEINTRESOURCEW(menuId));
    if (!menu || !LanguageFileInUse()) return menu;
    MenuWalk walk = {MenuPass::Translate, {}, 0};
    FormatText(walk.section, 24, L"menu_%d", menuId);
    WalkMenu(menu, true, walk);
    return menu;
}

void TranslateDialog(HWND dialog, int templateId) {
    if (!LanguageFileInUse()) return;
    DialogPass pass;
    FormatText(pass.section, 24, L"dialog_%d", templateId);
    wchar_t caption[kValueUnits];
    if (ReadKey(pass.section, L"caption", caption, kValueUnits)) ::SetWindowTextW(dialog, caption);
    ::EnumChildWindows(dialog, TranslateControlText, reinterpret_cast<LPARAM>(&pass));
}

void ApplyRightToLeft(HWND window, int flags) {
    if (!g_language.rtl) return;
    if (flags & 2) ::EnumChildWindows(window, AddRightToLeftLayout, 0);
    if (flags & 1) ::EnumChildWindows(window, MirrorChildPosition, 0);
    LONG_PTR style = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    ::SetWindowLongPtrW(window, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
}

// ---- /savelangfile -------------------------------------------------------------------

void SaveLanguageFile() {
    wchar_t path[MAX_PATH];
    if (ModulePathWithSuffix(L"_lng.ini", path, MAX_PATH)) SaveLanguageFile(path);
}

void SaveLanguageFile(const wchar_t* path) {
    CloseLanguageFile();
    if (!path || CopyText(g_language.path, path) != wcslen(path)) {
        CloseLanguageFile();
        return;
    }
    CreateUtf16FileIfMissing(g_language.path);
    WriteKeyIfMissing(L"general", L"TranslatorName", L"");
    WriteKeyIfMissing(L"general", L"TranslatorURL", L"");
    WriteKeyIfMissing(L"general", L"Version", L"");
    SaveMenus();
    SaveDialogs();
    SaveStrings();
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, g_language.path);
    CloseLanguageFile();
}

}  // namespace nw
