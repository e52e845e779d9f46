// The crash report of the real program: a fault inside the main window's
// notification handler, provoked from outside with a bogus header pointer.
#include "e2e/AppSupport.h"
#include "TestClipboard.h"

#include <algorithm>
#include <regex>

namespace nw::e2e {
namespace {

// A notification whose header pointer points nowhere. Posted, so the test
// does not wait while the report is open.
bool PostBogusNotify(const Program& program) {
    return ::PostMessageW(program.MainWindow(), WM_NOTIFY, IDC_DEVICELIST, 0x10) != FALSE;
}

// The report is the program's dialog that holds the report field and the
// copy button.
HWND WaitReport(const Program& program, DWORD timeoutMs = 10000) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND dialog : program.Dialogs()) {
                if (::GetDlgItem(dialog, IDC_CRASH_TEXT) && ::GetDlgItem(dialog, IDC_CRASH_COPY)) {
                    found = dialog;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

int ReportCount(const Program& program) {
    const auto dialogs = program.Dialogs();
    return static_cast<int>(std::count_if(dialogs.begin(), dialogs.end(), [](HWND dialog) {
        return ::GetDlgItem(dialog, IDC_CRASH_TEXT) != nullptr;
    }));
}

using nw::test::ClipboardText;

TEST(CrashReport, BadNotificationShowsTheReportAndContinueKeepsScanning) {
    // A device in range keeps the scans coming one after another.
    LaunchOptions options;
    options.scenario = "unit_ms 5\ndevice 00:1a:7d:da:71:13 name=Pocket phone\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1));
    ASSERT_TRUE(PostBogusNotify(program));
    HWND report = WaitReport(program);
    ASSERT_NE(nullptr, report);

    const std::wstring text = Program::ControlText(report, IDC_CRASH_TEXT);
    EXPECT_EQ(0u, text.rfind(L"Exception C0000005 at address ", 0)) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(L" in module nearwatch.exe\r\n")) << Narrow(text);
    // The registers of the build that faulted: a 32-bit one reached its
    // report through the fs:0 handler chain.
#ifdef _WIN64
    const std::wregex registers(L"\r\nRegisters: \r\nRAX=[0-9A-F]{16} RBX=[0-9A-F]{16} RCX=[0-9A-F]{16} "
                                L"RDX=[0-9A-F]{16}\r\nRSI=[0-9A-F]{16} RDI=[0-9A-F]{16} RBP=[0-9A-F]{16} "
                                L"RSP=[0-9A-F]{16}\r\nRIP=[0-9A-F]{16}\r\n");
#else
    const std::wregex registers(L"\r\nRegisters: \r\nEAX=[0-9A-F]{8} EBX=[0-9A-F]{8} ECX=[0-9A-F]{8} "
                                L"EDX=[0-9A-F]{8}\r\nESI=[0-9A-F]{8} EDI=[0-9A-F]{8} EBP=[0-9A-F]{8} "
                                L"ESP=[0-9A-F]{8}\r\nEIP=[0-9A-F]{8}\r\n");
#endif
    EXPECT_TRUE(std::regex_search(text, registers)) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(L"\r\nStack Data:   ")) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(L"\r\nCode Data: ")) << Narrow(text);

    // Copy puts exactly the report on the clipboard and keeps the report open.
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        ::CloseClipboard();
    }
    ASSERT_TRUE(Program::PressButton(report, IDC_CRASH_COPY));
    EXPECT_TRUE(WaitUntil([] { return !ClipboardText().empty(); }, 5000));
    EXPECT_EQ(text, ClipboardText());
    EXPECT_TRUE(::IsWindowVisible(report));

    // Another fault while the report is open shows no second report.
    ASSERT_TRUE(PostBogusNotify(program));
    ::Sleep(300);
    EXPECT_EQ(1, ReportCount(program));

    ASSERT_TRUE(Program::PressButton(report, IDC_CRASH_CONTINUE));
    EXPECT_TRUE(WaitUntil([&] { return ReportCount(program) == 0; }, 5000));
    EXPECT_TRUE(program.Running());
    // The scan cycle goes on after the faulting message returned.
    const int closed = program.ScansClosed();
    EXPECT_TRUE(program.WaitScans(closed + 2)) << "no scans after continuing";
    EXPECT_EQ(1, program.RowCount());
    ExitByMenu(program);
}

// Terminate, Escape and the close box all end the program at once with
// exit code 1, without writing its configuration.
void ExpectTerminatedBy(void (*choose)(HWND report)) {
    Program program;
    NW_LAUNCH(program, LaunchOptions{});
    ASSERT_TRUE(program.WaitScans(1));
    ASSERT_TRUE(PostBogusNotify(program));
    HWND report = WaitReport(program);
    ASSERT_NE(nullptr, report);
    choose(report);
    DWORD code = 99;
    ASSERT_TRUE(program.WaitExit(10000, &code)) << "the program did not end";
    EXPECT_EQ(1u, code);
    EXPECT_FALSE(program.FileExists(L"nearwatch.cfg"));
}

TEST(CrashReport, TerminateEndsTheProgramWithExitCodeOne) {
    ExpectTerminatedBy([](HWND report) { Program::PressButton(report, IDC_CRASH_TERMINATE); });
}

TEST(CrashReport, EscapeEndsTheProgramWithExitCodeOne) {
    ExpectTerminatedBy([](HWND report) {
        HWND field = ::GetDlgItem(report, IDC_CRASH_TEXT);
        ::PostMessageW(field, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        ::PostMessageW(field, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    });
}

TEST(CrashReport, CloseBoxEndsTheProgramWithExitCodeOne) {
    ExpectTerminatedBy([](HWND report) { ::PostMessageW(report, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

}  // namespace
}  // namespace nw::e2e
