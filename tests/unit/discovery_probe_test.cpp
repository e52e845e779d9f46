#include <winsock2.h>
#include <windows.h>
#include <ws2bth.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "annotations/Descriptions.h"
#include "discovery/ConnectionProbe.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "listview_testsupport.h"
#include "resource.h"
#include "settings/Settings.h"

namespace {

constexpr SOCKET kFakeSocket = 0x1234;

// A socket layer in memory. The probe threads call it, so everything the
// tests read is atomic or taken under the lock.
struct FakeNet {
    std::mutex lock;
    SOCKET socketResult = kFakeSocket;
    int bindResult = 0;
    int connectResult = 0;
    int lastError = 0;
    // While set, connect waits on release (one unit per connect).
    HANDLE release = nullptr;

    int socketArgs[3] = {};
    SOCKADDR_BTH bound = {};
    int boundLength = 0;
    SOCKADDR_BTH connected = {};
    int connectedLength = 0;
    std::vector<uint64_t> connectOrder;   // device addresses, in call order
    std::vector<SOCKET> closedSockets;

    std::atomic<int> sockets{0};
    std::atomic<int> connects{0};
    std::atomic<int> inConnect{0};
    std::atomic<int> mostInConnect{0};
    std::atomic<int> finished{0};   // connects returned
};

FakeNet* net = nullptr;

SOCKET WSAAPI FakeSocket(int family, int type, int protocol) {
    std::lock_guard<std::mutex> guard(net->lock);
    net->socketArgs[0] = family;
    net->socketArgs[1] = type;
    net->socketArgs[2] = protocol;
    ++net->sockets;
    return net->socketResult;
}

int WSAAPI FakeBind(SOCKET, const sockaddr* address, int length) {
    std::lock_guard<std::mutex> guard(net->lock);
    memcpy(&net->bound, address, length < 30 ? length : 30);
    net->boundLength = length;
    return net->bindResult;
}

int WSAAPI FakeConnect(SOCKET, const sockaddr* address, int length) {
    {
        std::lock_guard<std::mutex> guard(net->lock);
        memcpy(&net->connected, address, length < 30 ? length : 30);
        net->connectedLength = length;
        net->connectOrder.push_back(reinterpret_cast<const SOCKADDR_BTH*>(address)->btAddr);
    }
    ++net->connects;
    int now = ++net->inConnect;
    int most = net->mostInConnect.load();
    while (now > most && !net->mostInConnect.compare_exchange_weak(most, now)) {
    }
    if (net->release) WaitForSingleObject(net->release, 30000);
    --net->inConnect;
    ++net->finished;
    return net->connectResult;
}

int WSAAPI FakeClose(SOCKET s) {
    std::lock_guard<std::mutex> guard(net->lock);
    net->closedSockets.push_back(s);
    return 0;
}

int WSAAPI FakeLastError() { return net->lastError; }

const nw::ProbeSocketApi kFakeApi = {FakeSocket, FakeBind, FakeConnect, FakeClose, FakeLastError};

template <typename F>
bool WaitFor(F f, DWORD timeoutMs = 10000) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!f()) {
        if (GetTickCount64() > end) return false;
        Sleep(1);
    }
    return true;
}

class ProbeTest : public ::testing::Test {
protected:
    void SetUp() override { net = &fake; }
    void TearDown() override {
        // No probe thread may outlive the fake it calls.
        if (fake.release) ReleaseSemaphore(fake.release, 1000, nullptr);
        EXPECT_TRUE(WaitFor([&] { return fake.finished.load() == fake.connects.load(); }));
        Sleep(20);   // past the last post
        if (fake.release) CloseHandle(fake.release);
        net = nullptr;
    }
    FakeNet fake;
};

// A window of the test thread that only queues messages.
class MessageWindow {
public:
    MessageWindow() {
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                                  nullptr);
    }
    ~MessageWindow() {
        if (window_) DestroyWindow(window_);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    HWND Handle() const { return window_; }

    struct Result {
        WPARAM index;
        LPARAM result;
    };
    // The next probe result posted to the window, within the time.
    bool Next(Result& out, DWORD timeoutMs = 10000) {
        MSG msg;
        return WaitFor(
            [&] {
                if (!PeekMessageW(&msg, window_, NWM_PROBE_RESULT, NWM_PROBE_RESULT, PM_REMOVE)) return false;
                out = {msg.wParam, msg.lParam};
                return true;
            },
            timeoutMs);
    }

private:
    HWND window_ = nullptr;
};

}  // namespace

