#include "publish/Publisher.h"

#include "base/BluetoothAddress.h"
#include "base/Text.h"
#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "lang/Strings.h"
#include "presence/HistoryLine.h"
#include "presence/PresenceMonitor.h"
#include "publish/PublishJson.h"
#include "publish/PublishMessages.h"
#include "resource.h"
#include "settings/Settings.h"

namespace nw {

namespace {

constexpr size_t kClientIdMax = 23;   // the longest every broker must take
// An empty retained message removes what the broker keeps on a topic. Unlike
// state, which a connect sends whole, a removal waits for the broker.
constexpr unsigned kRemoval = mqtt::kRetain | mqtt::kQos1 | mqtt::kQueueWhileOffline;

uint64_t Now() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool IsShown(const DeviceRecord& record) { return !(record.flags & kRecordFree) && record.removed != 1; }

}  // namespace

std::wstring DefaultNodeName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size)) name[0] = 0;
    return name;
}

bool BuildClientConfig(const MqttBlock& m, mqtt::ClientConfig& config, TopicSet& topics) {
    mqtt::ClientConfig c;
    if (!ParseServer(m.Server, c.host, c.port)) return false;
    c.tls = m.Tls != 0;
    // Anything but a whole pin is no pin: the chain and the name are checked.
    c.hasPin = c.tls && ParsePin(m.TlsPin, c.pin);
    c.user = Utf8(m.User);
    if (m.ClearPassword[0]) {
        c.password = Utf8(m.ClearPassword);
    } else if (m.PasswordSealed[0] && !mqtt::UnsealPassword(m.PasswordSealed, c.password)) {
        c.password.clear();
    }
    const std::wstring node = m.Node[0] ? std::wstring(m.Node) : DefaultNodeName();
    topics = TopicSet(m.Topic, node.c_str());
    c.clientId = ("nw-" + topics.node).substr(0, kClientIdMax);
    c.willTopic = topics.Status();
    c.willPayload = "offline";
    c.willRetain = true;
    config = std::move(c);
    return true;
}

Publisher::Publisher() = default;

Publisher::~Publisher() {
    // Without Stop (a failed start): no final message, no wait.
    client_.reset();
}

bool Publisher::Start(const Settings& settings, HWND window, DeviceTable* table, const PresenceTracker* tracker) {
    Stop();
    mqtt::ClientConfig config;
    if (!BuildClientConfig(settings.mqtt, config, topics_)) return false;
    client_ = std::make_unique<mqtt::Client>();
    table_ = table;
    tracker_ = tracker;
    discovery_ = settings.mqtt.Discovery != 0;
    discoveryAll_ = settings.mqtt.DiscoveryAll != 0;
    planner_ = PublishPlanner();
    state_ = mqtt::ClientState::Connecting;
    if (discovery_) client_->Subscribe(kHomeAssistantStatus);
    // Whatever this node announced before, in this run or an earlier one,
    // comes back retained: what is out of scope now is taken back.
    client_->Subscribe(kTrackerConfigFilter);
    client_->Subscribe(topics_.SensorConfig());
    if (!client_->Start(config, window, NWM_MQTT_STATE, NWM_MQTT_MESSAGE)) {
        client_.reset();
        return false;
    }
    SecureZeroMemory(config.password.data(), config.password.size());
    return true;
}

void Publisher::Stop() {
    if (!client_) return;
    // The client sends it only while connected: the will says the same when
    // the broker notices the silence otherwise.
    client_->Stop(topics_.Status(), "offline", kPublishStopWaitMs);
    client_.reset();
    state_ = mqtt::ClientState::Stopped;
}

void Publisher::Send(const std::string& topic, const std::string& payload, unsigned flags) {
    if (client_) client_->Publish(topic, payload, flags);
}

// After every connect the broker hears the state whole: "online", what was
// lost while away, then every device as if new.
// Each change is posted: following the posted states, never the current
// one, no reconnect between two messages goes unnoticed.
void Publisher::OnClientState(WPARAM posted) {
    if (!client_) return;
    const mqtt::ClientState previous = state_;
    state_ = static_cast<mqtt::ClientState>(posted);
    if (state_ != mqtt::ClientState::Connected || previous == mqtt::ClientState::Connected) return;
    Send(topics_.Status(), "online", mqtt::kRetain | mqtt::kQos1);
    if (const uint32_t lost = client_->TakeLostCount()) {
        wchar_t time[kIsoTimeChars];
        FormatLocalIsoTime(Now(), time, kIsoTimeChars);
        Send(topics_.Events(), LostEventJson(time, lost), mqtt::kQos1 | mqtt::kQueueWhileOffline);
    }
    planner_.RepublishAll();
    Sync();
}

