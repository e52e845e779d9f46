// The publisher's pure half: the JSON writer on hostile texts, the topic
// names, the broker settings' texts and the planner's rate limit and clears.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "TestFolder.h"
#include "discovery/DeviceRecord.h"
#include "publish/PublishJson.h"
#include "publish/PublishMessages.h"
#include "publish/PublishPlanner.h"
#include "publish/PublishTopics.h"
#include "settings/Settings.h"
#include "settings/SettingsStore.h"

namespace {

using nw::DiscoveryStep;
using nw::PlanStep;

TEST(PublishJson, HostileNamesAreEscapedCompletely) {
    // Quote, backslash, every kind of control, DEL, a line separator, a
    // pair, and lone surrogates at the middle and the end.
    const wchar_t name[] = L"a\"b\\c\x01\x1F\n\r\t\b\f\x7F\x2028/#+\xD83D\xDE00-\xDC00x\xD800";
    std::string out;
    nw::AppendJsonString(out, name);
    EXPECT_EQ("\"a\\\"b\\\\c\\u0001\\u001f\\n\\r\\t\\b\\f\\u007f\\u2028/#+\xF0\x9F\x98\x80-\xEF\xBF\xBDx\xEF\xBF\xBD\"",
              out);
    const std::string device = nw::DeviceJson({L"00:1a:7d:da:71:13", name, L"", L"Acme \"Ltd\"", L"Phone", L"Smart",
                                               false, L"2026-12-08T10:57:21+01:00", L"", 7, nullptr,
                                               nullptr, nullptr, false, 0});
    EXPECT_EQ(0u, device.find("{\"address\":\"00:1a:7d:da:71:13\",\"name\":\"a\\\"b"));
    EXPECT_NE(std::string::npos, device.find(",\"company\":\"Acme \\\"Ltd\\\"\",\"major\":\"Phone\",\"minor\":\"Smart\","
                                             "\"present\":false,\"first_seen\":\"2026-12-08T10:57:21+01:00\","
                                             "\"last_seen\":\"\",\"count\":7}"));
    // No raw control byte and no ill-formed UTF-8 anywhere.
    for (unsigned char c : device) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << static_cast<int>(c);
    // What Low Energy adds follows, each only where known: a classic device
    // has a transport and nothing else of it.
    EXPECT_NE(std::string::npos, nw::DeviceJson({L"0c:00:00:00:00:01", L"Tag", L"", L"", L"", L"", true, L"", L"", 1,
                                                 nw::TransportName(nw::kTransportLe),
                                                 nw::AddressTypeName(nw::kAddressPrivate), L"Acme", true, -67})
                                     .find("\"count\":1,\"transport\":\"le\",\"address_type\":\"private\","
                                           "\"maker\":\"Acme\",\"rssi\":-67}"));
    EXPECT_NE(std::string::npos, nw::DeviceJson({L"a", L"", L"", L"", L"", L"", false, L"", L"", 2,
                                                 nw::TransportName(0), nullptr, L"", false, 0})
                                     .find("\"count\":2,\"transport\":\"classic\"}"));
    EXPECT_STREQ("classic+le", nw::TransportName(nw::kTransportClassic | nw::kTransportLe));
    EXPECT_EQ("{\"time\":\"t\",\"event\":\"lost\",\"count\":4294967295}", nw::LostEventJson(L"t", 0xFFFFFFFFu));
}

TEST(PublishTopics, NamesAreReducedAndDevicesNeverReachATopic) {
    EXPECT_EQ("Living_room____", nw::ReduceTopicName(L"Living room/+#\xD83D\xDE00"));
    EXPECT_EQ(std::string(nw::kTopicNameMax, 'x'), nw::ReduceTopicName(std::wstring(300, L'x').c_str()));
    EXPECT_EQ("home/sensors/__", nw::ReduceTopicPrefix(L"//home///sensors/+#/"));
    EXPECT_EQ("", nw::ReduceTopicPrefix(L"///"));
    EXPECT_EQ("a/b/c/d/e/f/g/h", nw::ReduceTopicPrefix(L"a/b/c/d/e/f/g/h/i/j"));
    const nw::TopicSet fallback(L"/", L"");
    EXPECT_EQ("nearwatch/nearwatch/status", fallback.Status());
    const nw::TopicSet topics(L"home/nw", L"Kitchen PC");
    const uint64_t address = 0x001A7DDA7113ull;
    EXPECT_EQ("home/nw/Kitchen_PC/devices/001a7dda7113/presence", topics.Presence(address));
    EXPECT_EQ("homeassistant/device_tracker/nearwatch_Kitchen_PC_001a7dda7113/config", topics.TrackerConfig(address));
    EXPECT_EQ("ffffffffffff", nw::AddressHex(0xFFFFFFFFFFFFull));
    // A broker's topic is this node's tracker config only when it is exactly one.
    uint64_t found = 0;
    EXPECT_TRUE(topics.IsTrackerConfig(topics.TrackerConfig(address), found));
    EXPECT_EQ(address, found);
    for (const char* other : {"homeassistant/device_tracker/nearwatch_Kitchen_PC_001A7DDA7113/config",
                              "homeassistant/device_tracker/nearwatch_Kitchen_PC_001a7dda711/config",
                              "homeassistant/device_tracker/nearwatch_Kitchen_PC_001a7dda71134/config",
                              "homeassistant/device_tracker/nearwatch_Kitchen_PC_x_001a7dda7113/config",
                              "homeassistant/device_tracker/nearwatch_Kitchen_PC_001a7dda7113/config/",
                              "homeassistant/device_tracker/nearwatch_Kitchen_PC_001a7dda711g/config",
                              "homeassistant/device_tracker/nearwatch_Kitchen_PC_", ""})
        EXPECT_FALSE(topics.IsTrackerConfig(other, found)) << other;
    const std::string config = nw::TrackerConfigJson(topics, address, L"My \"phone\"/#");
    EXPECT_NE(std::string::npos, config.find("\"unique_id\":\"nearwatch_Kitchen_PC_001a7dda7113\",\"state_topic\":"
                                             "\"home/nw/Kitchen_PC/devices/001a7dda7113/presence\",\"payload_home\":"
                                             "\"home\",\"payload_not_home\":\"not_home\",\"source_type\":\"bluetooth\","
                                             "\"availability_topic\":\"home/nw/Kitchen_PC/status\""));
    EXPECT_NE(std::string::npos, config.find("\"json_attributes_topic\":\"home/nw/Kitchen_PC/devices/001a7dda7113\""));
    EXPECT_NE(std::string::npos,
              nw::TrackerConfigJson(topics, address, L"Tag", true).find("\"source_type\":\"bluetooth_le\""));
}

TEST(PublishTopics, ServerAndPinTextsFromAHandEditedFile) {
    std::wstring host;
    uint16_t port = 1;
    EXPECT_TRUE(nw::ParseServer(L"  broker.lan  ", host, port));
    EXPECT_EQ(L"broker.lan", host);
    EXPECT_EQ(0, port);
    EXPECT_TRUE(nw::ParseServer(L"10.0.0.2:65535", host, port));
    EXPECT_EQ(65535, port);
    EXPECT_TRUE(nw::ParseServer(L"[::1]:1883", host, port));
    EXPECT_EQ(L"::1", host);
    for (const wchar_t* bad : {L"", L"  ", L"host:", L"host:0", L"host:65536", L"host:99999999999", L":1883",
                               L"a b", L"host/x", L"[::1", L"[]:1", L"[::1]x", L"host:12a"})
        EXPECT_FALSE(nw::ParseServer(bad, host, port)) << testing::PrintToString(std::wstring(bad));
    std::array<uint8_t, 32> pin{};
    const std::wstring hex = L"00112233445566778899aabbccddeeff00112233445566778899AABBCCDDEEFF";
    EXPECT_TRUE(nw::ParsePin(hex.c_str(), pin));
    EXPECT_EQ(0xFF, pin[31]);
    EXPECT_EQ(0x11, pin[1]);
    std::wstring colons;
    for (size_t i = 0; i < hex.size(); i += 2) colons += (i ? L":" : L"") + hex.substr(i, 2);
    EXPECT_TRUE(nw::ParsePin(colons.c_str(), pin));
    pin.fill(7);
    for (const std::wstring& bad : {hex.substr(1), hex + L"0", hex.substr(0, 63) + L"g", std::wstring(L"")})
        EXPECT_FALSE(nw::ParsePin(bad.c_str(), pin));
    EXPECT_EQ(7, pin[0]);   // untouched
}

std::vector<PlanStep> Plan(nw::PublishPlanner& planner, const std::vector<nw::DeviceView>& devices, uint64_t now) {
    std::vector<PlanStep> steps;
    planner.Plan(devices.data(), devices.size(), now, steps);
    return steps;
}

TEST(PublishPlanner, RecordsAtMostOnceAMinuteUnlessSomethingThatMattersChanged) {
    constexpr uint64_t kSecond = 10000000;
    const uint64_t t0 = 1000 * kSecond;
    nw::PublishPlanner planner;
    std::vector<nw::DeviceView> devices = {{1, nw::TextHash(L"a"), t0, 1, true, false},
                                           {2, nw::TextHash(L"b"), t0, 1, true, true}};
    auto steps = Plan(planner, devices, t0);
    ASSERT_EQ(2u, steps.size());
    EXPECT_TRUE(steps[0].record && steps[0].presence && steps[0].discovery == DiscoveryStep::Keep);
    EXPECT_TRUE(steps[1].discovery == DiscoveryStep::Send);
    EXPECT_TRUE(planner.PresentCountDue(2));
    EXPECT_FALSE(planner.PresentCountDue(2));

    // A new detection alone waits for the minute.
    devices[0].lastSeen = devices[1].lastSeen = t0 + 17 * kSecond;
    devices[0].count = devices[1].count = 2;
    EXPECT_TRUE(Plan(planner, devices, t0 + 17 * kSecond).empty());
    steps = Plan(planner, devices, t0 + 60 * kSecond - 1);
    EXPECT_TRUE(steps.empty());
    steps = Plan(planner, devices, t0 + 60 * kSecond);
    ASSERT_EQ(2u, steps.size());
    EXPECT_TRUE(steps[0].record && !steps[0].presence && steps[1].discovery == DiscoveryStep::Keep);

    // Leaving, a new description and the end of the scope go at once.
    devices[0].present = false;
    devices[1].textHash = nw::TextHash(L"b2");
    steps = Plan(planner, devices, t0 + 61 * kSecond);
    ASSERT_EQ(2u, steps.size());
    EXPECT_TRUE(steps[0].record && steps[0].presence);
    EXPECT_TRUE(steps[1].record && !steps[1].presence && steps[1].discovery == DiscoveryStep::Send);
    devices[1].inDiscovery = false;
    steps = Plan(planner, devices, t0 + 62 * kSecond);
    ASSERT_EQ(1u, steps.size());
    EXPECT_TRUE(!steps[0].record && steps[0].discovery == DiscoveryStep::Clear);

    // After a connect everything goes whole, once.
    planner.RepublishAll();
    EXPECT_EQ(2u, Plan(planner, devices, t0 + 63 * kSecond).size());
    EXPECT_TRUE(Plan(planner, devices, t0 + 64 * kSecond).empty());
    EXPECT_TRUE(planner.PresentCountDue(1));
}

TEST(PublishPlanner, RemovedAndResetDevicesAreClearedOnceAndNewAgain) {
    nw::PublishPlanner planner;
    std::vector<nw::DeviceView> devices = {{1, 0, 0, 1, true, true}, {2, 0, 0, 1, true, false}};
    Plan(planner, devices, 0);
    bool discovered = false;
    EXPECT_TRUE(planner.Forget(1, discovered));
    EXPECT_TRUE(discovered);
    EXPECT_FALSE(planner.Forget(1, discovered));
    EXPECT_FALSE(planner.Forget(3, discovered));
    std::vector<nw::PublishPlanner::Published> published;
    planner.ForgetAll(published);
    ASSERT_EQ(1u, published.size());
    EXPECT_EQ(2u, published[0].address);
    EXPECT_FALSE(published[0].discovered);
    EXPECT_EQ(2u, Plan(planner, devices, 1).size());
}

bool WriteAscii(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(file);
    return ok;
}

// A clear password from a hand-edited file is sealed at the next save and
// never written back; hostile 0/1 keys read as 0 or 1.
TEST(PublishSettings, ClearPasswordIsSealedAtTheNextSave) {
    nw::test::TempFolder folder;
    const std::wstring in = folder.File(L"in.cfg"), out = folder.File(L"out.cfg");
    ASSERT_TRUE(WriteAscii(in, "[General]\r\nMqttServer=broker:1883\r\nMqttPassword=hunter2\r\n"
                                        "MqttTls=-7\r\nMqttDiscovery=2\r\n"));
    auto settings = std::make_unique<nw::Settings>();
    nw::ApplyDefaultSettings(*settings);
    {
        nw::SettingsStore store(nw::SettingsStore::Read, in.c_str());
        nw::ExchangeMqttSettings(store, *settings);
    }
    EXPECT_STREQ(L"hunter2", settings->mqtt.ClearPassword);
    EXPECT_STREQ(L"nearwatch", settings->mqtt.Topic);
    EXPECT_EQ(1, settings->mqtt.Tls);
    EXPECT_EQ(1, settings->mqtt.Discovery);
    {
        nw::SettingsStore store(nw::SettingsStore::Write, out.c_str());
        nw::ExchangeMqttSettings(store, *settings);
        ASSERT_TRUE(store.Commit());
    }
    const std::vector<unsigned char> bytes = nw::test::ReadBytes(out);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    EXPECT_EQ(std::wstring::npos, text.find(L"hunter2"));
    EXPECT_EQ(std::wstring::npos, text.find(L"MqttPassword="));
    EXPECT_NE(std::wstring::npos, text.find(L"MqttPasswordSealed="));
    EXPECT_EQ(0, settings->mqtt.ClearPassword[0]);
}

}  // namespace
