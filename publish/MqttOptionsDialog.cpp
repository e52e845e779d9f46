#include "publish/MqttOptionsDialog.h"

#include <commctrl.h>
#include <cstring>
#include <new>
#include <string>
#include "base/Text.h"
#include "lang/Strings.h"
#include "mqtt/MqttClient.h"
#include "publish/PublishTopics.h"
#include "publish/Publisher.h"
#include "reports/ReportCommands.h"
#include "resource.h"

namespace nw {

namespace {

constexpr DWORD kTestTimeoutMs = 10000;
constexpr size_t kResultChars = 512;

// The test's outcome travels in the posted message itself, so the thread
// shares nothing with a dialog that may be gone by then.
WPARAM PackStatus(const mqtt::ClientStatus& status) {
    return static_cast<WPARAM>(static_cast<unsigned>(status.state) & 0xFF) |
           static_cast<WPARAM>((static_cast<unsigned>(status.connackCode) & 0xFF) << 8) |
           static_cast<WPARAM>(status.tlsRejected ? 0x10000 : 0);
}

struct TestJob {
    mqtt::ClientConfig config;
    HWND dialog;
};

DWORD WINAPI TestThread(void* parameter) {
    TestJob* job = static_cast<TestJob*>(parameter);
    mqtt::ClientStatus status = mqtt::Client::TestConnection(job->config, kTestTimeoutMs);
    ::PostMessageW(job->dialog, NWM_MQTT_STATE, PackStatus(status), static_cast<LPARAM>(status.error));
    SecureZeroMemory(job->config.password.data(), job->config.password.size());
    delete job;
    return 0;
}

void SetCue(HWND edit, const wchar_t* text) {
    ::SendMessageW(edit, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(text));
}

}  // namespace

MqttOptionsDialog::MqttOptionsDialog(const MqttBlock& mqtt) : StandardDialog(IDD_MQTT) {
    std::memcpy(&mqtt_, &mqtt, sizeof mqtt_);
}

INT_PTR MqttOptionsDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == NWM_MQTT_STATE) {
        OnTestResult(wParam, lParam);
        return TRUE;
    }
    return StandardDispatch(message, wParam, lParam);
}

void MqttOptionsDialog::ExchangeData(bool toControls) {
    auto text = [&](int id, wchar_t* buffer, size_t size) {
        if (toControls) {
            ::SetDlgItemTextW(window_, id, buffer);
        } else {
            buffer[0] = 0;
            ::GetDlgItemTextW(window_, id, buffer, static_cast<int>(size));
        }
    };
    auto check = [&](int id, int32_t& value) {
        if (toControls)
            ::CheckDlgButton(window_, id, value ? BST_CHECKED : BST_UNCHECKED);
        else
            value = ::IsDlgButtonChecked(window_, id) == BST_CHECKED ? 1 : 0;
    };
    text(IDC_MQTT_SERVER, mqtt_.Server, kMqttServerChars);
    check(IDC_MQTT_TLS, mqtt_.Tls);
    text(IDC_MQTT_PIN, mqtt_.TlsPin, kMqttPinChars);
    text(IDC_MQTT_USER, mqtt_.User, kMqttUserChars);
    // The password is never shown: an empty box keeps the one there is, a
    // typed one replaces it (sealed at the next save), and no user name
    // means no password.
    if (toControls) {
        ::SetDlgItemTextW(window_, IDC_MQTT_PASSWORD, L"");
        if (mqtt_.PasswordSealed[0] || mqtt_.ClearPassword[0])
            SetCue(::GetDlgItem(window_, IDC_MQTT_PASSWORD), GetString(IDS_MQTT_PASSWORD_KEPT));
    } else {
        wchar_t typed[kMqttPasswordChars] = {};
        ::GetDlgItemTextW(window_, IDC_MQTT_PASSWORD, typed, static_cast<int>(kMqttPasswordChars));
        if (typed[0]) {
            CopyText(mqtt_.ClearPassword, typed);
            mqtt_.PasswordSealed[0] = 0;
        }
        if (!mqtt_.User[0]) {
            SecureZeroMemory(mqtt_.ClearPassword, sizeof mqtt_.ClearPassword);
            mqtt_.PasswordSealed[0] = 0;
        }
        SecureZeroMemory(typed, sizeof typed);
    }
    text(IDC_MQTT_NODE, mqtt_.Node, kMqttNodeChars);
    text(IDC_MQTT_TOPIC, mqtt_.Topic, kMqttTopicChars);
    check(IDC_MQTT_DISCOVERY, mqtt_.Discovery);
    check(IDC_MQTT_DISCOVERY_ALL, mqtt_.DiscoveryAll);
}

void MqttOptionsDialog::ApplyEnablingRule() {
    const bool tls = ::IsDlgButtonChecked(window_, IDC_MQTT_TLS) == BST_CHECKED;
    EnableControl(IDC_MQTT_PIN, tls);
    EnableControl(IDC_MQTT_DISCOVERY_ALL, ::IsDlgButtonChecked(window_, IDC_MQTT_DISCOVERY) == BST_CHECKED);
    EnableControl(IDC_MQTT_TEST, !testing_);
}

