// The MQTT packet coder and the client's pure bookkeeping, at their edges.
#include <gtest/gtest.h>

#include <string>

#include "mqtt/MqttOutbox.h"
#include "mqtt/MqttPacket.h"

namespace {

using namespace nw::mqtt;

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

TEST(MqttPacket, RemainingLengthAtEachByteBoundaryAndTheFourByteLimit) {
    struct Edge { uint32_t value; size_t bytes; };
    for (Edge e : {Edge{0, 1}, {127, 1}, {128, 2}, {16383, 2}, {16384, 3}, {2097151, 3}, {2097152, 4},
                   {kMaxRemainingLength, 4}}) {
        std::string out;
        ASSERT_TRUE(AppendRemainingLength(e.value, out));
        EXPECT_EQ(out.size(), e.bytes) << e.value;
        uint32_t back = 0;
        size_t used = 0;
        EXPECT_EQ(DecodeRemainingLength(reinterpret_cast<const uint8_t*>(out.data()), out.size(), back, used), Decode::Done);
        EXPECT_EQ(back, e.value);
        EXPECT_EQ(used, e.bytes);
        // One byte short is not yet a length.
        EXPECT_EQ(DecodeRemainingLength(reinterpret_cast<const uint8_t*>(out.data()), out.size() - 1, back, used),
                  Decode::NeedMore);
    }
    std::string out;
    EXPECT_FALSE(AppendRemainingLength(kMaxRemainingLength + 1, out));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(Bytes({0xFF, 0xFF, 0xFF, 0x7F}), (AppendRemainingLength(kMaxRemainingLength, out), out));
    const std::string five = Bytes({0x80, 0x80, 0x80, 0x80, 0x01});
    uint32_t v = 0;
    size_t used = 0;
    EXPECT_EQ(DecodeRemainingLength(reinterpret_cast<const uint8_t*>(five.data()), five.size(), v, used), Decode::Malformed);
}

TEST(MqttPacket, ConnectCarriesWillUserAndPasswordAndRefusesLongFields) {
    ConnectOptions o;
    o.clientId = "nw";
    o.keepAliveSeconds = 30;
    o.willTopic = "n/s";
    o.willPayload = "offline";
    o.willRetain = true;
    o.user = "u";
    o.password = "p";
    std::string out;
    ASSERT_TRUE(EncodeConnect(o, out));
    const std::string expected = Bytes({0x10, 34, 0, 4, 'M', 'Q', 'T', 'T', 4, 0xC0 | 0x20 | 0x04 | 0x02, 0, 30, 0, 2,
                                        'n', 'w', 0, 3, 'n', '/', 's', 0, 7}) +
                                 "offline" + Bytes({0, 1, 'u', 0, 1, 'p'});
    EXPECT_EQ(out, expected);
    o.user.clear();   // no user: no password either
    out.clear();
    ASSERT_TRUE(EncodeConnect(o, out));
    EXPECT_EQ(static_cast<uint8_t>(out[9]), 0x20 | 0x04 | 0x02);
    o.willTopic.assign(kMaxStringLength + 1, 't');
    out = "x";
    EXPECT_FALSE(EncodeConnect(o, out));
    EXPECT_EQ(out, "x");
}

TEST(MqttPacket, PublishTopicAndPayloadLengths) {
    std::string out;
    ASSERT_TRUE(EncodePublish("a/b", "hi", 1, true, true, 7, out));
    EXPECT_EQ(out, Bytes({0x3B, 9, 0, 3, 'a', '/', 'b', 0, 7, 'h', 'i'}));
    out.clear();
    ASSERT_TRUE(EncodePublish(std::string(kMaxStringLength, 't'), "", 0, false, false, 0, out));
    EXPECT_EQ(out.size(), 1 + 3 + 2 + kMaxStringLength);
    out.clear();
    EXPECT_FALSE(EncodePublish(std::string(kMaxStringLength + 1, 't'), "", 0, false, false, 0, out));
    EXPECT_FALSE(EncodePublish("", "x", 0, false, false, 0, out));
    EXPECT_FALSE(EncodePublish("a/#", "x", 0, false, false, 0, out));
    EXPECT_FALSE(EncodePublish("a", "x", 1, false, false, 0, out));   // QoS 1 needs an id
    EXPECT_TRUE(out.empty());
    // A payload of 16,384 bytes moves the length to three bytes.
    ASSERT_TRUE(EncodePublish("t", std::string(16384 - 3, 'p'), 0, false, false, 0, out));
    EXPECT_EQ(Bytes({0x30, 0x80, 0x80, 0x01}), out.substr(0, 4));
}

TEST(MqttPacket, ReaderCutsAnyPiecesIntoPacketsAndParsesThem) {
    std::string stream = Bytes({0x20, 2, 0, 5});                       // CONNACK refused, 5
    stream += Bytes({0x90, 4, 0xFF, 0x01, 0x01, 0x80});                  // SUBACK
    std::string publish;
    EncodePublish("home/x", std::string(300, 'q'), 1, true, false, 9, publish);
    publish[0] = static_cast<char>(publish[0] & ~0x08);
    stream += publish;
    stream += Bytes({0xD0, 0});                                          // PINGRESP
    for (size_t piece : {size_t{1}, size_t{3}, stream.size()}) {
        PacketReader reader;
        std::vector<Packet> got;
        for (size_t at = 0; at < stream.size(); at += piece) {
            reader.Feed(stream.data() + at, std::min(piece, stream.size() - at));
            Packet p;
            PacketReader::Result r;
            while ((r = reader.Next(p)) == PacketReader::Result::Packet) got.push_back(p);
            ASSERT_EQ(r, PacketReader::Result::NeedMore);
        }
        ASSERT_EQ(got.size(), 4u) << piece;
        Connack ack;
        ASSERT_TRUE(ParseConnack(got[0], ack));
        EXPECT_EQ(ack.code, 5);
        Suback sub;
        ASSERT_TRUE(ParseSuback(got[1], sub));
        EXPECT_EQ(sub.packetId, 0xFF01);
        EXPECT_EQ(sub.codes, (std::vector<uint8_t>{1, 0x80}));
        IncomingPublish m;
        ASSERT_TRUE(ParsePublish(got[2], m));
        EXPECT_EQ(m.topic, "home/x");
        EXPECT_EQ(m.payload.size(), 300u);
        EXPECT_EQ(m.packetId, 9);
        EXPECT_TRUE(m.retain);
        EXPECT_EQ(got[3].type, kPingresp);
        EXPECT_EQ(reader.Buffered(), 0u);
    }
}

TEST(MqttPacket, ReaderRefusesOversizedUnexpectedAndMalformedInput) {
    struct Bad { const char* what; std::string bytes; };
    const Bad cases[] = {
        {"fifth length byte", Bytes({0x30, 0x80, 0x80, 0x80, 0x80, 0x01})},
        {"over the limit, known from the header alone", Bytes({0x30, 0x81, 0x80, 0x10})},   // 262,145
        {"CONNECT from a broker", Bytes({0x10, 0})},
        {"QoS 3", Bytes({0x36, 0})},
        {"PUBREC", Bytes({0x50, 2, 0, 1})},
        {"CONNACK with flags", Bytes({0x21, 2, 0, 0})},
        {"type 0", Bytes({0x00, 0})},
    };
    for (const Bad& b : cases) {
        PacketReader reader;
        reader.Feed(b.bytes.data(), b.bytes.size());
        Packet p;
        EXPECT_EQ(reader.Next(p), PacketReader::Result::Error) << b.what;
        reader.Feed("\x20\x02\x00\x00", 4);   // the error stays
        EXPECT_EQ(reader.Next(p), PacketReader::Result::Error) << b.what;
    }
    // At the limit exactly: kept whole; one byte more: refused.
    PacketReader small(1 + 2 + 200);
    std::string at;
    EncodePublish("t", std::string(200 - 3, 'x'), 0, false, false, 0, at);
    small.Feed(at.data(), at.size());
    Packet p;
    EXPECT_EQ(small.Next(p), PacketReader::Result::Packet);
    at.clear();
    EncodePublish("t", std::string(201 - 3, 'x'), 0, false, false, 0, at);
    small.Feed(at.data(), 4);   // only the header: refused before the body comes
    EXPECT_EQ(small.Next(p), PacketReader::Result::Error);

    // Truncated bodies parse as malformed, never past their end.
    Packet publish{kPublish, 0x02, Bytes({0, 5, 'a', 'b'})};
    IncomingPublish m;
    EXPECT_FALSE(ParsePublish(publish, m));
    publish.body = Bytes({0, 1, 'a', 0});   // QoS 1 with half an id
    EXPECT_FALSE(ParsePublish(publish, m));
    publish.body = Bytes({0, 0, 'x'});      // empty topic
    publish.flags = 0;
    EXPECT_FALSE(ParsePublish(publish, m));
    Connack ack;
    EXPECT_FALSE(ParseConnack(Packet{kConnack, 0, Bytes({0})}, ack));
    EXPECT_FALSE(ParseConnack(Packet{kConnack, 0, Bytes({2, 0})}, ack));
    Suback sub;
    EXPECT_FALSE(ParseSuback(Packet{kSuback, 0, Bytes({0, 1, 7})}, sub));
}

TEST(MqttPacket, Base64RoundTripsAndRefusesDamage) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{256}}) {
        std::string back;
        ASSERT_TRUE(Base64Decode(Base64Encode(all.data(), n), back));
        EXPECT_EQ(back, all.substr(0, n));
    }
    EXPECT_EQ(Base64Encode("fo", 2), "Zm8=");
    std::string out = "kept";
    for (const char* bad : {"Zm8", "Zm=8", "Z===", "Zm8!", "=m8A", "Zm8=Zm8="}) {
        EXPECT_FALSE(Base64Decode(bad, out)) << bad;
        EXPECT_EQ(out, "kept");
    }
}

