// The client's pure bookkeeping, apart from its sockets: the reconnect
// back-off and the box of messages waiting to go out or for their PUBACK.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace nw::mqtt {

constexpr size_t kOutboxCapacity = 1000;
constexpr uint32_t kFirstRetryMs = 1000;
constexpr uint32_t kLastRetryMs = 60000;
// The values of PublishFlags in MqttClient.h, which this pure half does not include.
constexpr unsigned kOutboxRetain = 1, kOutboxQos1 = 2, kOutboxQueueWhileOffline = 4;

// 1 s doubling to 60 s; each wait is drawn from the upper quarter below
// its step so a fleet of sensors restarted together does not return as one.
class Backoff {
public:
    // The wait before the next attempt; random is any 32-bit number.
    uint32_t Next(uint32_t random);
    void Reset() { step_ = 0; }

private:
    uint32_t step_ = 0;   // the current step's wait; 0 before the first
};

struct Outgoing {
    std::string topic;
    std::string payload;
    unsigned flags = 0;      // PublishFlags
    uint16_t packetId = 0;   // QoS 1, once sent
    bool dup = false;        // QoS 1 sent before, to be sent again
};

// Messages in the order given. A QoS 0 message leaves when it is taken to
// be sent; a QoS 1 message stays until its PUBACK and goes again (with DUP)
// after a reconnect. Past the capacity the oldest go and are counted.
class Outbox {
public:
    explicit Outbox(size_t capacity = kOutboxCapacity) : capacity_(capacity) {}

    // False when the message was dropped at once: given while offline
    // without kQueueWhileOffline.
    bool Add(std::string topic, std::string payload, unsigned flags, bool online);
    // The next message to write, if any. A QoS 1 one gets its packet id here.
    bool Take(Outgoing& out);
    // The PUBACK of a message; false when no such message waits.
    bool Acknowledge(uint16_t packetId);
    // The connection is gone: what was sent and is not yet acknowledged goes
    // again with DUP; what has not been sent and may not wait is dropped.
    void OnDisconnected();
    uint32_t TakeLost();
    size_t Size() const { return items_.size(); }
    size_t Unsent() const;

private:
    struct Item {
        Outgoing message;
        bool sent = false;
    };
    uint16_t NewPacketId();

    std::deque<Item> items_;
    size_t capacity_;
    uint32_t lost_ = 0;
    uint16_t lastId_ = 0;
};

}  // namespace nw::mqtt
