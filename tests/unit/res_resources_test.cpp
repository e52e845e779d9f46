// Checks on the resource script embedded in the test program: the string
// table, menus, accelerators, dialog templates, artwork and version block,
// and the translations shipped beside the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TestFolder.h"
#include "resource.h"

namespace {

HINSTANCE Module() { return GetModuleHandleW(nullptr); }

std::wstring LoadText(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero size LoadStringW hands out a pointer into the resource.
    const int length = LoadStringW(Module(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

// Every string-table ID that the program asks for.
std::vector<UINT> ProgramStringIds() {
    std::vector<UINT> ids = {IDS_STATUS_DEVICES, IDS_STATUS_SELECTED, IDS_CREATED_BY,
                             IDS_SAVE_TITLE,     IDS_LIST_TITLE,      IDS_NOT_AVAILABLE,
                             IDS_YES,            IDS_NO,              IDS_TRAY_TIP,
                             IDS_ASK_RESET,      IDS_LOADING,         IDS_BALLOON_TITLE,
                             IDS_ASK_EXIT,       IDS_PROBE_OK,        IDS_PROBE_FAILED};
    for (UINT id = IDS_STATUS_PRESENT; id <= IDS_TIMELINE_STILL_PRESENT; ++id) ids.push_back(id);
    for (UINT id = IDS_FILETYPE_TEXT; id <= IDS_FILETYPE_CSV; ++id) ids.push_back(id);
    for (UINT id = IDS_COL_NAME; id <= IDS_COL_MAKER; ++id) ids.push_back(id);
    for (UINT id = IDS_TRANSPORT_CLASSIC; id <= IDS_ABOUT_NOTICES; ++id) ids.push_back(id);
    for (UINT major : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 31u}) ids.push_back(IDS_MAJOR_BASE + major);
    for (UINT minor = 0; minor <= 6; ++minor) ids.push_back(IDS_MINOR_COMPUTER_BASE + minor);
    for (UINT minor = 0; minor <= 4; ++minor) ids.push_back(IDS_MINOR_PHONE_BASE + minor);
    for (UINT minor = 0; minor <= 18; ++minor)
        if (minor != 17) ids.push_back(IDS_MINOR_AV_BASE + minor);
    for (UINT minor = 0; minor <= 4; ++minor) ids.push_back(IDS_MINOR_PERIPH_BASE + minor);
    for (UINT id = IDS_BATCH_MISSING_KIND; id <= IDS_BATCH_WRITTEN; ++id) ids.push_back(id);
    for (UINT id = IDS_BATCH_TIMED_OUT; id <= IDS_BATCH_SEE_HELP; ++id) ids.push_back(id);
    for (UINT id = IDS_BATCH_HELP_FIRST; id <= IDS_BATCH_PUBLISH_ALONE; ++id) ids.push_back(id);
    for (UINT id = IDS_MQTT_LABEL; id <= IDS_MQTT_REFUSED; ++id)
        if (id != IDS_MQTT_REFUSED_BASE) ids.push_back(id);
    return ids;
}

bool IsFormat(UINT id) {
    return id == IDS_STATUS_DEVICES || id == IDS_STATUS_SELECTED || id == IDS_TRAY_TIP ||
           id == IDS_LOADING || id == IDS_PROBE_FAILED || id == IDS_BATCH_WRITTEN || id == IDS_STATUS_PRESENT ||
           id == IDS_STATUS_PRIVATE || id == IDS_DBM;
}

// The conversions of a printf format, "%%" skipped: "a %d b %s" gives "ds".
std::wstring Conversions(const std::wstring& text) {
    std::wstring found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        if (i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
            continue;
        }
        found += i + 1 < text.size() ? text[i + 1] : L'?';
    }
    return found;
}

TEST(ResStrings, EveryIdTheProgramUsesHasText) {
    for (UINT id : ProgramStringIds()) EXPECT_FALSE(LoadText(id).empty()) << "string " << id;
}

TEST(ResStrings, DeviceClassGapsStayEmpty) {
    // Class-of-device decoding shows an empty cell for these by looking them up.
    for (UINT id : {1107u, 1108u, 1130u, 1207u, 1305u, 1417u, 1419u, 1505u, 1516u})
        EXPECT_TRUE(LoadText(id).empty()) << "string " << id;
}

BOOL CALLBACK NoteStringBlock(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR blocks) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<UINT>*>(blocks)->push_back(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

// Every ID in the string table, found by walking its blocks of sixteen.
std::vector<UINT> AllStringIds() {
    std::vector<UINT> blocks;
    EnumResourceNamesW(Module(), RT_STRING, NoteStringBlock, reinterpret_cast<LONG_PTR>(&blocks));
    std::vector<UINT> ids;
    for (UINT block : blocks)
        for (UINT id = (block - 1) * 16; id < block * 16; ++id)
            if (!LoadText(id).empty()) ids.push_back(id);
    return ids;
}

// Formatting with printf takes only a literal (LiteralFormat), so a text from
// the table, which a language file replaces, can reach only the number-only
// formatter. This pins the other half: every text in the table that holds a
// conversion at all is one the code hands to that formatter, and holds one
// integer conversion, as translations are told to keep it.
TEST(ResStrings, FormatsHoldExactlyOneIntegerConversion) {
    const std::vector<UINT> all = AllStringIds();
    ASSERT_FALSE(all.empty());
    for (UINT id : all) {
        const std::wstring conversions = Conversions(LoadText(id));
        if (IsFormat(id))
            EXPECT_EQ(L"d", conversions) << "string " << id;
        else
            EXPECT_EQ(L"", conversions) << "string " << id << " is shown or formatted as is";
    }
    for (UINT id : ProgramStringIds())
        EXPECT_TRUE(std::find(all.begin(), all.end(), id) != all.end()) << "string " << id;
}

TEST(ResStrings, BuiltInTitlesMakeDistinctXmlNames) {
    // Spaces, slashes and backslashes become underscores, brackets go and
    // letters go lower case; anything else would make the exported XML
    // ill-formed.
    std::set<std::wstring> names;
    std::vector<UINT> ids = {IDS_LIST_TITLE};
    for (UINT id = IDS_COL_NAME; id <= IDS_COL_MAKER; ++id) ids.push_back(id);
    for (UINT id : ids) {
        const std::wstring title = LoadText(id);
        ASSERT_FALSE(title.empty()) << id;
        EXPECT_TRUE((title[0] >= L'A' && title[0] <= L'Z') || (title[0] >= L'a' && title[0] <= L'z'))
            << id;
        std::wstring name;
        for (wchar_t ch : title) {
            const bool letter = (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
            if (ch == L'(' || ch == L')') continue;
            EXPECT_TRUE(letter || ch == L' ' || ch == L'/') << "string " << id;
            name += letter ? static_cast<wchar_t>(std::towlower(ch)) : L'_';
        }
        EXPECT_TRUE(names.insert(name).second) << "duplicate element name for " << id;
    }
}

// ---- Menus -----------------------------------------------------------------

constexpr UINT kPopup = 0xFFFFFFFF;  // GetMenuItemID of an item with a sub-menu

struct MenuOwner {
    HMENU menu;
    explicit MenuOwner(UINT id) : menu(LoadMenuW(Module(), MAKEINTRESOURCEW(id))) {}
    ~MenuOwner() {
        if (menu) DestroyMenu(menu);
    }
    MenuOwner(const MenuOwner&) = delete;
    MenuOwner& operator=(const MenuOwner&) = delete;
};

std::vector<UINT> ItemIds(HMENU menu) {
    std::vector<UINT> ids;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) ids.push_back(GetMenuItemID(menu, i));
    return ids;
}

std::wstring ItemText(HMENU menu, int position) {
    wchar_t text[512] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 512, MF_BYPOSITION);
    return text;
}

std::wstring AcceleratorPart(const std::wstring& text) {
    const size_t tab = text.find(L'\t');
    return tab == std::wstring::npos ? std::wstring() : text.substr(tab + 1);
}

// The access key of a menu or control text, lower case; 0 when none.
wchar_t AccessKey(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(std::towlower(text[i + 1]));
    }
    return 0;
}

TEST(ResMenus, MainMenuHasItsItemsInOrder) {
    MenuOwner bar(IDM_MAIN);
    ASSERT_TRUE(bar.menu);
    ASSERT_EQ(5, GetMenuItemCount(bar.menu));
    const std::vector<std::vector<UINT>> expected = {
        {IDM_SAVE_SELECTED, IDM_REMOVE_SELECTED, IDM_CONNECT_PROBE, 0, IDM_PROPERTIES, IDM_RESET,
         IDM_HIDE_WINDOW, 0, IDM_EXIT},
        {IDM_FIND, IDM_COPY_SELECTED, 0, IDM_SELECT_ALL, IDM_DESELECT_ALL},
        {IDM_GRID_LINES, IDM_INFO_TIP, 0, IDM_HTML_ALL, IDM_HTML_SELECTED, IDM_TIMELINE, 0,
         IDM_CHOOSE_COLUMNS, IDM_AUTOSIZE_COLUMNS},
        {kPopup, IDM_SORT_ON_UPDATE, IDM_MARK_NEW, IDM_TRAY_ICON, IDM_AUTO_DESCRIPTION, 0,
         IDM_BALLOON_ON_NEW, IDM_OPEN_ON_NEW, IDM_BEEP_ON_NEW, IDM_ALERT_ONLY_DESC, IDM_HISTORY_LOG, 0,
         IDM_CHOOSE_FONT, IDM_DEFAULT_FONT, 0, IDM_ADVANCED_OPTIONS, IDM_MQTT_OPTIONS},
        {IDM_ABOUT, IDM_WEB_PAGE},
    };
    for (int i = 0; i < 5; ++i) {
        HMENU popup = GetSubMenu(bar.menu, i);
        ASSERT_TRUE(popup) << "pop-up " << i;
        EXPECT_EQ(expected[static_cast<size_t>(i)], ItemIds(popup)) << "pop-up " << i;
    }
    HMENU rates = GetSubMenu(GetSubMenu(bar.menu, 3), 0);
    ASSERT_TRUE(rates);
    EXPECT_EQ((std::vector<UINT>{IDM_RATE_LOW, IDM_RATE_MEDIUM, IDM_RATE_HIGH}), ItemIds(rates));
    // The radio mark is placed by IDM_RATE_BASE + rate.
    EXPECT_EQ(static_cast<UINT>(IDM_RATE_HIGH), IDM_RATE_BASE + 1u);
    EXPECT_EQ(static_cast<UINT>(IDM_RATE_LOW), IDM_RATE_BASE + 3u);
}

TEST(ResMenus, ContextAndTrayMenusHaveTheirItemsInOrder) {
    MenuOwner context(IDM_CONTEXT);
    ASSERT_TRUE(context.menu);
    HMENU popup = GetSubMenu(context.menu, 0);
    ASSERT_TRUE(popup);
    EXPECT_EQ((std::vector<UINT>{IDM_SAVE_SELECTED, IDM_COPY_SELECTED, IDM_REMOVE_SELECTED,
                                 IDM_CONNECT_PROBE, 0, IDM_HTML_ALL, IDM_HTML_SELECTED, 0,
                                 IDM_CHOOSE_COLUMNS, IDM_AUTOSIZE_COLUMNS, 0, IDM_PROPERTIES, 0,
                                 IDM_REFRESH}),
              ItemIds(popup));
    EXPECT_EQ(L"F5", AcceleratorPart(ItemText(popup, GetMenuItemCount(popup) - 1)));

    MenuOwner tray(IDM_TRAY);
    ASSERT_TRUE(tray.menu);
    popup = GetSubMenu(tray.menu, 0);
    ASSERT_TRUE(popup);
    EXPECT_EQ((std::vector<UINT>{IDM_OPEN_WINDOW, IDM_RESET, IDM_EXIT}), ItemIds(popup));
}

// Walks every pop-up below `menu`; `visible` is false for the invisible
// top level of the context and tray menus.
void CheckAccessKeys(HMENU menu, bool visible, const std::wstring& where) {
    std::map<wchar_t, std::wstring> seen;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const std::wstring text = ItemText(menu, i);
        if (HMENU sub = GetSubMenu(menu, i)) CheckAccessKeys(sub, true, where + L" > " + text);
        if (!visible || GetMenuItemID(menu, i) == 0) continue;
        const wchar_t key = AccessKey(text);
        EXPECT_NE(0, key) << "no access key: " << testing::PrintToString(where + L" > " + text);
        if (!key) continue;
        auto [it, fresh] = seen.emplace(key, text);
        EXPECT_TRUE(fresh) << "access key shared by " << testing::PrintToString(it->second)
                           << " and " << testing::PrintToString(text);
    }
}