void Publisher::OnClientMessages() {
    if (!client_) return;
    std::vector<mqtt::Message> messages;
    client_->TakeMessages(messages);
    bool rediscover = false;
    for (const mqtt::Message& message : messages) {
        if (message.topic == kHomeAssistantStatus) {
            rediscover |= discovery_ && message.payload == "online";
            continue;
        }
        // An empty config is a removal already, this node's own included.
        if (message.payload.empty()) continue;
        uint64_t address = 0;
        if (topics_.IsTrackerConfig(message.topic, address)) {
            if (!InDiscoveryScope(table_ ? table_->FindDevice(address) : nullptr, address))
                Send(topics_.TrackerConfig(address), "", kRemoval);
        } else if (!discovery_ && message.topic == topics_.SensorConfig()) {
            Send(topics_.SensorConfig(), "", kRemoval);
        }
    }
    if (rediscover) {
        planner_.RediscoverAll();
        Sync();
    }
}

// Whether the device's tracker belongs in Home Assistant now. Without a
// record (not seen in this run) its description file says.
bool Publisher::InDiscoveryScope(const DeviceRecord* record, uint64_t address) const {
    if (!discovery_ || (record && record->removed == 1)) return false;
    if (discoveryAll_) return true;
    if (record) return record->description[0] != 0;
    wchar_t description[kDescriptionChars];
    return ReadDescription(address, description, kDescriptionChars) > 0;
}

void Publisher::OnScan(const std::vector<PresenceEvent>& events) {
    if (!client_ || !table_) return;
    for (const PresenceEvent& e : events) PublishEvent(e);
    Sync();
}

// The first scan's devices are the baseline and no event; a device that
// arrives with its first span is new.
void Publisher::PublishEvent(const PresenceEvent& e) {
    const char* word = nullptr;
    if (e.kind == PresenceEventKind::Left) {
        word = "left";
    } else if (e.kind == PresenceEventKind::Arrived) {
        const SpanStore* spans = tracker_ ? tracker_->Spans(e.address) : nullptr;
        word = spans && spans->Count() <= 1 && spans->Merged() == 0 ? "new" : "arrived";
    } else {
        return;
    }
    const DeviceRecord* record = table_->FindDevice(e.address);
    if (record && record->removed == 1) return;
    wchar_t time[kIsoTimeChars];
    FormatLocalIsoTime(e.time, time, kIsoTimeChars);
    wchar_t address[kAddressTextChars];
    FormatAddress(e.address, address);
    wchar_t name[kColumnTextChars];
    const wchar_t* nameText = record ? DeviceColumnText(*record, kColName, name, kColumnTextChars) : L"";
    // Events are what is lost when the broker is away: queued, at least once.
    Send(topics_.Events(), EventJson(time, word, address, nameText), mqtt::kQos1 | mqtt::kQueueWhileOffline);
}

void Publisher::ClearDevice(uint64_t address, bool discovered) {
    Send(topics_.Device(address), "", kRemoval);
    Send(topics_.Presence(address), "", kRemoval);
    if (discovered) Send(topics_.TrackerConfig(address), "", kRemoval);
}

