// The MQTT client against the real broker the test command starts
// (tools/mqtt-broker.sh; NW_TEST_MQTT_DIR names its folder), and against
// an unreachable one.
#include <winsock2.h>
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "mqtt/MqttClient.h"

namespace {

using namespace nw::mqtt;

constexpr UINT kStateMessage = WM_APP + 1;
constexpr UINT kArrivedMessage = WM_APP + 2;

struct Broker {
    std::wstring dir;   // as Wine sees it
    uint16_t plain = 0, auth = 0, tls = 0;
    std::string user, password;
    std::array<uint8_t, 32> pin{};
};

uint16_t Port(const std::wstring& ini, const wchar_t* key) {
    return static_cast<uint16_t>(GetPrivateProfileIntW(L"broker", key, 0, ini.c_str()));
}

std::string Text(const std::wstring& ini, const wchar_t* key) {
    wchar_t value[256] = {};
    GetPrivateProfileStringW(L"broker", key, L"", value, 256, ini.c_str());
    return std::string(value, value + wcslen(value));
}

bool HexPin(const std::string& hex, std::array<uint8_t, 32>& pin) {
    if (hex.size() != 64) return false;
    for (size_t i = 0; i < 32; ++i) pin[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return true;
}

// The broker is part of the test command: missing, these tests fail.
bool LoadBroker(Broker& b, std::string& why) {
    wchar_t unix[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"NW_TEST_MQTT_DIR", unix, MAX_PATH)) {
        why = "NW_TEST_MQTT_DIR is not set: these tests need the test broker. Start it with "
              "'tools/mqtt-broker.sh start DIR' and export NW_TEST_MQTT_DIR=DIR (tools/test.sh does both).";
        return false;
    }
    b.dir = std::wstring(L"Z:") + unix;
    for (wchar_t& c : b.dir)
        if (c == L'/') c = L'\\';
    const std::wstring ini = b.dir + L"\\broker.ini";
    b.plain = Port(ini, L"plain");
    b.auth = Port(ini, L"auth");
    b.tls = Port(ini, L"tls");
    b.user = Text(ini, L"user");
    b.password = Text(ini, L"password");
    if (!b.plain || !b.auth || !b.tls || !HexPin(Text(ini, L"pin"), b.pin)) {
        why = "no broker.ini with ports and pin in NW_TEST_MQTT_DIR: was tools/mqtt-broker.sh start run?";
        return false;
    }
    return true;
}

// Leaves posted messages in the queue for Inbox::Pump. Limits grow with
// NW_E2E_WAIT_SCALE, as the end-to-end tests' do, on a loaded machine.
template <typename Condition>
bool WaitFor(Condition done, DWORD ms) {
    wchar_t scale[16] = {};
    if (GetEnvironmentVariableW(L"NW_E2E_WAIT_SCALE", scale, 16) && _wtoi(scale) > 1) ms *= static_cast<DWORD>(_wtoi(scale));
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() >= end) return done();
        Sleep(20);
    }
    return true;
}

// A message-only window that records what the client posts to it.
class Inbox {
public:
    Inbox() {
        window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~Inbox() { DestroyWindow(window_); }
    HWND window() const { return window_; }
    // Takes the posted messages: the states, and how many arrival notes.
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, window_, WM_APP, WM_APP + 10, PM_REMOVE)) {
            if (msg.message == kStateMessage) states.push_back(static_cast<ClientState>(msg.wParam));
            if (msg.message == kArrivedMessage) ++arrivals;
        }
    }
    std::vector<ClientState> states;
    int arrivals = 0;

private:
    HWND window_ = nullptr;
};

