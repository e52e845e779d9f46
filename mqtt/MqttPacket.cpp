#include "mqtt/MqttPacket.h"

#include <cstring>

namespace nw::mqtt {

namespace {

void AppendU16(uint16_t value, std::string& out) {
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value & 0xFF);
}

void AppendString(std::string_view text, std::string& out) {
    AppendU16(static_cast<uint16_t>(text.size()), out);
    out.append(text.data(), text.size());
}

uint16_t ReadU16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>((static_cast<uint8_t>(bytes[at]) << 8) | static_cast<uint8_t>(bytes[at + 1]));
}

// Sums the sizes in 64 bits: four topic-sized strings cannot wrap it.
bool Fits(uint64_t remaining) { return remaining <= kMaxRemainingLength; }

bool AppendFixedHeader(uint8_t first, uint64_t remaining, std::string& out) {
    if (!Fits(remaining)) return false;
    out += static_cast<char>(first);
    return AppendRemainingLength(static_cast<uint32_t>(remaining), out);
}

// What a broker may send a client that publishes and subscribes at QoS 0
// and 1, with the fixed-header flags each must carry. QoS 2 packets and
// UNSUBACK never answer anything this client sends, so they are errors too.
bool ExpectedFromBroker(uint8_t type, uint8_t flags) {
    switch (type) {
    case kConnack: case kPuback: case kSuback: case kPingresp: return flags == 0;
    case kPublish: return ((flags >> 1) & 3) != 3;
    default: return false;
    }
}

}  // namespace

bool AppendRemainingLength(uint32_t length, std::string& out) {
    if (length > kMaxRemainingLength) return false;
    do {
        uint8_t digit = length & 0x7F;
        length >>= 7;
        if (length) digit |= 0x80;
        out += static_cast<char>(digit);
    } while (length);
    return true;
}

Decode DecodeRemainingLength(const uint8_t* bytes, size_t size, uint32_t& value, size_t& used) {
    uint32_t total = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i >= size) return Decode::NeedMore;
        total |= static_cast<uint32_t>(bytes[i] & 0x7F) << (7 * i);
        if (!(bytes[i] & 0x80)) {
            value = total;
            used = i + 1;
            return Decode::Done;
        }
    }
    return Decode::Malformed;   // a fifth length byte
}

bool EncodeConnect(const ConnectOptions& o, std::string& out) {
    const bool will = !o.willTopic.empty();
    const bool user = !o.user.empty();
    for (const std::string* s : {&o.clientId, &o.willTopic, &o.willPayload, &o.user, &o.password})
        if (s->size() > kMaxStringLength) return false;
    if (o.willQos > 1) return false;
    uint64_t remaining = 10 + 2 + o.clientId.size();
    if (will) remaining += 4 + o.willTopic.size() + o.willPayload.size();
    if (user) remaining += 4 + o.user.size() + o.password.size();
    std::string packet;
    if (!AppendFixedHeader(kConnect << 4, remaining, packet)) return false;
    AppendString("MQTT", packet);
    packet += static_cast<char>(4);   // protocol level 3.1.1
    uint8_t flags = 0;
    if (o.cleanSession) flags |= 0x02;
    if (will) flags |= static_cast<uint8_t>(0x04 | (o.willQos << 3) | (o.willRetain ? 0x20 : 0));
    if (user) flags |= 0xC0;   // a password only ever goes with a user
    packet += static_cast<char>(flags);
    AppendU16(o.keepAliveSeconds, packet);
    AppendString(o.clientId, packet);
    if (will) {
        AppendString(o.willTopic, packet);
        AppendString(o.willPayload, packet);
    }
    if (user) {
        AppendString(o.user, packet);
        AppendString(o.password, packet);
    }
    out += packet;
    return true;
}

bool EncodePublish(std::string_view topic, std::string_view payload, uint8_t qos, bool retain, bool dup,
                   uint16_t packetId, std::string& out) {
    // Wildcards or an empty topic would make the broker drop the connection.
    if (topic.empty() || topic.size() > kMaxStringLength || topic.find_first_of("+#") != std::string_view::npos ||
        topic.find('\0') != std::string_view::npos || qos > 1 || (qos == 1 && packetId == 0))
        return false;
    const uint64_t remaining = 2 + topic.size() + (qos ? 2 : 0) + static_cast<uint64_t>(payload.size());
    const uint8_t first = static_cast<uint8_t>((kPublish << 4) | (dup && qos ? 0x08 : 0) | (qos << 1) | (retain ? 1 : 0));
    const size_t before = out.size();
    if (!AppendFixedHeader(first, remaining, out)) {
        out.resize(before);
        return false;
    }
    AppendString(topic, out);
    if (qos) AppendU16(packetId, out);
    out.append(payload.data(), payload.size());
    return true;
}

void EncodePuback(uint16_t packetId, std::string& out) {
    out += static_cast<char>(kPuback << 4);
    out += static_cast<char>(2);
    AppendU16(packetId, out);
}

