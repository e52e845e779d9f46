// The advanced-options dialog: the two new-device templates and their
// switches, edited on a copy that reaches the settings only on OK.
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

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ExchangeData(bool toControls) override;
    const AlertBlock& Alerts() const { return alerts_; }

protected:
    INT_PTR OnCommand(WORD code, WORD id, HWND control) override;
    INT_PTR OnInitDialog() override;
    INT_PTR OnNotify(int controlId, NMHDR* header) override;

private:
    void ApplyEnablingRule();
    void OnSize();

    AlertBlock alerts_;
    DialogResizer resizer_;
};

// Command 40050: shows the dialog over owner; true (and the settings'
// alert block replaced) when it ended with OK.
bool ShowAdvancedOptions(Settings& settings, HWND owner);

}  // namespace nw
