// Topic names and the broker settings' texts, pure. Topics are built only
// from the hex address, the node name and the prefix, so nothing a device
// says can reach one.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace nw {

constexpr size_t kTopicNameMax = 64;   // characters kept of a node name or a prefix level

// Every character outside [A-Za-z0-9_-] becomes '_', cut to kTopicNameMax;
// empty when text is empty.
std::string ReduceTopicName(const wchar_t* text);
// The same per level: '/' separates levels, empty levels go, so there is no
// leading, trailing or double '/'; empty when nothing is left. At most eight
// levels are kept.
std::string ReduceTopicPrefix(const wchar_t* text);
// The address as 12 lower-case hex digits.
std::string AddressHex(uint64_t address);

// The topics of one node: P/N/... and Home Assistant's discovery topics.
struct TopicSet {
    std::string prefix;   // P, reduced; "nearwatch" when it reduced to nothing
    std::string node;     // N, reduced; "nearwatch" when it reduced to nothing

    TopicSet() = default;
    TopicSet(const wchar_t* prefixText, const wchar_t* nodeText);

    std::string Base() const { return prefix + "/" + node; }
    std::string Status() const { return Base() + "/status"; }
    std::string Events() const { return Base() + "/events"; }
    std::string Present() const { return Base() + "/present"; }
    std::string Device(uint64_t address) const { return Base() + "/devices/" + AddressHex(address); }
    std::string Presence(uint64_t address) const { return Device(address) + "/presence"; }
    // "nearwatch_N_A", the tracker's unique_id.
    std::string TrackerId(uint64_t address) const { return "nearwatch_" + node + "_" + AddressHex(address); }
    std::string TrackerConfig(uint64_t address) const {
        return "homeassistant/device_tracker/" + TrackerId(address) + "/config";
    }
    std::string SensorId() const { return "nearwatch_" + node + "_present"; }
    std::string SensorConfig() const { return "homeassistant/sensor/" + SensorId() + "/config"; }
    // True, with the device's address, when topic is exactly this node's
    // TrackerConfig of some device (a broker's text: anything else is false).
    bool IsTrackerConfig(const std::string& topic, uint64_t& address) const;
};

// Every device tracker's discovery config, retained ones included: a node
// finds what it announced in earlier runs among them.
constexpr const char* kTrackerConfigFilter = "homeassistant/device_tracker/+/config";

// Home Assistant says it (re)started on this topic.
constexpr const char* kHomeAssistantStatus = "homeassistant/status";

// "host", "host:port" or "[v6 address]:port" (blanks around it ignored).
// False when there is no host, the port is not 1-65535, or a character
// could not be part of a host name; port 0 when none was given.
bool ParseServer(const wchar_t* text, std::wstring& host, uint16_t& port);
// 64 hex digits, colons allowed anywhere between them; false (pin untouched)
// for anything else.
bool ParsePin(const wchar_t* text, std::array<uint8_t, 32>& pin);

}  // namespace nw
