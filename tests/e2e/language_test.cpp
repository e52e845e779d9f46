// The language file beside the real program: the shipped German translation
// and the right-to-left sample, read back from the running windows.
#include "e2e/AppSupport.h"
#include "TestFolder.h"

#include <cstdio>

namespace nw::e2e {
namespace {

using nw::test::SourceFile;

const wchar_t kGerman[] = L"lang/translations/german/nearwatch_lng.ini";
const wchar_t kRightToLeft[] = L"tests/data/rtl_lng.ini";

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0) bytes.append(block, n);
    fclose(f);
    return bytes;
}

// UTF-16 with a byte-order mark, as the shipped files are.
std::string EncodeUtf16(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

// A shipped language file with one line replaced (or, with from empty, a
// line added after "[general]").
std::string EditedLanguageFile(const wchar_t* relative, const std::wstring& from, const std::wstring& to) {
    std::wstring text = DecodeText(ReadBytes(SourceFile(relative)));
    if (from.empty()) {
        size_t at = text.find(L"[general]\r\n");
        if (at != std::wstring::npos) text.insert(at + 11, to + L"\r\n");
    } else {
        size_t at = text.find(from);
        if (at != std::wstring::npos) text.replace(at, from.size(), to);
    }
    return EncodeUtf16(text);
}

const char kTwoDevices[] =
    "unit_ms 5\n"
    "device 0a:00:00:00:00:01 class=0x5a020c connected=1 name=Phone\n"
    "device 0a:00:00:00:00:02 class=0x240404 name=Headset\n";

// Rate 3: no rescan disturbs the reads after the first one.
std::string QuietConfig() { return GeneralSection({{"UpdateRate", "3"}, {"TrayIcon", "0"}}); }

std::wstring MenuText(HMENU menu, UINT item, UINT flags) {
    wchar_t text[512] = {};
    ::GetMenuStringW(menu, item, text, 512, flags);
    return text;
}

// Windows lets one process read another's menu through its handle; Wine
// keeps menus inside their process (GetMenuItemCount answers -1).
bool CanReadForeignMenu(HMENU menu) { return menu && ::GetMenuItemCount(menu) >= 0; }

// One line of text in an open pop-up menu: its rows on the screen and the
// x of its rightmost black pixel.
struct TextBand {
    int top = 0;
    int bottom = 0;
    int right = 0;
};

// Black text of a window's pixels, grouped into lines.
std::vector<TextBand> BlackTextBands(HWND window) {
    std::vector<TextBand> bands;
    RECT r = {};
    ::GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 6 || h <= 6) return bands;
    const std::vector<uint32_t> p = ScreenPixels(r);
    if (p.empty()) return bands;
    // The frame's outer lines are dark: stay three pixels inside. An
    // access-key underline may stand a blank line below its text.
    for (int y = 3; y < h - 3; ++y) {
        int right = -1;
        for (int x = 3; x < w - 3; ++x)
            if (IsBlackText(p[static_cast<size_t>(y) * w + x])) right = x;
        if (right < 0) continue;
        if (bands.empty() || y > bands.back().bottom + 2) bands.push_back({y, y, right});
        bands.back().bottom = y;
        if (right > bands.back().right) bands.back().right = right;
    }
    return bands;
}

HWND VisiblePopup(const Program& program) {
    for (HWND popup : ProcessWindows(program.Pid(), L"#32768"))
        if (::IsWindowVisible(popup)) return popup;
    return nullptr;
}

// Opens a pop-up of the menu bar the way Alt plus its access key does.
HWND OpenBarPopup(const Program& program, wchar_t accessKey) {
    if (!::PostMessageW(program.MainWindow(), WM_SYSCOMMAND, SC_KEYMENU, accessKey)) return nullptr;
    HWND popup = nullptr;
    WaitUntil([&] { return (popup = VisiblePopup(program)) != nullptr; }, 3000);
    return popup;
}

void CloseMenus(const Program& program, HWND popup) {
    for (int i = 0; i < 2 && VisiblePopup(program); ++i) {
        ::PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        ::Sleep(100);
    }
    ::PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);   // leaves the menu bar
    ::Sleep(100);
}

bool LaidOutRightToLeft(HWND window) {
    return (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
}

void LaunchWithDevices(Program& program, const std::string& language) {
    LaunchOptions options;
    options.scenario = kTwoDevices;
    options.config = QuietConfig();
    options.language = language;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 10000));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 2; }, 5000));
    ::Sleep(200);   // status text and cells written
}

}  // namespace

