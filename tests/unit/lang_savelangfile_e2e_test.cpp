// Runs the real program with /SaveLangFile in a folder of its own.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "lang_test_support.h"

namespace {

std::wstring ProgramBesideTests() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    std::wstring folder(path);
    folder.resize(folder.rfind(L'\\'));
    return folder + L"\\nearwatch.exe";
}

struct RunResult {
    bool finished = false;
    DWORD exitCode = 0;
    bool windowSeen = false;
};

struct Watch {
    DWORD pid;
    bool seen;
};

BOOL CALLBACK NoteWindowOf(HWND window, LPARAM context) {
    auto* watch = reinterpret_cast<Watch*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == watch->pid && IsWindowVisible(window)) watch->seen = true;
    return TRUE;
}

// Starts the program and watches for any window of its process until it ends.
RunResult RunProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder) {
    RunResult result;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return result;
    Watch watch = {process.dwProcessId, false};
    for (int i = 0; i < 600; ++i) {
        EnumWindows(NoteWindowOf, reinterpret_cast<LPARAM>(&watch));
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            result.finished = true;
            break;
        }
    }
    if (!result.finished) TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    result.windowSeen = watch.seen;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

}  // namespace

TEST(SaveLangFileRun, WritesTheFileAndEndsWithoutAWindow) {
    std::wstring original = ProgramBesideTests();
    if (GetFileAttributesW(original.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "nearwatch.exe not built";
    langtest::TempFolder folder;
    std::wstring exe = folder.File(L"nw.exe");
    ASSERT_TRUE(CopyFileW(original.c_str(), exe.c_str(), FALSE));
    std::wstring langFile = folder.File(L"nw_lng.ini");
    // A translation already there must survive.
    langtest::WriteUtf16(langFile, L"[strings]\r\n10=\u0414\u0430\r\n");

    RunResult run = RunProgram(exe, L"/SaveLangFile", folder.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_FALSE(run.windowSeen);
    std::vector<std::wstring> lines = langtest::ReadUtf16Lines(langFile);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(L"[strings]", lines[0]);
    EXPECT_EQ(L"10=\u0414\u0430", lines[1]);
    auto has = [&](const wchar_t* line) {
        for (const std::wstring& l : lines) if (l == line) return true;
        return false;
    };
    EXPECT_TRUE(has(L"[menu_102]"));
    EXPECT_TRUE(has(L"[dialog_1096]"));
    EXPECT_FALSE(has(L"[dialog_107]"));
    EXPECT_TRUE(has(L"11=No"));
    EXPECT_TRUE(has(L"TranslatorName="));
    // The configuration file is not touched by this run.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.File(L"nw.cfg").c_str()));

    std::vector<unsigned char> first = langtest::ReadBytes(langFile);
    run = RunProgram(exe, L"/savelangfile", folder.Path());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(first, langtest::ReadBytes(langFile));
}
