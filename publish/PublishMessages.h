// The payloads the publisher sends, as UTF-8 JSON, from plain texts. Pure.
#pragma once
#include <cstdint>
#include <string>
#include "publish/PublishTopics.h"

namespace nw {

// One device as P/N/devices/A tells it; every text may be anything a
// device said.
struct DeviceFacts {
    const wchar_t* address;      // as the list shows it
    const wchar_t* name;
    const wchar_t* description;
    const wchar_t* company;
    const wchar_t* major;
    const wchar_t* minor;
    bool present;
    const wchar_t* firstSeen;    // ISO 8601 with offset, as the history log writes it
    const wchar_t* lastSeen;
    uint32_t count;
    // ---- Low Energy; left out of the JSON while null or unknown ------------
    const char* transport;       // "classic", "le" or "classic+le"
    const char* addressType;     // "public", "random_static" or "private"
    const wchar_t* maker;        // from the advertisements' company identifier
    bool hasSignal;
    int signalDbm;               // smoothed
};

std::string DeviceJson(const DeviceFacts& device);

// "home" / "not_home".
const char* PresencePayload(bool present);

// P/N/events: {"time","event","address","name"}; event is "new", "arrived"
// or "left".
std::string EventJson(const wchar_t* time, const char* event, const wchar_t* address, const wchar_t* name);
// {"time","event":"lost","count"}: events dropped while the broker was away.
std::string LostEventJson(const wchar_t* time, uint32_t count);

// Home Assistant's device tracker for one device; title is the name it
// shows (the description, else the name, else the address). A device only
// ever heard over Low Energy is tracked as such.
std::string TrackerConfigJson(const TopicSet& topics, uint64_t address, const wchar_t* title, bool leOnly = false);
// Its sensor of the present count; title is the sensor's name.
std::string SensorConfigJson(const TopicSet& topics, const wchar_t* title);

}  // namespace nw
