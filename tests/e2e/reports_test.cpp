// Save, copy and HTML report through the real program: the save dialog with
// each file type, the clipboard after copy, the HTML report file, and the
// error box of a save that cannot write.
#include "e2e/AppSupport.h"
#include "TestClipboard.h"

#include <cstdlib>

namespace nw::e2e {
namespace {

// A name that needs escaping in every markup kind and quoting in CSV.
const char kHostileName[] = "<b>A&B, \"1\"</b>";
const wchar_t kHostileNameW[] = L"<b>A&B, \"1\"</b>";

LaunchOptions QuietOptions(const std::string& scenario) {
    LaunchOptions options;
    // Rate 3: twenty quiet seconds after the first scan, so no cell changes
    // between reading the list and the export.
    options.config = GeneralSection({{"TrayIcon", "0"}, {"DisplayBalloonOnNewDevice", "0"}, {"UpdateRate", "3"}});
    options.scenario = scenario;
    return options;
}

void WaitRows(const Program& program, int rows) {
    ASSERT_TRUE(program.WaitScans(1, 20000));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == rows; }, 5000)) << program.RowCount();
    ::Sleep(200);
}

std::wstring LineOf(const Row& row) {
    std::wstring line;
    for (const auto& cell : row) line += cell + L"\t";
    return line + L"\r\n";
}

std::wstring Utf16(const std::string& bytes, size_t skip) {
    std::wstring text;
    for (size_t i = skip; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    return text;
}

bool HasBom(const std::string& bytes) {
    return bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE;
}

using nw::test::ClipboardText;

void SetClipboardText(const std::wstring& text) {
    ASSERT_TRUE(WaitUntil([] { return ::OpenClipboard(nullptr) != FALSE; }, 2000));
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(::GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_UNICODETEXT, block);
    ::CloseClipboard();
}

TEST(ReportsE2E, SaveWritesTheFormatOfTheChosenTypeWhateverTheName) {
    Program program;
    NW_LAUNCH(program, QuietOptions(std::string("unit_ms 5\ndevice 0a:00:00:00:00:01 name=") + kHostileName +
                                    "\ndevice 0a:00:00:00:00:02 name=Second\n"));
    WaitRows(program, 2);
    int row = program.FindRow(0, kHostileNameW);
    ASSERT_GE(row, 0);
    ASSERT_TRUE(program.SelectOnly(row));
    const Row cells = program.RowTexts(row);
    ASSERT_EQ(17u, cells.size());

    for (int type = 1; type <= 7; ++type) {
        // One extension for all: the type chosen decides the format.
        std::wstring name = L"saved" + std::to_wstring(type) + L".txt";
        int offered = 0;
        HWND dialog = SaveThroughDialog(program, type, program.PathOf(name), &offered);
        ASSERT_TRUE(dialog) << "no save dialog for type " << type;
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }, 8000)) << "save dialog still open, type " << type;
        ASSERT_TRUE(WaitUntil([&] { return program.FileWritten(name); }, 5000)) << "type " << type;
        ::Sleep(200);
        EXPECT_EQ(type == 1 ? 1 : type - 1, offered) << "the last type chosen is offered again";
        EXPECT_TRUE(program.Dialogs().empty()) << "an error box after saving type " << type;

        std::string bytes = FileText(program, name);
        EXPECT_EQ(type != 7, HasBom(bytes)) << type;
        std::wstring text = Utf16(bytes, 2);
        switch (type) {
            case 1:
                EXPECT_EQ(0u, text.find(std::wstring(50, L'=') + L"\r\n")) << "type 1";
                EXPECT_NE(std::wstring::npos, text.find(cells[0] + L"\r\n"));
                break;
            case 2:
                EXPECT_EQ(LineOf(cells), text);
                break;
            case 3:
                EXPECT_EQ(0u, text.find(L"<b>A&B, \"1\"</b>     ")) << "type 3";
                EXPECT_NE(std::wstring::npos, text.find(L" 0a:00:00:00:00:01    "));
                break;
            case 4:
                EXPECT_EQ(0u, text.find(L"<!DOCTYPE HTML PUBLIC")) << "type 4";
                EXPECT_NE(std::wstring::npos,
                          text.find(L"<tr><td bgcolor=#FFFFFF nowrap>&lt;b&gt;A&amp;B, &quot;1&quot;&lt;/b&gt;<td"));
                EXPECT_EQ(std::wstring::npos, text.find(L"Second"));
                EXPECT_EQ(text.size() - 16, text.rfind(L"\r\n</body></html>"));
                break;
            case 5:
                EXPECT_NE(std::wstring::npos, text.find(L"nowrap><b>" + program.ColumnTitle(0) + L"</b>")) << "type 5";
                EXPECT_NE(std::wstring::npos, text.find(L"&lt;b&gt;A&amp;B, &quot;1&quot;&lt;/b&gt;\r\n"));
                break;
            case 6: {
                EXPECT_EQ(0u, text.find(L"<?xml version=\"1.0\" encoding=\"UTF-16\" ?>\r\n<")) << "type 6";
                EXPECT_NE(std::wstring::npos,
                          text.find(L"<item>\r\n<device_name>&lt;b&gt;A&amp;B, &quot;1&quot;&lt;/b&gt;</device_name>"));
                // Left for an XML parser on the host (tools/check-xml-export.sh).
                const char* out = getenv("NW_XML_EXPORT_OUT");
                if (out && *out) ::CopyFileW(program.PathOf(name).c_str(), Widen(out).c_str(), FALSE);
                break;
            }
            case 7: {
                std::string expected = "\"<b>A&B, \"\"1\"\"</b>\",,0a:00:00:00:00:01,";
                EXPECT_EQ(expected, bytes.substr(0, expected.size())) << "type 7";
                EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
                break;
            }
        }
    }
    ExitByMenu(program);
    std::vector<std::wstring> lines = SplitLines(DecodeText(FileText(program, L"nearwatch.cfg")));
    EXPECT_EQ(L"7", ValueOf(lines, L"SaveFilterIndex"));
}

