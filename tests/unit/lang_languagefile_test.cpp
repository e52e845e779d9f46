#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <string>
#include <vector>
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "lang_test_support.h"
#include "resource.h"

namespace {

class LanguageFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The column dialog holds a list view; its class must exist before
        // the template can be created.
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES};
        InitCommonControlsEx(&init);
    }
    void SetUp() override {
        nw::CloseLanguageFile();
        nw::ResetStringCacheForTests();
        path_ = folder_.File(L"nw_lng.ini");
    }
    void TearDown() override {
        nw::CloseLanguageFile();
        nw::ResetStringCacheForTests();
    }
    void Use(const std::wstring& text) {
        langtest::WriteUtf16(path_, text);
        ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
    }
    langtest::TempFolder folder_;
    std::wstring path_;
};

std::wstring ItemText(HMENU menu, int position) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 256, MF_BYPOSITION);
    return text;
}

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Sections of a written file in order, and the keys of each.
struct Section {
    std::wstring name;
    std::vector<std::wstring> lines;
};
std::vector<Section> Sections(const std::vector<std::wstring>& lines) {
    std::vector<Section> sections;
    for (const std::wstring& line : lines) {
        if (line.empty()) continue;
        if (line[0] == L'[') sections.push_back({line.substr(1, line.size() - 2), {}});
        else if (!sections.empty()) sections.back().lines.push_back(line);
    }
    return sections;
}
std::vector<std::wstring> Keys(const Section& section) {
    std::vector<std::wstring> keys;
    for (const std::wstring& line : section.lines) keys.push_back(line.substr(0, line.find(L'=')));
    return keys;
}

BOOL CALLBACK NoteOwnVisibleWindow(HWND window, LPARAM context) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window)) *reinterpret_cast<bool*>(context) = true;
    return TRUE;
}

