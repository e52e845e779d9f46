// The connection probe in the real program: command 40051 on the selected
// rows, and result messages arriving at the main window.
#include "e2e/AppSupport.h"

namespace nw::e2e {
namespace {

constexpr int kProbeColumn = 12;

const char kThreeDevices[] =
    "unit_ms 5\n"
    "device 0a:00:00:00:00:01 name=First\n"
    "device 0a:00:00:00:00:02 name=Second\n"
    "device 0a:00:00:00:00:03 name=Third\n";

std::string QuietConfig() { return GeneralSection({{"UpdateRate", "3"}, {"TrayIcon", "0"}}); }

void LaunchWithDevices(Program& program) {
    LaunchOptions options;
    options.scenario = kThreeDevices;
    options.config = QuietConfig();
    NW_LAUNCH(program, options);
    ASSERT_TRUE(program.WaitScans(1, 10000));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 3; }, 5000));
}

std::wstring ProbeCell(const Program& program, const wchar_t* address) {
    int row = program.FindRow(2, address);
    return row < 0 ? L"<no row>" : program.Cell(row, kProbeColumn);
}

// What a probe thread posts: the record's index and the result.
bool PostResult(const Program& program, int32_t index, int32_t result) {
    return ::PostMessageW(program.MainWindow(), NWM_PROBE_RESULT, static_cast<WPARAM>(index),
                          static_cast<LPARAM>(result)) != FALSE;
}

void ResetList(const Program& program) {
    ASSERT_TRUE(program.Command(IDM_RESET));
    HWND question = program.WaitDialog(5000, L"Nearwatch");
    ASSERT_TRUE(question);
    ASSERT_TRUE(Program::PressButton(question, IDYES));
    ASSERT_TRUE(program.WaitNoDialog());
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 0; }, 3000));
}

}  // namespace

// Wine has no Bluetooth sockets: every probe fails at the bind with -1.
TEST(ConnectionProbe, CommandProbesEverySelectedDevice) {
    Program program;
    LaunchWithDevices(program);
    if (HasFatalFailure()) return;
    for (int row = 0; row < 3; ++row) EXPECT_EQ(L"", program.Cell(row, kProbeColumn));

    int second = program.FindRow(2, L"0a:00:00:00:00:02");
    ASSERT_TRUE(program.SelectRow(-1, false));
    ASSERT_TRUE(program.SelectRow(second));
    ::Sleep(100);
    ASSERT_TRUE(program.Command(IDM_CONNECT_PROBE));
    EXPECT_TRUE(WaitUntil([&] { return !ProbeCell(program, L"0a:00:00:00:00:02").empty(); }, 5000));
    EXPECT_EQ(L"Connection failed, error code -1", ProbeCell(program, L"0a:00:00:00:00:02"));
    EXPECT_EQ(L"", ProbeCell(program, L"0a:00:00:00:00:01"));

    ASSERT_TRUE(program.SelectRow(-1));
    ::Sleep(100);
    ASSERT_TRUE(program.Command(IDM_CONNECT_PROBE));
    EXPECT_TRUE(WaitUntil(
        [&] {
            for (int row = 0; row < 3; ++row)
                if (program.Cell(row, kProbeColumn) != L"Connection failed, error code -1") return false;
            return true;
        },
        5000));
    ExitByMenu(program);
}

// Records are numbered 1, 2, 3 in the order the first scan found them.
TEST(ConnectionProbe, ResultsMatchTheRecordIndexAndTheLastOneWins) {
    Program program;
    LaunchWithDevices(program);
    if (HasFatalFailure()) return;

    ASSERT_TRUE(PostResult(program, 2, 10060));
    ASSERT_TRUE(WaitUntil([&] { return !ProbeCell(program, L"0a:00:00:00:00:02").empty(); }, 3000));
    EXPECT_EQ(L"Connection failed, error code 10060", ProbeCell(program, L"0a:00:00:00:00:02"));
    EXPECT_EQ(L"", ProbeCell(program, L"0a:00:00:00:00:01"));
    EXPECT_EQ(L"", ProbeCell(program, L"0a:00:00:00:00:03"));

    // A failed probe and then a successful one: connected.
    ASSERT_TRUE(PostResult(program, 2, 0));
    EXPECT_TRUE(WaitUntil([&] { return ProbeCell(program, L"0a:00:00:00:00:02") == L"Connected successfully"; },
                          3000));
    // No record with that index: nothing changes.
    ASSERT_TRUE(PostResult(program, 99, 10050));
    ASSERT_TRUE(PostResult(program, 3, -1));
    EXPECT_TRUE(WaitUntil(
        [&] { return ProbeCell(program, L"0a:00:00:00:00:03") == L"Connection failed, error code -1"; }, 3000));
    EXPECT_EQ(L"", ProbeCell(program, L"0a:00:00:00:00:01"));
    EXPECT_EQ(L"Connected successfully", ProbeCell(program, L"0a:00:00:00:00:02"));
    ExitByMenu(program);
}

// After Reset the devices come back as new records with new indexes: a
// late result for an old index finds none of them.
TEST(ConnectionProbe, ResultArrivingAfterResetIsDropped) {
    Program program;
    LaunchWithDevices(program);
    if (HasFatalFailure()) return;
    ResetList(program);
    if (HasFatalFailure()) return;

    ASSERT_TRUE(PostResult(program, 1, 10060));   // the old first record
    ASSERT_TRUE(program.Command(IDM_REFRESH));
    ASSERT_TRUE(WaitUntil([&] { return program.RowCount() == 3; }, 10000));
    ASSERT_TRUE(PostResult(program, 2, 10060));   // also old
    ASSERT_TRUE(PostResult(program, 4, 0));       // the new first record
    EXPECT_TRUE(WaitUntil([&] { return ProbeCell(program, L"0a:00:00:00:00:01") == L"Connected successfully"; },
                          3000));
    EXPECT_EQ(L"", ProbeCell(program, L"0a:00:00:00:00:02"));
    EXPECT_EQ(L"", ProbeCell(program, L"0a:00:00:00:00:03"));
    ExitByMenu(program);
}

}  // namespace nw::e2e
