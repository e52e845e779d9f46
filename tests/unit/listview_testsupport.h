// Real list-view controls in hidden windows, a temporary folder, and a
// counter of the messages a control receives; shared by the list tests.
#pragma once
#include <windows.h>
#include "TestFolder.h"
#include <commctrl.h>
#include <cstdio>
#include <string>

namespace listtest {

inline void InitControls() {
    static bool done = [] {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

// A hidden parent (never shown, so nothing of it reaches the shared desktop)
// with a report-view list control and a status bar.
class ListWindow {
public:
    explicit ListWindow(DWORD extraStyle = 0) {
        InitControls();
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 900, 600, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                    LVS_ALIGNLEFT | extraStyle,
                                0, 0, 880, 500, parent_, reinterpret_cast<HMENU>(259), GetModuleHandleW(nullptr),
                                nullptr);
        status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent_,
                                  reinterpret_cast<HMENU>(257), GetModuleHandleW(nullptr), nullptr);
    }
    ~ListWindow() {
        if (parent_) DestroyWindow(parent_);
    }
    ListWindow(const ListWindow&) = delete;
    ListWindow& operator=(const ListWindow&) = delete;

    HWND List() const { return list_; }
    HWND Status() const { return status_; }
    HWND Header() const { return reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0)); }

    std::wstring Cell(int row, int column) const {
        wchar_t text[1024] = {};
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 1024;
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    LPARAM ItemData(int row) const {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        return item.lParam;
    }
    int Rows() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
    int ColumnWidth(int column) const {
        return static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }
    int ColumnOrder(int column) const {
        LVCOLUMNW col = {};
        col.mask = LVCF_ORDER;
        SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col));
        return col.iOrder;
    }
    std::wstring StatusText() const {
        wchar_t text[512] = {};
        SendMessageW(status_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return text;
    }

private:
    HWND parent_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
};

// Counts the item-text writes and row insertions/deletions a control gets.
class MessageCounter {
public:
    explicit MessageCounter(HWND control) : control_(control) {
        current_ = this;
        old_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~MessageCounter() {
        SetWindowLongPtrW(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_));
        current_ = nullptr;
    }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;
    void Reset() { setText = insert = remove = getItem = redraw = 0; }

    int setText = 0;
    int insert = 0;
    int remove = 0;
    int getItem = 0;
    int redraw = 0;   // LVM_REDRAWITEMS

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        MessageCounter* self = current_;
        switch (message) {
        case LVM_SETITEMTEXTW: ++self->setText; break;
        case LVM_INSERTITEMW: ++self->insert; break;
        case LVM_DELETEITEM: ++self->remove; break;
        case LVM_GETITEMW: ++self->getItem; break;
        case LVM_REDRAWITEMS: ++self->redraw; break;
        default: break;
        }
        return CallWindowProcW(self->old_, window, message, wp, lp);
    }
    static inline MessageCounter* current_ = nullptr;
    HWND control_;
    WNDPROC old_ = nullptr;
};

using TempFolder = nw::test::TempFolder;

inline std::wstring ProfileValue(const std::wstring& path, const wchar_t* key) {
    wchar_t text[8192] = {};
    GetPrivateProfileStringW(L"General", key, L"", text, 8192, path.c_str());
    return text;
}

}  // namespace listtest
