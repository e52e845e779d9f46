// The real program publishing to the test command's mosquitto
// (tools/mqtt-broker.sh; NW_TEST_MQTT_DIR names its folder), read back with
// the program's own client as a subscriber. One program start: the
// retained device and presence topics after scans and a departure, the
// events, and the last will once the program is killed.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/AppSupport.h"
#include "mqtt/MqttClient.h"

namespace {

using nw::mqtt::Client;
using nw::mqtt::ClientConfig;
using nw::mqtt::ClientState;
using nw::mqtt::Message;

// The plain (anonymous) port of the test broker; 0 with why set when there
// is none.
int BrokerPort(std::string& why) {
    wchar_t unix[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"NW_TEST_MQTT_DIR", unix, MAX_PATH)) {
        why = "NW_TEST_MQTT_DIR is not set: start the broker with 'tools/mqtt-broker.sh start DIR' and export "
              "NW_TEST_MQTT_DIR=DIR (tools/test.sh does both).";
        return 0;
    }
    std::wstring ini = std::wstring(L"Z:") + unix + L"/broker.ini";
    for (wchar_t& c : ini)
        if (c == L'/') c = L'\\';
    const int port = static_cast<int>(GetPrivateProfileIntW(L"broker", L"plain", 0, ini.c_str()));
    if (port <= 0) why = "no broker.ini in NW_TEST_MQTT_DIR";
    return port;
}

// What a subscriber to prefix/# has seen: the last payload of each topic,
// and every event in order.
struct Seen {
    std::map<std::string, std::string> last;
    std::vector<std::string> events;

    void Take(Client& client, const std::string& eventsTopic) {
        std::vector<Message> got;
        client.TakeMessages(got);
        for (Message& m : got) {
            if (m.topic == eventsTopic) events.push_back(m.payload);
            last[m.topic] = std::move(m.payload);
        }
    }
    bool Has(const std::string& topic, const std::string& payload) const {
        auto found = last.find(topic);
        return found != last.end() && found->second == payload;
    }
};