bool OwnVisibleWindowExists() {
    bool found = false;
    EnumWindows(NoteOwnVisibleWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

// ---- Reading ---------------------------------------------------------------------

TEST_F(LanguageFileTest, NoFileMeansResourceTextsOnly) {
    EXPECT_FALSE(nw::LoadLanguageFile(folder_.File(L"absent_lng.ini").c_str()));
    EXPECT_FALSE(nw::LanguageFileInUse());
    EXPECT_FALSE(nw::RightToLeft());
    EXPECT_STREQ(L"", nw::LanguageCharset());
    EXPECT_STREQ(L"", nw::TranslatorName());
    wchar_t text[64];
    EXPECT_FALSE(nw::ReadLanguageString(IDS_YES, text, 64));
    HMENU menu = nw::LoadTranslatedMenu(IDM_MAIN);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(L"&File", ItemText(menu, 0));
    DestroyMenu(menu);
}

TEST_F(LanguageFileTest, GeneralSectionAndOnlyRtlOneMirrors) {
    Use(L"[General]\r\nrtl=1\r\ncharset=windows-1255\r\nTranslatorName=Dana \u05d3\r\n"
        L"TranslatorURL=https://example.org/dana\r\n");
    EXPECT_TRUE(nw::LanguageFileInUse());
    EXPECT_TRUE(nw::RightToLeft());
    EXPECT_STREQ(L"windows-1255", nw::LanguageCharset());
    EXPECT_STREQ(L"Dana \u05d3", nw::TranslatorName());
    EXPECT_STREQ(L"https://example.org/dana", nw::TranslatorUrl());

    Use(L"[general]\r\nrtl=2\r\n");
    EXPECT_FALSE(nw::RightToLeft());
    EXPECT_STREQ(L"", nw::LanguageCharset());
    Use(L"[general]\r\nrtl=0\r\n");
    EXPECT_FALSE(nw::RightToLeft());

    // An eight-bit file written by hand is read too.
    langtest::WriteAnsi(path_, "[general]\r\nRTL=1\r\nTranslatorName=Hand\r\n[strings]\r\n10=Ja\r\n");
    ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
    EXPECT_TRUE(nw::RightToLeft());
    EXPECT_STREQ(L"Hand", nw::TranslatorName());
    EXPECT_STREQ(L"Ja", nw::GetString(IDS_YES));
}

TEST_F(LanguageFileTest, RightToLeftLayoutFollowsTheFlags) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 10, 5, 50, 20, parent, nullptr, nullptr, nullptr);
    auto rtl = [](HWND w) { return (GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; };

    Use(L"[general]\r\nrtl=2\r\n");
    nw::ApplyRightToLeft(parent, 3);
    EXPECT_FALSE(rtl(parent));
    EXPECT_FALSE(rtl(child));

    Use(L"[general]\r\nrtl=1\r\n");
    nw::ApplyRightToLeft(parent, 0);
    EXPECT_TRUE(rtl(parent));
    EXPECT_FALSE(rtl(child));
    nw::ApplyRightToLeft(parent, 2);
    EXPECT_TRUE(rtl(child));
    DestroyWindow(parent);

    RECT client = {0, 0, 200, 100};
    RECT placed = {10, 5, 60, 25};
    EXPECT_EQ(140, nw::MirroredChildX(client, placed));
}

// ---- Menus and dialogs ---------------------------------------------------------------

TEST_F(LanguageFileTest, MenuTranslationKeepsTheAcceleratorPart) {
    Use(L"[menu_102]\r\n70001=&Datei\r\n40001=&Auswahl speichern\r\n40002=\r\n"
        L"70004=&Optionen\r\n71001=&Tempo\r\n41103=&Langsam\r\n[menu_104]\r\n40008=&Kopieren\r\n");
    HMENU menu = nw::LoadTranslatedMenu(IDM_MAIN);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(L"&Datei", ItemText(menu, 0));
    EXPECT_EQ(L"&Edit", ItemText(menu, 1));
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(L"&Auswahl speichern\tCtrl+S", ItemText(file, 0));
    EXPECT_EQ(static_cast<UINT>(IDM_SAVE_SELECTED), GetMenuItemID(file, 0));
    EXPECT_EQ(L"E&xit", ItemText(file, 8));   // empty value: resource text
    HMENU options = GetSubMenu(menu, 3);
    ASSERT_NE(nullptr, options);
    EXPECT_EQ(L"&Optionen", ItemText(menu, 3));
    EXPECT_EQ(L"&Tempo", ItemText(options, 0));
    HMENU rate = GetSubMenu(options, 0);   // the pop-up keeps its sub-menu
    ASSERT_NE(nullptr, rate);
    EXPECT_EQ(L"&Langsam", ItemText(rate, 0));
    EXPECT_EQ(static_cast<UINT>(IDM_RATE_LOW), GetMenuItemID(rate, 0));
    EXPECT_EQ(L"&Medium", ItemText(rate, 1));
    DestroyMenu(menu);

    // Sections are per menu: 40001 of menu_102 does not reach menu 104.
    HMENU context = nw::LoadTranslatedMenu(IDM_CONTEXT);
    ASSERT_NE(nullptr, context);
    HMENU popup = GetSubMenu(context, 0);
    EXPECT_EQ(L"&Save Selected Items\tCtrl+S", ItemText(popup, 0));
    EXPECT_EQ(L"&Kopieren\tCtrl+C", ItemText(popup, 1));
    DestroyMenu(context);
}

TEST_F(LanguageFileTest, DialogTranslationByTemplateSection) {
    Use(L"[dialog_111]\r\ncaption=Erweiterte Optionen\r\n1=Gut\r\n1009=\r\n1007=Variablen \u00e4\r\n"
        L"[dialog_1096]\r\n1=Falsch\r\n");
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ADVANCED), nullptr,
                                     NoDialogProc, 0);
    ASSERT_NE(nullptr, dialog);
    nw::TranslateDialog(dialog, IDD_ADVANCED);
    EXPECT_EQ(L"Erweiterte Optionen", WindowText(dialog));
    EXPECT_EQ(L"Gut", WindowText(GetDlgItem(dialog, IDOK)));
    EXPECT_EQ(L"Cancel", WindowText(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_EQ(L"Variablen \u00e4", WindowText(GetDlgItem(dialog, IDC_ADV_VARS_LABEL)));
    EXPECT_EQ(L"&Speak the following text when a new Bluetooth device is detected:",
              WindowText(GetDlgItem(dialog, IDC_ADV_USE_SPEAK)));
    DestroyWindow(dialog);

    nw::CloseLanguageFile();
    dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ADVANCED), nullptr,
                                NoDialogProc, 0);
    nw::TranslateDialog(dialog, IDD_ADVANCED);
    EXPECT_EQ(L"Advanced Options", WindowText(dialog));
    DestroyWindow(dialog);
}