bool EncodeSubscribe(uint16_t packetId, std::string_view filter, uint8_t qos, std::string& out) {
    if (filter.empty() || filter.size() > kMaxStringLength || qos > 1 || packetId == 0) return false;
    AppendFixedHeader((kSubscribe << 4) | 0x02, 2 + 2 + filter.size() + 1, out);
    AppendU16(packetId, out);
    AppendString(filter, out);
    out += static_cast<char>(qos);
    return true;
}

void EncodePingreq(std::string& out) {
    out += static_cast<char>(kPingreq << 4);
    out += '\0';
}

void EncodeDisconnect(std::string& out) {
    out += static_cast<char>(kDisconnect << 4);
    out += '\0';
}

// ---- Reader ---------------------------------------------------------------------

void PacketReader::Feed(const void* data, size_t size) {
    if (failed_ || size == 0) return;
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_.append(static_cast<const char*>(data), size);
}

// The connection is closed after an error: nothing kept is needed again.
PacketReader::Result PacketReader::Fail() {
    failed_ = true;
    std::string().swap(buffer_);
    start_ = 0;
    return Result::Error;
}

PacketReader::Result PacketReader::Next(Packet& out) {
    if (failed_) return Result::Error;
    const size_t available = buffer_.size() - start_;
    if (available == 0) return Result::NeedMore;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(buffer_.data()) + start_;
    const uint8_t type = p[0] >> 4, flags = p[0] & 0x0F;
    if (!ExpectedFromBroker(type, flags)) return Fail();
    uint32_t length = 0;
    size_t used = 0;
    switch (DecodeRemainingLength(p + 1, available - 1, length, used)) {
    case Decode::NeedMore: return Result::NeedMore;
    case Decode::Malformed: return Fail();
    case Decode::Done: break;
    }
    // Refused as soon as the length is known, before any of the body is kept.
    const size_t total = 1 + used + static_cast<size_t>(length);
    if (static_cast<uint64_t>(length) + 1 + used > maxPacket_) return Fail();
    if (available < total) return Result::NeedMore;
    out.type = type;
    out.flags = flags;
    out.body.assign(reinterpret_cast<const char*>(p + 1 + used), length);
    start_ += total;
    return Result::Packet;
}

// ---- Parsers --------------------------------------------------------------------

bool ParseConnack(const Packet& packet, Connack& out) {
    if (packet.type != kConnack || packet.body.size() != 2) return false;
    const uint8_t ack = static_cast<uint8_t>(packet.body[0]);
    if (ack & 0xFE) return false;
    out.sessionPresent = ack & 1;
    out.code = static_cast<uint8_t>(packet.body[1]);
    return true;
}

bool ParsePuback(const Packet& packet, uint16_t& packetId) {
    if (packet.type != kPuback || packet.body.size() != 2) return false;
    packetId = ReadU16(packet.body, 0);
    return packetId != 0;
}

bool ParseSuback(const Packet& packet, Suback& out) {
    if (packet.type != kSuback || packet.body.size() < 3) return false;
    out.packetId = ReadU16(packet.body, 0);
    out.codes.assign(packet.body.begin() + 2, packet.body.end());
    for (uint8_t c : out.codes)
        if (c > 2 && c != 0x80) return false;
    return out.packetId != 0;
}

bool ParsePublish(const Packet& packet, IncomingPublish& out) {
    if (packet.type != kPublish || packet.body.size() < 2) return false;
    const uint8_t qos = (packet.flags >> 1) & 3;
    if (qos > 1) return false;
    const size_t topicLength = ReadU16(packet.body, 0);
    size_t at = 2 + topicLength;
    if (topicLength == 0 || at > packet.body.size()) return false;
    uint16_t id = 0;
    if (qos) {
        if (at + 2 > packet.body.size()) return false;
        id = ReadU16(packet.body, at);
        if (id == 0) return false;
        at += 2;
    }
    out.topic.assign(packet.body, 2, topicLength);
    out.payload.assign(packet.body, at, std::string::npos);
    out.qos = qos;
    out.retain = packet.flags & 1;
    out.dup = packet.flags & 8;
    out.packetId = id;
    return true;
}

// ---- Base64 ---------------------------------------------------------------------

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}
}  // namespace

std::string Base64Encode(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t b = (p[i] << 16) | (i + 1 < size ? p[i + 1] << 8 : 0) | (i + 2 < size ? p[i + 2] : 0);
        out += kAlphabet[(b >> 18) & 63];
        out += kAlphabet[(b >> 12) & 63];
        out += i + 1 < size ? kAlphabet[(b >> 6) & 63] : '=';
        out += i + 2 < size ? kAlphabet[b & 63] : '=';
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& out) {
    if (text.size() % 4) return false;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
        uint32_t b = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int s = k >= 4 - pad ? 0 : Sextet(text[i + k]);
            if (s < 0) return false;
            b = (b << 6) | static_cast<uint32_t>(s);
        }
        bytes += static_cast<char>(b >> 16);
        if (pad < 2) bytes += static_cast<char>((b >> 8) & 0xFF);
        if (pad < 1) bytes += static_cast<char>(b & 0xFF);
    }
    out.swap(bytes);
    return true;
}

}  // namespace nw::mqtt