// Away from the broker only removals count: a connect sends the rest whole.
void Publisher::Sync() {
    if (!client_ || !table_) return;
    const bool connected = state_ == mqtt::ClientState::Connected;
    const uint64_t now = Now();
    int present = 0;
    views_.clear();
    steps_.clear();
    for (int i = 0; i < table_->RecordCount(); ++i) {
        const DeviceRecord* record = table_->Device(i);
        if (record->flags & kRecordFree) continue;
        const uint64_t address = DeviceAddress(*record);
        if (record->removed == 1) {
            // Removed by the user: what the broker keeps of it goes.
            bool discovered = false;
            if (planner_.Forget(address, discovered)) ClearDevice(address, discovered);
            continue;
        }
        if (!connected) continue;
        const bool here = tracker_ && tracker_->IsPresent(address);
        if (here) ++present;
        const bool inScope = InDiscoveryScope(record, address);
        views_.push_back({address, TextHash(record->description, TextHash(record->info.szName)),
                          Ticks(record->lastSeen), record->detectionCount, here, inScope});
    }
    if (!connected) return;
    planner_.Plan(views_.data(), views_.size(), now, steps_);
    wchar_t name[kColumnTextChars], major[kColumnTextChars], minor[kColumnTextChars];
    wchar_t maker[kColumnTextChars];
    wchar_t address[kAddressTextChars], first[kIsoTimeChars], last[kIsoTimeChars];
    for (const PlanStep& step : steps_) {
        const DeviceRecord* record = table_->FindDevice(step.address);
        if (!record || !IsShown(*record)) continue;
        const bool here = tracker_ && tracker_->IsPresent(step.address);
        FormatAddress(step.address, address);
        const wchar_t* nameText = DeviceColumnText(*record, kColName, name, kColumnTextChars);
        if (step.record) {
            FormatLocalIsoTime(Ticks(record->firstSeen), first, kIsoTimeChars);
            FormatLocalIsoTime(Ticks(record->lastSeen), last, kIsoTimeChars);
            const bool heardLe = (record->le.transports & kTransportLe) != 0;
            DeviceFacts facts = {address,
                                 nameText,
                                 record->description,
                                 record->company,
                                 DeviceColumnText(*record, kColMajorType, major, kColumnTextChars),
                                 DeviceColumnText(*record, kColMinorType, minor, kColumnTextChars),
                                 here,
                                 first,
                                 last,
                                 record->detectionCount,
                                 TransportName(record->le.transports),
                                 heardLe ? AddressTypeName(record->le.addressType) : nullptr,
                                 DeviceColumnText(*record, kColMaker, maker, kColumnTextChars),
                                 record->le.signal != kNoSignal,
                                 SignalDbm(record->le.signal)};
            Send(topics_.Device(step.address), DeviceJson(facts), mqtt::kRetain);
        }
        if (step.presence) Send(topics_.Presence(step.address), PresencePayload(here), mqtt::kRetain);
        if (step.discovery == DiscoveryStep::Send) {
            const wchar_t* title = record->description[0] ? record->description : nameText[0] ? nameText : address;
            const bool leOnly = record->le.transports == kTransportLe;
            Send(topics_.TrackerConfig(step.address), TrackerConfigJson(topics_, step.address, title, leOnly),
                 mqtt::kRetain);
        } else if (step.discovery == DiscoveryStep::Clear) {
            Send(topics_.TrackerConfig(step.address), "", kRemoval);
        }
    }
    if (discovery_ && planner_.SensorDue())
        Send(topics_.SensorConfig(), SensorConfigJson(topics_, GetString(IDS_MQTT_SENSOR_NAME)), mqtt::kRetain);
    // Before the first scan nobody is known to be here or gone.
    if (tracker_ && tracker_->ScanCount() > 0 && planner_.PresentCountDue(present))
        Send(topics_.Present(), std::to_string(present), mqtt::kRetain);
}

void Publisher::OnReset() {
    if (!client_) return;
    std::vector<PublishPlanner::Published> published;
    planner_.ForgetAll(published);
    for (const auto& p : published) ClearDevice(p.address, p.discovered);
    if (planner_.PresentCountDue(0)) Send(topics_.Present(), "0", mqtt::kRetain);
}

std::wstring Publisher::StatusText() const {
    if (!client_) return {};
    const mqtt::ClientStatus status = client_->Status();
    unsigned id = IDS_MQTT_OFFLINE;
    switch (status.state) {
    case mqtt::ClientState::Connecting: id = IDS_MQTT_CONNECTING; break;
    case mqtt::ClientState::Connected: id = IDS_MQTT_CONNECTED; break;
    case mqtt::ClientState::Refused:
        id = status.connackCode >= 1 && status.connackCode <= 5
                 ? IDS_MQTT_REFUSED_BASE + static_cast<unsigned>(status.connackCode)
                 : IDS_MQTT_REFUSED;
        break;
    default: break;
    }
    std::wstring text = std::wstring(GetString(IDS_MQTT_LABEL)) + L": " + GetString(id);
    if (status.tlsRejected && status.state != mqtt::ClientState::Connected)
        text += std::wstring(L" (") + GetString(IDS_MQTT_TLS_REJECTED) + L")";
    return text;
}

}  // namespace nw
