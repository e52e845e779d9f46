// Options > Publish to MQTT...: the broker, the login, the node and prefix
// of the topics and Home Assistant discovery, edited on a copy that reaches
// the settings only on OK. Test connects once on a thread of its own, so the
// dialog stays responsive, and says how it went.
#pragma once
#include <windows.h>
#include "frame/Frame.h"
#include "settings/Settings.h"

namespace nw {

class MqttOptionsDialog : public StandardDialog {
public:
    explicit MqttOptionsDialog(const MqttBlock& mqtt);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ExchangeData(bool toControls) override;
    const MqttBlock& Mqtt() const { return mqtt_; }

protected:
    INT_PTR OnCommand(WORD code, WORD id, HWND control) override;
    INT_PTR OnInitDialog() override;

private:
    // False, with the reason shown beside Test, when the server or the pin
    // cannot be used.
    bool Validate();
    void StartTest();
    void OnTestResult(WPARAM packed, LPARAM error);
    void ApplyEnablingRule();

    MqttBlock mqtt_;
    bool testing_ = false;
};

// Command 40062: true (and the settings' MQTT block replaced) on OK.
bool ShowMqttOptions(Settings& settings, HWND owner);

}  // namespace nw