// ---- One probe: the socket calls ---------------------------------------------------

TEST_F(ProbeTest, ConnectsToTheDevicesObexServiceAndCloses) {
    EXPECT_EQ(0, nw::ProbeDevice(0x001A7DDA7113ull, kFakeApi));

    EXPECT_EQ(AF_BTH, fake.socketArgs[0]);
    EXPECT_EQ(32, fake.socketArgs[0]);
    EXPECT_EQ(1, fake.socketArgs[1]);   // SOCK_STREAM
    EXPECT_EQ(3, fake.socketArgs[2]);   // BTHPROTO_RFCOMM

    EXPECT_EQ(30, fake.boundLength);
    EXPECT_EQ(32, fake.bound.addressFamily);
    EXPECT_EQ(0u, fake.bound.btAddr);
    const GUID zero = {};
    EXPECT_EQ(0, memcmp(&zero, &fake.bound.serviceClassId, sizeof zero));
    EXPECT_EQ(0xFFFFFFFFu, fake.bound.port);

    EXPECT_EQ(30, fake.connectedLength);
    EXPECT_EQ(32, fake.connected.addressFamily);
    EXPECT_EQ(0x001A7DDA7113ull, fake.connected.btAddr);
    EXPECT_EQ(0u, fake.connected.port);
    // {00000008-0000-1000-8000-00805F9B34FB}, as the platform lays a GUID out.
    const unsigned char obex[16] = {0x08, 0, 0, 0, 0, 0, 0x00, 0x10, 0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};
    EXPECT_EQ(0, memcmp(obex, &fake.connected.serviceClassId, 16));
    // The address sits at byte 2 of the packed 30-byte layout.
    uint64_t atTwo = 0;
    memcpy(&atTwo, reinterpret_cast<const unsigned char*>(&fake.connected) + 2, 8);
    EXPECT_EQ(0x001A7DDA7113ull, atTwo);

    EXPECT_EQ(std::vector<SOCKET>{kFakeSocket}, fake.closedSockets);
}

TEST_F(ProbeTest, FailedBindIsTheResultAndNoConnectIsTried) {
    fake.bindResult = SOCKET_ERROR;
    fake.lastError = WSAEAFNOSUPPORT;
    EXPECT_EQ(-1, nw::ProbeDevice(0x5C0E8B000001ull, kFakeApi));
    EXPECT_EQ(0, fake.connects.load());
    EXPECT_EQ(std::vector<SOCKET>{kFakeSocket}, fake.closedSockets);
}

TEST_F(ProbeTest, FailedConnectGivesTheSocketsErrorCode) {
    fake.connectResult = SOCKET_ERROR;
    fake.lastError = WSAETIMEDOUT;
    EXPECT_EQ(10060, nw::ProbeDevice(0x5C0E8B000001ull, kFakeApi));
    EXPECT_EQ(std::vector<SOCKET>{kFakeSocket}, fake.closedSockets);

    // A failure without an error code must still read as a failure.
    fake.lastError = 0;
    EXPECT_EQ(-1, nw::ProbeDevice(0x5C0E8B000001ull, kFakeApi));
    EXPECT_EQ(2u, fake.closedSockets.size());
}

TEST_F(ProbeTest, NoSocketFailsAtTheBind) {
    fake.socketResult = INVALID_SOCKET;
    fake.bindResult = SOCKET_ERROR;
    EXPECT_EQ(-1, nw::ProbeDevice(0x5C0E8B000001ull, kFakeApi));
    EXPECT_EQ(0, fake.connects.load());
    EXPECT_TRUE(fake.closedSockets.empty());   // nothing to close
}

// Wine has no Bluetooth sockets: the socket call fails, so does the bind.
TEST(ProbeSystem, WithoutBluetoothSocketsTheProbeFails) {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    EXPECT_NE(0, nw::ProbeDevice(0x0A0000000001ull));
    WSACleanup();
}

// ---- Threads and the result message ----------------------------------------------

