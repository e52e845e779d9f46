// The properties window: one device as a vertical form built from the list's
// column model, with the description as the one editable field.
#pragma once
#include <windows.h>
#include "frame/Frame.h"
#include "listview/ReportListView.h"

namespace nw {

class DeviceTable;
struct DeviceRecord;

constexpr int kPropertiesEditableColumn = 1;   // the description
constexpr int kPropertiesTextChars = 127;      // edited text: 126 characters and the terminator

class PropertiesDialog : public StandardDialog {
public:
    // record is read while the form is built; the caller keeps it alive
    // until the dialog has opened.
    PropertiesDialog(ReportListView& list, const ListRecord& record);
    // The same for a device: a device heard over Low Energy gets the LE
    // detail rows after the columns.
    PropertiesDialog(ReportListView& list, const DeviceRecord& device);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Called before each row of the form is created.
    virtual void BeforeRow(int columnIndex);

    const wchar_t* EditedText() const { return editedText_; }
    HWND EditableField() const { return editableField_; }

    int valueLines = 1;   // height of a value field in prototype heights
    int rowGap = 4;       // pixels between rows

protected:
    INT_PTR OnCommand(WORD code, WORD id, HWND control) override;

private:
    void BuildForm();
    INT_PTR OnControlColor(HDC dc, HWND control);

    const ListRecord& record_;
    ReportListView& list_;
    const DeviceRecord* device_ = nullptr;
    HWND editableField_ = nullptr;
    wchar_t editedText_[kPropertiesTextChars] = {};
};

// Command 40009 and a double click: with exactly one row selected, shows its
// device; OK stores the edited description (in the record found again by
// address, the list rows and the description file). The keyboard focus goes
// back to the list in every case.
void ShowDeviceProperties(DeviceTable& table, HWND owner);

}  // namespace nw