class MqttBroker : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(LoadBroker(broker_, why)) << why;
        // Topics and client ids of this process only: one broker serves every test.
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "nwtest/%lu-%llu", GetCurrentProcessId(),
                      static_cast<unsigned long long>(GetTickCount64()));
        prefix_ = prefix;
    }
    ClientConfig Config(uint16_t port, const char* id) const {
        ClientConfig c;
        c.host = L"127.0.0.1";
        c.port = port;
        c.clientId = std::string(id) + "-" + std::to_string(GetCurrentProcessId());
        return c;
    }
    static bool Connected(const Client& c) { return c.Status().state == ClientState::Connected; }
    // Waits for count messages, keeping all that came.
    static bool Collect(Client& c, std::vector<Message>& got, size_t count, DWORD ms) {
        return WaitFor([&] { c.TakeMessages(got); return got.size() >= count; }, ms);
    }
    // The watcher of tools/mqtt-broker.sh stops or starts the broker.
    bool Request(const wchar_t* what) const {
        const std::wstring file = broker_.dir + L"\\request-" + what;
        HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return WaitFor([&] { return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES; }, 15000);
    }

    // Lines of the broker's log (tools/mqtt-broker.sh logs at debug level).
    int BrokerLogCount(const std::string& text) const {
        std::string log;
        HANDLE h = CreateFileW((broker_.dir + L"\\mosquitto.log").c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return -1;
        char piece[65536];
        DWORD n = 0;
        while (ReadFile(h, piece, sizeof piece, &n, nullptr) && n) log.append(piece, n);
        CloseHandle(h);
        int count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }

    Broker broker_;
    std::string prefix_;
};

// Plain and TLS (pinned), a payload of several TLS records, the state and
// arrival notes to the window, and the final retained message of Stop.
TEST_F(MqttBroker, RetainedMessagesReachASubscriberOverTlsAndStopSaysGoodbye) {
    Client publisher;
    ASSERT_TRUE(publisher.Start(Config(broker_.plain, "pub"), nullptr, 0, 0));
    ASSERT_TRUE(WaitFor([&] { return Connected(publisher); }, 10000));
    std::string big(40000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 8));
    publisher.Publish(prefix_ + "/status", "online", kRetain | kQos1);
    publisher.Publish(prefix_ + "/big", big, kRetain);

    Inbox inbox;
    ClientConfig tls = Config(broker_.tls, "sub");
    tls.host = L"localhost";
    tls.tls = true;
    tls.hasPin = true;
    tls.pin = broker_.pin;
    Client subscriber;
    subscriber.Subscribe(prefix_ + "/#");
    ASSERT_TRUE(subscriber.Start(tls, inbox.window(), kStateMessage, kArrivedMessage));
    std::vector<Message> got;
    ASSERT_TRUE(Collect(subscriber, got, 2, 15000)) << "status " << static_cast<int>(subscriber.Status().state)
                                                    << " error " << subscriber.Status().error;
    ASSERT_EQ(got.size(), 2u);
    const Message& bigOne = got[0].topic == prefix_ + "/big" ? got[0] : got[1];
    const Message& status = got[0].topic == prefix_ + "/big" ? got[1] : got[0];
    EXPECT_EQ(bigOne.payload, big);
    EXPECT_EQ(status.topic, prefix_ + "/status");
    EXPECT_EQ(status.payload, "online");
    inbox.Pump();
    EXPECT_EQ(inbox.states, (std::vector<ClientState>{ClientState::Connecting, ClientState::Connected}));
    EXPECT_GE(inbox.arrivals, 1);

    publisher.Stop(prefix_ + "/status", "offline", 1000);
    EXPECT_EQ(publisher.Status().state, ClientState::Stopped);
    got.clear();
    ASSERT_TRUE(Collect(subscriber, got, 1, 5000));
    EXPECT_EQ(got[0].topic, prefix_ + "/status");
    EXPECT_EQ(got[0].payload, "offline");
    subscriber.Stop("", "", 1000);
    inbox.Pump();
    EXPECT_EQ(inbox.states.back(), ClientState::Connected) << "no note after Stop";
}

TEST_F(MqttBroker, LastWillWhenTheClientDiesWithoutDisconnect) {
    Client watcher;
    watcher.Subscribe(prefix_ + "/status");
    ASSERT_TRUE(watcher.Start(Config(broker_.plain, "watch"), nullptr, 0, 0));
    ClientConfig config = Config(broker_.plain, "dies");
    config.willTopic = prefix_ + "/status";
    config.willPayload = "offline";
    Client dying;
    ASSERT_TRUE(dying.Start(config, nullptr, 0, 0));
    ASSERT_TRUE(WaitFor([&] { return Connected(dying) && Connected(watcher); }, 10000));
    dying.Publish(prefix_ + "/status", "online", kRetain);
    std::vector<Message> got;
    ASSERT_TRUE(Collect(watcher, got, 1, 5000));
    EXPECT_EQ(got[0].payload, "online");
    dying.Abort();
    got.clear();
    ASSERT_TRUE(Collect(watcher, got, 1, 5000));
    EXPECT_EQ(got[0].payload, "offline");
}