TEST_F(ProbeTest, ResultReachesTheWindowWithIndexAndSignedResult) {
    MessageWindow window;
    ASSERT_TRUE(window.Handle());
    nw::ConnectionProbe probes(kFakeApi);

    fake.bindResult = SOCKET_ERROR;
    ASSERT_TRUE(probes.StartProbe(window.Handle(), 0x5C0E8B000001ull, 7));
    MessageWindow::Result r;
    ASSERT_TRUE(window.Next(r));
    EXPECT_EQ(7u, r.index);
    EXPECT_EQ(-1, static_cast<int32_t>(r.result));
    EXPECT_EQ(0xFFFFFFFFu, static_cast<uint32_t>(r.result));   // how the main window reads it
    probes.OnProbeFinished();

    fake.bindResult = 0;
    fake.connectResult = SOCKET_ERROR;
    fake.lastError = WSAEHOSTDOWN;
    ASSERT_TRUE(probes.StartProbe(window.Handle(), 0x5C0E8B000001ull, 8));
    ASSERT_TRUE(window.Next(r));
    EXPECT_EQ(8u, r.index);
    EXPECT_EQ(WSAEHOSTDOWN, static_cast<int32_t>(r.result));
    probes.OnProbeFinished();
    EXPECT_EQ(0, probes.Running());
}

namespace {

struct StartLog {
    std::vector<int32_t> indexes;
    std::vector<std::chrono::steady_clock::time_point> times;
};

void OnStarted(void* context, int32_t index) {
    auto* log = static_cast<StartLog*>(context);
    log->indexes.push_back(index);
    log->times.push_back(std::chrono::steady_clock::now());
}

BLUETOOTH_DEVICE_INFO Answer(uint64_t address) {
    BLUETOOTH_DEVICE_INFO info;
    memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = address;
    info.ulClassofDevice = 0x20C;
    return info;
}

}  // namespace