TEST(ResMenus, EveryItemHasItsOwnAccessKey) {
    MenuOwner bar(IDM_MAIN), context(IDM_CONTEXT), tray(IDM_TRAY);
    CheckAccessKeys(bar.menu, true, L"main");
    CheckAccessKeys(context.menu, false, L"context");
    CheckAccessKeys(tray.menu, false, L"tray");
}

// ---- Accelerators ------------------------------------------------------------

constexpr BYTE kKeyFlags = FVIRTKEY | FCONTROL | FALT | FSHIFT;

std::vector<ACCEL> AcceleratorTable() {
    HACCEL table = LoadAcceleratorsW(Module(), MAKEINTRESOURCEW(IDA_MAIN));
    if (!table) return {};
    std::vector<ACCEL> entries(static_cast<size_t>(CopyAcceleratorTableW(table, nullptr, 0)));
    CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size()));
    DestroyAcceleratorTable(table);
    return entries;
}

// "Ctrl+S", "Del", "Alt+Enter", "Ctrl+Plus", "F5" into flags and virtual key.
bool ParseKeyName(const std::wstring& name, BYTE* flags, WORD* key) {
    *flags = FVIRTKEY;
    std::wstring rest = name;
    for (;;) {
        const size_t plus = rest.find(L'+');
        if (plus == std::wstring::npos || plus + 1 == rest.size()) break;
        const std::wstring modifier = rest.substr(0, plus);
        if (modifier == L"Ctrl") *flags |= FCONTROL;
        else if (modifier == L"Alt") *flags |= FALT;
        else if (modifier == L"Shift") *flags |= FSHIFT;
        else return false;
        rest = rest.substr(plus + 1);
    }
    if (rest.size() == 1 && ((rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'0' && rest[0] <= L'9')))
        *key = rest[0];
    else if (rest == L"Del") *key = VK_DELETE;
    else if (rest == L"Enter") *key = VK_RETURN;
    else if (rest == L"Plus") *key = VK_ADD;
    else if (rest.size() >= 2 && rest[0] == L'F' && std::iswdigit(rest[1])) {
        const int n = _wtoi(rest.c_str() + 1);
        if (n < 1 || n > 24) return false;
        *key = static_cast<WORD>(VK_F1 + n - 1);
    } else {
        return false;
    }
    return true;
}

