#include <gtest/gtest.h>
#include <windows.h>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>
#include "frame/CrashReport.h"
#include "frame/Frame.h"
#include "TestClipboard.h"
#include "resource.h"

namespace {

// ---- Dumps ---------------------------------------------------------------------

std::vector<uint8_t> CountingBytes() {
    std::vector<uint8_t> bytes(nw::kDumpBytes);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
    return bytes;
}

TEST(CrashDump, StackDumpIsThirtyTwoGroupsOfFour) {
    const std::vector<uint8_t> bytes = CountingBytes();
    wchar_t text[nw::kDumpChars];
    const size_t length = nw::FormatDump(bytes.data(), bytes.size(), 4, text, nw::kDumpChars);
    const std::wstring dump(text);
    EXPECT_EQ(dump.size(), length);
    EXPECT_EQ(0u, dump.rfind(L"  A0 A1 A2 A3   A4", 0));
    // Groups are set apart by three spaces; inside a group one space.
    std::vector<std::wstring> groups;
    size_t at = 2;
    while (at < dump.size()) {
        size_t end = dump.find(L"   ", at);
        if (end == std::wstring::npos) end = dump.size();
        groups.push_back(dump.substr(at, end - at));
        at = end + 3;
    }
    ASSERT_EQ(32u, groups.size());
    for (const std::wstring& g : groups) {
        ASSERT_EQ(11u, g.size()) << g;
        EXPECT_EQ(L' ', g[2]);
        EXPECT_EQ(L' ', g[5]);
        EXPECT_EQ(L' ', g[8]);
    }
    EXPECT_EQ(L"1C 1D 1E 1F", groups.back());
    EXPECT_EQ(2u + 128 * 2 + 127 + 31 * 2, dump.size());
}

TEST(CrashDump, CodeDumpIsSingleSpacedUpperCase) {
    const std::vector<uint8_t> bytes = CountingBytes();
    wchar_t text[nw::kDumpChars];
    nw::FormatDump(bytes.data(), bytes.size(), 0, text, nw::kDumpChars);
    const std::wstring dump(text);
    ASSERT_EQ(128u * 2 + 127, dump.size());
    EXPECT_EQ(0u, dump.rfind(L"A0 A1 A2", 0));
    for (size_t i = 0; i < 128; ++i) {
        if (i > 0) {
            EXPECT_EQ(L' ', dump[i * 3 - 1]);
        }
        EXPECT_TRUE(iswxdigit(dump[i * 3]) && !iswlower(dump[i * 3]));
    }
    EXPECT_EQ(std::wstring::npos, dump.find(L"  "));
}

TEST(CrashDump, CutsToTheBuffer) {
    const std::vector<uint8_t> bytes = CountingBytes();
    wchar_t text[10];
    EXPECT_EQ(9u, nw::FormatDump(bytes.data(), bytes.size(), 4, text, 10));
    EXPECT_STREQ(L"  A0 A1 A", text);
}

// ---- Composition --------------------------------------------------------------------

TEST(CrashReportText, ThirtyTwoBitReportHasEightDigitRegisters) {
    nw::CrashFacts facts;
    facts.code = 0xC0000005;
    facts.address = 0x00401A2B;
    facts.module = L"nearwatch.exe";
    facts.ax = 1; facts.bx = 0xABCDEF; facts.cx = 3; facts.dx = 4;
    facts.si = 5; facts.di = 6; facts.bp = 0x0012FF80; facts.sp = 0x0012FF40; facts.ip = 0x00401A2B;
    facts.stackDump = L"  00 11 22 33";
    facts.codeDump = L"8B 00";
    wchar_t text[nw::kReportChars];
    nw::ComposeCrashReport(facts, text, nw::kReportChars);
    EXPECT_STREQ(L"Exception C0000005 at address 00401A2B in module nearwatch.exe\r\n"
                 L"Registers: \r\n"
                 L"EAX=00000001 EBX=00ABCDEF ECX=00000003 EDX=00000004\r\n"
                 L"ESI=00000005 EDI=00000006 EBP=0012FF80 ESP=0012FF40\r\n"
                 L"EIP=00401A2B\r\n"
                 L"Stack Data:   00 11 22 33\r\n"
                 L"Code Data: 8B 00\r\n",
                 text);
}

TEST(CrashReportText, SixtyFourBitReportShowsFullAddresses) {
    nw::CrashFacts facts;
    facts.code = 0xC0000005;
    facts.address = 0x00007FF6A1B2C3D4ull;
    facts.module = L"nearwatch.exe";
    facts.wide = true;
    facts.ax = 0xFFFFFFFF00000001ull;
    facts.sp = 0x000000000014FE10ull;
    facts.ip = 0x00007FF6A1B2C3D4ull;
    wchar_t text[nw::kReportChars];
    nw::ComposeCrashReport(facts, text, nw::kReportChars);
    const std::wstring report(text);
    EXPECT_EQ(0u, report.rfind(L"Exception C0000005 at address 00007FF6A1B2C3D4 in module "
                               L"nearwatch.exe\r\nRegisters: \r\n",
                               0))
        << report;
    EXPECT_NE(std::wstring::npos,
              report.find(L"RAX=FFFFFFFF00000001 RBX=0000000000000000 RCX=0000000000000000 "
                          L"RDX=0000000000000000\r\n"));
    EXPECT_NE(std::wstring::npos, report.find(L"RSP=000000000014FE10\r\nRIP=00007FF6A1B2C3D4\r\n"));
    EXPECT_NE(std::wstring::npos, report.find(L"\r\nStack Data: \r\nCode Data: \r\n"));
    EXPECT_EQ(std::wstring::npos, report.find(L"EAX"));
}

TEST(CrashReportText, FullReportFitsWithBothDumps) {
    const std::vector<uint8_t> bytes = CountingBytes();
    wchar_t stack[nw::kDumpChars], code[nw::kDumpChars];
    nw::FormatDump(bytes.data(), bytes.size(), 4, stack, nw::kDumpChars);
    nw::FormatDump(bytes.data(), bytes.size(), 0, code, nw::kDumpChars);
    nw::CrashFacts facts;
    facts.wide = true;
    facts.module = L"a-rather-long-module-name-for-a-dll.dll";
    facts.stackDump = stack;
    facts.codeDump = code;
    wchar_t text[nw::kReportChars];
    const size_t length = nw::ComposeCrashReport(facts, text, nw::kReportChars);
    EXPECT_LT(length, nw::kReportChars - 1);
    EXPECT_EQ(0, std::wcscmp(text + length - 2, L"\r\n"));
}

// ---- Module names ---------------------------------------------------------------------

TEST(CrashModule, PathsBecomeDrivePaths) {
    const wchar_t* windows = L"C:\\Windows";
    wchar_t out[MAX_PATH];
    nw::NormalizeModulePath(L"D:\\Tools\\nw.exe", windows, out, MAX_PATH);
    EXPECT_STREQ(L"D:\\Tools\\nw.exe", out);
    nw::NormalizeModulePath(L"\\??\\C:\\Tools\\nw.exe", windows, out, MAX_PATH);
    EXPECT_STREQ(L"C:\\Tools\\nw.exe", out);
    nw::NormalizeModulePath(L"\\SystemRoot\\System32\\ntdll.dll", windows, out, MAX_PATH);
    EXPECT_STREQ(L"C:\\Windows\\System32\\ntdll.dll", out);
    nw::NormalizeModulePath(L"\\Device\\x\\SYSTEMROOT\\system32\\a.dll", windows, out, MAX_PATH);
    EXPECT_STREQ(L"C:\\Windows\\system32\\a.dll", out);
    nw::NormalizeModulePath(L"\\Windows\\System32\\b.dll", windows, out, MAX_PATH);
    EXPECT_STREQ(L"C:\\Windows\\System32\\b.dll", out);
    nw::NormalizeModulePath(L"plain.dll", windows, out, MAX_PATH);
    EXPECT_STREQ(L"plain.dll", out);
    EXPECT_STREQ(L"c.dll", nw::FileNamePart(L"C:\\x/y\\c.dll"));
    EXPECT_STREQ(L"d.dll", nw::FileNamePart(L"d.dll"));
}

TEST(CrashModule, FindsTheModuleThatHoldsAnAddress) {
    wchar_t name[MAX_PATH];
    nw::ModuleNameForAddress(reinterpret_cast<const void*>(&nw::FormatDump), name, MAX_PATH);
    wchar_t own[MAX_PATH];
    ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    EXPECT_EQ(0, _wcsicmp(nw::FileNamePart(own), name)) << name;
    nw::ModuleNameForAddress(reinterpret_cast<const void*>(::GetProcAddress(
                                 ::GetModuleHandleW(L"kernel32.dll"), "GetTickCount")),
                             name, MAX_PATH);
    EXPECT_EQ(0, _wcsicmp(L"kernel32.dll", name)) << name;
    nw::ModuleNameForAddress(reinterpret_cast<const void*>(static_cast<uintptr_t>(0x10)), name,
                             MAX_PATH);
    EXPECT_STREQ(L"{Unknown}", name);
}

TEST(CrashModule, ReportReadsBothDumpsAndLeavesUnreadableOnesEmpty) {
    alignas(16) uint8_t stackBytes[nw::kDumpBytes];
    for (size_t i = 0; i < sizeof stackBytes; ++i) stackBytes[i] = static_cast<uint8_t>(i);
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<void*>(&nw::FormatDump);
    CONTEXT context{};
#ifdef _WIN64
    context.Rsp = reinterpret_cast<DWORD64>(stackBytes);
    context.Rip = 0x10;
#else
    context.Esp = reinterpret_cast<DWORD>(stackBytes);
    context.Eip = 0x10;
#endif
    wchar_t text[nw::kReportChars];
    nw::BuildCrashReport(record, context, text, nw::kReportChars);
    const std::wstring report(text);
    EXPECT_EQ(0u, report.rfind(L"Exception C0000005 at address ", 0)) << report;
    EXPECT_NE(std::wstring::npos, report.find(L"Stack Data:   00 01 02 03   04 05 06 07"));
    EXPECT_NE(std::wstring::npos, report.find(L"\r\nCode Data: \r\n"));
    wchar_t own[MAX_PATH];
    ::GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring lower(report), ownName(nw::FileNamePart(own));
    for (auto& c : lower) c = towlower(c);
    for (auto& c : ownName) c = towlower(c);
    EXPECT_NE(std::wstring::npos, lower.find(L" in module " + ownName + L"\r\n")) << report;
}

// ---- The guard --------------------------------------------------------------------------

struct HookLog {
    int reports = 0;
    DWORD code = 0;
    HWND owner = nullptr;
    void* address = nullptr;
    uintptr_t sp = 0;
    std::wstring text;
};
HookLog g_log;
int g_hookOutcome = 1;

int RecordingHook(const EXCEPTION_POINTERS* info, HWND owner) {
    ++g_log.reports;
    g_log.code = info->ExceptionRecord->ExceptionCode;
    g_log.address = info->ExceptionRecord->ExceptionAddress;
#ifdef _WIN64
    g_log.sp = info->ContextRecord->Rsp;
#else
    g_log.sp = info->ContextRecord->Esp;
#endif
    g_log.owner = owner;
    wchar_t text[nw::kReportChars];
    nw::BuildCrashReport(*info->ExceptionRecord, *info->ContextRecord, text, nw::kReportChars);
    g_log.text = text;
    return g_hookOutcome;
}

class Guard : public ::testing::Test {
protected:
    void SetUp() override {
        g_log = HookLog{};
        g_hookOutcome = 1;
        nw::SetCrashReportHookForTests(RecordingHook);
    }
    void TearDown() override { nw::SetCrashReportHookForTests(nullptr); }
};

volatile uintptr_t g_badAddress = 0x10;
volatile int g_zero = 0;
volatile int g_sink = 0;

HWND FakeOwner() { return reinterpret_cast<HWND>(static_cast<INT_PTR>(0x777)); }

TEST_F(Guard, BadPointerReachesTheReport) {
    bool ran = nw::GuardedCall(FakeOwner(), [](void*) {
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_badAddress)) = 1;
    }, nullptr);
    EXPECT_FALSE(ran);
    EXPECT_EQ(1, g_log.reports);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), g_log.code);
    EXPECT_EQ(FakeOwner(), g_log.owner);
    EXPECT_EQ(1, nw::CrashReportOutcome());
    // The report names the test program and starts with the fault's line.
    EXPECT_EQ(0u, g_log.text.rfind(L"Exception C0000005 at address ", 0)) << g_log.text;
    EXPECT_EQ(std::wstring::npos, g_log.text.find(L"{Unknown}")) << g_log.text;
    // The context is the faulting thread's: its stack is readable.
    EXPECT_EQ(std::wstring::npos, g_log.text.find(L"Stack Data: \r\n")) << g_log.text;
}