TEST(Language, GermanFileTranslatesColumnsStatusCellsAndMenus) {
    Program program;
    LaunchWithDevices(program, ReadBytes(SourceFile(kGerman)));
    if (HasFatalFailure()) return;

    EXPECT_EQ(L"Gerätename", program.ColumnTitle(0));
    EXPECT_EQ(L"Beschreibung", program.ColumnTitle(1));
    EXPECT_EQ(L"Adresse", program.ColumnTitle(2));
    EXPECT_EQ(L"Hauptgerätetyp", program.ColumnTitle(3));
    EXPECT_EQ(L"Verbindungsergebnis", program.ColumnTitle(12));
    EXPECT_EQ(L"Adresstyp", program.ColumnTitle(15));
    EXPECT_EQ(L"2 Bluetooth-Geräte, 2 anwesend", program.StatusText(0));

    int phone = program.FindRow(2, L"0a:00:00:00:00:01");
    ASSERT_GE(phone, 0);
    EXPECT_EQ(L"Telefon", program.Cell(phone, 3));
    EXPECT_EQ(L"Smartphone", program.Cell(phone, 4));
    EXPECT_EQ(L"Ja", program.Cell(phone, 8));
    EXPECT_EQ(L"Nein", program.Cell(phone, 9));

    ASSERT_TRUE(program.SelectOnly(phone));
    EXPECT_TRUE(WaitUntil([&] { return program.StatusText(0) == L"2 Bluetooth-Geräte, 2 anwesend, 1 ausgewählt"; }, 3000))
        << Narrow(program.StatusText(0));

    // No rtl key: left to right.
    EXPECT_FALSE(LaidOutRightToLeft(program.MainWindow()));
    EXPECT_FALSE(LaidOutRightToLeft(program.List()));

    HMENU menu = ::GetMenu(program.MainWindow());
    ASSERT_TRUE(menu);
    if (CanReadForeignMenu(menu)) {
        EXPECT_EQ(L"&Datei", MenuText(menu, 0, MF_BYPOSITION));
        EXPECT_EQ(L"&Hilfe", MenuText(menu, 4, MF_BYPOSITION));
        // The file's texts have no accelerator part; the program keeps the
        // resource's.
        EXPECT_EQ(L"Ausgewählte Einträge &speichern\tCtrl+S", MenuText(menu, IDM_SAVE_SELECTED, MF_BYCOMMAND));
        EXPECT_EQ(L"&Liste zurücksetzen\tCtrl+R", MenuText(menu, IDM_RESET, MF_BYCOMMAND));
        EXPECT_EQ(L"Spaltenbreiten automatisch an&passen\tCtrl+Plus",
                  MenuText(menu, IDM_AUTOSIZE_COLUMNS, MF_BYCOMMAND));
        EXPECT_EQ(L"&Beenden", MenuText(menu, IDM_EXIT, MF_BYCOMMAND));
        HMENU options = ::GetSubMenu(menu, 3);   // its nested pop-up has key 71001
        ASSERT_TRUE(options);
        EXPECT_EQ(L"&Aktualisierungsrate", MenuText(options, 0, MF_BYPOSITION));
        EXPECT_EQ(L"&Hoch", MenuText(menu, IDM_RATE_HIGH, MF_BYCOMMAND));
    } else {
        // Read the open menu's pixels instead. "&Datei" answers Alt+D.
        HWND popup = OpenBarPopup(program, L'd');
        ASSERT_TRUE(popup) << "Alt+D opened no menu";
        // The highlight goes to the last item (Beenden), so the others show
        // black text.
        ::PostMessageW(popup, WM_KEYDOWN, VK_UP, 0);
        ::Sleep(400);
        std::vector<TextBand> rows = BlackTextBands(popup);
        CloseMenus(program, popup);
        // Speichern\tCtrl+S, Entfernen\tDel, Verbindung (the longest label,
        // no accelerator part), Eigenschaften\tAlt+Enter, Zurücksetzen\tCtrl+R,
        // Ausblenden\tCtrl+H. Accelerator parts stand in a column right of the
        // longest label.
        ASSERT_EQ(6u, rows.size());
        EXPECT_GT(rows[0].right, rows[2].right + 5);
        EXPECT_GT(rows[1].right, rows[2].right + 5);
        EXPECT_GT(rows[4].right, rows[2].right + 5);
        EXPECT_GT(rows[5].right, rows[2].right + 5);
    }

    // "&Datei", then "&Beenden": the translated access keys end the program.
    HWND popup = OpenBarPopup(program, L'd');
    ASSERT_TRUE(popup);
    ::PostMessageW(popup, WM_CHAR, L'b', 0);
    DWORD code = 99;
    EXPECT_TRUE(program.WaitExit(10000, &code));
    EXPECT_EQ(0u, code);
}

