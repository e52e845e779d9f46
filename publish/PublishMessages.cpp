#include "publish/PublishMessages.h"

#include "publish/PublishJson.h"

namespace nw {

namespace {

// The node as one device of Home Assistant's, which holds its trackers and
// its sensor.
std::string NodeDeviceJson(const TopicSet& topics) {
    std::string identifiers = "[";
    AppendJsonString(identifiers, "nearwatch_" + topics.node);
    identifiers += ']';
    return JsonObject()
        .Raw("identifiers", identifiers)
        .Text("name", "Nearwatch " + topics.node)
        .Text("manufacturer", std::string("Nearwatch"))
        .Text("model", std::string("Bluetooth presence sensor"))
        .Finish();
}

JsonObject& Availability(JsonObject& object, const TopicSet& topics) {
    return object.Text("availability_topic", topics.Status())
        .Text("payload_available", std::string("online"))
        .Text("payload_not_available", std::string("offline"));
}

}  // namespace

std::string DeviceJson(const DeviceFacts& d) {
    JsonObject object;
    object.Text("address", d.address)
        .Text("name", d.name)
        .Text("description", d.description)
        .Text("company", d.company)
        .Text("major", d.major)
        .Text("minor", d.minor)
        .Bool("present", d.present)
        .Text("first_seen", d.firstSeen)
        .Text("last_seen", d.lastSeen)
        .Number("count", d.count);
    if (d.transport) object.Text("transport", std::string(d.transport));
    if (d.addressType) object.Text("address_type", std::string(d.addressType));
    if (d.maker && d.maker[0]) object.Text("maker", d.maker);
    if (d.hasSignal) object.Number("rssi", d.signalDbm);
    return object.Finish();
}

const char* PresencePayload(bool present) { return present ? "home" : "not_home"; }

std::string EventJson(const wchar_t* time, const char* event, const wchar_t* address, const wchar_t* name) {
    return JsonObject()
        .Text("time", time)
        .Text("event", std::string(event))
        .Text("address", address)
        .Text("name", name)
        .Finish();
}

std::string LostEventJson(const wchar_t* time, uint32_t count) {
    return JsonObject().Text("time", time).Text("event", std::string("lost")).Number("count", count).Finish();
}

std::string TrackerConfigJson(const TopicSet& topics, uint64_t address, const wchar_t* title, bool leOnly) {
    JsonObject object;
    object.Text("name", title)
        .Text("unique_id", topics.TrackerId(address))
        .Text("state_topic", topics.Presence(address))
        .Text("payload_home", std::string("home"))
        .Text("payload_not_home", std::string("not_home"))
        .Text("source_type", std::string(leOnly ? "bluetooth_le" : "bluetooth"));
    Availability(object, topics);
    return object.Text("json_attributes_topic", topics.Device(address)).Raw("device", NodeDeviceJson(topics)).Finish();
}

std::string SensorConfigJson(const TopicSet& topics, const wchar_t* title) {
    JsonObject object;
    object.Text("name", title)
        .Text("unique_id", topics.SensorId())
        .Text("state_topic", topics.Present())
        .Text("state_class", std::string("measurement"));
    Availability(object, topics);
    return object.Raw("device", NodeDeviceJson(topics)).Finish();
}

}  // namespace nw