TEST_F(Guard, DivisionByZeroReachesTheReport) {
    EXPECT_FALSE(nw::GuardedCall(FakeOwner(), [](void*) { g_sink = 7 / g_zero; }, nullptr));
    EXPECT_EQ(1, g_log.reports);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO), g_log.code);
}

// Without exceptions the program's operator new ends a request the heap
// cannot meet as a fault of its own, which the guard reports like any other.
TEST_F(Guard, FailedAllocationReachesTheReport) {
    EXPECT_FALSE(nw::GuardedCall(FakeOwner(), [](void*) {
        static volatile size_t huge = SIZE_MAX - 4096;
        static void* volatile block;   // kept, so the call is not left out
        block = ::operator new(huge);
        ::operator delete(block);
    }, nullptr));
    EXPECT_EQ(1, g_log.reports);
    EXPECT_EQ(static_cast<DWORD>(STATUS_NO_MEMORY), g_log.code);
}

TEST_F(Guard, NonContinuableSoftwareExceptionReachesTheReport) {
    EXPECT_FALSE(nw::GuardedCall(FakeOwner(), [](void*) {
        ::RaiseException(0xE0004E57, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }, nullptr));
    EXPECT_EQ(1, g_log.reports);
    EXPECT_EQ(0xE0004E57u, g_log.code);
}

TEST_F(Guard, WhatTheHandlerHandlesItselfIsNotReported) {
    int seen = 0;
    EXPECT_TRUE(nw::GuardedCall(FakeOwner(), [](void* context) {
        try {
            throw 5;
        } catch (int value) {
            *static_cast<int*>(context) = value;
        }
        // The system probes this pointer under its own handler and returns 0.
        g_sink = ::lstrlenW(reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(g_badAddress)));
    }, &seen));
    EXPECT_EQ(5, seen);
    EXPECT_EQ(0, g_log.reports);
}