struct LabelledItem {
    UINT command;
    std::wstring text;
};

void CollectItems(HMENU menu, std::vector<LabelledItem>* items) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (HMENU sub = GetSubMenu(menu, i)) {
            CollectItems(sub, items);
            continue;
        }
        const UINT id = GetMenuItemID(menu, i);
        if (id != 0) items->push_back({id, ItemText(menu, i)});
    }
}

TEST(ResAccelerators, TableHoldsTheCommandKeys) {
    const std::vector<ACCEL> table = AcceleratorTable();
    ASSERT_FALSE(table.empty());
    struct Expected {
        BYTE flags;
        WORD key;
        WORD command;
    };
    const Expected expected[] = {
        {FVIRTKEY | FCONTROL, 'C', IDM_COPY_SELECTED},   {FVIRTKEY | FCONTROL, 'D', IDM_DESELECT_ALL},
        {FVIRTKEY | FCONTROL, 'F', IDM_FIND},            {FVIRTKEY | FCONTROL, 'A', IDM_SELECT_ALL},
        {FVIRTKEY | FCONTROL, 'H', IDM_HIDE_WINDOW},     {FVIRTKEY | FALT, VK_RETURN, IDM_PROPERTIES},
        {FVIRTKEY | FCONTROL, 'R', IDM_RESET},           {FVIRTKEY | FCONTROL, 'S', IDM_SAVE_SELECTED},
        {FVIRTKEY | FCONTROL, VK_ADD, IDM_AUTOSIZE_COLUMNS}, {FVIRTKEY, VK_DELETE, IDM_REMOVE_SELECTED},
        {FVIRTKEY, VK_F5, IDM_REFRESH},                  {FVIRTKEY | FCONTROL, 'T', IDM_TIMELINE},
    };
    EXPECT_EQ(std::size(expected), table.size());
    for (const Expected& e : expected) {
        int matches = 0;
        for (const ACCEL& a : table)
            if ((a.fVirt & kKeyFlags) == e.flags && a.key == e.key) {
                ++matches;
                EXPECT_EQ(e.command, a.cmd) << "key " << e.key;
            }
        EXPECT_EQ(1, matches) << "key " << e.key << " flags " << int(e.flags);
    }
}

