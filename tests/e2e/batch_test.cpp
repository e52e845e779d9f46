// The run without a window (/export KIND FILE [/scans N]) through the real
// program: the Save command's bytes, the scan count and the hung-scan guard,
// the exit codes of its failures, and that it shows, runs and writes nothing
// but its file.
#include "e2e/AppSupport.h"

namespace nw::e2e {
namespace {

const wchar_t* const kKindWords[] = {L"text", L"tab", L"tabular", L"html", L"htmlv", L"xml", L"csv"};

// Name and address in an order of their own, the two time columns hidden
// (their texts differ between two runs), rows by address, descending.
std::string LayoutConfig(std::vector<std::pair<std::string, std::string>> keys) {
    int16_t entries[13][2];
    const int16_t widths[13] = {130, 130, 130, 100, 100, 0, 0, 100, 80, 80, 80, 180, 150};
    const int16_t positions[13] = {2, 1, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (int c = 0; c < 13; ++c) {
        entries[c][0] = widths[c];
        entries[c][1] = positions[c];
    }
    keys.push_back({"Columns", ByteList(entries, sizeof entries)});
    keys.push_back({"Sort", std::to_string(2 | 0x1000)});
    return GeneralSection(keys);
}

// Starts the program with arguments and waits for its end; the exit code,
// or 99 when it did not end in time. visibleWindows counts the program's
// visible top-level windows seen meanwhile.
DWORD RunToEnd(Program& program, LaunchOptions options, const std::wstring& arguments, int* visibleWindows = nullptr,
               DWORD timeoutMs = 30000) {
    options.arguments = arguments;
    options.waitForWindow = false;
    if (!program.Launch(options)) {
        ADD_FAILURE() << Narrow(program.Error());
        return 99;
    }
    DWORD code = 99;
    WaitUntil(
        [&] {
            if (visibleWindows)
                for (HWND w : ProcessWindows(program.Pid(), L""))
                    if (::IsWindowVisible(w)) ++*visibleWindows;
            return !program.Running();
        },
        timeoutMs, 10);
    program.WaitExit(1000, &code);
    return code;
}

// Temporary files the program could have left beside its target.
int Leftovers(const Program& program) {
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW(program.PathOf(L"nw*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (::FindNextFileW(find, &found));
    ::FindClose(find);
    return count;
}

TEST(BatchE2E, EveryKindWritesTheBytesOfTheSaveCommand) {
    LaunchOptions options;
    // The devices answer in the first scan only, so no cell changes later.
    options.scenario = "unit_ms 5\n"
                       "device 0a:00:00:00:00:02 class=0x5a020c scans=1 name=<b>A&B, \"1\"</b>\n"
                       "device 0a:00:00:00:00:03 scans=1 name=Gamma\n"
                       "device 0a:00:00:00:00:01 connected=1 remembered=1 scans=1 name=Alpha\n";
    options.config = LayoutConfig({{"TrayIcon", "0"}, {"DisplayBalloonOnNewDevice", "0"}, {"SortOnEveryUpdate", "1"},
                                   {"UpdateRate", "3"}});
    options.descriptions = "[Descriptions]\r\n0a:00:00:00:00:03=Office printer\r\n";

    std::string saved[7];
    {
        Program window;
        NW_LAUNCH(window, options);
        ASSERT_TRUE(window.WaitScans(1, 20000));
        ASSERT_TRUE(WaitUntil([&] { return window.RowCount() == 3; }, 5000)) << window.RowCount();
        ::Sleep(200);
        ASSERT_EQ(L"0a:00:00:00:00:03", window.Cell(0, 2)) << "sorted by address, descending";
        ASSERT_TRUE(window.SelectRow(-1));
        for (int type = 1; type <= 7; ++type) {
            const std::wstring name = L"saved" + std::to_wstring(type) + L".txt";
            HWND dialog = SaveThroughDialog(window, type, window.PathOf(name));
            ASSERT_TRUE(dialog) << "no save dialog for type " << type;
            ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }, 8000)) << "type " << type;
            ASSERT_TRUE(WaitUntil([&] { return window.FileWritten(name); }, 5000)) << "type " << type;
            saved[type - 1] = FileText(window, name);
        }
        ExitByMenu(window);
    }
    for (int kind = 1; kind <= 7; ++kind) {
        Program batch;
        EXPECT_EQ(0u, RunToEnd(batch, options, std::wstring(L"/export ") + kKindWords[kind - 1] + L" out.bin /scans 1"))
            << Narrow(kKindWords[kind - 1]);
        const std::string written = FileText(batch, L"out.bin");
        const std::string description = kind == 7 ? std::string("Office") : std::string("O\0f\0f\0i\0c\0e\0", 12);
        EXPECT_NE(std::string::npos, written.find(description)) << Narrow(kKindWords[kind - 1]);
        EXPECT_EQ(saved[kind - 1], written) << Narrow(kKindWords[kind - 1]);
    }
}

TEST(BatchE2E, ScanCountStopFromOutsideAndTheGuardAgainstAHungScan) {
    LaunchOptions options;
    options.scenario = "unit_ms 1000\ndevice 0a:00:00:00:00:01 name=Alpha\n";
    {
        // Three scans would take 24 s: one is done after 3.
        Program program;
        EXPECT_EQ(0u, RunToEnd(program, options, L"/export tab out.txt /scans 1"));
        EXPECT_EQ(1, program.ScansStarted());
        EXPECT_EQ(1, program.ScansClosed());
        EXPECT_NE(std::string::npos, FileText(program, L"out.txt").find("A\0l\0p\0h\0a\0\t\0", 0, 12));
    }
    {
        // Asked to close (what Ctrl+C and a closed console do, and a polite
        // task killer) during the second, 8 s scan: the first one's devices
        // are written at once.
        Program program;
        options.waitForWindow = false;
        options.arguments = L"/export tab out.txt";
        NW_LAUNCH(program, options);
        ASSERT_TRUE(WaitScansStarted(program, 2));
        HWND hidden = FindProcessWindow(program.Pid(), L"NearwatchBatch");
        ASSERT_TRUE(hidden);
        EXPECT_FALSE(::IsWindowVisible(hidden));
        ASSERT_TRUE(::PostMessageW(hidden, WM_CLOSE, 0, 0));
        DWORD code = 99;
        EXPECT_TRUE(program.WaitExit(5000, &code));
        EXPECT_EQ(0u, code);
        EXPECT_EQ(2, program.ScansStarted());
        EXPECT_EQ(1, program.ScansClosed());
        EXPECT_NE(std::string::npos, FileText(program, L"out.txt").find("A\0l\0p\0h\0a\0\t\0", 0, 12));
    }
    {
        // A 60 s inquiry is given twice its expected 3.84 s, then the run
        // ends with what it has: nothing, but a whole file.
        options.scenario = "unit_ms 20000\ndevice 0a:00:00:00:00:01 name=Alpha\n";
        Program program;
        EXPECT_EQ(0u, RunToEnd(program, options, L"/export xml out.xml /scans 1"));
        EXPECT_EQ(1, program.ScansStarted());
        EXPECT_EQ(0, program.ScansClosed());
        const std::wstring xml = DecodeText(FileText(program, L"out.xml"));
        EXPECT_EQ(0u, xml.find(L"<?xml"));
        EXPECT_EQ(std::wstring::npos, xml.find(L"<item>"));
    }
}

TEST(BatchE2E, FailuresGiveTheirCodesAndLeaveNoFile) {
    LaunchOptions options;
    options.scenario = "unit_ms 5\ndevice 0a:00:00:00:00:01 name=Alpha\n";
    {
        // A mistake in the options: code 2 before any scan.
        Program program;
        EXPECT_EQ(2u, RunToEnd(program, options, L"/export pdf out.pdf"));
        EXPECT_FALSE(program.FileExists(L"out.pdf"));
        EXPECT_FALSE(program.FileExists(L"radio.log")) << "no scan for a bad option";
    }
    {
        // A missing folder and a read-only file are found before scanning.
        options.files = {{L"locked.txt", "old"}};
        Program program;
        EXPECT_EQ(1u, RunToEnd(program, options, L"/export csv missing\\out.csv"));
        EXPECT_FALSE(program.FileExists(L"missing"));
        ASSERT_TRUE(::SetFileAttributesW(program.PathOf(L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        Program again;
        options.files.clear();
        EXPECT_EQ(1u, RunToEnd(again, options, L"/export csv \"" + program.PathOf(L"locked.txt") + L"\""));
        EXPECT_EQ("old", FileText(program, L"locked.txt"));
        EXPECT_FALSE(program.FileExists(L"radio.log"));
        EXPECT_EQ(0, Leftovers(program));
        ::SetFileAttributesW(program.PathOf(L"locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    {
        // Held open by another program, the target cannot be replaced after
        // the scans: the finished rows go with their temporary file.
        options.files = {{L"held.csv", "old"}};
        Program program;
        options.waitForWindow = false;
        options.arguments = L"/export csv held.csv /scans 1";
        options.scenario = "unit_ms 300\ndevice 0a:00:00:00:00:01 name=Alpha\n";
        // Started, then the file is taken before its first scan ends.
        NW_LAUNCH(program, options);
        HANDLE held = ::CreateFileW(program.PathOf(L"held.csv").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        DWORD code = 99;
        EXPECT_TRUE(program.WaitExit(20000, &code));
        ::CloseHandle(held);
        EXPECT_EQ(1u, code);
        EXPECT_EQ(1, program.ScansClosed());
        EXPECT_EQ("old", FileText(program, L"held.csv"));
        EXPECT_EQ(0, Leftovers(program));
    }
    {
        // No radio: code 3, and a whole file without rows.
        LaunchOptions none;
        none.writeScenario = false;
        Program program;
        EXPECT_EQ(3u, RunToEnd(program, none, L"/export html out.htm"));
        const std::wstring html = DecodeText(FileText(program, L"out.htm"));
        EXPECT_EQ(0u, html.find(L"<!DOCTYPE HTML PUBLIC"));
        EXPECT_NE(std::wstring::npos, html.find(L"</html>"));
        EXPECT_EQ(std::wstring::npos, html.find(L"<tr><td"));
    }
}

TEST(BatchE2E, ShowsRunsAndWritesNothingButItsFile) {
    LaunchOptions options;
    // Every announcement on, and a command that leaves a trace.
    options.config = GeneralSection({{"TrayIcon", "1"},
                                     {"DisplayBalloonOnNewDevice", "1"},
                                     {"OpenWindowOnNewDevice", "1"},
                                     {"BeepOnNewDevice", "1"},
                                     {"MarkNewDevices", "1"},
                                     {"AutoSetDeviceDescription", "1"},
                                     {"UseNewDeviceExecute", "1"},
                                     {"NewDeviceExecute", "cmd /c echo %device_addr%>>alerts.txt"},
                                     {"UpdateRate", "1"}});
    // Beta comes after the baseline (an alert in the window); Alpha is seen
    // again with its name (an automatic description in the window).
    options.scenario = "unit_ms 10\n"
                       "device 0a:00:00:00:00:01 name=Alpha\n"
                       "device 0a:00:00:00:00:02 scans=4- name=Beta\n"
                       "le 0c:00:00:00:00:07 name=Gamma\n";
    // LE advertisements heard during the scans are exported too, and raise nothing.
    options.environment = {{L"NEARWATCH_WINRT", BinFolder() + L"\\simradio.dll"}};
    Program program;
    int visible = 0;
    EXPECT_EQ(0u, RunToEnd(program, options, L"/EXPORT \"CSV\" \"out file.csv\" /Scans 5", &visible));
    EXPECT_EQ(0, visible) << "no window may appear";
    EXPECT_EQ(5, program.ScansClosed());
    EXPECT_EQ((std::vector<int>{3, 8, 13, 13, 13}), program.ScanMultipliers());
    const std::string csv = FileText(program, L"out file.csv");
    EXPECT_NE(std::string::npos, csv.find("Alpha,"));
    EXPECT_NE(std::string::npos, csv.find("Beta,"));
    EXPECT_NE(std::string::npos, csv.find("Gamma,"));
    ::Sleep(500);   // a command started at the end would have written by now
    EXPECT_FALSE(program.FileExists(L"alerts.txt"));
    EXPECT_FALSE(program.FileExists(L"nearwatch_Desc.ini"));
    EXPECT_EQ(options.config, FileText(program, L"nearwatch.cfg"));
}

}  // namespace
}  // namespace nw::e2e
