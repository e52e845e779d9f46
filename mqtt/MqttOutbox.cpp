#include "mqtt/MqttOutbox.h"

#include <utility>


namespace nw::mqtt {

uint32_t Backoff::Next(uint32_t random) {
    step_ = step_ == 0 ? kFirstRetryMs : (step_ >= kLastRetryMs / 2 ? kLastRetryMs : step_ * 2);
    const uint32_t spread = step_ / 4;
    return step_ - spread + random % (spread + 1);
}

bool Outbox::Add(std::string topic, std::string payload, unsigned flags, bool online) {
    if (!online && !(flags & kOutboxQueueWhileOffline)) return false;
    if (capacity_ == 0) return false;
    while (items_.size() >= capacity_) {
        items_.pop_front();
        ++lost_;
    }
    Item item;
    item.message.topic = std::move(topic);
    item.message.payload = std::move(payload);
    item.message.flags = flags;
    items_.push_back(std::move(item));
    return true;
}

uint16_t Outbox::NewPacketId() {
    // 65,535 ids and at most capacity_ in use: a free one is near.
    for (;;) {
        if (++lastId_ == 0) lastId_ = 1;
        bool used = false;
        for (const Item& i : items_)
            if (i.message.packetId == lastId_) { used = true; break; }
        if (!used) return lastId_;
    }
}

bool Outbox::Take(Outgoing& out) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->sent) continue;
        if (!(it->message.flags & kOutboxQos1)) {
            out = std::move(it->message);
            items_.erase(it);
            return true;
        }
        if (it->message.packetId == 0) it->message.packetId = NewPacketId();
        it->sent = true;
        out = it->message;
        return true;
    }
    return false;
}

bool Outbox::Acknowledge(uint16_t packetId) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->sent && it->message.packetId == packetId) {
            items_.erase(it);
            return true;
        }
    }
    return false;
}

void Outbox::OnDisconnected() {
    for (auto it = items_.begin(); it != items_.end();) {
        if (it->sent) {
            it->sent = false;
            it->message.dup = true;
            ++it;
        } else if (!(it->message.flags & kOutboxQueueWhileOffline)) {
            it = items_.erase(it);
        } else {
            ++it;
        }
    }
}

uint32_t Outbox::TakeLost() {
    return std::exchange(lost_, 0);
}

size_t Outbox::Unsent() const {
    size_t n = 0;
    for (const Item& i : items_) n += !i.sent;
    return n;
}

}  // namespace nw::mqtt