TEST(ResAccelerators, MenuLabelsAndTableAgree) {
    const std::vector<ACCEL> table = AcceleratorTable();
    std::vector<LabelledItem> items;
    MenuOwner bar(IDM_MAIN), context(IDM_CONTEXT), tray(IDM_TRAY);
    CollectItems(bar.menu, &items);
    CollectItems(context.menu, &items);
    CollectItems(tray.menu, &items);
    ASSERT_FALSE(items.empty());

    // Every key shown beside an item triggers that item's command.
    std::set<UINT> labelled;
    for (const LabelledItem& item : items) {
        const std::wstring keyName = AcceleratorPart(item.text);
        if (keyName.empty()) continue;
        BYTE flags = 0;
        WORD key = 0;
        ASSERT_TRUE(ParseKeyName(keyName, &flags, &key)) << testing::PrintToString(item.text);
        bool found = false;
        for (const ACCEL& a : table)
            found |= (a.fVirt & kKeyFlags) == flags && a.key == key && a.cmd == item.command;
        EXPECT_TRUE(found) << testing::PrintToString(item.text);
        labelled.insert(item.command);
    }
    // Every key of the table is shown on some item of its command.
    for (const ACCEL& a : table) EXPECT_TRUE(labelled.count(a.cmd)) << "command " << a.cmd;
}

// ---- Dialogs -----------------------------------------------------------------

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK CollectTexted(HWND child, LPARAM ids) {
    wchar_t text[4096] = {};
    const int id = GetDlgCtrlID(child);
    if (id > 0 && GetWindowTextW(child, text, 4096) > 0) reinterpret_cast<std::set<int>*>(ids)->insert(id);
    return TRUE;
}

