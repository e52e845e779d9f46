// MQTT 3.1.1 packets as bytes: the encoder of what the client sends and a
// defensive reader of what a broker sends. Pure code, no Win32.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nw::mqtt {

constexpr uint32_t kMaxRemainingLength = 268435455;   // four length bytes of seven bits
constexpr size_t kMaxStringLength = 65535;            // a topic, client id, user or will
constexpr size_t kMaxIncomingPacket = 256 * 1024;     // larger from a broker: the connection closes

enum PacketType : uint8_t {
    kConnect = 1, kConnack = 2, kPublish = 3, kPuback = 4,
    kSubscribe = 8, kSuback = 9, kPingreq = 12, kPingresp = 13, kDisconnect = 14,
};

struct ConnectOptions {
    std::string clientId;
    bool cleanSession = true;
    uint16_t keepAliveSeconds = 30;
    std::string willTopic;      // empty: no will
    std::string willPayload;
    bool willRetain = false;
    uint8_t willQos = 0;
    std::string user;           // empty: none
    std::string password;       // only sent with a user
};

// The encoders append one packet to out and return false (out unchanged)
// when a field is too long for the packet.
bool AppendRemainingLength(uint32_t length, std::string& out);
bool EncodeConnect(const ConnectOptions& options, std::string& out);
bool EncodePublish(std::string_view topic, std::string_view payload, uint8_t qos, bool retain, bool dup,
                   uint16_t packetId, std::string& out);
void EncodePuback(uint16_t packetId, std::string& out);
bool EncodeSubscribe(uint16_t packetId, std::string_view filter, uint8_t qos, std::string& out);
void EncodePingreq(std::string& out);
void EncodeDisconnect(std::string& out);

enum class Decode { Done, NeedMore, Malformed };
// The remaining length at the start of bytes: value and the bytes it took.
Decode DecodeRemainingLength(const uint8_t* bytes, size_t size, uint32_t& value, size_t& used);

// One whole packet from the broker: the first byte split and the body after
// the remaining length.
struct Packet {
    uint8_t type = 0;
    uint8_t flags = 0;
    std::string body;
};

// Cuts a byte stream into packets, whatever the pieces it arrives in. It
// holds at most one packet plus the last piece fed; a packet longer than the
// limit, a fifth length byte or a packet a client never receives (or with
// the wrong flags) is an error that stays.
class PacketReader {
public:
    explicit PacketReader(size_t maxPacket = kMaxIncomingPacket) : maxPacket_(maxPacket) {}
    enum class Result { Packet, NeedMore, Error };
    void Feed(const void* data, size_t size);
    Result Next(Packet& out);
    size_t Buffered() const { return buffer_.size() - start_; }
    void Reset() { buffer_.clear(); start_ = 0; failed_ = false; }

private:
    Result Fail();
    std::string buffer_;
    size_t start_ = 0;
    size_t maxPacket_;
    bool failed_ = false;
};

// The parsers of a packet's body; false when it is malformed.
struct Connack {
    bool sessionPresent = false;
    uint8_t code = 0;
};
bool ParseConnack(const Packet& packet, Connack& out);
bool ParsePuback(const Packet& packet, uint16_t& packetId);
struct Suback {
    uint16_t packetId = 0;
    std::vector<uint8_t> codes;   // 0..1 granted QoS, 0x80 refused
};
bool ParseSuback(const Packet& packet, Suback& out);
struct IncomingPublish {
    std::string topic;
    std::string payload;
    uint8_t qos = 0;
    bool retain = false;
    bool dup = false;
    uint16_t packetId = 0;
};
bool ParsePublish(const Packet& packet, IncomingPublish& out);

// Plain base64 (RFC 4648, with padding, no line breaks).
std::string Base64Encode(const void* data, size_t size);
// False on any character outside the alphabet or a wrong length.
bool Base64Decode(std::string_view text, std::string& out);

}  // namespace nw::mqtt