TEST_F(Guard, ResultsAndLastErrorPassThroughACleanCall) {
    int value = 0;
    ::SetLastError(1234);
    EXPECT_TRUE(nw::GuardedCall(FakeOwner(), [](void* context) {
        *static_cast<int*>(context) = static_cast<int>(::GetLastError());
        ::SetLastError(4321);
    }, &value));
    EXPECT_EQ(1234, value);
    EXPECT_EQ(4321u, ::GetLastError());
}

TEST_F(Guard, InnerGuardRecoversAndTheOuterCallGoesOn) {
    struct State { bool inner = true; bool after = false; } state;
    EXPECT_TRUE(nw::GuardedCall(FakeOwner(), [](void* context) {
        auto* s = static_cast<State*>(context);
        s->inner = nw::GuardedCall(nullptr, [](void*) {
            *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_badAddress)) = 1;
        }, nullptr);
        s->after = true;
    }, &state));
    EXPECT_FALSE(state.inner);
    EXPECT_TRUE(state.after);
    EXPECT_EQ(1, g_log.reports);
    EXPECT_EQ(nullptr, g_log.owner);
}

TEST_F(Guard, RepeatedFaultsKeepRecovering) {
    for (int i = 0; i < 200; ++i) {
        ASSERT_FALSE(nw::GuardedCall(FakeOwner(), [](void*) {
            *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_badAddress)) = 1;
        }, nullptr));
    }
    EXPECT_EQ(200, g_log.reports);
}