class ResDialogs : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&init);
    }
    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
    }
    HWND Create(int id) {
        dialog_ = CreateDialogParamW(Module(), MAKEINTRESOURCEW(id), nullptr, InertDialogProc, 0);
        return dialog_;
    }
    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    LONG Style(int id) const { return GetWindowLongW(Item(id), GWL_STYLE); }
    // The dialog manager turns WS_BORDER of edits and lists into a 3-D edge.
    bool Bordered(int id) const {
        return (Style(id) & WS_BORDER) || (GetWindowLongW(Item(id), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    }
    std::wstring Text(HWND window) const {
        wchar_t text[4096] = {};
        GetWindowTextW(window, text, 4096);
        return text;
    }
    std::wstring ClassOf(int id) const {
        wchar_t name[64] = {};
        GetClassNameW(Item(id), name, 64);
        return name;
    }
    // Control IDs whose text a language file can translate.
    std::set<int> TextedControls() const {
        std::set<int> ids;
        EnumChildWindows(dialog_, CollectTexted, reinterpret_cast<LPARAM>(&ids));
        return ids;
    }
    // Every control lies inside the client area, so nothing is cut off, and
    // no two controls share an access key.
    void ExpectSoundLayout() const {
        std::map<wchar_t, int> keys;
        for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const wchar_t key = AccessKey(Text(child));
            if (!key) continue;
            auto [it, fresh] = keys.emplace(key, GetDlgCtrlID(child));
            EXPECT_TRUE(fresh) << "controls " << it->second << " and " << GetDlgCtrlID(child);
        }
        RECT client;
        GetClientRect(dialog_, &client);
        for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT r;
            GetWindowRect(child, &r);
            MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
                << "control " << GetDlgCtrlID(child);
        }
    }
    HWND dialog_ = nullptr;
};

TEST_F(ResDialogs, PropertiesTemplateHoldsHiddenPrototypes) {
    ASSERT_TRUE(Create(IDD_PROPERTIES));
    EXPECT_FALSE(IsWindowVisible(dialog_));
    for (int id : {IDC_PROP_VALUE, IDC_PROP_LABEL, IDOK, IDCANCEL}) ASSERT_TRUE(Item(id)) << id;
    EXPECT_EQ(0, Style(IDC_PROP_VALUE) & WS_VISIBLE);
    EXPECT_EQ(0, Style(IDC_PROP_LABEL) & WS_VISIBLE);
    const LONG needed = ES_AUTOHSCROLL | ES_READONLY;
    EXPECT_EQ(needed, Style(IDC_PROP_VALUE) & needed);
    EXPECT_TRUE(Bordered(IDC_PROP_VALUE));
    EXPECT_EQ(L"Edit", ClassOf(IDC_PROP_VALUE));
    EXPECT_EQ(L"Static", ClassOf(IDC_PROP_LABEL));
    EXPECT_FALSE(Text(dialog_).empty());
    EXPECT_EQ((std::set<int>{IDOK, IDCANCEL}), TextedControls());
    ExpectSoundLayout();
}

TEST_F(ResDialogs, CrashReportTemplate) {
    ASSERT_TRUE(Create(IDD_CRASH));
    for (int id : {IDC_CRASH_TEXT, IDC_CRASH_INTRO, IDC_CRASH_SENDTEXT, IDC_CRASH_COPY,
                   IDC_CRASH_CONTINUE, IDC_CRASH_TERMINATE})
        ASSERT_TRUE(Item(id)) << id;
    const LONG needed = ES_MULTILINE | ES_READONLY | WS_VSCROLL;
    EXPECT_EQ(needed, Style(IDC_CRASH_TEXT) & needed);
    EXPECT_EQ(BS_DEFPUSHBUTTON, Style(IDC_CRASH_COPY) & 0x0F);
    EXPECT_EQ(BS_PUSHBUTTON, Style(IDC_CRASH_CONTINUE) & 0x0F);
    EXPECT_EQ(BS_PUSHBUTTON, Style(IDC_CRASH_TERMINATE) & 0x0F);
    for (int id : {IDC_CRASH_INTRO, IDC_CRASH_SENDTEXT, IDC_CRASH_COPY, IDC_CRASH_CONTINUE,
                   IDC_CRASH_TERMINATE})
        EXPECT_FALSE(Text(Item(id)).empty()) << id;
    ExpectSoundLayout();
}

TEST_F(ResDialogs, AdvancedOptionsTemplateIsResizable) {
    ASSERT_TRUE(Create(IDD_ADVANCED));
    EXPECT_TRUE(GetWindowLongW(dialog_, GWL_STYLE) & WS_THICKFRAME);
    for (int id : {IDC_ADV_USE_EXECUTE, IDC_ADV_EXECUTE, IDC_ADV_USE_SPEAK, IDC_ADV_SPEAK,
                   IDC_ADV_VARS_LABEL, IDC_ADV_VARS, IDOK, IDCANCEL})
        ASSERT_TRUE(Item(id)) << id;
    EXPECT_EQ(BS_AUTOCHECKBOX, Style(IDC_ADV_USE_EXECUTE) & 0x0F);
    EXPECT_EQ(BS_AUTOCHECKBOX, Style(IDC_ADV_USE_SPEAK) & 0x0F);
    EXPECT_TRUE(Style(IDC_ADV_VARS) & ES_READONLY);
    EXPECT_FALSE(Style(IDC_ADV_EXECUTE) & ES_READONLY);
    EXPECT_FALSE(Style(IDC_ADV_SPEAK) & ES_READONLY);
    EXPECT_TRUE(Style(IDC_ADV_DEPART_VARS) & ES_READONLY);
    EXPECT_TRUE(Style(IDC_ADV_DEPART_AFTER) & ES_NUMBER);
    EXPECT_EQ((std::set<int>{IDC_ADV_USE_EXECUTE, IDC_ADV_USE_SPEAK, IDC_ADV_VARS_LABEL, IDOK, IDCANCEL,
                             IDC_ADV_USE_DEPART_EXECUTE, IDC_ADV_DEPART_VARS_LABEL, IDC_ADV_DEPART_AFTER_LABEL,
                             IDC_ADV_BALLOON_DEPARTED, IDC_ADV_HISTORY_LOG, IDC_ADV_SCAN_LE, IDC_ADV_FORGET_LABEL}),
              TextedControls());
    ExpectSoundLayout();
}

