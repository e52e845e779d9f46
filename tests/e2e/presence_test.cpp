// Departures, the history log and the timeline in the real program, driven
// scan by scan through the simulated radio.
#include "e2e/AppSupport.h"

#include <commctrl.h>

namespace nw::e2e {
namespace {

constexpr uint32_t kGreyText = 0x969696;   // kDepartedDeviceText as the screen shows it
const char kHistoryHeader[] = "Time,Event,Address,Name,Description,Company,Major Type,Minor Type\r\n";

void ScanOnce(const Program& program) {
    int before = program.ScansClosed();
    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(program.WaitScans(before + 1, 10000));
    ::Sleep(200);   // merged and drawn
}

// Pixels of the departed grey in the list's rows (below its header).
int GreyPixels(const Program& program) {
    HWND list = program.List();
    RECT r = {};
    ::GetWindowRect(list, &r);
    RECT header = {};
    ::GetWindowRect(reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
    r.top = header.bottom;
    int grey = 0;
    for (uint32_t pixel : ScreenPixels(r)) grey += pixel == kGreyText ? 1 : 0;
    return grey;
}

// The events of the history file: the second field of every line after the header.
std::vector<std::string> Events(const std::string& history) {
    std::vector<std::string> events;
    size_t at = history.find("\r\n");
    while (at != std::string::npos && at + 2 < history.size()) {
        size_t start = at + 2, comma = history.find(',', start);
        size_t second = history.find(',', comma + 1);
        if (comma == std::string::npos || second == std::string::npos) break;
        events.push_back(history.substr(comma + 1, second - comma - 1) + " " +
                         history.substr(second + 1, 17));
        at = history.find("\r\n", start);
    }
    return events;
}

void CopyOut(const Program& program, const wchar_t* name, const char* variable) {
    const char* out = getenv(variable);
    if (out && *out) ::CopyFileW(program.PathOf(name).c_str(), Widen(out).c_str(), FALSE);
}

TEST(PresenceE2E, ADeviceLeavesTurnsGreyRunsTheCommandOnceAndArrivesAgain) {
    LaunchOptions options;
    options.config = GeneralSection({{"TrayIcon", "0"},
                                     {"UpdateRate", "3"},
                                     {"DepartAfterScans", "2"},
                                     {"UseDepartedDeviceExecute", "1"},
                                     {"DepartedDeviceExecute",
                                      "cmd /c echo %device_addr% %device_name% %device_last_seen%>>departed.txt"},
                                     {"KeepHistoryLog", "1"}});
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 class=0x5a020c name=Stays\n"
        "device 0a:00:00:00:00:02 scans=1-4,7- name==Goes, \"away\" & echo PWNED>pwned.txt\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 10000));
    while (program.ScansClosed() < 4) ScanOnce(program);
    EXPECT_TRUE(WaitUntil([&] { return program.StatusText(0) == L"2 Bluetooth devices, 2 present"; }, 3000));
    EXPECT_EQ(0, GreyPixels(program));

    ScanOnce(program);   // scan 5: missed once, still here
    EXPECT_EQ(L"2 Bluetooth devices, 2 present", program.StatusText(0));
    ScanOnce(program);   // scan 6: missed twice, gone
    EXPECT_EQ(L"2 Bluetooth devices, 1 present", program.StatusText(0));
    EXPECT_TRUE(WaitUntil([&] { return GreyPixels(program) > 0; }, 3000)) << "the departed row is not grey";
    ASSERT_TRUE(WaitUntil([&] { return !ReadLines(program.PathOf(L"departed.txt")).empty(); }, 10000))
        << "the departure command did not run";
    ScanOnce(program);   // scan 7: back
    EXPECT_EQ(L"2 Bluetooth devices, 2 present", program.StatusText(0));
    EXPECT_TRUE(WaitUntil([&] { return GreyPixels(program) == 0; }, 3000));
    ::Sleep(500);   // a second run of the command would have written by now
    const auto departed = ReadLines(program.PathOf(L"departed.txt"));
    ASSERT_EQ(1u, departed.size());
    // The name's quote, ampersand and redirection were taken out: one command only.
    EXPECT_EQ(0u, departed[0].find("0a:00:00:00:00:02 =Goes, away  echo PWNEDpwned.txt 20")) << departed[0];
    EXPECT_FALSE(program.FileExists(L"pwned.txt"));

    ASSERT_TRUE(program.Command(IDM_TIMELINE));
    ASSERT_TRUE(WaitUntil([&] { return FileText(program, L"timeline.html").find("</html>") != std::string::npos; },
                          10000));
    const std::string page = FileText(program, L"timeline.html");
    size_t rows = 0;
    for (size_t at = 0; (at = page.find("<g class=\"row\">", at)) != std::string::npos; ++at) ++rows;
    EXPECT_EQ(static_cast<size_t>(program.RowCount()), rows);
    CopyOut(program, L"timeline.html", "NW_TIMELINE_OUT");
    ExitByMenu(program);
    EXPECT_FALSE(program.FileExists(L"timeline.html"));   // like the report, gone at exit

    const std::string history = FileText(program, L"nearwatch_history.csv");
    EXPECT_EQ(std::string("\xEF\xBB\xBF") + kHistoryHeader, history.substr(0, 3 + sizeof kHistoryHeader - 1));
    EXPECT_EQ((std::vector<std::string>{"present 0a:00:00:00:00:01", "present 0a:00:00:00:00:02",
                                        "left 0a:00:00:00:00:02", "arrived 0a:00:00:00:00:02"}),
              Events(history));
    CopyOut(program, L"nearwatch_history.csv", "NW_HISTORY_OUT");
}

TEST(PresenceE2E, HistoryAppendsToAnEarlierRunAndWaitsWhileTheFileIsHeld) {
    const std::string earlier = std::string("\xEF\xBB\xBF") + kHistoryHeader +
                                "2026-01-01T00:00:00+00:00,present,0a:00:00:00:00:09,Old,,,,\r\n";
    LaunchOptions options;
    options.config = GeneralSection(
        {{"TrayIcon", "0"}, {"UpdateRate", "3"}, {"DepartAfterScans", "1"}, {"KeepHistoryLog", "1"}});
    options.files = {{L"nearwatch_history.csv", earlier}};
    options.scenario =
        "unit_ms 5\n"
        "device 0a:00:00:00:00:01 name=Stays\n"
        "device 0a:00:00:00:00:02 scans=1-2,4- name=Goes\n";
    Program program;
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 10000));
    ASSERT_TRUE(WaitUntil([&] { return Events(FileText(program, L"nearwatch_history.csv")).size() == 3; }, 5000));
    ScanOnce(program);   // scan 2

    // Held without sharing, as a spreadsheet would: the departure waits.
    HANDLE held = ::CreateFileW(program.PathOf(L"nearwatch_history.csv").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ScanOnce(program);   // scan 3: left
    ::CloseHandle(held);
    EXPECT_EQ(3u, Events(FileText(program, L"nearwatch_history.csv")).size());
    ScanOnce(program);   // scan 4: back; both go out now, in order
    ExitByMenu(program);

    const std::string history = FileText(program, L"nearwatch_history.csv");
    EXPECT_EQ(earlier, history.substr(0, earlier.size()));   // never rewritten
    EXPECT_EQ((std::vector<std::string>{"present 0a:00:00:00:00:09", "present 0a:00:00:00:00:01",
                                        "present 0a:00:00:00:00:02", "left 0a:00:00:00:00:02",
                                        "arrived 0a:00:00:00:00:02"}),
              Events(history));
}

}  // namespace
}  // namespace nw::e2e