// ---- Writing (/savelangfile) ------------------------------------------------------------

TEST_F(LanguageFileTest, SavedFileFollowsTheResources) {
    nw::SaveLanguageFile(path_.c_str());
    EXPECT_FALSE(nw::LanguageFileInUse());
    EXPECT_FALSE(OwnVisibleWindowExists());
    std::vector<std::wstring> lines = langtest::ReadUtf16Lines(path_);
    ASSERT_FALSE(lines.empty()) << "no UTF-16 byte-order mark";
    std::vector<Section> sections = Sections(lines);
    std::vector<std::wstring> names;
    for (const Section& s : sections) names.push_back(s.name);
    EXPECT_EQ((std::vector<std::wstring>{L"general", L"menu_102", L"menu_104", L"menu_110", L"dialog_105",
                                         L"dialog_111", L"dialog_112", L"dialog_113", L"dialog_1096", L"strings"}),
              names);
    ASSERT_EQ(10u, sections.size());
    EXPECT_EQ((std::vector<std::wstring>{L"TranslatorName=", L"TranslatorURL=", L"Version="}), sections[0].lines);

    const std::vector<std::wstring>& menu = sections[1].lines;
    const std::vector<std::wstring> fileMenu = {L"70001=&File", L"40001=&Save Selected Items",
        L"40039=&Remove Selected Items", L"40051=&Try to Connect to Selected Devices", L"40009=&Properties",
        L"40027=Reset &List", L"40036=&Hide Main Window", L"40002=E&xit", L"70002=&Edit"};
    ASSERT_GE(menu.size(), fileMenu.size());
    EXPECT_EQ(fileMenu, std::vector<std::wstring>(menu.begin(), menu.begin() + fileMenu.size()));
    auto rate = std::find(menu.begin(), menu.end(), L"71001=&Update Rate");
    ASSERT_NE(menu.end(), rate);
    ASSERT_GE(menu.end() - rate, 4);
    EXPECT_EQ(L"70004=&Options", *(rate - 1));
    EXPECT_EQ(L"41103=&Low", *(rate + 1));
    EXPECT_EQ(L"41102=&Medium", *(rate + 2));
    EXPECT_EQ(L"41101=&High", *(rate + 3));
    EXPECT_EQ(L"70001=Context", sections[2].lines.at(0));
    EXPECT_EQ(L"70001=Tray", sections[3].lines.at(0));

    EXPECT_EQ((std::vector<std::wstring>{L"caption=Properties", L"1=OK", L"2=Cancel"}), sections[4].lines);
    std::vector<std::wstring> about = Keys(sections[6]);
    EXPECT_EQ((std::vector<std::wstring>{L"caption", L"1005", L"1"}), about);
    std::vector<std::wstring> columns = Keys(sections[8]);
    EXPECT_EQ(L"caption", columns.at(0));
    EXPECT_EQ(columns.end(), std::find(columns.begin(), columns.end(), L"1001"));   // the list has no text

    const std::vector<std::wstring>& strings = sections[9].lines;
    EXPECT_EQ(L"4=%d Bluetooth devices", strings.at(0));
    EXPECT_NE(strings.end(), std::find(strings.begin(), strings.end(), L"1013=Connection Result"));
    EXPECT_NE(strings.end(), std::find(strings.begin(), strings.end(), L"1504=Sensing Device"));
    EXPECT_NE(strings.end(), std::find(strings.begin(), strings.end(), L"60=, %d present"));
    EXPECT_NE(menu.end(), std::find(menu.begin(), menu.end(), L"40060=Presence &Timeline"));
    std::vector<std::wstring> advanced = Keys(sections[5]);
    EXPECT_NE(advanced.end(), std::find(advanced.begin(), advanced.end(), L"1011"));   // the departure command
    int resourceStrings = 0;
    wchar_t text[4096];
    for (int id = 0; id <= 0xFFFF; ++id)
        if (LoadStringW(GetModuleHandleW(nullptr), id, text, 4096) > 0) ++resourceStrings;
    EXPECT_EQ(static_cast<size_t>(resourceStrings), strings.size());
}

