// Fuzzing the reader of what an MQTT broker sends: damaged streams of its
// packets, cut into pieces of any size.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fuzz.h"
#include "mqtt/MqttPacket.h"

namespace {

using namespace nw::fuzz;
using namespace nw::mqtt;

std::string Publish(const std::string& topic, const std::string& payload, uint8_t qos, uint16_t id) {
    std::string out;
    EncodePublish(topic, payload, qos, qos == 0, false, id, out);
    return out;
}

// Checks: no fault; no packet and no buffer past the reader's limit (plus
// the piece just fed); an error stays; every PUBLISH that parses encodes
// again to the same fields.
TEST(MqttFuzz, DamagedBrokerStreamsStayWithinTheLimits) {
    const uint64_t seed = Seed(0x4D51545452454144ull);
    const int rounds = Rounds(400);
    Rng rng(seed);

    const std::string connack("\x20\x02\x00\x00", 4), refused("\x20\x02\x00\x05", 4);
    const std::string suback("\x90\x03\xFF\x01\x01", 5), puback("\x40\x02\x00\x07", 4), pingresp("\xD0\x00", 2);
    const std::vector<std::string> seeds = {
        connack + suback + Publish("homeassistant/status", "online", 1, 3) + puback + pingresp,
        refused,
        connack + Publish("nearwatch/node/devices/001a7dda7113", std::string(700, 'j'), 0, 0) + pingresp,
        connack + Publish("a", std::string(20000, 'x'), 1, 65535),
    };
    const std::vector<std::string> words = {connack, suback, puback, pingresp, std::string("\xFF\xFF\xFF\x7F", 4),
                                            std::string("\x80\x80\x80\x80", 4), std::string("\x32\x00", 2),
                                            std::string("\x30\xFF\xFF\x0F", 4), std::string("\x00\x00", 2)};

    for (int round = 0; round < rounds; ++round) {
        std::string input = seeds[rng.Below(seeds.size())];
        Mutate(rng, input, words);
        Round r("mqtt packet reader", seed, round, input);
        const size_t limit = rng.OneIn(2) ? kMaxIncomingPacket : 64 + rng.Below(4096);
        PacketReader reader(limit);
        bool failed = false;
        for (size_t at = 0; at < input.size() && !r.Failed();) {
            const size_t piece = std::min(input.size() - at, 1 + rng.Below(rng.OneIn(3) ? 16 : 3000));
            reader.Feed(input.data() + at, piece);
            at += piece;
            if (!r.Check(reader.Buffered() <= limit + piece, "the reader holds more than a packet and a piece")) break;
            Packet p;
            PacketReader::Result result;
            while ((result = reader.Next(p)) == PacketReader::Result::Packet) {
                if (!r.Check(!failed, "a packet after an error")) break;
                if (!r.Check(p.body.size() + 2 <= limit, "a packet past the limit")) break;
                Connack c;
                Suback s;
                uint16_t id = 0;
                IncomingPublish m;
                ParseConnack(p, c);
                ParseSuback(p, s);
                ParsePuback(p, id);
                if (ParsePublish(p, m)) {
                    std::string again;
                    if (EncodePublish(m.topic, m.payload, m.qos, m.retain, m.dup, m.packetId, again)) {
                        PacketReader back;
                        back.Feed(again.data(), again.size());
                        Packet q;
                        IncomingPublish n;
                        r.Check(back.Next(q) == PacketReader::Result::Packet && ParsePublish(q, n) &&
                                    n.topic == m.topic && n.payload == m.payload && n.qos == m.qos &&
                                    n.packetId == m.packetId,
                                "a PUBLISH does not encode back to itself");
                    }
                }
            }
            if (result == PacketReader::Result::Error) failed = true;
            else if (!r.Check(!failed, "an error that did not stay")) break;
        }
        if (r.Failed()) break;
    }
}

}  // namespace