INT_PTR MqttOptionsDialog::OnInitDialog() {
    INT_PTR result = StandardDialog::OnInitDialog();
    // The node name when the box stays empty: the computer's.
    SetCue(::GetDlgItem(window_, IDC_MQTT_NODE), DefaultNodeName().c_str());
    ::SendDlgItemMessageW(window_, IDC_MQTT_SERVER, EM_LIMITTEXT, kMqttServerChars - 1, 0);
    ::SendDlgItemMessageW(window_, IDC_MQTT_PIN, EM_LIMITTEXT, kMqttPinChars - 1, 0);
    ::SendDlgItemMessageW(window_, IDC_MQTT_USER, EM_LIMITTEXT, kMqttUserChars - 1, 0);
    ::SendDlgItemMessageW(window_, IDC_MQTT_PASSWORD, EM_LIMITTEXT, kMqttPasswordChars - 1, 0);
    ::SendDlgItemMessageW(window_, IDC_MQTT_NODE, EM_LIMITTEXT, kMqttNodeChars - 1, 0);
    ::SendDlgItemMessageW(window_, IDC_MQTT_TOPIC, EM_LIMITTEXT, kMqttTopicChars - 1, 0);
    ApplyEnablingRule();
    return result;
}

bool MqttOptionsDialog::Validate() {
    wchar_t server[kMqttServerChars] = {};
    ::GetDlgItemTextW(window_, IDC_MQTT_SERVER, server, static_cast<int>(kMqttServerChars));
    std::wstring host;
    uint16_t port = 0;
    unsigned problem = 0;
    bool blank = true;
    for (const wchar_t* p = server; *p; ++p)
        if (*p != L' ' && *p != L'\t') blank = false;
    if (!blank && !ParseServer(server, host, port)) problem = IDS_MQTT_BAD_SERVER;
    wchar_t pin[kMqttPinChars] = {};
    ::GetDlgItemTextW(window_, IDC_MQTT_PIN, pin, static_cast<int>(kMqttPinChars));
    std::array<uint8_t, 32> bytes{};
    if (!problem && pin[0] && ::IsDlgButtonChecked(window_, IDC_MQTT_TLS) == BST_CHECKED && !ParsePin(pin, bytes))
        problem = IDS_MQTT_BAD_PIN;
    if (!problem) return true;
    ::SetDlgItemTextW(window_, IDC_MQTT_RESULT, GetString(problem));
    ::SetFocus(::GetDlgItem(window_, problem == IDS_MQTT_BAD_SERVER ? IDC_MQTT_SERVER : IDC_MQTT_PIN));
    return false;
}

INT_PTR MqttOptionsDialog::OnCommand(WORD code, WORD id, HWND control) {
    if (code == 0 || code == BN_CLICKED) {
        if (id == IDOK && !Validate()) return 0;
        if (id == IDC_MQTT_TEST) {
            StartTest();
            return 0;
        }
        if (id == IDC_MQTT_TLS || id == IDC_MQTT_DISCOVERY) ApplyEnablingRule();
    }
    return StandardDialog::OnCommand(code, id, control);
}

// The boxes as they are now, not as they were saved: Test tries what OK
// would keep.
void MqttOptionsDialog::StartTest() {
    if (testing_ || !Validate()) return;
    MqttBlock saved;
    std::memcpy(&saved, &mqtt_, sizeof saved);
    ExchangeData(false);
    TestJob* job = new (std::nothrow) TestJob();
    TopicSet topics;
    const bool usable = job && BuildClientConfig(mqtt_, job->config, topics);
    std::memcpy(&mqtt_, &saved, sizeof mqtt_);
    SecureZeroMemory(&saved, sizeof saved);
    if (!usable) {
        delete job;
        ::SetDlgItemTextW(window_, IDC_MQTT_RESULT, GetString(IDS_MQTT_BAD_SERVER));
        return;
    }
    // Test connects without a last will: nothing of it stays on the broker.
    job->config.willTopic.clear();
    job->config.clientId += "-test";
    if (job->config.clientId.size() > 23) job->config.clientId.erase(0, job->config.clientId.size() - 23);
    job->dialog = window_;
    HANDLE thread = ::CreateThread(nullptr, 0, TestThread, job, 0, nullptr);
    if (!thread) {
        delete job;
        return;
    }
    ::CloseHandle(thread);
    testing_ = true;
    ::SetDlgItemTextW(window_, IDC_MQTT_RESULT, GetString(IDS_MQTT_TEST_RUNNING));
    ApplyEnablingRule();
}

void MqttOptionsDialog::OnTestResult(WPARAM packed, LPARAM error) {
    testing_ = false;
    const auto state = static_cast<mqtt::ClientState>(packed & 0xFF);
    const int connack = static_cast<int>((packed >> 8) & 0xFF);
    std::wstring text;
    if (state == mqtt::ClientState::Connected) {
        text = GetString(IDS_MQTT_TEST_OK);
    } else if (state == mqtt::ClientState::Refused) {
        text = GetString(connack >= 1 && connack <= 5 ? IDS_MQTT_REFUSED_BASE + static_cast<unsigned>(connack)
                                                      : IDS_MQTT_REFUSED);
    } else {
        text = GetString(IDS_MQTT_TEST_FAILED);
        if (packed & 0x10000) {
            text += std::wstring(L": ") + GetString(IDS_MQTT_TLS_REJECTED);
        } else if (error != 0) {
            wchar_t reason[kResultChars];
            SystemErrorText(static_cast<DWORD>(error), reason, kResultChars);
            text += std::wstring(L": ") + reason;
        }
    }
    ::SetDlgItemTextW(window_, IDC_MQTT_RESULT, text.c_str());
    ApplyEnablingRule();
}

bool ShowMqttOptions(Settings& settings, HWND owner) {
    MqttOptionsDialog dialog(settings.mqtt);
    if (!dialog.DoModal(owner)) return false;
    std::memcpy(&settings.mqtt, &dialog.Mqtt(), sizeof settings.mqtt);
    return true;
}

}  // namespace nw
