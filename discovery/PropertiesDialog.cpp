#include "discovery/PropertiesDialog.h"

#include <commctrl.h>
#include <algorithm>
#include <cstring>
#include <cwchar>
#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "base/Handles.h"
#include "base/Text.h"
#include "lang/Strings.h"
#include "resource.h"

namespace nw {

namespace {

constexpr int kLabelPadding = 10;            // pixels added to the widest title
constexpr int kLabelChars = 256;             // "%s:" of a title, at most 255 characters
constexpr int kBottomMargin = 21;            // below the last row, beside the button height
constexpr int kButtonBottomGap = 5;          // from the buttons to the bottom of the client area
constexpr COLORREF kReadOnlyText = 0xC00000; // blue
constexpr COLORREF kReadOnlyBack = 0xFFFFFF; // white

struct Placement {
    int left, top, width, height;
};

Placement ChildPlacement(HWND dialog, HWND child) {
    RECT r = {};
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace

PropertiesDialog::PropertiesDialog(ReportListView& list, const ListRecord& record)
    : StandardDialog(IDD_PROPERTIES), record_(record), list_(list) {}

PropertiesDialog::PropertiesDialog(ReportListView& list, const DeviceRecord& device)
    : StandardDialog(IDD_PROPERTIES), record_(device), list_(list) {
    if (device.le.transports & kTransportLe) device_ = &device;
}

void PropertiesDialog::BeforeRow(int) {}

INT_PTR PropertiesDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        BuildForm();
        break;
    case WM_CTLCOLORSTATIC:
        if (INT_PTR brush = OnControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
            return brush;
        break;
    default:
        break;
    }
    // WM_INITDIALOG ends in the default OnInitDialog, which returns 0 so the
    // focus stays on the description field.
    return StandardDispatch(message, wParam, lParam);
}

INT_PTR PropertiesDialog::OnCommand(WORD code, WORD id, HWND control) {
    if (code == 0 && id == IDOK) {
        editedText_[0] = 0;
        if (editableField_) ::GetWindowTextW(editableField_, editedText_, kPropertiesTextChars);
    }
    return StandardDialog::OnCommand(code, id, control);
}

// Read-only edit fields report through WM_CTLCOLORSTATIC; labels (class
// "static") and the editable field keep the default colours.
INT_PTR PropertiesDialog::OnControlColor(HDC dc, HWND control) {
    wchar_t className[16] = {};
    if (!control || !::GetClassNameW(control, className, 16) || _wcsicmp(className, L"edit") != 0) return 0;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetBkColor(dc, kReadOnlyBack);
    ::SetTextColor(dc, kReadOnlyText);
    return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
}

// The template holds a hidden label and a hidden value field; every row of
// the form is a copy of the two, one row per column in column-index order,
// so the form shows every column whatever the list shows.
void PropertiesDialog::BuildForm() {
    HWND labelPrototype = ::GetDlgItem(window_, IDC_PROP_LABEL);
    HWND valuePrototype = ::GetDlgItem(window_, IDC_PROP_VALUE);
    if (!labelPrototype || !valuePrototype) return;

    DWORD labelStyle = static_cast<DWORD>(::GetWindowLongW(labelPrototype, GWL_STYLE));
    const DWORD labelExStyle = static_cast<DWORD>(::GetWindowLongW(labelPrototype, GWL_EXSTYLE));
    DWORD valueStyle = static_cast<DWORD>(::GetWindowLongW(valuePrototype, GWL_STYLE));
    const DWORD valueExStyle = static_cast<DWORD>(::GetWindowLongW(valuePrototype, GWL_EXSTYLE));
    Placement label = ChildPlacement(window_, labelPrototype);
    Placement value = ChildPlacement(window_, valuePrototype);

    // The rows are drawn and measured in the dialog's own font, like the
    // template's controls; left to themselves they would take the system
    // font, which is bolder than the rest of the dialog and taller than the
    // template's label height, so its descenders would be cut off.
    const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(window_, WM_GETFONT, 0, 0));
    const int columns = list_.ColumnCount();
    // A device heard over Low Energy has its details after the columns.
    const int rows = columns + (device_ ? kLeDetailRows : 0);
    wchar_t cellText[kTextBufferSize];
    auto RowTitle = [&](int row) -> const wchar_t* {
        if (row < columns) return list_.Column(row).title;
        return GetString(LeDetailRow(*device_, row - columns, cellText, kTextBufferSize));
    };
    {
        WindowDC dc(window_);
        if (dc) {
            SelectGuard selected(dc.get(), font);
            int widest = 0;
            for (int c = 0; c < rows; ++c) {
                const wchar_t* title = RowTitle(c);
                if (!title) continue;
                SIZE size = {};
                if (::GetTextExtentPoint32W(dc.get(), title, static_cast<int>(wcslen(title)), &size))
                    widest = std::max(widest, static_cast<int>(size.cx));
            }
            const int labelWidth = widest + kLabelPadding;
            // The value column keeps its right edge where the template puts it.
            value.left += labelWidth - label.width;
            value.width = std::max(0, value.width + label.width - labelWidth);
            label.width = labelWidth;
        }
    }