TEST(ReportsE2E, CopyPutsTheSelectedRowsOnTheClipboardAsTabbedLines) {
    Program program;
    NW_LAUNCH(program, QuietOptions("unit_ms 5\ndevice 0a:00:00:00:00:01 name=Alpha\n"
                                    "device 0a:00:00:00:00:02 name=Beta\ndevice 0a:00:00:00:00:03 name=Gamma\n"));
    WaitRows(program, 3);
    ASSERT_TRUE(program.SelectOnly(0));
    ASSERT_TRUE(program.SelectRow(2));
    std::wstring expected = LineOf(program.RowTexts(0)) + LineOf(program.RowTexts(2));

    SetClipboardText(L"before the copy");
    ASSERT_TRUE(program.Command(IDM_COPY_SELECTED));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::wstring now = ClipboardText();
            return !now.empty() && now != L"before the copy";
        },
        5000));
    std::wstring pasted = ClipboardText();
    EXPECT_EQ(expected, pasted);
    ASSERT_FALSE(pasted.empty());
    EXPECT_NE(0xFEFF, pasted[0]) << "no byte order mark on the clipboard";
    EXPECT_TRUE(program.Dialogs().empty());

    // The temporary file is gone again.
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW found;
    int leftovers = 0;
    HANDLE find = ::FindFirstFileW((std::wstring(temp) + L"cp*.tmp").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string content;
            std::wstring path = std::wstring(temp) + found.cFileName;
            HANDLE f = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
            if (f != INVALID_HANDLE_VALUE) {
                char buffer[256];
                DWORD got = 0;
                if (::ReadFile(f, buffer, sizeof buffer, &got, nullptr)) content.assign(buffer, got);
                ::CloseHandle(f);
            }
            if (Utf16(content, 0).find(L"Alpha\t") == 0) ++leftovers;
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    EXPECT_EQ(0, leftovers);
    ExitByMenu(program);
}

TEST(ReportsE2E, HtmlReportOfAllRowsThenOfTheSelectedOnes) {
    Program program;
    NW_LAUNCH(program, QuietOptions("unit_ms 5\ndevice 0a:00:00:00:00:01 name=Alpha\n"
                                    "device 0a:00:00:00:00:02 name=Beta & Co\n"));
    WaitRows(program, 2);
    ASSERT_TRUE(program.Command(IDM_HTML_ALL));
    std::wstring all;
    ASSERT_TRUE(WaitUntil([&] { return !(all = WholeReport(program)).empty(); }, 5000));
    EXPECT_NE(std::wstring::npos, all.find(L"nowrap>Alpha<td"));
    EXPECT_NE(std::wstring::npos, all.find(L"nowrap>Beta &amp; Co<td"));
    EXPECT_NE(std::wstring::npos, all.find(L"<tr bgcolor=\"E0E0E0\">\r\n<th>" + program.ColumnTitle(0) + L"\r\n"));

    int beta = program.FindRow(0, L"Beta & Co");
    ASSERT_GE(beta, 0);
    ASSERT_TRUE(program.SelectOnly(beta));
    ASSERT_TRUE(program.Command(IDM_HTML_SELECTED));
    // The report is rewritten in place: wait for a whole one without Alpha.
    std::wstring selected;
    ASSERT_TRUE(WaitUntil(
        [&] {
            selected = WholeReport(program);
            return !selected.empty() && selected.find(L"Alpha") == std::wstring::npos;
        },
        5000));
    EXPECT_NE(std::wstring::npos, selected.find(L"nowrap>Beta &amp; Co<td"));
    ::Sleep(300);
    EXPECT_TRUE(program.Dialogs().empty()) << "no error box";
    ExitByMenu(program);
    EXPECT_FALSE(program.FileExists(L"report.html")) << "the report goes with the program";
}

TEST(ReportsE2E, ASaveThatCannotWriteShowsTheSystemError) {
    Program program;
    NW_LAUNCH(program, QuietOptions("unit_ms 5\ndevice 0a:00:00:00:00:01 name=Alpha\n"));
    WaitRows(program, 1);
    ASSERT_TRUE(program.SelectOnly(0));
    // Held open without sharing: the program cannot create it anew.
    ASSERT_TRUE(program.WriteFile(L"locked.txt", "old"));
    HANDLE held = ::CreateFileW(program.PathOf(L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    HWND dialog = SaveThroughDialog(program, 2, program.PathOf(L"locked.txt"));
    ASSERT_TRUE(dialog);
    // The overwrite question first, then the error box.
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        for (HWND d : program.Dialogs()) {
            if (d == dialog) continue;
            if (Program::WindowText(d) == L"Error") { box = d; return true; }
            if (::GetDlgItem(d, IDYES)) Program::PressButton(d, IDYES);
        }
        return false;
    }, 8000));
    std::wstring message = Program::DialogText(box);
    EXPECT_EQ(0u, message.find(L"Error 32: ")) << Narrow(message);
    EXPECT_GT(message.size(), 11u) << "the system's text follows";
    Program::PressButton(box, IDOK);
    ASSERT_TRUE(program.WaitNoDialog(5000));
    ::CloseHandle(held);
    EXPECT_EQ("old", FileText(program, L"locked.txt"));
    ExitByMenu(program);
}

}  // namespace
}  // namespace nw::e2e
