// Which messages to send now, from the devices shown and what was last
// published of each: the publisher's memory, with no texts and no system
// calls.
//
// A device's record (P/N/devices/A) goes out when it first shows, when it
// leaves or comes back, when its name or description changes, and after
// each connect; a new last detection or count alone at most once a minute.
// Its presence (P/N/devices/A/presence) goes out when it first shows, when
// it changes and after each connect.
#pragma once
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace nw {

struct DeviceView {
    uint64_t address;
    uint64_t textHash;   // TextHash of the name, then of the description
    uint64_t lastSeen;   // FILETIME ticks
    uint32_t count;
    bool present;
    bool inDiscovery;    // Home Assistant discovery is on and the device is in its scope
};

enum class DiscoveryStep : uint8_t { Keep, Send, Clear };

struct PlanStep {
    uint64_t address;
    bool record;
    bool presence;
    DiscoveryStep discovery;
};

// FNV-1a over the text's units, continued from seed.
uint64_t TextHash(const wchar_t* text, uint64_t seed = 0xcbf29ce484222325ull);

class PublishPlanner {
public:
    static constexpr uint64_t kRecordIntervalTicks = 60ull * 10000000ull;   // one minute

    // Every device, its discovery config and the present count go out whole
    // at the next Plan: after each connect.
    void RepublishAll();
    // Only the discovery configs again (Home Assistant started).
    void RediscoverAll();

    // Appends a step for each device of devices that needs one.
    void Plan(const DeviceView* devices, size_t count, uint64_t now, std::vector<PlanStep>& out);
    // True (once) when the present count n is to be published.
    bool PresentCountDue(int n);
    // True (once) after RepublishAll/RediscoverAll: the sensor's config.
    bool SensorDue();

    // A device the user removed: true when anything of it was published,
    // which must then be cleared (discovered: its discovery config too).
    // Forgotten either way, so it is new if it shows again.
    bool Forget(uint64_t address, bool& discovered);
    // Reset: every device published so far, with whether it was discovered.
    struct Published {
        uint64_t address;
        bool discovered;
    };
    void ForgetAll(std::vector<Published>& published);
    bool Knows(uint64_t address) const { return memory_.count(address) != 0; }

private:
    struct Memory {
        uint64_t textHash;
        uint64_t lastSeen;
        uint64_t recordTime;     // when the record last went out
        uint32_t count;
        uint32_t generation;     // RepublishAll count when it last went out whole
        uint32_t discoveryGeneration;
        bool present;
        bool discovered;
    };
    std::unordered_map<uint64_t, Memory> memory_;
    uint32_t generation_ = 1;
    uint32_t discoveryGeneration_ = 1;
    int presentCount_ = -1;      // -1: not yet published since the last RepublishAll
    bool sensorDue_ = true;
};

}  // namespace nw