    labelStyle |= WS_VISIBLE;
    valueStyle |= WS_VISIBLE;
    const int valueHeight = valueLines * value.height;
    wchar_t labelText[kLabelChars];
    int offset = 0;
    for (int c = 0; c < rows; ++c) {
        BeforeRow(c);
        HWND labelWindow = CreateChildWindow(window_, labelExStyle, L"STATIC", labelStyle, label.left,
                                             label.top + offset, label.width, label.height);
        const DWORD style = c == kPropertiesEditableColumn ? valueStyle & ~static_cast<DWORD>(ES_READONLY) : valueStyle;
        HWND valueWindow = CreateChildWindow(window_, valueExStyle, L"EDIT", style, value.left, value.top + offset,
                                             value.width, valueHeight);
        for (HWND created : {labelWindow, valueWindow})
            if (created && font) ::SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (c == kPropertiesEditableColumn && valueWindow) {
            ::SetFocus(valueWindow);
            editableField_ = valueWindow;
        }
        const wchar_t* title = RowTitle(c);
        FormatText(labelText, kLabelChars, L"%s:", title ? title : L"");
        if (labelWindow) ::SetWindowTextW(labelWindow, labelText);
        cellText[0] = 0;
        const wchar_t* text = c < columns ? list_.ColumnText(&record_, c, cellText) : cellText;
        if (c >= columns) LeDetailRow(*device_, c - columns, cellText, kTextBufferSize);
        if (valueWindow) ::SetWindowTextW(valueWindow, text ? text : L"");
        offset += valueHeight + rowGap;
    }

    HWND ok = ::GetDlgItem(window_, IDOK);
    HWND cancel = ::GetDlgItem(window_, IDCANCEL);
    const Placement okPlace = ok ? ChildPlacement(window_, ok) : Placement{0, 0, 0, 0};

    RECT windowRect = {}, client = {};
    ::GetWindowRect(window_, &windowRect);
    ::GetClientRect(window_, &client);
    const int nonClientHeight = (windowRect.bottom - windowRect.top) - (client.bottom - client.top);
    ::SetWindowPos(window_, nullptr, 0, 0, windowRect.right - windowRect.left + 1,
                   nonClientHeight + okPlace.height + offset + kBottomMargin, SWP_NOMOVE | SWP_NOZORDER);

    ::GetClientRect(window_, &client);
    const int buttonTop = client.bottom - okPlace.height - kButtonBottomGap;
    // The buttons go last in the tab order, after the rows made above.
    for (HWND button : {ok, cancel}) {
        if (!button) continue;
        const Placement p = ChildPlacement(window_, button);
        ::SetWindowPos(button, HWND_BOTTOM, p.left, buttonTop, p.width + 1, p.height + 1, SWP_NOACTIVATE);
    }
    CenterOnScreen(window_);
}

// ---- The command ------------------------------------------------------------

void ShowDeviceProperties(DeviceTable& table, HWND owner) {
    HWND control = table.Control();
    if (control && table.SelectedCount() == 1) {
        const int row = static_cast<int>(::SendMessageW(control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                        MAKELPARAM(LVNI_SELECTED, 0)));
        if (const ListRecord* selected = row >= 0 ? table.RowRecord(row) : nullptr) {
            // Scans go on while the window is open and may move the records:
            // the form shows a copy, and the edit is stored in whatever record
            // has the address when OK is pressed.
            DeviceRecord shown;
            std::memcpy(&shown, selected, sizeof shown);
            PropertiesDialog dialog(table, shown);
            dialog.valueLines = 1;
            dialog.rowGap = 4;
            if (ShowModal(IDD_PROPERTIES, &dialog, owner) == 1) {
                DeviceRecord key;
                std::memset(&key, 0, sizeof key);
                key.info.Address.ullLong = DeviceAddress(shown);
                if (ListRecord* found = table.FindRecord(&key)) {
                    auto* device = static_cast<DeviceRecord*>(found);
                    CopyText(device->description, kDescriptionMax + 1, dialog.EditedText());
                    table.MarkRecordChanged(device);
                    table.UpdateAllRowTexts();
                    WriteDescription(DeviceAddress(*device), device->description);
                }
            }
        }
    }
    table.Focus();
}

}  // namespace nw
