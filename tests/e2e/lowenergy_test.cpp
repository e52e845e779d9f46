// Low Energy in the real program against the simulated Windows Runtime
// (NEARWATCH_WINRT): rows beside the inquiry's, hostile names, and each way
// the runtime can fail leaving the inquiry as it was.
#include "e2e/AppSupport.h"

namespace nw::e2e {
namespace {

LaunchOptions WithRuntime(const std::string& scenario, const std::string& config) {
    LaunchOptions options;
    options.scenario = scenario;
    options.config = config;
    options.environment = {{L"NEARWATCH_WINRT", BinFolder() + L"\\simradio.dll"}};
    return options;
}

int ColumnNamed(const Program& program, const std::wstring& title) {
    for (int c = 0; c < program.ColumnCount(); ++c)
        if (program.ColumnTitle(c) == title) return c;
    return -1;
}

int CountLines(const Program& program, const char* prefix) {
    return CountLinesStartingWith(program.RadioLog(), prefix);
}

TEST(LowEnergy, RowsJoinTheInquirysAndAHostileNameRunsNoCommand) {
    std::string hostile = "x\" & echo PWNED > pwned.txt & \"%device_addr% 100% \\n& del *.* ";
    hostile += std::string(300 - hostile.size(), 'N');
    Program program;
    NW_LAUNCH(program, WithRuntime("unit_ms 5\n"
                                   "device 00:1a:7d:da:71:13 class=0x5a020c name=Pocket phone\n"
                                   "le 00:1a:7d:da:71:13 rssi=-60\n"
                                   "le 0c:00:00:00:00:01 rssi=-67 appearance=0x00c1 name=Wrist watch\n"
                                   "le 0c:00:00:00:00:66 scans=2-3 name=" + hostile + "\n"
                                   "le 0c:00:00:00:00:05 scans=6- name=Late tag\n",
                                   GeneralSection({{"TrayIcon", "0"},
                                                   {"DisplayBalloonOnNewDevice", "0"},
                                                   {"UseNewDeviceExecute", "1"},
                                                   {"NewDeviceExecute", "cmd /c echo new %device_addr%>>log.txt"},
                                                   {"DepartAfterScans", "1"},
                                                   {"UseDepartedDeviceExecute", "1"},
                                                   {"DepartedDeviceExecute", "cmd /c echo left %device_name%>>log.txt"}})));
    ASSERT_TRUE(WaitUntil([&] { return program.FindRow(0, L"Wrist watch") >= 0; }, 10000));
    const int transport = ColumnNamed(program, L"Transport");
    ASSERT_GE(transport, 0);
    // One row for the phone the inquiry and LE both hear.
    ASSERT_TRUE(WaitUntil([&] {
        const int phone = program.FindRow(2, L"00:1a:7d:da:71:13");
        return phone >= 0 && program.Cell(phone, transport) == L"Classic + LE";
    }, 10000));
    EXPECT_EQ(L"LE", program.Cell(program.FindRow(0, L"Wrist watch"), transport));
    EXPECT_EQ(L"", program.StatusText(2));   // LE works: nothing to say

    // The hostile device leaves after scan 3; its departure command gets
    // its name as one quoted argument, and nothing else runs.
    ASSERT_TRUE(WaitUntil([&] { return FileText(program, L"log.txt").find("PWNED") != std::string::npos; }, 30000))
        << FileText(program, L"log.txt");
    // A device first heard once alerts are armed is announced at once.
    EXPECT_TRUE(WaitUntil([&] { return FileText(program, L"log.txt").find("new 0c:00:00:00:00:05") != std::string::npos; },
                          20000));
    ::Sleep(1000);   // a smuggled second command would have run by now
    EXPECT_FALSE(program.FileExists(L"pwned.txt"));
    EXPECT_EQ(1, CountLines(program, "le start"));
    ExitByMenu(program);
}

TEST(LowEnergy, RuntimeFailuresLeaveTheInquiryAndTheStatusSaysWhy) {
    const std::string classic = "unit_ms 5\ndevice 00:1a:7d:da:71:13 class=0x5a020c name=Pocket phone\n"
                                "le 0c:00:00:00:00:01 name=Wrist watch\n";
    const std::string config = GeneralSection({{"TrayIcon", "0"}});
    {
        // No such class (Windows 7, Wine 8): said once, never tried again.
        Program program;
        NW_LAUNCH(program, WithRuntime("le_runtime absent\n" + classic, config));
        ASSERT_TRUE(WaitUntil([&] { return program.FindRow(0, L"Pocket phone") >= 0; }, 10000));
        EXPECT_TRUE(WaitUntil([&] { return program.StatusText(2).find(L"LE: unavailable (") == 0; }, 5000))
            << program.StatusText(2);
        EXPECT_NE(std::wstring::npos, program.StatusText(2).find(L"0x80040154"));
        ASSERT_TRUE(program.WaitScans(3));
        EXPECT_EQ(1, program.RowCount());
        EXPECT_EQ(1, CountLines(program, "le activation refused"));
        EXPECT_TRUE(program.Dialogs().empty());
        ExitByMenu(program);
    }
    // The radio is off: the inquiry goes on, the status says so, and the
    // watcher is tried again; once the radio is on it runs, and when it
    // stops by itself it is started again.
    Program program;
    NW_LAUNCH(program, WithRuntime("le_runtime aborted\n" + classic, config));
    ASSERT_TRUE(WaitUntil([&] { return program.StatusText(2) == L"LE: unavailable (Bluetooth is off)"; }, 5000))
        << program.StatusText(2);
    ASSERT_TRUE(WaitUntil([&] { return program.FindRow(0, L"Pocket phone") >= 0; }, 10000));
    EXPECT_EQ(-1, program.FindRow(0, L"Wrist watch"));
    ASSERT_TRUE(program.WriteScenario("le_runtime stop_after 1500\n" + classic));
    ASSERT_TRUE(WaitUntil([&] { return program.FindRow(0, L"Wrist watch") >= 0; }, 15000));
    EXPECT_TRUE(WaitUntil([&] { return program.StatusText(2).empty(); }, 3000)) << program.StatusText(2);
    ASSERT_TRUE(WaitUntil([&] { return CountLines(program, "le stopped itself") >= 1; }, 5000));
    // Started again after its stop, once the back-off has passed.
    EXPECT_TRUE(WaitUntil([&] {
        const auto log = program.RadioLog();
        bool stopped = false;
        for (const auto& line : log) {
            if (line.rfind("le stopped itself", 0) == 0) stopped = true;
            else if (stopped && line.rfind("le start", 0) == 0) return true;
        }
        return false;
    }, 20000));
    EXPECT_GE(CountLines(program, "le aborted"), 1);
    EXPECT_TRUE(program.Dialogs().empty());
    ExitByMenu(program);
}

}  // namespace
}  // namespace nw::e2e