// A fault while the report is open: the hook stands for the open dialog.
int g_nestedRan = -1;
int FaultingHook(const EXCEPTION_POINTERS* info, HWND owner) {
    RecordingHook(info, owner);
    g_nestedRan = nw::GuardedCall(owner, [](void*) {
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_badAddress)) = 2;
    }, nullptr);
    return 1;
}

TEST_F(Guard, FaultWhileTheReportIsOpenIsNotReportedAgain) {
    nw::SetCrashReportHookForTests(FaultingHook);
    EXPECT_FALSE(nw::GuardedCall(FakeOwner(), [](void*) { g_sink = 7 / g_zero; }, nullptr));
    EXPECT_EQ(1, g_log.reports);
    EXPECT_EQ(0, g_nestedRan);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO), g_log.code);
}

TEST(GuardDeathTest, TerminateEndsTheProcessWithExitCodeOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            nw::SetCrashReportHookForTests([](const EXCEPTION_POINTERS*, HWND) { return 2; });
            nw::GuardedCall(nullptr, [](void*) {
                *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_badAddress)) = 1;
            }, nullptr);
            std::exit(5);   // not reached
        },
        ::testing::ExitedWithCode(1), "");
}

// ---- The report dialog itself ----------------------------------------------------------
// A thread timer, run by the report's own modal loop, works the dialog.