TEST(Language, RtlOneMirrorsTheMainWindow) {
    Program program;
    LaunchWithDevices(program, ReadBytes(SourceFile(kRightToLeft)));
    if (HasFatalFailure()) return;
    EXPECT_TRUE(LaidOutRightToLeft(program.MainWindow()));
    // The children take the layout from their parent.
    EXPECT_TRUE(LaidOutRightToLeft(program.List()));
    EXPECT_EQ(L"שם ההתקן", program.ColumnTitle(0));
    // A file from before the presence texts: those stay the program's own.
    EXPECT_EQ(L"2 התקני Bluetooth, 2 present", program.StatusText(0));
    // Untranslated texts stay the program's own.
    EXPECT_EQ(L"Major Device Type", program.ColumnTitle(3));
    HMENU menu = ::GetMenu(program.MainWindow());
    ASSERT_TRUE(menu);
    if (CanReadForeignMenu(menu)) {
        EXPECT_EQ(L"&שמירת הפריטים הנבחרים\tCtrl+S", MenuText(menu, IDM_SAVE_SELECTED, MF_BYCOMMAND));
        EXPECT_EQ(L"&Edit", MenuText(menu, 1, MF_BYPOSITION));
    }
    // "&קובץ", then "י&ציאה".
    HWND popup = OpenBarPopup(program, L'ק');
    ASSERT_TRUE(popup) << "the Hebrew access key opened no menu";
    ::PostMessageW(popup, WM_CHAR, L'צ', 0);
    DWORD code = 99;
    EXPECT_TRUE(program.WaitExit(10000, &code));
    EXPECT_EQ(0u, code);
}

TEST(Language, RtlTwoLeavesTheLayoutLeftToRight) {
    Program program;
    LaunchWithDevices(program, EditedLanguageFile(kRightToLeft, L"rtl=1", L"rtl=2"));
    if (HasFatalFailure()) return;
    EXPECT_FALSE(LaidOutRightToLeft(program.MainWindow()));
    EXPECT_FALSE(LaidOutRightToLeft(program.List()));
    // The file is in use all the same.
    EXPECT_EQ(L"שם ההתקן", program.ColumnTitle(0));
    ExitByMenu(program);
}

TEST(Language, HtmlReportNamesTheFilesCharacterSet) {
    Program program;
    LaunchWithDevices(program, EditedLanguageFile(kGerman, L"", L"charset=utf-8"));
    if (HasFatalFailure()) return;
    ASSERT_TRUE(program.Command(IDM_HTML_ALL));
    std::wstring html;
    ASSERT_TRUE(WaitUntil([&] { return !(html = WholeReport(program)).empty(); }, 10000));
    EXPECT_NE(std::wstring::npos, html.find(L"<html><head><meta http-equiv='content-type' "
                                            L"content='text/html;charset=utf-8'><title>Liste der Bluetooth-Geräte"
                                            L"</title></head>"));
    EXPECT_NE(std::wstring::npos, html.find(L"Gerätename"));
    EXPECT_NE(std::wstring::npos, html.find(L"Telefon"));
    EXPECT_EQ(std::wstring::npos, html.find(L"dir=\"rtl\""));
    ExitByMenu(program);
}

TEST(Language, HtmlReportWithoutCharsetHasNoMetaElement) {
    Program program;
    LaunchWithDevices(program, ReadBytes(SourceFile(kRightToLeft)));
    if (HasFatalFailure()) return;
    ASSERT_TRUE(program.Command(IDM_HTML_ALL));
    std::wstring html;
    ASSERT_TRUE(WaitUntil([&] { return !(html = WholeReport(program)).empty(); }, 10000));
    EXPECT_EQ(std::wstring::npos, html.find(L"<meta"));
    EXPECT_NE(std::wstring::npos, html.find(L"<table dir=\"rtl\"><tr><td>"));
    EXPECT_NE(std::wstring::npos, html.find(L"<title>רשימת התקני Bluetooth</title>"));
    ExitByMenu(program);
}

}  // namespace nw::e2e