TEST_F(LanguageFileTest, SavingTwiceGivesTheSameFile) {
    nw::SaveLanguageFile(path_.c_str());
    std::vector<unsigned char> first = langtest::ReadBytes(path_);
    ASSERT_GT(first.size(), 2u);
    nw::SaveLanguageFile(path_.c_str());
    EXPECT_EQ(first, langtest::ReadBytes(path_));
}

TEST_F(LanguageFileTest, SavingOverATranslationKeepsEveryTranslatedValue) {
    langtest::WriteUtf16(path_, L"[strings]\r\n4=%d \u0423\u0441\u0442\u0440\u043e\u0439\u0441\u0442\u0432\r\n"
                                L"5=\r\n[general]\r\nTranslatorName=\u0418\u0432\u0430\u043d\r\nrtl=0\r\n"
                                L"[menu_102]\r\n40001=\u0421\u043e\u0445\u0440\u0430\u043d\u0438\u0442\u044c\r\n"
                                L"[dialog_111]\r\ncaption=\u041e\u043f\u0446\u0438\u0438\r\n");
    nw::SaveLanguageFile(path_.c_str());
    ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
    EXPECT_STREQ(L"\u0418\u0432\u0430\u043d", nw::TranslatorName());
    wchar_t text[256];
    ASSERT_TRUE(nw::ReadLanguageString(IDS_STATUS_DEVICES, text, 256));
    EXPECT_STREQ(L"%d \u0423\u0441\u0442\u0440\u043e\u0439\u0441\u0442\u0432", text);
    ASSERT_TRUE(nw::ReadLanguageString(IDS_STATUS_SELECTED, text, 256));   // was empty: filled in
    EXPECT_STREQ(L", %d selected", text);
    ASSERT_TRUE(nw::ReadLanguageString(IDS_YES, text, 256));               // was missing: added
    EXPECT_STREQ(L"Yes", text);
    GetPrivateProfileStringW(L"menu_102", L"40001", L"", text, 256, path_.c_str());
    EXPECT_STREQ(L"\u0421\u043e\u0445\u0440\u0430\u043d\u0438\u0442\u044c", text);
    GetPrivateProfileStringW(L"dialog_111", L"caption", L"", text, 256, path_.c_str());
    EXPECT_STREQ(L"\u041e\u043f\u0446\u0438\u0438", text);
    GetPrivateProfileStringW(L"general", L"rtl", L"", text, 256, path_.c_str());
    EXPECT_STREQ(L"0", text);

    // A hand-written eight-bit file keeps its values as well.
    langtest::WriteAnsi(path_, "[strings]\r\n10=Oui\r\n");
    nw::SaveLanguageFile(path_.c_str());
    ASSERT_TRUE(nw::LoadLanguageFile(path_.c_str()));
    ASSERT_TRUE(nw::ReadLanguageString(IDS_YES, text, 256));
    EXPECT_STREQ(L"Oui", text);
    ASSERT_TRUE(nw::ReadLanguageString(IDS_NO, text, 256));
    EXPECT_STREQ(L"No", text);
}
