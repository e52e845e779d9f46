// The publisher at the window's side (the main window, or the hidden one of
// /publish): owns the MQTT client, turns the device table and the presence
// tracker into messages through the planner, and keeps the state the status
// bar shows. Runs on the window thread; the client's thread only posts.
//
// The owner calls, in this order:
//   Start(settings, window, table, tracker)   when a server is set
//   OnClientState(wParam) on NWM_MQTT_STATE, OnClientMessages() on NWM_MQTT_MESSAGE
//   OnScan(events) after each merged scan, Sync() after a removal or an edit
//   OnReset() right after the table was reset
//   Stop() at exit, before the table goes
#pragma once
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "mqtt/MqttClient.h"
#include "presence/PresenceTracker.h"
#include "publish/PublishPlanner.h"
#include "publish/PublishTopics.h"

namespace nw {

class DeviceTable;
struct DeviceRecord;
struct MqttBlock;
struct Settings;

constexpr DWORD kPublishStopWaitMs = 900;   // an exit waits at most about a second for the broker

// The broker settings as the client takes them: false when no server is set
// or its text is not a server.
bool BuildClientConfig(const MqttBlock& settings, mqtt::ClientConfig& config, TopicSet& topics);
// The node name when none is set: the computer's name.
std::wstring DefaultNodeName();

class Publisher {
public:
    Publisher();
    ~Publisher();

    bool Start(const Settings& settings, HWND window, DeviceTable* table, const PresenceTracker* tracker);
    // "offline" retained, DISCONNECT, at most kPublishStopWaitMs.
    void Stop();
    bool Running() const { return client_ != nullptr; }

    // posted: the state the message announced (its wParam).
    void OnClientState(WPARAM posted);
    void OnClientMessages();
    void OnScan(const std::vector<PresenceEvent>& events);
    void Sync();
    void OnReset();

    // "MQTT: connected" and the like; empty when not running.
    std::wstring StatusText() const;
    const TopicSet& Topics() const { return topics_; }

private:
    void PublishEvent(const PresenceEvent& event);
    void ClearDevice(uint64_t address, bool discovered);
    bool InDiscoveryScope(const DeviceRecord* record, uint64_t address) const;
    void Send(const std::string& topic, const std::string& payload, unsigned flags);

    std::unique_ptr<mqtt::Client> client_;
    TopicSet topics_;
    PublishPlanner planner_;
    DeviceTable* table_ = nullptr;              // borrowed from the owner
    const PresenceTracker* tracker_ = nullptr;  // borrowed from the owner
    bool discovery_ = false;
    bool discoveryAll_ = false;
    mqtt::ClientState state_ = mqtt::ClientState::Offline;
    std::vector<DeviceView> views_;
    std::vector<PlanStep> steps_;
};

}  // namespace nw