// Keep-alive 1 s: the broker's log shows the PINGREQs of 2 s connected. Events given
// while the broker is down go once, in order, after it is back; state given
// then is dropped.
TEST_F(MqttBroker, QueuedEventsArriveOnceAfterTheBrokerRestarts) {
    Inbox inbox;
    ClientConfig config = Config(broker_.plain, "restart");
    config.keepAliveSeconds = 1;
    Client client;
    const std::string topic = prefix_ + "/events";
    client.Subscribe(topic);   // its own events come back to it
    ASSERT_TRUE(client.Start(config, inbox.window(), kStateMessage, kArrivedMessage));
    ASSERT_TRUE(WaitFor([&] { return Connected(client); }, 10000));
    client.Publish(topic, "before", kQos1);
    std::vector<Message> got;
    ASSERT_TRUE(Collect(client, got, 1, 5000));
    Sleep(2000);
    inbox.Pump();
    EXPECT_EQ(inbox.states, (std::vector<ClientState>{ClientState::Connecting, ClientState::Connected}));
    EXPECT_GE(BrokerLogCount("Received PINGREQ from " + config.clientId + "\n"), 1);

    ASSERT_TRUE(Request(L"stop"));
    ASSERT_TRUE(WaitFor([&] { return !Connected(client); }, 5000));
    for (const char* e : {"e1", "e2", "e3"}) client.Publish(topic, e, kQos1 | kQueueWhileOffline);
    client.Publish(topic, "state", kQos1);
    ASSERT_TRUE(Request(L"start"));
    ASSERT_TRUE(WaitFor([&] { return Connected(client); }, 15000));
    got.clear();
    ASSERT_TRUE(Collect(client, got, 3, 5000));
    Sleep(500);
    client.TakeMessages(got);
    std::vector<std::string> payloads;
    for (const Message& m : got) payloads.push_back(m.payload);
    EXPECT_EQ(payloads, (std::vector<std::string>{"e1", "e2", "e3"}));
    EXPECT_EQ(client.TakeLostCount(), 0u);
}

TEST_F(MqttBroker, WrongPasswordIsRefusedWithItsCode) {
    ClientConfig config = Config(broker_.auth, "auth");
    config.user = broker_.user;
    config.password = broker_.password;
    EXPECT_EQ(Client::TestConnection(config, 5000).state, ClientState::Connected);
    config.password += "x";
    const ClientStatus test = Client::TestConnection(config, 5000);
    EXPECT_EQ(test.state, ClientState::Refused);
    EXPECT_TRUE(test.connackCode == 4 || test.connackCode == 5) << test.connackCode;

    Client client;
    ASSERT_TRUE(client.Start(config, nullptr, 0, 0));
    ASSERT_TRUE(WaitFor([&] { return client.Status().state == ClientState::Refused; }, 10000));
    const ClientStatus s = client.Status();
    EXPECT_EQ(s.connackCode, test.connackCode);
    EXPECT_GE(s.nextAttemptMs, 750u);
}

TEST_F(MqttBroker, TlsChecksTheChainAndHostUnlessPinned) {
    ClientConfig config = Config(broker_.tls, "tls");
    config.host = L"localhost";
    config.tls = true;
    ClientStatus s = Client::TestConnection(config, 10000);
    EXPECT_EQ(s.state, ClientState::Offline) << "a self-signed certificate passed the chain check";
    EXPECT_TRUE(s.tlsRejected);
    config.hasPin = true;
    config.pin = broker_.pin;
    s = Client::TestConnection(config, 10000);
    EXPECT_EQ(s.state, ClientState::Connected) << std::hex << s.error;
    config.pin[31] ^= 1;
    s = Client::TestConnection(config, 10000);
    EXPECT_EQ(s.state, ClientState::Offline);
    EXPECT_TRUE(s.tlsRejected);
    // The plain port does not speak TLS: an error, not a certificate question.
    config.port = broker_.plain;
    s = Client::TestConnection(config, 10000);
    EXPECT_EQ(s.state, ClientState::Offline);
    EXPECT_FALSE(s.tlsRejected);
}