TEST_F(ResDialogs, AboutTemplate) {
    ASSERT_TRUE(Create(IDD_ABOUT));
    for (int id : {IDC_ABOUT_TEXT, IDC_ABOUT_LINK, IDC_ABOUT_TRANSLATOR_LABEL, IDC_ABOUT_TRANSLATOR,
                   IDOK})
        ASSERT_TRUE(Item(id)) << id;
    HWND icon = nullptr;
    for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
    ASSERT_TRUE(icon);
    EXPECT_TRUE(SendMessageW(icon, STM_GETICON, 0, 0));
    // Its text is the icon's resource ordinal: it must not look translatable.
    EXPECT_LE(GetDlgCtrlID(icon), 0);
    EXPECT_TRUE(Style(IDC_ABOUT_LINK) & SS_NOTIFY);
    EXPECT_TRUE(Style(IDC_ABOUT_TRANSLATOR) & SS_NOTIFY);
    // The box sets its title and texts itself; only these are translated.
    EXPECT_EQ((std::set<int>{IDC_ABOUT_TRANSLATOR_LABEL, IDOK}), TextedControls());
    ExpectSoundLayout();
}

TEST_F(ResDialogs, ColumnSettingsTemplate) {
    ASSERT_TRUE(Create(IDD_COLUMNS));
    for (int id : {IDC_COL_INSTRUCTIONS, IDC_COL_LIST, IDC_COL_WIDTH_LABEL, IDC_COL_UP, IDC_COL_DOWN,
                   IDC_COL_WIDTH, IDC_COL_SHOW, IDC_COL_HIDE, IDC_COL_DEFAULTS, IDOK, IDCANCEL})
        ASSERT_TRUE(Item(id)) << id;
    EXPECT_EQ(L"SysListView32", ClassOf(IDC_COL_LIST));
    const LONG list = LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP;
    EXPECT_EQ(list & ~WS_BORDER, Style(IDC_COL_LIST) & list & ~WS_BORDER);
    EXPECT_TRUE(Bordered(IDC_COL_LIST));
    EXPECT_FALSE(Style(IDC_COL_LIST) & LVS_SINGLESEL) << "moving several rows needs multi-selection";
    EXPECT_TRUE(Style(IDC_COL_WIDTH) & ES_NUMBER);
    EXPECT_EQ((std::set<int>{IDC_COL_INSTRUCTIONS, IDC_COL_WIDTH_LABEL, IDC_COL_UP, IDC_COL_DOWN,
                             IDC_COL_SHOW, IDC_COL_HIDE, IDC_COL_DEFAULTS, IDOK, IDCANCEL}),
              TextedControls());
    ExpectSoundLayout();
}

// ---- Artwork and version -------------------------------------------------------

std::vector<int> IconSizes(UINT id) {
    std::vector<int> sizes;
    HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
    if (!found) return sizes;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(Module(), found)));
    const DWORD size = SizeofResource(Module(), found);
    if (!data || size < 6) return sizes;
    const WORD count = *reinterpret_cast<const WORD*>(data + 4);
    for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= size; ++i)
        sizes.push_back(data[6 + 14 * i] == 0 ? 256 : data[6 + 14 * i]);
    return sizes;
}

TEST(ResArtwork, IconsCarryTheirSizes) {
    const std::vector<int> main = IconSizes(IDI_MAIN);
    for (int size : {16, 32, 48})
        EXPECT_NE(main.end(), std::find(main.begin(), main.end(), size)) << size;
    for (UINT id : {IDI_ROW, IDI_TRAY}) {
        const std::vector<int> sizes = IconSizes(id);
        EXPECT_NE(sizes.end(), std::find(sizes.begin(), sizes.end(), 16)) << id;
    }
    for (UINT id : {IDI_MAIN, IDI_ROW, IDI_TRAY}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        ASSERT_TRUE(icon) << id;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(16, bitmap.bmWidth) << id;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(ResArtwork, LinkCursorPointsWithItsTip) {
    HCURSOR cursor = LoadCursorW(Module(), MAKEINTRESOURCEW(IDC_LINK));
    ASSERT_TRUE(cursor);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_LT(info.yHotspot, 2u);
    EXPECT_LT(info.xHotspot, 16u);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
}

struct BitmapFacts {
    int width = 0;
    int height = 0;
    COLORREF corner = CLR_INVALID;
};

BitmapFacts LoadBitmapFacts(UINT id, UINT flags) {
    BitmapFacts facts;
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, flags));
    if (!bitmap) return facts;
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    facts.width = info.bmWidth;
    facts.height = info.bmHeight;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    facts.corner = GetPixel(dc, 0, 0);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return facts;
}

