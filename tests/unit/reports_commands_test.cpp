// The pieces of the save, copy and report commands that need no dialog.
#include <gtest/gtest.h>
#include "reports/ReportCommands.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "resource.h"
#include <windows.h>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> SplitAtZeros(const wchar_t* list, size_t units) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t i = 0; i < units; ++i) {
        if (list[i] == 0) {
            parts.emplace_back(list + start, i - start);
            start = i + 1;
        }
    }
    return parts;
}

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return folder;
}

}  // namespace

TEST(ReportCommands, SaveFilterListsTheSevenTypesInKindOrder) {
    wchar_t filter[2048];
    size_t used = nw::BuildSaveFilter(filter, 2048);
    ASSERT_GT(used, 0u);
    std::vector<std::wstring> parts = SplitAtZeros(filter, used);
    ASSERT_EQ(15u, parts.size());   // seven pairs and the final empty string
    EXPECT_EQ(std::wstring(nw::GetString(IDS_FILETYPE_TEXT)) + L" (*.txt)", parts[0]);
    EXPECT_EQ(L"*.txt", parts[1]);
    EXPECT_EQ(std::wstring(nw::GetString(IDS_FILETYPE_HTML_V)) + L" (*.htm;*.html)", parts[8]);
    EXPECT_EQ(L"*.htm;*.html", parts[9]);
    EXPECT_EQ(L"*.xml", parts[11]);
    EXPECT_EQ(std::wstring(nw::GetString(IDS_FILETYPE_CSV)) + L" (*.csv)", parts[12]);
    EXPECT_EQ(L"*.csv", parts[13]);
    EXPECT_EQ(L"", parts[14]);
    // Too small: nothing half-built.
    EXPECT_EQ(0u, nw::BuildSaveFilter(filter, 40));
    EXPECT_EQ(0, filter[0]);
    EXPECT_EQ(0, filter[1]);
}

TEST(ReportCommands, ReportPathInFolderAddsOneBackslashAndRespectsMaxPath) {
    wchar_t out[MAX_PATH];
    ASSERT_TRUE(nw::ReportPathInFolder(L"C:\\Tools", out, MAX_PATH));
    EXPECT_STREQ(L"C:\\Tools\\report.html", out);
    ASSERT_TRUE(nw::ReportPathInFolder(L"C:\\Temp\\", out, MAX_PATH));
    EXPECT_STREQ(L"C:\\Temp\\report.html", out);
    // folder + 11 + 1 must stay below 260.
    std::wstring longest(247, L'a');
    EXPECT_TRUE(nw::ReportPathInFolder(longest.c_str(), out, MAX_PATH));
    std::wstring tooLong(248, L'a');
    EXPECT_FALSE(nw::ReportPathInFolder(tooLong.c_str(), out, MAX_PATH));
    EXPECT_STREQ(L"", out);
    EXPECT_FALSE(nw::ReportPathInFolder(L"C:\\Tools", out, 10));
}

TEST(ReportCommands, WritableFoldersAreFoundByCreatingAProbe) {
    std::wstring temp = TempFolder();
    EXPECT_TRUE(nw::FolderAcceptsNewFiles(temp.c_str()));
    // The probe leaves nothing behind.
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((temp + L"nw*.tmp").c_str(), &data);
    bool leftover = false;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcsstr(data.cFileName, L"-") && wcsncmp(data.cFileName, L"nw", 2) == 0) {
                wchar_t pid[32];
                nw::FormatText(pid, 32, L"nw%lu-", GetCurrentProcessId());
                if (wcsncmp(data.cFileName, pid, wcslen(pid)) == 0) leftover = true;
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    EXPECT_FALSE(leftover);
    EXPECT_FALSE(nw::FolderAcceptsNewFiles((temp + L"no-such-folder-for-nw\\deeper").c_str()));
    EXPECT_FALSE(nw::FolderAcceptsNewFiles(L""));
}

TEST(ReportCommands, ReportPathLiesBesideTheWritableProgram) {
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(nw::ComputeReportPath(path, MAX_PATH));
    wchar_t folder[MAX_PATH];
    ASSERT_TRUE(nw::ModuleFolder(folder, MAX_PATH));
    EXPECT_EQ(std::wstring(folder) + L"\\report.html", path);
}

TEST(ReportCommands, SystemErrorTextComesFromTheSystem) {
    wchar_t text[1024];
    nw::SystemErrorText(ERROR_ACCESS_DENIED, text, 1024);
    EXPECT_NE(0, text[0]);
    EXPECT_STRNE(L"Unknown Error", text);
    size_t len = wcslen(text);
    EXPECT_NE(L'\n', text[len - 1]);
    nw::SystemErrorText(0x3FFFFF00, text, 1024);
    EXPECT_STREQ(L"Unknown Error", text);
    // Network codes: whatever the library holds, never an empty text.
    nw::SystemErrorText(2250, text, 1024);
    EXPECT_NE(0, text[0]);
}

TEST(ReportCommands, PlaceFileOnClipboardRoundTrip) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(owner);
    std::wstring path = TempFolder() + L"nwclip-test.txt";
    // An odd byte count: the terminator goes at the last even offset.
    const wchar_t text[] = L"a\tb\t\r\nc\t\r\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(wcslen(text) * 2 + 1), &written, nullptr);
    CloseHandle(file);

    bool opened = false;
    for (int i = 0; i < 50 && !opened; ++i) {
        opened = OpenClipboard(owner) != FALSE;
        if (!opened) Sleep(20);
    }
    ASSERT_TRUE(opened);
    EXPECT_EQ(0u, nw::PlaceFileOnClipboard(path.c_str()));   // closes the clipboard

    ASSERT_TRUE(OpenClipboard(owner));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_TRUE(data);
    const wchar_t* pasted = static_cast<const wchar_t*>(GlobalLock(data));
    ASSERT_TRUE(pasted);
    EXPECT_STREQ(text, pasted);
    GlobalUnlock(data);
    CloseClipboard();

    // A missing file: the error code, the clipboard emptied and closed again.
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), nw::PlaceFileOnClipboard((path + L".missing").c_str()));
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    CloseClipboard();

    DeleteFileW(path.c_str());
    DestroyWindow(owner);
}
