// An MQTT 3.1.1 client on a thread of its own, over Winsock and, when asked,
// Windows' own TLS. The window thread only queues work and reads state; the
// client thread owns the socket, reconnects with back-off and never blocks
// its caller.
#pragma once
#include <windows.h>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace nw::mqtt {

struct ClientConfig {
    std::wstring host;                 // name or address, no port
    uint16_t port = 0;                 // 0: 1883, or 8883 with tls
    bool tls = false;
    bool hasPin = false;               // with tls: accept exactly this certificate...
    std::array<uint8_t, 32> pin{};     // ...by the SHA-256 of its DER bytes, not the chain
    std::string user;                  // UTF-8; empty: none
    std::string password;              // UTF-8, clear, in memory only
    std::string clientId;              // UTF-8, at most 23 characters is safest
    std::string willTopic;             // empty: no last will
    std::string willPayload;
    bool willRetain = true;
    uint16_t keepAliveSeconds = 30;
};

enum class ClientState : int {
    Offline = 0,      // not started, or waiting for the next attempt
    Connecting = 1,   // resolving, connecting, TLS handshake or waiting for CONNACK
    Connected = 2,
    Refused = 3,      // the broker answered CONNACK with a non-zero code
    Stopped = 4,      // Stop was called
};

struct ClientStatus {
    ClientState state = ClientState::Offline;
    int connackCode = 0;     // with Refused: 1..5 as the broker sent it
    DWORD error = 0;         // the last Winsock or SSPI error, 0 if none
    bool tlsRejected = false;   // certificate chain, host name or pin did not match
    uint32_t nextAttemptMs = 0; // Offline/Refused: the back-off before the next attempt
};

struct Message {            // a PUBLISH that arrived on a subscription
    std::string topic;
    std::string payload;
};

enum PublishFlags : unsigned {
    kRetain = 1,
    kQos1 = 2,
    // Kept while offline in a bounded queue (oldest dropped and counted) and
    // sent after the next connect; without it a message given while offline
    // is dropped: state is published whole again after each connect.
    kQueueWhileOffline = 4,
};

class Client {
public:
    Client();
    ~Client();   // as Stop with no final message and no wait
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Starts the thread. The window receives stateMessage (wParam = ClientState)
    // on every change of state, and messageMessage when messages arrived
    // (fetch them with TakeMessages), once per batch; no window: no notes.
    // Nothing is posted once Stop has begun. Once per Client: false when
    // already started or the thread could not be made.
    bool Start(const ClientConfig& config, HWND window, UINT stateMessage, UINT messageMessage);
    // Thread-safe; returns at once (it only queues). QoS 1 messages stay
    // until their PUBACK and go again, marked DUP, after a reconnect.
    // Ignored after Stop.
    void Publish(const std::string& topic, const std::string& payload, unsigned flags);
    // Kept and sent again after each connect, before the waiting messages;
    // subscribed at QoS 1.
    void Subscribe(const std::string& topicFilter);
    // Moves out the messages that arrived since the last call (the last 256
    // are kept when the window falls behind).
    void TakeMessages(std::vector<Message>& out);
    ClientStatus Status() const;
    // Queued messages dropped while offline since the last call; resets it.
    uint32_t TakeLostCount();
    // Sends finalTopic/finalPayload (retained, when not empty) and DISCONNECT if
    // connected, then ends the thread; waits at most maxWaitMs in all. A thread
    // still busy then (a name lookup cannot be interrupted) ends by itself
    // later and touches nothing of the caller's.
    void Stop(const std::string& finalTopic, const std::string& finalPayload, DWORD maxWaitMs);
    // Ends the connection as a crash would, without DISCONNECT (the broker
    // then publishes the last will), and stops. For tests.
    void Abort();

    // One connection attempt, for the settings dialog's Test button: connects,
    // waits for CONNACK and disconnects, within timeoutMs. Blocks: call it
    // from a worker thread.
    static ClientStatus TestConnection(const ClientConfig& config, DWORD timeoutMs);

private:
    struct Shared;
    static DWORD WINAPI ThreadMain(void* param);
    Shared* shared_ = nullptr;
};

// CryptProtectData for the current user; the sealed bytes as base64 text.
// Empty on failure. Unseal returns false when the text is not a sealed blob.
std::wstring SealPassword(const std::string& clearUtf8);
bool UnsealPassword(const std::wstring& sealed, std::string& clearUtf8);

}  // namespace nw::mqtt
