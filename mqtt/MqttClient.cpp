#include <winsock2.h>
#include <windows.h>

#include "mqtt/MqttClient.h"

#include <wincrypt.h>

#include <atomic>
#include <deque>
#include <mutex>   // std::lock_guard
#include <new>

#include "base/Handles.h"
#include "mqtt/MqttConnection.h"
#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttPacket.h"

namespace nw::mqtt {

static_assert(kRetain == kOutboxRetain && kQos1 == kOutboxQos1 && kQueueWhileOffline == kOutboxQueueWhileOffline);

namespace {

constexpr DWORD kConnectTimeoutMs = 10000;   // resolve, connect, TLS and CONNACK together
constexpr size_t kIncomingCapacity = 256;    // arrived messages the window has not taken
constexpr size_t kSendAhead = 256 * 1024;    // bytes encoded ahead of the socket
constexpr uint16_t kFirstSubscribeId = 0xFF00;   // the outbox's ids stay below

uint8_t QosOf(unsigned flags) { return (flags & kQos1) ? 1 : 0; }

ConnectOptions ConnectOptionsOf(const ClientConfig& c) {
    ConnectOptions o;
    o.clientId = c.clientId;
    o.keepAliveSeconds = c.keepAliveSeconds;
    o.willTopic = c.willTopic;
    o.willPayload = c.willPayload;
    o.willRetain = c.willRetain;
    o.user = c.user;
    o.password = c.password;
    return o;
}

// A slim reader/writer lock held exclusively: it stays in user mode unless
// contended, where a std::mutex of the posix thread runtime takes a kernel
// object (under Wine a server round trip) and Publish must stay cheap.
class SlimLock {
public:
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class WinsockUse {
public:
    WinsockUse() { WSADATA d; ok_ = WSAStartup(MAKEWORD(2, 2), &d) == 0; }
    ~WinsockUse() { if (ok_) WSACleanup(); }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Sends CONNECT and waits for the broker's answer. Ok: accepted; Failed
// with refused set to the code when the broker said no.
Io ExchangeConnect(Connection& connection, PacketReader& reader, const ClientConfig& config, HANDLE wake,
             const std::atomic<bool>& stop, ULONGLONG deadline, int& refused) {
    std::string bytes;
    if (!EncodeConnect(ConnectOptionsOf(config), bytes) || !connection.Queue(bytes)) return Io::Failed;
    std::string plain;
    for (;;) {
        if (stop.load(std::memory_order_acquire)) return Io::Stopped;
        Io r = connection.Flush();
        if (r == Io::Failed) return r;
        plain.clear();
        r = connection.Receive(plain);
        if (r == Io::Ok) {
            reader.Feed(plain.data(), plain.size());
            Packet packet;
            const PacketReader::Result got = reader.Next(packet);
            if (got == PacketReader::Result::Error) return Io::Failed;
            if (got == PacketReader::Result::Packet) {
                Connack ack;
                if (!ParseConnack(packet, ack)) return Io::Failed;
                if (ack.code != 0) {
                    refused = ack.code;
                    return Io::Failed;
                }
                return Io::Ok;
            }
            continue;
        }
        if (r != Io::WouldBlock) return r;
        if (connection.Wait(wake, deadline) == Io::TimedOut) return Io::TimedOut;
    }
}

}  // namespace

// Owned by the Client and by its thread, each holding a reference: a thread
// that outlives Stop's wait (a name lookup cannot be interrupted) still
// has everything it uses, and posts nothing once Stop has returned.
struct Client::Shared {
    void Release() {
        if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    void SetStatus(ClientState state, int code, DWORD error, bool tlsRejected, uint32_t nextMs);
    void Deliver(IncomingPublish&& message);
    void Run();
    bool Session(Connection& connection, bool& connected);
    bool LostConnection(Connection& connection, DWORD error);
    template <typename Send>
    bool HandlePackets(PacketReader& reader, Send& send);

    std::atomic<long> refs{1};
    ClientConfig config;                 // read-only once the thread runs
    Handle wake{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    Handle thread;
    std::atomic<bool> stop{false};
    std::atomic<bool> abort{false};

    // Set by Publish when it signalled wake; cleared by the thread before it
    // takes what waits, so a burst of messages wakes it once.
    std::atomic<bool> wakeSent{false};

    SlimLock lock;                       // guards everything below
    HWND window = nullptr;               // none once Stop has begun
    UINT stateMessage = 0, messageMessage = 0;
    ClientStatus status;
    Outbox outbox;
    std::vector<std::string> filters;
    std::deque<Message> incoming;
    std::string finalTopic, finalPayload;
    ULONGLONG stopDeadline = 0;
    // The thread's own:
    ULONGLONG pingSent = 0;              // a PINGREQ awaits its answer
    ClientStatus ended;                  // how the last connection ended
};

void Client::Shared::SetStatus(ClientState state, int code, DWORD error, bool tlsRejected, uint32_t nextMs) {
    std::lock_guard<SlimLock> hold(lock);
    if (stopDeadline) return;   // Stopped stays
    const bool changed = status.state != state;
    status.state = state;
    status.connackCode = code;
    status.error = error;
    status.tlsRejected = tlsRejected;
    status.nextAttemptMs = nextMs;
    if (changed && window && stateMessage) PostMessageW(window, stateMessage, static_cast<WPARAM>(state), 0);
}

void Client::Shared::Deliver(IncomingPublish&& message) {
    std::lock_guard<SlimLock> hold(lock);
    // A broker that floods faster than the window reads loses the oldest.
    if (incoming.size() >= kIncomingCapacity) incoming.pop_front();
    const bool wasEmpty = incoming.empty();
    incoming.push_back({std::move(message.topic), std::move(message.payload)});
    // One message per batch: the window takes them all at once.
    if (wasEmpty && window && messageMessage) PostMessageW(window, messageMessage, 0, 0);
}

// Acts on every whole packet the reader holds; false when the broker broke
// the protocol.
template <typename Send>
bool Client::Shared::HandlePackets(PacketReader& reader, Send& send) {
    Packet packet;
    PacketReader::Result next;
    std::string bytes;
    while ((next = reader.Next(packet)) == PacketReader::Result::Packet) {
        if (packet.type == kPublish) {
            IncomingPublish message;
            if (!ParsePublish(packet, message)) return false;
            if (message.qos == 1) {
                bytes.clear();
                EncodePuback(message.packetId, bytes);
                if (!send(bytes)) return false;
            }
            Deliver(std::move(message));
        } else if (packet.type == kPuback) {
            uint16_t id = 0;
            if (!ParsePuback(packet, id)) return false;
            std::lock_guard<SlimLock> hold(lock);
            outbox.Acknowledge(id);
        } else if (packet.type == kSuback) {
            Suback ack;
            if (!ParseSuback(packet, ack)) return false;
        } else if (packet.type == kPingresp) {
            pingSent = 0;
        } else {
            return false;   // a second CONNACK
        }
    }
    return next != PacketReader::Result::Error;
}

// One connection from connect to its end. True when it ended by Stop (or Abort).
bool Client::Shared::Session(Connection& connection, bool& connected) {
    connected = false;
    PacketReader reader;
    int refused = 0;
    Io r = connection.Open(config, wake.get(), stop, GetTickCount64() + kConnectTimeoutMs);
    if (r == Io::Ok) r = ExchangeConnect(connection, reader, config, wake.get(), stop, GetTickCount64() + kConnectTimeoutMs, refused);
    if (r != Io::Ok) {
        if (stop.load(std::memory_order_acquire)) return true;
        if (refused)
            ended = ClientStatus{ClientState::Refused, refused, 0, false, 0};
        else
            ended = ClientStatus{ClientState::Offline, 0, connection.Error() ? connection.Error() : WSAECONNABORTED,
                                 connection.TlsRejected(), 0};
        return false;
    }
    connected = true;
    SetStatus(ClientState::Connected, 0, 0, false, 0);

    const ULONGLONG keepAliveMs = config.keepAliveSeconds * 1000ull;
    // A loaded machine or a slow link may take a while to answer a ping.
    const ULONGLONG pingWaitMs = keepAliveMs < 5000 ? 5000 : keepAliveMs;
    ULONGLONG lastSend = GetTickCount64();
    pingSent = 0;
    size_t subscribed = 0;
    uint16_t subscribeId = kFirstSubscribeId;
    std::string bytes, plain;
    DWORD error = 0;
    bool wrote = false;   // a packet went to the connection since the last flush
    // A packet to the connection; false when TLS could not take it.
    auto send = [&](const std::string& packet) { wrote = true; return connection.Queue(packet); };
    for (;;) {
        if (abort.load(std::memory_order_acquire)) {
            connection.Close(true);   // as a crash would: no DISCONNECT, the broker sends the will
            return true;
        }
        const bool stopping = stop.load(std::memory_order_acquire);
        // Subscriptions first: after a reconnect the broker then knows them
        // before the messages that waited are sent.
        std::vector<std::string> newFilters;
        {
            std::lock_guard<SlimLock> hold(lock);
            newFilters.assign(filters.begin() + static_cast<ptrdiff_t>(subscribed), filters.end());
            subscribed = filters.size();
        }
        for (const std::string& f : newFilters) {
            bytes.clear();
            if (++subscribeId == 0) subscribeId = kFirstSubscribeId;
            if (EncodeSubscribe(subscribeId, f, 1, bytes) && !send(bytes)) return LostConnection(connection, 0);
        }
        wakeSent.store(false, std::memory_order_release);
        while (connection.Pending() < kSendAhead) {
            Outgoing m;
            {
                std::lock_guard<SlimLock> hold(lock);
                if (!outbox.Take(m)) break;
            }
            bytes.clear();
            if (!EncodePublish(m.topic, m.payload, QosOf(m.flags), m.flags & kRetain, m.dup, m.packetId, bytes)) {
                // Cannot be sent at all (an empty or too long topic): forget it.
                std::lock_guard<SlimLock> hold(lock);
                if (m.packetId) outbox.Acknowledge(m.packetId);
                continue;
            }
            if (!send(bytes)) return LostConnection(connection, 0);
        }
        if (stopping) {
            std::string finalTopic2, finalPayload2;
            ULONGLONG deadline;
            {
                std::lock_guard<SlimLock> hold(lock);
                finalTopic2 = finalTopic;
                finalPayload2 = finalPayload;
                deadline = stopDeadline;
            }
            bytes.clear();
            if (!finalTopic2.empty()) EncodePublish(finalTopic2, finalPayload2, 0, true, false, 0, bytes);
            EncodeDisconnect(bytes);
            connection.Queue(bytes);
            while (connection.Pending() && GetTickCount64() < deadline) {
                if (connection.Flush() != Io::WouldBlock) break;
                connection.Wait(nullptr, deadline);
            }
            connection.Close();
            return true;
        }
        const Io flushed = connection.Flush();
        if (flushed == Io::Failed) break;
        if (wrote) lastSend = GetTickCount64();
        wrote = false;

        Io got = Io::Ok;
        bool broken = !HandlePackets(reader, send);
        // A bounded helping per turn, so a broker that never stops sending
        // cannot keep Stop, the pings and the sending waiting.
        for (int turn = 0; turn < 16 && !broken && (plain.clear(), got = connection.Receive(plain)) == Io::Ok; ++turn) {
            reader.Feed(plain.data(), plain.size());
            broken = !HandlePackets(reader, send);
        }
        if (broken) { error = static_cast<DWORD>(WSAECONNABORTED); break; }
        if (got != Io::WouldBlock && got != Io::Ok) break;

        ULONGLONG now = GetTickCount64();
        ULONGLONG wakeAt = now + 60000;
        if (keepAliveMs) {
            if (pingSent && now - pingSent >= pingWaitMs) { error = WSAETIMEDOUT; break; }   // no PINGRESP in time
            if (!pingSent && now - lastSend >= keepAliveMs) {
                bytes.clear();
                EncodePingreq(bytes);
                if (!send(bytes)) break;
                pingSent = now;
                continue;
            }
            wakeAt = pingSent ? pingSent + pingWaitMs : lastSend + keepAliveMs;
        }
        if (got != Io::Ok && (connection.Pending() == 0 || flushed == Io::WouldBlock)) {
            // Work already waiting is done first; otherwise sleep until the socket,
            // Publish, Subscribe or Stop wakes us, or the next ping is due.
            bool more;
            {
                std::lock_guard<SlimLock> hold(lock);
                more = outbox.Unsent() > 0 && connection.Pending() < kSendAhead;
                more = more || subscribed < filters.size();
            }
            if (!more) connection.Wait(wake.get(), wakeAt);
        }
    }
    return LostConnection(connection, error);
}

bool Client::Shared::LostConnection(Connection& connection, DWORD error) {
    if (stop.load(std::memory_order_acquire)) return true;
    ended = ClientStatus{ClientState::Offline, 0, error ? error : connection.Error(), false, 0};
    return false;
}

void Client::Shared::Run() {
    WinsockUse winsock;
    Backoff backoff;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint32_t random = static_cast<uint32_t>(counter.QuadPart) ^ GetCurrentThreadId() ^ 0x9E3779B9u;
    while (winsock.ok() && !stop.load(std::memory_order_acquire)) {
        SetStatus(ClientState::Connecting, 0, 0, false, 0);
        Connection connection;
        bool connected = false;
        if (Session(connection, connected)) break;
        connection.Close();
        if (connected) backoff.Reset();
        random ^= random << 13; random ^= random >> 17; random ^= random << 5;
        const uint32_t delay = backoff.Next(random);
        // The state first: from now on Publish itself drops what may not wait.
        SetStatus(ended.state, ended.connackCode, ended.error, ended.tlsRejected, delay);
        {
            std::lock_guard<SlimLock> hold(lock);
            outbox.OnDisconnected();
        }
        const ULONGLONG until = GetTickCount64() + delay;
        while (!stop.load(std::memory_order_acquire)) {
            const ULONGLONG t = GetTickCount64();
            if (t >= until) break;
            WaitForSingleObject(wake.get(), static_cast<DWORD>(until - t));
        }
    }
    std::lock_guard<SlimLock> hold(lock);
    status.state = ClientState::Stopped;
}

// ---- Client ---------------------------------------------------------------------

Client::Client() : shared_(new (std::nothrow) Shared) {}

Client::~Client() {
    Stop(std::string(), std::string(), 0);
    if (shared_) shared_->Release();
}

bool Client::Start(const ClientConfig& config, HWND window, UINT stateMessage, UINT messageMessage) {
    if (!shared_ || shared_->thread || !shared_->wake) return false;
    shared_->config = config;
    {
        std::lock_guard<SlimLock> hold(shared_->lock);
        shared_->window = window;
        shared_->stateMessage = stateMessage;
        shared_->messageMessage = messageMessage;
        shared_->status = ClientStatus{};
    }
    shared_->refs.fetch_add(1, std::memory_order_relaxed);   // the thread's reference
    HANDLE h = CreateThread(nullptr, 0, ThreadMain, shared_, 0, nullptr);
    if (!h) {
        shared_->refs.fetch_sub(1, std::memory_order_relaxed);
        return false;
    }
    shared_->thread.reset(h);
    return true;
}

DWORD WINAPI Client::ThreadMain(void* param) {
    Shared* shared = static_cast<Shared*>(param);
    shared->Run();
    shared->Release();
    return 0;
}

// Away from the broker nothing wakes the thread: it takes what waits when
// it has connected again.
void Client::Publish(const std::string& topic, const std::string& payload, unsigned flags) {
    if (!shared_) return;
    bool online;
    {
        std::lock_guard<SlimLock> hold(shared_->lock);
        if (shared_->stopDeadline) return;
        online = shared_->status.state == ClientState::Connected;
        shared_->outbox.Add(topic, payload, flags, online);
    }
    if (online && !shared_->wakeSent.exchange(true, std::memory_order_acq_rel)) SetEvent(shared_->wake.get());
}

void Client::Subscribe(const std::string& topicFilter) {
    if (!shared_ || topicFilter.empty() || topicFilter.size() > kMaxStringLength) return;
    {
        std::lock_guard<SlimLock> hold(shared_->lock);
        for (const std::string& f : shared_->filters)
            if (f == topicFilter) return;
        shared_->filters.push_back(topicFilter);
    }
    SetEvent(shared_->wake.get());
}

void Client::TakeMessages(std::vector<Message>& out) {
    if (!shared_) return;
    std::lock_guard<SlimLock> hold(shared_->lock);
    for (Message& m : shared_->incoming) out.push_back(std::move(m));
    shared_->incoming.clear();
}

ClientStatus Client::Status() const {
    if (!shared_) return ClientStatus{ClientState::Stopped};
    std::lock_guard<SlimLock> hold(shared_->lock);
    return shared_->status;
}

uint32_t Client::TakeLostCount() {
    if (!shared_) return 0;
    std::lock_guard<SlimLock> hold(shared_->lock);
    return shared_->outbox.TakeLost();
}

void Client::Stop(const std::string& finalTopic, const std::string& finalPayload, DWORD maxWaitMs) {
    if (!shared_) return;
    {
        std::lock_guard<SlimLock> hold(shared_->lock);
        if (!shared_->stopDeadline) {
            shared_->finalTopic = finalTopic;
            shared_->finalPayload = finalPayload;
            // The thread keeps a little of the wait for closing and ending.
            shared_->stopDeadline = GetTickCount64() + (maxWaitMs > 100 ? maxWaitMs - 50 : maxWaitMs / 2) + 1;
        }
        shared_->window = nullptr;
        shared_->status.state = ClientState::Stopped;
    }
    shared_->stop.store(true, std::memory_order_release);
    SetEvent(shared_->wake.get());
    if (shared_->thread) WaitForSingleObject(shared_->thread.get(), maxWaitMs);
}

void Client::Abort() {
    if (!shared_) return;
    shared_->abort.store(true, std::memory_order_release);
    Stop(std::string(), std::string(), 1000);
}

ClientStatus Client::TestConnection(const ClientConfig& config, DWORD timeoutMs) {
    WinsockUse winsock;
    ClientStatus result;
    result.state = ClientState::Offline;
    if (!winsock.ok()) {
        result.error = static_cast<DWORD>(WSAGetLastError());
        return result;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    const std::atomic<bool> never{false};
    Connection connection;
    PacketReader reader;
    int refused = 0;
    Io r = connection.Open(config, nullptr, never, deadline);
    if (r == Io::Ok) r = ExchangeConnect(connection, reader, config, nullptr, never, deadline, refused);
    if (r == Io::Ok) {
        result.state = ClientState::Connected;
        std::string bytes;
        EncodeDisconnect(bytes);
        if (connection.Queue(bytes)) connection.Flush();
    } else if (refused) {
        result.state = ClientState::Refused;
        result.connackCode = refused;
    } else {
        result.error = connection.Error() ? connection.Error() : (r == Io::TimedOut ? WSAETIMEDOUT : WSAECONNABORTED);
        result.tlsRejected = connection.TlsRejected();
    }
    connection.Close();
    return result;
}

// ---- Sealed password --------------------------------------------------------------

std::wstring SealPassword(const std::string& clearUtf8) {
    DATA_BLOB in{static_cast<DWORD>(clearUtf8.size()), reinterpret_cast<BYTE*>(const_cast<char*>(clearUtf8.data()))};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"Nearwatch", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return {};
    const std::string text = Base64Encode(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return std::wstring(text.begin(), text.end());
}

bool UnsealPassword(const std::wstring& sealed, std::string& clearUtf8) {
    std::string text;
    for (wchar_t c : sealed) {
        if (c > 0x7F) return false;
        text += static_cast<char>(c);
    }
    std::string blob;
    if (text.empty() || !Base64Decode(text, blob)) return false;
    DATA_BLOB in{static_cast<DWORD>(blob.size()), reinterpret_cast<BYTE*>(blob.data())};
    DATA_BLOB out{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return false;
    clearUtf8.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return true;
}

}  // namespace nw::mqtt