TEST(ResArtwork, BitmapsTakeTheButtonFaceAsBackground) {
    // The toolbar and the header both rely on the loader turning the
    // background into the current button face.
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    BitmapFacts toolbar = LoadBitmapFacts(IDB_TOOLBAR, LR_LOADMAP3DCOLORS);
    EXPECT_EQ(7 * 16, toolbar.width);
    EXPECT_EQ(16, toolbar.height);
    EXPECT_EQ(face, toolbar.corner);
    toolbar = LoadBitmapFacts(IDB_TOOLBAR, LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT);
    EXPECT_EQ(face, toolbar.corner);
    for (UINT id : {IDB_SORT_UP, IDB_SORT_DOWN}) {
        const BitmapFacts arrow = LoadBitmapFacts(id, LR_LOADMAP3DCOLORS);
        EXPECT_EQ(16, arrow.width) << id;
        EXPECT_EQ(16, arrow.height) << id;
        EXPECT_EQ(face, arrow.corner) << id;
    }
}

TEST(ResVersion, NamesTheProduct) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    wchar_t* product = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(L"Nearwatch", product);
}

// ---- Shipped language files ---------------------------------------------------

using nw::test::SourceFile;

class LanguageFileReader {
public:
    explicit LanguageFileReader(std::wstring path) : path_(std::move(path)) {}
    bool Exists() const { return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::wstring Read(const std::wstring& section, const std::wstring& key) const {
        std::vector<wchar_t> text(4096);
        GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", text.data(), 4096, path_.c_str());
        return text.data();
    }
    std::wstring Read(const std::wstring& section, unsigned key) const {
        return Read(section, std::to_wstring(key));
    }
    std::set<std::wstring> Keys(const std::wstring& section) const {
        std::vector<wchar_t> block(32767);
        GetPrivateProfileSectionW(section.c_str(), block.data(), 32767, path_.c_str());
        std::set<std::wstring> keys;
        for (const wchar_t* line = block.data(); *line; line += wcslen(line) + 1) {
            std::wstring entry = line;
            keys.insert(entry.substr(0, entry.find(L'=')));
        }
        return keys;
    }
    int ReadInt(const std::wstring& section, const std::wstring& key) const {
        return static_cast<int>(GetPrivateProfileIntW(section.c_str(), key.c_str(), 0, path_.c_str()));
    }

private:
    std::wstring path_;
};

// Item keys of a menu resource as a language file numbers them, with the
// built-in text (accelerator part cut off) and the pop-up each item is on.
struct MenuKey {
    std::wstring key;
    std::wstring text;
    int popup;
};

void WalkMenuKeys(HMENU menu, bool top, int popup, int* counter, int* popups, std::vector<MenuKey>* keys) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        std::wstring text = ItemText(menu, i);
        if (text.empty()) continue;
        text = text.substr(0, text.find(L'\t'));
        HMENU sub = GetSubMenu(menu, i);
        unsigned key = sub ? (top ? 70001u + static_cast<unsigned>(i) : 71000u + static_cast<unsigned>(++*counter))
                           : GetMenuItemID(menu, i);
        keys->push_back({std::to_wstring(key), text, popup});
        if (sub) WalkMenuKeys(sub, false, ++*popups, counter, popups, keys);
    }
}

std::vector<MenuKey> MenuKeys(UINT id) {
    std::vector<MenuKey> keys;
    MenuOwner menu(id);
    int counter = 0;
    int popups = 0;
    if (menu.menu) WalkMenuKeys(menu.menu, true, 0, &counter, &popups, &keys);
    return keys;
}

std::set<std::wstring> DialogKeys(int id) {
    std::set<std::wstring> keys;
    HWND dialog = CreateDialogParamW(Module(), MAKEINTRESOURCEW(id), nullptr, InertDialogProc, 0);
    if (!dialog) return keys;
    if (GetWindowTextLengthW(dialog) > 0) keys.insert(L"caption");
    std::set<int> ids;
    EnumChildWindows(dialog, CollectTexted, reinterpret_cast<LPARAM>(&ids));
    for (int control : ids) keys.insert(std::to_wstring(control));
    DestroyWindow(dialog);
    return keys;
}

