// The advanced-options dialog: the two new-device templates and their
// switches, and the departure command, count, balloon and history log,
// edited on copies that reach the settings only on OK.
#pragma once
#include <windows.h>
#include "frame/Frame.h"
#include "settings/Settings.h"

namespace nw {

constexpr int kAdvancedMinWidth = 400;    // minimum tracking size, pixels
constexpr int kAdvancedMinHeight = 150;
constexpr int kTemplateTextMax = 1022;    // characters taken from each edit box

class AdvancedOptionsDialog : public StandardDialog {
public:
    explicit AdvancedOptionsDialog(const AlertBlock& alerts);
    AdvancedOptionsDialog(const AlertBlock& alerts, const PresenceBlock& presence);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ExchangeData(bool toControls) override;
    const AlertBlock& Alerts() const { return alerts_; }
    const PresenceBlock& Presence() const { return presence_; }
    // The Low Energy switch and the minutes after which private rows go.
    void SetLowEnergy(int32_t scan, int32_t forgetMinutes) { scanLowEnergy_ = scan, forgetMinutes_ = forgetMinutes; }
    int32_t ScanLowEnergy() const { return scanLowEnergy_; }
    int32_t ForgetPrivateMinutes() const { return forgetMinutes_; }

protected:
    INT_PTR OnCommand(WORD code, WORD id, HWND control) override;
    INT_PTR OnInitDialog() override;
    INT_PTR OnNotify(int controlId, NMHDR* header) override;

private:
    void ApplyEnablingRule();
    void OnSize();

    AlertBlock alerts_;
    PresenceBlock presence_;
    int32_t scanLowEnergy_ = 1;
    int32_t forgetMinutes_ = kForgetPrivateDefault;
    DialogResizer resizer_;
};

// Command 40050: shows the dialog over owner; true (and the settings'
// alert and presence blocks and the Low Energy fields replaced) when it ended
// with OK.
bool ShowAdvancedOptions(Settings& settings, HWND owner);

}  // namespace nw