struct DialogScript {
    WPARAM closeWith = IDC_CRASH_CONTINUE;
    std::wstring shown;
    std::wstring clipboard;
    bool stillOpenAfterCopy = false;
    int ticks = 0;
};
DialogScript g_script;

BOOL CALLBACK FindReport(HWND window, LPARAM found) {
    if (::GetDlgItem(window, IDC_CRASH_TEXT) && ::GetDlgItem(window, IDC_CRASH_COPY)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

using nw::test::ClipboardText;

void CALLBACK WorkTheReport(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND report = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindReport, reinterpret_cast<LPARAM>(&report));
    if (!report) {
        if (++g_script.ticks > 200) ::KillTimer(nullptr, timer);   // never hang the suite
        return;
    }
    ::KillTimer(nullptr, timer);
    wchar_t text[nw::kReportChars];
    ::GetDlgItemTextW(report, IDC_CRASH_TEXT, text, nw::kReportChars);
    g_script.shown = text;
    if (g_script.closeWith == IDC_CRASH_CONTINUE) {
        ::SendMessageW(report, WM_COMMAND, MAKEWPARAM(IDC_CRASH_COPY, BN_CLICKED), 0);
        g_script.clipboard = ClipboardText();
        g_script.stillOpenAfterCopy = ::IsWindow(report) != FALSE;
    }
    ::PostMessageW(report, WM_COMMAND, MAKEWPARAM(g_script.closeWith, BN_CLICKED), 0);
}

TEST(CrashDialog, ShowsTheReportCopiesItExactlyAndContinues) {
    nw::SetCrashReportHookForTests(nullptr);
    g_script = DialogScript{};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, WorkTheReport);
    ASSERT_NE(0u, timer);
    EXPECT_FALSE(nw::GuardedCall(nullptr, [](void*) {
        *reinterpret_cast<volatile int*>(static_cast<uintptr_t>(g_badAddress)) = 1;
    }, nullptr));
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(1, nw::CrashReportOutcome());
    EXPECT_EQ(0u, g_script.shown.rfind(L"Exception C0000005 at address ", 0)) << g_script.shown;
    EXPECT_NE(std::wstring::npos, g_script.shown.find(L"\r\nCode Data: ")) << g_script.shown;
    EXPECT_TRUE(g_script.stillOpenAfterCopy);
    EXPECT_EQ(g_script.shown, g_script.clipboard);
}

TEST(CrashDialogDeathTest, EscapeTerminatesWithExitCodeOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            nw::SetCrashReportHookForTests(nullptr);
            g_script = DialogScript{};
            g_script.closeWith = IDCANCEL;   // what Escape and the close box send
            ::SetTimer(nullptr, 0, 20, WorkTheReport);
            nw::GuardedCall(nullptr, [](void*) { g_sink = 7 / g_zero; }, nullptr);
            std::exit(5);   // not reached
        },
        ::testing::ExitedWithCode(1), "");
}

}  // namespace