std::vector<UINT> StringTableIds() {
    std::vector<UINT> ids;
    for (UINT id = 0; id <= 0xFFFF; ++id)
        if (!LoadText(id).empty()) ids.push_back(id);
    return ids;
}

constexpr UINT kTranslatedMenus[] = {IDM_MAIN, IDM_CONTEXT, IDM_TRAY};
constexpr int kTranslatedDialogs[] = {IDD_PROPERTIES, IDD_ADVANCED, IDD_ABOUT, IDD_COLUMNS, IDD_MQTT};

std::wstring MenuSection(UINT id) { return L"menu_" + std::to_wstring(id); }
std::wstring DialogSection(int id) { return L"dialog_" + std::to_wstring(id); }

class ResTranslations : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&init);
    }
    // Every key a file holds names something the resources have, and every
    // translated format keeps the built-in conversions.
    static void ExpectKeysKnown(const LanguageFileReader& file) {
        for (UINT menu : kTranslatedMenus) {
            std::set<std::wstring> known;
            for (const MenuKey& k : MenuKeys(menu)) known.insert(k.key);
            for (const std::wstring& key : file.Keys(MenuSection(menu)))
                EXPECT_TRUE(known.count(key)) << "menu " << menu << " key " << testing::PrintToString(key);
        }
        for (int dialog : kTranslatedDialogs) {
            const std::set<std::wstring> known = DialogKeys(dialog);
            for (const std::wstring& key : file.Keys(DialogSection(dialog)))
                EXPECT_TRUE(known.count(key)) << "dialog " << dialog << " key " << testing::PrintToString(key);
        }
        for (const std::wstring& key : file.Keys(L"strings")) {
            const UINT id = static_cast<UINT>(_wtoi(key.c_str()));
            EXPECT_FALSE(LoadText(id).empty()) << "string " << testing::PrintToString(key);
            EXPECT_EQ(Conversions(LoadText(id)), Conversions(file.Read(L"strings", key)))
                << "string " << id;
        }
    }
};

TEST_F(ResTranslations, GermanIsComplete) {
    const LanguageFileReader file(SourceFile(L"lang/translations/german/nearwatch_lng.ini"));
    ASSERT_TRUE(file.Exists());
    EXPECT_FALSE(file.Read(L"general", L"TranslatorName").empty());
    EXPECT_NE(1, file.ReadInt(L"general", L"rtl"));

    for (UINT menu : kTranslatedMenus) {
        const std::vector<MenuKey> keys = MenuKeys(menu);
        ASSERT_FALSE(keys.empty()) << menu;
        std::map<int, std::map<wchar_t, std::wstring>> accessKeys;  // per pop-up
        for (const MenuKey& k : keys) {
            const std::wstring text = file.Read(MenuSection(menu), k.key);
            EXPECT_FALSE(text.empty()) << "menu " << menu << " key " << testing::PrintToString(k.key);
            EXPECT_EQ(std::wstring::npos, text.find(L'\t')) << "the program adds the key name itself";
            if (text.empty()) continue;
            // The invisible top pop-ups of the context and tray menus need none.
            if (menu != IDM_MAIN && k.popup == 0) continue;
            const wchar_t key = AccessKey(text);
            EXPECT_NE(0, key) << testing::PrintToString(text);
            if (!key) continue;
            auto [it, fresh] = accessKeys[k.popup].emplace(key, text);
            EXPECT_TRUE(fresh) << testing::PrintToString(it->second) << " and " << testing::PrintToString(text);
        }
        EXPECT_EQ(keys.size(), file.Keys(MenuSection(menu)).size()) << "menu " << menu;
    }
    for (int dialog : kTranslatedDialogs) {
        const std::set<std::wstring> keys = DialogKeys(dialog);
        ASSERT_FALSE(keys.empty()) << dialog;
        EXPECT_EQ(keys, file.Keys(DialogSection(dialog))) << "dialog " << dialog;
        for (const std::wstring& key : keys)
            EXPECT_FALSE(file.Read(DialogSection(dialog), key).empty())
                << "dialog " << dialog << " key " << testing::PrintToString(key);
    }
    std::set<std::wstring> strings;
    for (UINT id : StringTableIds()) {
        strings.insert(std::to_wstring(id));
        EXPECT_FALSE(file.Read(L"strings", id).empty()) << "string " << id;
    }
    EXPECT_EQ(strings, file.Keys(L"strings"));
    ExpectKeysKnown(file);
}

TEST_F(ResTranslations, RightToLeftSampleAsksForMirroring) {
    const LanguageFileReader file(SourceFile(L"tests/data/rtl_lng.ini"));
    ASSERT_TRUE(file.Exists());
    EXPECT_EQ(1, file.ReadInt(L"general", L"rtl"));
    EXPECT_FALSE(file.Read(L"strings", IDS_STATUS_DEVICES).empty());
    EXPECT_FALSE(file.Read(MenuSection(IDM_MAIN), L"70001").empty());
    ExpectKeysKnown(file);
}

}  // namespace