TEST(PublishBroker, RetainedStateAfterScansAndADepartureTheWillAfterAKillAndDiscoveryTakenBack) {
    std::string why;
    const int port = BrokerPort(why);
    ASSERT_NE(0, port) << why;
    const std::string prefix = "nwtest/e2e" + std::to_string(GetCurrentProcessId()) + "_" +
                               std::to_string(GetTickCount64());
    // Discovery topics are the broker's, not the prefix's: the node is this run's own.
    const std::string node = "room" + std::to_string(GetCurrentProcessId());
    const std::string base = prefix + "/" + node;
    const std::string trackers = "homeassistant/device_tracker/nearwatch_" + node + "_";
    const std::string sensor = "homeassistant/sensor/nearwatch_" + node + "_present/config";

    ClientConfig config;
    config.host = L"127.0.0.1";
    config.port = static_cast<uint16_t>(port);
    config.clientId = "nwsub" + std::to_string(GetCurrentProcessId());
    Client subscriber;
    subscriber.Subscribe(prefix + "/#");
    subscriber.Subscribe("homeassistant/device_tracker/+/config");
    subscriber.Subscribe(sensor);
    ASSERT_TRUE(subscriber.Start(config, nullptr, 0, 0));

    nw::e2e::LaunchOptions options;
    options.config = nw::e2e::GeneralSection({{"TrayIcon", "0"},
                                              {"DepartAfterScans", "1"},
                                              {"MqttServer", "127.0.0.1:" + std::to_string(port)},
                                              {"MqttNode", node},
                                              {"MqttDiscovery", "1"},
                                              {"MqttTopic", prefix}});
    // The name holds what would break a topic or a JSON string.
    options.scenario =
        "unit_ms 5\n"
        "device 60:8b:0e:4c:2a:91 class=0x7a020c name=Anna's \"phone\" /#+\\\n"
        "device 90:03:b7:c1:64:0a class=0x340408 scans=1-2 name=Car kit\n"
        "le 0c:00:00:00:00:01 rssi=-67 name=Wrist watch\n";
    options.environment = {{L"NEARWATCH_WINRT", nw::e2e::BinFolder() + L"\\simradio.dll"}};
    nw::e2e::Program program;
    NW_LAUNCH(program, options);

    const std::string stays = base + "/devices/608b0e4c2a91";
    const std::string goes = base + "/devices/9003b7c1640a";
    const std::string watch = base + "/devices/0c0000000001";
    Seen seen;
    const bool settled = nw::e2e::WaitUntil(
        [&] {
            seen.Take(subscriber, base + "/events");
            return seen.Has(base + "/status", "online") && seen.Has(stays + "/presence", "home") &&
                   seen.Has(goes + "/presence", "not_home") && seen.Has(watch + "/presence", "home") &&
                   seen.Has(base + "/present", "2");
        },
        30000);
    ASSERT_TRUE(settled) << "subscriber " << static_cast<int>(subscriber.Status().state) << ", topics seen: "
                         << seen.last.size();
    const std::string& record = seen.last[stays];
    EXPECT_EQ(0u, record.find("{\"address\":\"60:8b:0e:4c:2a:91\",\"name\":\"Anna's \\\"phone\\\" /#+\\\\\""))
        << record;
    EXPECT_NE(std::string::npos, record.find("\"present\":true")) << record;
    EXPECT_NE(std::string::npos, seen.last[goes].find("\"present\":false")) << seen.last[goes];
    EXPECT_NE(std::string::npos, record.find("\"transport\":\"classic\"}")) << record;
    EXPECT_NE(std::string::npos, seen.last[watch].find("\"transport\":\"le\",\"address_type\":")) << seen.last[watch];
    EXPECT_NE(std::string::npos, seen.last[watch].find("\"rssi\":-67}")) << seen.last[watch];
    // Only the node, the prefix and hex addresses make topics (other nodes'
    // trackers on this broker are not this test's).
    for (const auto& [topic, payload] : seen.last) {
        const bool discovery = topic.rfind(trackers, 0) == 0 || topic == sensor;
        if (!discovery && topic.rfind("homeassistant/", 0) == 0) continue;
        EXPECT_TRUE(discovery || topic.rfind(base + "/", 0) == 0) << topic;
        EXPECT_EQ(std::string::npos, topic.find_first_of("+# \"\\", discovery ? 0 : base.size())) << topic;
    }
    bool left = false;
    for (const std::string& e : seen.events)
        if (e.find("\"event\":\"left\",\"address\":\"90:03:b7:c1:64:0a\",\"name\":\"Car kit\"") != std::string::npos)
            left = true;
    EXPECT_TRUE(left) << seen.events.size() << " events";

    // Killed, it says nothing; the broker publishes its last will.
    program.Kill();
    EXPECT_TRUE(nw::e2e::WaitUntil(
        [&] {
            seen.Take(subscriber, base + "/events");
            return seen.Has(base + "/status", "offline");
        },
        15000));
    // Retained state outlives the program for the next subscriber.
    EXPECT_TRUE(seen.Has(stays + "/presence", "home"));
    // Every device had a description (its name, by default): each is a
    // tracker, the LE-only one of Low Energy, and none was taken back.
    const std::string stayConfig = trackers + "608b0e4c2a91/config", watchConfig = trackers + "0c0000000001/config";
    EXPECT_NE(std::string::npos, seen.last[stayConfig].find("\"source_type\":\"bluetooth\""))
        << seen.last[stayConfig];
    EXPECT_NE(std::string::npos, seen.last[watchConfig].find("\"source_type\":\"bluetooth_le\""))
        << seen.last[watchConfig];
    EXPECT_FALSE(seen.last[sensor].empty());

    // The next run has discovery off: what the first announced is taken
    // back, though none of its devices is seen again.
    nw::e2e::LaunchOptions quiet = options;
    quiet.config = nw::e2e::GeneralSection({{"TrayIcon", "0"},
                                            {"MqttServer", "127.0.0.1:" + std::to_string(port)},
                                            {"MqttNode", node},
                                            {"MqttTopic", prefix}});
    quiet.scenario = "unit_ms 5\n";
    nw::e2e::Program second;
    NW_LAUNCH(second, quiet);
    EXPECT_TRUE(nw::e2e::WaitUntil(
        [&] {
            seen.Take(subscriber, base + "/events");
            return seen.Has(stayConfig, "") && seen.Has(watchConfig, "") &&
                   seen.Has(trackers + "9003b7c1640a/config", "") && seen.Has(sensor, "");
        },
        15000))
        << seen.last[stayConfig];
    nw::e2e::ExitByMenu(second);
    subscriber.Stop("", "", 1000);
}

}  // namespace