TEST(MqttOutbox, BackoffDoublesToAMinuteWithJitterAndResets) {
    Backoff b;
    uint32_t steps[] = {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000};
    for (uint32_t step : steps) {
        const uint32_t low = b.Next(0);
        EXPECT_EQ(low, step - step / 4);
    }
    Backoff c;
    for (int i = 0; i < 10; ++i) EXPECT_LE(c.Next(0xFFFFFFFFu), 60000u);
    c.Reset();
    const uint32_t first = c.Next(12345);
    EXPECT_GE(first, 750u);
    EXPECT_LE(first, 1000u);
}

TEST(MqttOutbox, OfflineQueueIsBoundedAndUnacknowledgedGoAgainOnce) {
    Outbox box(3);
    EXPECT_FALSE(box.Add("state", "x", kOutboxRetain, false));   // state is not queued while offline
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(box.Add("e", std::to_string(i), kOutboxQos1 | kOutboxQueueWhileOffline, false));
    EXPECT_EQ(box.Size(), 3u);
    EXPECT_EQ(box.TakeLost(), 2u);
    EXPECT_EQ(box.TakeLost(), 0u);
    // Connected: 2 is sent and acknowledged, 3 sent and not, then the line drops.
    Outgoing m;
    ASSERT_TRUE(box.Take(m));
    EXPECT_EQ(m.payload, "2");
    const uint16_t id2 = m.packetId;
    EXPECT_TRUE(box.Acknowledge(id2));
    EXPECT_FALSE(box.Acknowledge(id2));
    ASSERT_TRUE(box.Take(m));
    EXPECT_EQ(m.payload, "3");
    const uint16_t id3 = m.packetId;
    EXPECT_NE(id2, id3);
    EXPECT_FALSE(m.dup);
    EXPECT_TRUE(box.Add("state", "y", 0, true));
    box.OnDisconnected();   // "state" had not gone and may not wait
    ASSERT_TRUE(box.Take(m));
    EXPECT_EQ(m.payload, "3");
    EXPECT_TRUE(m.dup);
    EXPECT_EQ(m.packetId, id3);
    ASSERT_TRUE(box.Take(m));
    EXPECT_EQ(m.payload, "4");
    EXPECT_FALSE(box.Take(m));
    EXPECT_TRUE(box.Acknowledge(id3));
    EXPECT_EQ(box.Size(), 1u);
}

}  // namespace
