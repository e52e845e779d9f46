// A device table on a real hidden list control, and a script that works a
// modal dialog opened on this thread; shared by the dialog tests.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "annotations/Descriptions.h"
#include "discovery/DeviceTable.h"
#include "discovery/ScanWorker.h"
#include "listview_testsupport.h"
#include "settings/Settings.h"

namespace dialogtest {

inline BLUETOOTH_DEVICE_INFO Answer(uint64_t address, const wchar_t* name, uint32_t classOfDevice = 0x20C) {
    BLUETOOTH_DEVICE_INFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.Address.ullLong = address;
    info.ulClassofDevice = classOfDevice;
    wcsncpy(info.szName, name, BLUETOOTH_MAX_NAME_SIZE - 1);
    return info;
}

// The device table as the main window sets it up, with its description file
// in a folder of the test's own.
struct DeviceList {
    DeviceList() {
        settings.AutoSetDeviceDescription = 0;
        nw::SetAppSettings(&settings);
        nw::SetDescriptionFileForTesting(descriptionFile.c_str());
        table.Attach(window.List());
        table.InsertColumns();
        table.SetStatusBar(window.Status());
        table.scanResults = &scan;
    }
    ~DeviceList() {
        table.scanResults = nullptr;
        nw::SetAppSettings(nullptr);
        nw::SetDescriptionFileForTesting(nullptr);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    void Scan(std::initializer_list<BLUETOOTH_DEVICE_INFO> answers) {
        scan.count = 0;
        for (const auto& answer : answers) scan.results[scan.count++] = answer;
        table.ReloadRecords();
        table.Refresh();
    }
    int RowOf(uint64_t address) const {
        for (int row = 0; row < window.Rows(); ++row) {
            auto* record = static_cast<const nw::DeviceRecord*>(table.RowRecord(row));
            if (record && record->info.Address.ullLong == address) return row;
        }
        return -1;
    }
    void SelectOnly(std::initializer_list<int> rows) {
        table.SetRowState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (int row : rows) table.SetRowState(row, LVIS_SELECTED, LVIS_SELECTED);
    }
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        for (int row = 0; row < window.Rows(); ++row)
            if (table.IsRowSelected(row)) rows.push_back(row);
        return rows;
    }
    std::wstring DescriptionFileText() const {
        HANDLE file = ::CreateFileW(descriptionFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        if (file == INVALID_HANDLE_VALUE) return L"<absent>";
        std::string bytes(65536, '\0');
        DWORD read = 0;
        ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        ::CloseHandle(file);
        bytes.resize(read);
        if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE)
            return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return std::wstring(bytes.begin(), bytes.end());
    }

    listtest::TempFolder folder;   // first in, last out
    std::wstring descriptionFile = folder.File(L"desc.ini");
    nw::Settings settings = {};
    listtest::ListWindow window;
    nw::DeviceTable table;
    nw::ScanAnswer scan;
};

// The first visible dialog (class "#32770") of this thread, or null.
inline BOOL CALLBACK TakeVisibleDialog(HWND window, LPARAM context) {
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    if (wcscmp(name, L"#32770") == 0 && ::IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(context) = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND ThreadDialog() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), TakeVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Runs open() (which shows a modal dialog on this thread) while a thread
// timer hands the dialog to script once it is up; script must end it. A
// dialog still open after ten seconds is ended with 99. Returns how many
// dialogs the script saw (0 when open() showed none).
class DialogScript {
public:
    static int Run(const std::function<void()>& open, const std::function<void(HWND dialog)>& script) {
        script_ = &script;
        seen_ = 0;
        started_ = ::GetTickCount64();
        UINT_PTR timer = ::SetTimer(nullptr, 0, 20, &Tick);
        open();
        ::KillTimer(nullptr, timer);
        script_ = nullptr;
        return seen_;
    }

    // Presses a button the way a click does.
    static void Press(HWND dialog, int id) {
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
    }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = ThreadDialog();
        if (!dialog) return;
        if (::GetTickCount64() - started_ > 10000) {
            ::EndDialog(dialog, 99);
            return;
        }
        if (::GetPropW(dialog, L"nw_scripted")) return;   // already handed over
        ::SetPropW(dialog, L"nw_scripted", reinterpret_cast<HANDLE>(1));
        ++seen_;
        if (script_) (*script_)(dialog);
    }

    static inline const std::function<void(HWND)>* script_ = nullptr;
    static inline int seen_ = 0;
    static inline ULONGLONG started_ = 0;
};

// Visible children of a window of one class ("Edit", "Static"), in Z order.
inline std::vector<HWND> Children(HWND parent, const wchar_t* className) {
    std::vector<HWND> found;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[32] = {};
        ::GetClassNameW(child, name, 32);
        if (_wcsicmp(name, className) == 0 && ::IsWindowVisible(child)) found.push_back(child);
    }
    return found;
}

inline std::wstring TextOf(HWND window) {
    wchar_t text[2048] = {};
    ::GetWindowTextW(window, text, 2048);
    return text;
}

}  // namespace dialogtest