// Rows 0, 2 and 3 of four are selected: the probes start last row first,
// each at least 10 ms after the one before.
TEST_F(ProbeTest, SelectedRowsStartLastRowFirstTenMillisecondsApartAndOnlyIntoFreeSlots) {
    listtest::TempFolder folder;
    nw::Settings settings = {};
    // The merge reads the settings and may write descriptions: both point
    // at this test's own, until it ends however it ends.
    struct Globals {
        Globals(nw::Settings* settings, const std::wstring& descriptions) {
            nw::SetAppSettings(settings);
            nw::SetDescriptionFileForTesting(descriptions.c_str());
        }
        ~Globals() {
            nw::SetAppSettings(nullptr);
            nw::SetDescriptionFileForTesting(nullptr);
        }
    } globals(&settings, folder.File(L"desc.ini"));
    listtest::ListWindow list;
    nw::DeviceTable table;
    nw::ScanAnswer scan;
    table.Attach(list.List());
    table.InsertColumns();
    table.scanResults = &scan;
    scan.count = 4;
    for (int i = 0; i < 4; ++i) scan.results[i] = Answer(0x0A0000000001ull + i);
    table.ReloadRecords();
    table.Refresh();
    ASSERT_EQ(4, table.RowCount());
    for (int row : {0, 2, 3}) ListView_SetItemState(list.List(), row, LVIS_SELECTED, LVIS_SELECTED);

    std::vector<int32_t> expected;
    std::vector<uint64_t> expectedAddresses;
    for (int row : {3, 2, 0}) {
        const auto* record = static_cast<const nw::DeviceRecord*>(table.RowRecord(row));
        ASSERT_NE(nullptr, record);
        expected.push_back(record->index);
        expectedAddresses.push_back(nw::DeviceAddress(*record));
    }

    MessageWindow window;
    nw::ConnectionProbe probes(kFakeApi, 2);
    StartLog log;
    probes.SetStartObserver(OnStarted, &log);
    probes.ProbeSelected(table, window.Handle());
    // Only the free slots start at once, though these probes end at once:
    // the window thread never works through a whole selection (500 rows
    // held an exit up for five seconds).
    EXPECT_EQ(2u, log.indexes.size());
    EXPECT_EQ(1, probes.Waiting());

    std::vector<WPARAM> results;
    for (int i = 0; i < 3; ++i) {
        MessageWindow::Result r;
        ASSERT_TRUE(window.Next(r));
        EXPECT_EQ(0, static_cast<int32_t>(r.result));
        results.push_back(r.index);
        probes.OnProbeFinished();
    }
    EXPECT_EQ(expected, log.indexes);
    ASSERT_EQ(3u, log.times.size());
    for (size_t i = 1; i < log.times.size(); ++i)
        EXPECT_GE(log.times[i] - log.times[i - 1], std::chrono::milliseconds(10)) << "start " << i;
    std::sort(results.begin(), results.end());
    std::vector<WPARAM> sortedExpected(expected.begin(), expected.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(sortedExpected, results);
    {
        std::lock_guard<std::mutex> guard(fake.lock);
        std::vector<uint64_t> connected = fake.connectOrder;
        std::sort(connected.begin(), connected.end());
        std::sort(expectedAddresses.begin(), expectedAddresses.end());
        EXPECT_EQ(expectedAddresses, connected);
        EXPECT_EQ(3u, fake.closedSockets.size());
    }
}

// Twenty requests against devices that take their time: sixteen run, four
// wait, and each result lets the next waiting one start, in request order.
TEST_F(ProbeTest, AtMostSixteenProbesRunAtOnce) {
    fake.release = CreateSemaphoreW(nullptr, 0, 1000, nullptr);
    ASSERT_TRUE(fake.release);
    MessageWindow window;
    nw::ConnectionProbe probes(kFakeApi);
    StartLog log;
    probes.SetStartObserver(OnStarted, &log);

    for (int i = 0; i < 20; ++i) ASSERT_TRUE(probes.StartProbe(window.Handle(), 0x0B0000000000ull + i, 100 + i));
    EXPECT_EQ(16, probes.Running());
    EXPECT_EQ(4, probes.Waiting());
    ASSERT_TRUE(WaitFor([&] { return fake.inConnect.load() == 16; }));
    Sleep(50);
    EXPECT_EQ(16, fake.connects.load());

    int results = 0;
    for (int round = 0; round < 20; ++round) {
        ReleaseSemaphore(fake.release, 1, nullptr);
        MessageWindow::Result r;
        ASSERT_TRUE(window.Next(r)) << "round " << round;
        ++results;
        probes.OnProbeFinished();
        const int expectedRunning = 20 - results < 16 ? 20 - results : 16;
        EXPECT_EQ(expectedRunning, probes.Running()) << "round " << round;
        EXPECT_EQ(results <= 4 ? 4 - results : 0, probes.Waiting()) << "round " << round;
    }
    EXPECT_EQ(16, fake.mostInConnect.load());
    EXPECT_EQ(20, fake.connects.load());
    EXPECT_EQ(0, probes.Running());
    ASSERT_EQ(20u, log.indexes.size());
    for (int i = 0; i < 20; ++i) EXPECT_EQ(100 + i, log.indexes[static_cast<size_t>(i)]);
    // The waiting ones, too, start at least 10 ms apart from the one before.
    for (size_t i = 16; i < 20; ++i) EXPECT_GE(log.times[i] - log.times[i - 1], std::chrono::milliseconds(10));
}

// A slot is free when its thread is done, not when a message says so: a
// result message that none of these probes sent cannot let more than the
// limit run, and results that never arrive cannot keep slots taken.
TEST_F(ProbeTest, ForeignOrLostResultsKeepTheLimitExact) {
    fake.release = CreateSemaphoreW(nullptr, 0, 1000, nullptr);
    ASSERT_TRUE(fake.release);
    MessageWindow window;
    nw::ConnectionProbe probes(kFakeApi, 2);
    probes.OnProbeFinished();
    probes.OnProbeFinished();
    EXPECT_EQ(0, probes.Running());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(probes.StartProbe(window.Handle(), 0x0C0000000000ull + i, i + 1));
    EXPECT_EQ(2, probes.Running());
    EXPECT_EQ(1, probes.Waiting());
    ASSERT_TRUE(WaitFor([&] { return fake.inConnect.load() == 2; }));
    probes.OnProbeFinished();   // foreign: both threads still run
    EXPECT_EQ(2, probes.Running());
    EXPECT_EQ(1, probes.Waiting());

    ReleaseSemaphore(fake.release, 1000, nullptr);
    ASSERT_TRUE(WaitFor([&] {
        probes.OnProbeFinished();
        return probes.Waiting() == 0 && probes.Running() == 0;
    }));
    EXPECT_EQ(2, fake.mostInConnect.load());

    // Results posted to a window that is gone are lost; the slots come free all the same.
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    nw::ConnectionProbe lost(kFakeApi, 2);
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(lost.StartProbe(gone, 0x0D0000000000ull + i, 10 + i));
    ASSERT_TRUE(WaitFor([&] { return lost.Running() == 0; }));
    ASSERT_TRUE(lost.StartProbe(gone, 0x0D0000000002ull, 12));
    EXPECT_EQ(0, lost.Waiting());
    ASSERT_TRUE(WaitFor([&] { return fake.finished.load() == 6; }));
}
