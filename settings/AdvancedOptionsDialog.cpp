#include "settings/AdvancedOptionsDialog.h"

#include <cstring>
#include "resource.h"

namespace nw {

namespace {

// The variables that the templates may hold, shown selectable for copying.
constexpr const wchar_t* kVariablesLine = L"%device_name%  %device_desc%  %device_addr%";
constexpr const wchar_t* kDepartureVariable = L"%device_last_seen%";

// How each control follows the frame: (x, y, width) factors.
struct Anchor {
    int id, fx, fy, fw;
};
constexpr Anchor kAnchors[] = {
    {IDC_ADV_EXECUTE, 0, 0, 1},   // stretches to the right
    {IDC_ADV_DEPART_EXECUTE, 0, 0, 1},
    {IDOK, 1, 1, 0},              // follows the bottom-right corner
    {IDCANCEL, 1, 1, 0},
};

}  // namespace

AdvancedOptionsDialog::AdvancedOptionsDialog(const AlertBlock& alerts) : StandardDialog(IDD_ADVANCED) {
    std::memcpy(&alerts_, &alerts, sizeof alerts_);
    std::memset(&presence_, 0, sizeof presence_);
    presence_.DepartAfterScans = kDepartAfterScansDefault;
}

AdvancedOptionsDialog::AdvancedOptionsDialog(const AlertBlock& alerts, const PresenceBlock& presence)
    : AdvancedOptionsDialog(alerts) {
    std::memcpy(&presence_, &presence, sizeof presence_);
}

INT_PTR AdvancedOptionsDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        OnSize();
        break;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (info) info->ptMinTrackSize = {kAdvancedMinWidth, kAdvancedMinHeight};
        break;
    }
    case WM_PAINT:
        resizer_.PaintGrip();
        break;
    default:
        break;
    }
    return StandardDispatch(message, wParam, lParam);
}

void AdvancedOptionsDialog::OnSize() {
    HDWP deferral = ::BeginDeferWindowPos(static_cast<int>(sizeof kAnchors / sizeof kAnchors[0]));
    if (!deferral) return;
    for (const Anchor& a : kAnchors) resizer_.Place(deferral, a.id, a.fx, a.fy, a.fw);
    if (deferral) ::EndDeferWindowPos(deferral);
    // The grip moved with the corner: the old one is erased.
    resizer_.InvalidateGrip();
}

// Both directions go through the same four fields in the same order. The
// texts are read with room for 1,022 characters, as the templates are used.
void AdvancedOptionsDialog::ExchangeData(bool toControls) {
    auto text = [&](int id, wchar_t* buffer) {
        if (toControls) {
            ::SetDlgItemTextW(window_, id, buffer);
        } else {
            buffer[0] = 0;
            ::GetDlgItemTextW(window_, id, buffer, kTemplateTextMax + 1);
        }
    };
    auto check = [&](int id, int32_t& value) {
        if (toControls)
            ::CheckDlgButton(window_, id, value ? BST_CHECKED : BST_UNCHECKED);
        else
            value = ::IsDlgButtonChecked(window_, id) == BST_CHECKED ? 1 : 0;
    };
    if (toControls) ::SetDlgItemTextW(window_, IDC_ADV_VARS, kVariablesLine);
    text(IDC_ADV_EXECUTE, alerts_.NewDeviceExecute);
    check(IDC_ADV_USE_EXECUTE, alerts_.UseNewDeviceExecute);
    text(IDC_ADV_SPEAK, alerts_.NewDeviceSpeak);
    check(IDC_ADV_USE_SPEAK, alerts_.UseNewDeviceSpeak);
    if (toControls) ::SetDlgItemTextW(window_, IDC_ADV_DEPART_VARS, kDepartureVariable);
    text(IDC_ADV_DEPART_EXECUTE, presence_.DepartedDeviceExecute);
    check(IDC_ADV_USE_DEPART_EXECUTE, presence_.UseDepartedDeviceExecute);
    if (toControls) {
        ::SetDlgItemInt(window_, IDC_ADV_DEPART_AFTER, static_cast<UINT>(presence_.DepartAfterScans), FALSE);
    } else {
        // An empty or absurd count takes the nearest end of 1-99.
        BOOL ok = FALSE;
        const UINT scans = ::GetDlgItemInt(window_, IDC_ADV_DEPART_AFTER, &ok, FALSE);
        presence_.DepartAfterScans = !ok || scans < static_cast<UINT>(kDepartAfterScansMin)
                                         ? kDepartAfterScansMin
                                         : scans > static_cast<UINT>(kDepartAfterScansMax)
                                               ? kDepartAfterScansMax
                                               : static_cast<int32_t>(scans);
    }
    check(IDC_ADV_BALLOON_DEPARTED, presence_.BalloonOnDeparted);
    check(IDC_ADV_HISTORY_LOG, presence_.KeepHistoryLog);
    check(IDC_ADV_SCAN_LE, scanLowEnergy_);
    if (toControls) {
        ::SetDlgItemInt(window_, IDC_ADV_FORGET_MINUTES, static_cast<UINT>(forgetMinutes_), FALSE);
    } else {
        BOOL ok = FALSE;
        const UINT minutes = ::GetDlgItemInt(window_, IDC_ADV_FORGET_MINUTES, &ok, FALSE);
        forgetMinutes_ = !ok || minutes < static_cast<UINT>(kForgetPrivateMin) ? kForgetPrivateMin
                         : minutes > static_cast<UINT>(kForgetPrivateMax)     ? kForgetPrivateMax
                                                                              : static_cast<int32_t>(minutes);
    }
}

void AdvancedOptionsDialog::ApplyEnablingRule() {
    EnableControl(IDC_ADV_EXECUTE, alerts_.UseNewDeviceExecute == 1);
    EnableControl(IDC_ADV_SPEAK, alerts_.UseNewDeviceSpeak == 1);
    EnableControl(IDC_ADV_DEPART_EXECUTE, presence_.UseDepartedDeviceExecute == 1);
}

// A click (the check boxes included) first takes every control back into
// the copy, so ticking a box enables its edit box at once.
INT_PTR AdvancedOptionsDialog::OnCommand(WORD code, WORD id, HWND control) {
    if (code == 0) {
        ExchangeData(false);
        ApplyEnablingRule();
    }
    return StandardDialog::OnCommand(code, id, control);
}

INT_PTR AdvancedOptionsDialog::OnInitDialog() {
    resizer_.Capture(window_);
    ApplyEnablingRule();
    return StandardDialog::OnInitDialog();
}

INT_PTR AdvancedOptionsDialog::OnNotify(int, NMHDR*) { return 0; }

bool ShowAdvancedOptions(Settings& settings, HWND owner) {
    AdvancedOptionsDialog dialog(settings.alerts, settings.presence);
    dialog.SetLowEnergy(settings.scanLowEnergy, settings.forgetPrivateAfterMinutes);
    if (!dialog.DoModal(owner)) return false;
    settings.scanLowEnergy = dialog.ScanLowEnergy();
    settings.forgetPrivateAfterMinutes = dialog.ForgetPrivateMinutes();
    std::memcpy(&settings.alerts, &dialog.Alerts(), sizeof settings.alerts);
    std::memcpy(&settings.presence, &dialog.Presence(), sizeof settings.presence);
    return true;
}

}  // namespace nw