// A listener that never accepts (the connection waits for a CONNACK that
// never comes) and a closed port: Stop ends it at once either way.
TEST(MqttClient, StopIsQuickWhenTheBrokerIsUnreachable) {
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET hole = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(hole, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(hole, 4), 0);
    int size = sizeof address;
    getsockname(hole, reinterpret_cast<sockaddr*>(&address), &size);
    const uint16_t holePort = ntohs(address.sin_port);
    SOCKET closed = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    address.sin_port = 0;
    bind(closed, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(closed, reinterpret_cast<sockaddr*>(&address), &size);
    const uint16_t closedPort = ntohs(address.sin_port);
    closesocket(closed);

    for (uint16_t port : {holePort, closedPort}) {
        ClientConfig config;
        config.host = L"127.0.0.1";
        config.port = port;
        config.clientId = "unreachable";
        Client client;
        ASSERT_TRUE(client.Start(config, nullptr, 0, 0));
        if (port == closedPort) {
            ASSERT_TRUE(WaitFor([&] { return client.Status().state == ClientState::Offline && client.Status().error; }, 5000));
            EXPECT_EQ(client.Status().error, static_cast<DWORD>(WSAECONNREFUSED));
        } else {
            Sleep(300);
            EXPECT_EQ(client.Status().state, ClientState::Connecting);
        }
        for (int i = 0; i < 2000; ++i) client.Publish("nw/events", "e", kQos1 | kQueueWhileOffline);
        EXPECT_EQ(client.TakeLostCount(), 1000u);
        // Given more, Stop must still return well within a second: the
        // thread itself ends at once, not the wait's limit.
        const ULONGLONG t0 = GetTickCount64();
        client.Stop("nw/status", "offline", 5000);
        EXPECT_LT(GetTickCount64() - t0, 1000u) << port;
    }
    closesocket(hole);
    WSACleanup();
}

// A broker that accepts, then announces a PUBLISH of 256 MB: the client
// closes the connection on the header, before any of the body.
TEST(MqttClient, HostileBrokerIsLeftAtOnce) {
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    ClientConfig config;
    config.host = L"127.0.0.1";
    config.port = ntohs(address.sin_port);
    config.clientId = "hostile";
    Client client;
    ASSERT_TRUE(client.Start(config, nullptr, 0, 0));
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval wait{10, 0};
    ASSERT_EQ(select(0, &ready, nullptr, nullptr, &wait), 1);
    SOCKET peer = accept(listener, nullptr, nullptr);
    const DWORD timeoutMs = 10000;
    setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    char bytes[512];
    ASSERT_GT(recv(peer, bytes, sizeof bytes, 0), 0);   // CONNECT
    ASSERT_EQ(send(peer, "\x20\x02\x00\x00", 4, 0), 4);
    ASSERT_TRUE(WaitFor([&] { return client.Status().state == ClientState::Connected; }, 5000));
    ASSERT_EQ(send(peer, "\x30\xFF\xFF\xFF\x7F", 5, 0), 5);
    EXPECT_EQ(recv(peer, bytes, sizeof bytes, 0), 0) << "the client did not close the connection";
    ASSERT_TRUE(WaitFor([&] { return client.Status().state == ClientState::Offline; }, 5000));
    EXPECT_EQ(client.Status().error, static_cast<DWORD>(WSAECONNABORTED));
    client.Stop("", "", 1000);
    closesocket(peer);
    closesocket(listener);
    WSACleanup();
}

TEST(MqttClient, SealedPasswordOpensOnlyWhole) {
    const std::string clear = "s\xC3\xA9same \"open\"";
    const std::wstring sealed = SealPassword(clear);
    ASSERT_FALSE(sealed.empty());
    EXPECT_EQ(sealed.find(L"same"), std::wstring::npos);
    std::string back;
    ASSERT_TRUE(UnsealPassword(sealed, back));
    EXPECT_EQ(back, clear);
    back = "kept";
    EXPECT_FALSE(UnsealPassword(sealed.substr(0, sealed.size() - 8), back));   // cut short
    EXPECT_FALSE(UnsealPassword(L"c2VjcmV0", back));   // base64, not sealed
    EXPECT_FALSE(UnsealPassword(L"\x00e9t\x00e9", back));
    EXPECT_EQ(back, "kept");
}

}  // namespace
