// The window thread's cost of handing a message to the MQTT client while
// the broker is unreachable (a closed port: the client is between
// attempts), beside an anchor measured in the same run: PostMessage to a
// window, which the window thread pays all the time.
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "Bench.h"
#include "mqtt/MqttClient.h"

namespace {

constexpr int kCalls = 5000;   // under the 10,000 posted messages a thread may hold
const std::string kEvent =
    R"({"time":"2026-12-08T10:57:21+01:00","event":"left","address":"60:8B:0E:4C:2A:91","name":"Anna's phone"})";

uint16_t ClosedPort() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    closesocket(s);
    WSACleanup();
    return ntohs(a.sin_port);
}

// Microseconds per Publish: half events that wait for the broker (the
// queue is full after 1,000, so most drop the oldest), half state dropped.
double PublishUnreachable() {
    nw::mqtt::ClientConfig config;
    config.host = L"127.0.0.1";
    config.port = ClosedPort();
    config.clientId = "bench";
    nw::mqtt::Client client;
    if (!client.Start(config, nullptr, 0, 0)) return 0.0 / 0.0;
    Sleep(50);   // the first attempt has failed: offline, waiting to retry
    const std::string topic = "nearwatch/bench/events";
    const double t0 = bench::NowMs();
    for (int i = 0; i < kCalls; ++i)
        client.Publish(topic, kEvent, (i & 1) ? nw::mqtt::kRetain : nw::mqtt::kQos1 | nw::mqtt::kQueueWhileOffline);
    const double us = (bench::NowMs() - t0) * 1000.0 / kCalls;
    client.Stop("", "", 1000);
    return us;
}

double PostMessageAnchor() {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const double t0 = bench::NowMs();
    for (int i = 0; i < kCalls; ++i) PostMessageW(window, WM_APP, static_cast<WPARAM>(i), 0);
    const double us = (bench::NowMs() - t0) * 1000.0 / kCalls;
    MSG msg;
    while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
    }
    DestroyWindow(window);
    return us;
}

bench::Registrar publish({"mqtt: Publish on the window thread, broker unreachable", "us", "< 10 us", 9, &PublishUnreachable});
bench::Registrar anchor({"mqtt: anchor, PostMessage to a window", "us", "", 9, &PostMessageAnchor});

}  // namespace
