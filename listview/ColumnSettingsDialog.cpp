#include "listview/ColumnSettingsDialog.h"

#include <commctrl.h>
#include <algorithm>
#include "base/Text.h"
#include "resource.h"

namespace nw {

namespace {

constexpr int kListColumnWidth = 200;
constexpr int kTitleChars = 256;          // a header text, at most 255 characters
constexpr int kWidthDigits = 3;           // 1 .. 999
constexpr int kItemTextChars = 256;
constexpr UINT kAllItemStates = LVIS_SELECTED | LVIS_FOCUSED | LVIS_CUT | LVIS_DROPHILITED | LVIS_OVERLAYMASK |
                                LVIS_STATEIMAGEMASK;

int ListCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

bool ListRowSelected(HWND list, int row) {
    return (::SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

// The check state is the state image minus one.
bool ListRowChecked(HWND list, int row) {
    const UINT state = static_cast<UINT>(
        ::SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void ListSetRowState(HWND list, int row, UINT state, UINT mask) {
    LVITEMW item = {};
    item.state = state;
    item.stateMask = mask;
    ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void ListSetRowChecked(HWND list, int row, bool checked) {
    ListSetRowState(list, row, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
}

int FirstSelectedRow(HWND list) {
    return static_cast<int>(
        ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
}

// The dialog's rows as the move rules see them.
struct ListRows {
    HWND list;
    int Count() const { return ListCount(list); }
    bool Selected(int row) const { return ListRowSelected(list, row); }
    void Swap(int a, int b) const { SwapListRows(list, a, b); }
};

}  // namespace

// ---- Pure rules ---------------------------------------------------------------

int ColumnsInDisplayOrder(const ColumnLayout& layout, int* columns) {
    const int n = std::clamp(layout.count, 0, kMaxColumns);
    bool listed[kMaxColumns] = {};
    int k = 0;
    for (int p = 0; p < n; ++p) {
        for (int c = 0; c < n; ++c) {
            if (!listed[c] && layout.entries[c].position == p) {
                columns[k++] = c;
                listed[c] = true;
            }
        }
    }
    // A layout read from the control never has these; one that does must
    // not lose a column, which would then keep a stale position on OK.
    for (int c = 0; c < n; ++c)
        if (!listed[c]) columns[k++] = c;
    return k;
}

void CollectLayout(ColumnLayout& layout, const int* columns, const bool* checked, int rowCount) {
    const int n = std::clamp(layout.count, 0, kMaxColumns);
    for (int r = 0; r < rowCount; ++r) {
        const int c = columns[r];
        if (c < 0 || c >= n) continue;
        ColumnLayoutEntry& entry = layout.entries[c];
        entry.position = static_cast<int16_t>(r);
        if (!checked[r]) entry.width = 0;
        else if (entry.width <= 0) entry.width = kShownAgainWidth;
    }
}

// ---- Control helpers ----------------------------------------------------------

bool SwapListRows(HWND list, int a, int b) {
    if (!list) return false;
    if (a == b) return true;
    wchar_t textA[kItemTextChars] = {}, textB[kItemTextChars] = {};
    LVITEMW itemA = {}, itemB = {};
    auto read = [list](LVITEMW& item, wchar_t* text, int row) {
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
        item.iItem = row;
        item.stateMask = kAllItemStates;
        item.pszText = text;
        item.cchTextMax = kItemTextChars;
        if (!::SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return false;
        // The control may hand back its own storage instead of filling ours.
        if (item.pszText != text) CopyText(text, kItemTextChars, item.pszText);
        item.pszText = text;
        item.stateMask = kAllItemStates;
        return true;
    };
    if (!read(itemA, textA, a) || !read(itemB, textB, b)) return false;
    itemA.iItem = b;
    itemB.iItem = a;
    const bool setA = ::SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&itemA)) != 0;
    const bool setB = ::SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&itemB)) != 0;
    return setA && setB;
}

// ---- The dialog ---------------------------------------------------------------

ColumnSettingsDialog::ColumnSettingsDialog(const ReportListView& list) : ModalDialog(IDD_COLUMNS), list_(list) {
    list.ReadLayoutFromControl(layout_);
    int count = list.ColumnCount();
    if (HWND control = list.Control()) {
        HWND header = reinterpret_cast<HWND>(::SendMessageW(control, LVM_GETHEADER, 0, 0));
        if (header) count = std::min(count, static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)));
    }
    layout_.count = std::clamp(count, 0, kMaxColumns);
    for (int c = 0; c < layout_.count; ++c) defaultWidths_[c] = list.Column(c).defaultWidth;
}

HWND ColumnSettingsDialog::ColumnList() const { return ::GetDlgItem(window_, IDC_COL_LIST); }

int ColumnSettingsDialog::RowColumn(int row) const {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!::SendMessageW(ColumnList(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return item.lParam >= 0 && item.lParam < layout_.count ? static_cast<int>(item.lParam) : -1;
}

INT_PTR ColumnSettingsDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ::SendDlgItemMessageW(window_, IDC_COL_WIDTH, EM_LIMITTEXT, kWidthDigits, 0);
        FillColumnList();
        // The list has the focus.
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header && header->idFrom == IDC_COL_LIST) return OnListNotify(header);
        return 0;
    }
    case WM_COMMAND:
        return OnCommand(HIWORD(wParam), LOWORD(wParam));
    default:
        return 0;
    }
}

void ColumnSettingsDialog::FillColumnList() {
    HWND list = ColumnList();
    if (!list) return;
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) {
    }
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = kListColumnWidth;
    column.pszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    int order[kMaxColumns];
    const int rows = ColumnsInDisplayOrder(layout_, order);
    HWND control = list_.Control();
    for (int r = 0; r < rows; ++r) {
        const int c = order[r];
        // The title as the list shows it now, in the current language.
        wchar_t title[kTitleChars] = {};
        LVCOLUMNW source = {};
        source.mask = LVCF_TEXT;
        source.pszText = title;
        source.cchTextMax = kTitleChars;
        if (!control || !::SendMessageW(control, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&source)))
            CopyText(title, kTitleChars, list_.Column(c).title);
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = r;
        item.pszText = title;
        item.lParam = c;
        const int row = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        ColumnLayoutEntry& entry = layout_.entries[c];
        if (row >= 0) ListSetRowChecked(list, row, entry.width > 0);
        // Showing a hidden column again gives it a usable width.
        if (entry.width <= 0) entry.width = static_cast<int16_t>(defaultWidths_[c]);
    }
    ListSetRowState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ::SetFocus(list);
}

INT_PTR ColumnSettingsDialog::OnListNotify(NMHDR* header) {
    switch (header->code) {
    case NM_DBLCLK: {
        const int row = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
        if (row >= 0) ListSetRowChecked(header->hwndFrom, row, !ListRowChecked(header->hwndFrom, row));
        return 0;
    }
    case LVN_ITEMCHANGED:
        OnRowStateChanged(reinterpret_cast<NMLISTVIEW*>(header));
        return 1;
    default:
        return 0;
    }
}

void ColumnSettingsDialog::OnRowStateChanged(const NMLISTVIEW* change) {
    if (!(change->uChanged & LVIF_STATE) || change->iItem < 0) return;
    const bool becameSelected = (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED);
    const bool checkChanged = ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0;
    if (!becameSelected && !checkChanged) return;
    HWND list = ColumnList();
    const int row = change->iItem;
    if (ListRowSelected(list, row)) {
        const bool checked = ListRowChecked(list, row);
        EnableControl(IDC_COL_SHOW, !checked);
        EnableControl(IDC_COL_HIDE, checked);
    }
    if (becameSelected) {
        EnableControl(IDC_COL_UP, row > 0);
        EnableControl(IDC_COL_DOWN, row < ListCount(list) - 1);
        const int c = RowColumn(row);
        updatingWidth_ = 1;
        if (c >= 0) ::SetDlgItemInt(window_, IDC_COL_WIDTH, static_cast<UINT>(std::max<int>(0, layout_.entries[c].width)), FALSE);
        updatingWidth_ = 0;
    }
}

void ColumnSettingsDialog::OnWidthChanged() {
    BOOL ok = FALSE;
    const UINT width = ::GetDlgItemInt(window_, IDC_COL_WIDTH, &ok, FALSE);
    if (!ok || width < kColumnWidthMin || width > kColumnWidthMax) return;
    HWND list = ColumnList();
    if (::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) != 1) return;
    const int c = RowColumn(FirstSelectedRow(list));
    if (c >= 0) layout_.entries[c].width = static_cast<int16_t>(width);
}

void ColumnSettingsDialog::SetRowsChecked(bool checked) {
    HWND list = ColumnList();
    const int n = ListCount(list);
    for (int r = 0; r < n; ++r)
        if (ListRowSelected(list, r)) ListSetRowChecked(list, r, checked);
}

void ColumnSettingsDialog::Finish() {
    HWND list = ColumnList();
    const int n = std::min(ListCount(list), kMaxColumns);
    int columns[kMaxColumns];
    bool checked[kMaxColumns];
    for (int r = 0; r < n; ++r) {
        columns[r] = RowColumn(r);
        checked[r] = ListRowChecked(list, r);
    }
    CollectLayout(layout_, columns, checked, n);
}

INT_PTR ColumnSettingsDialog::OnCommand(WORD code, WORD id) {
    if (id == IDC_COL_WIDTH && code == EN_CHANGE) {
        if (!updatingWidth_) OnWidthChanged();
        return 0;
    }
    if (code != 0) return 0;
    ListRows rows{ColumnList()};
    switch (id) {
    case IDC_COL_DEFAULTS:
        for (int c = 0; c < layout_.count; ++c) {
            layout_.entries[c].position = static_cast<int16_t>(c);
            layout_.entries[c].width = static_cast<int16_t>(defaultWidths_[c]);
        }
        FillColumnList();
        break;
    case IDC_COL_UP:
        MoveSelectedRowsUp(rows);
        break;
    case IDC_COL_DOWN:
        MoveSelectedRowsDown(rows);
        break;
    case IDC_COL_SHOW:
        SetRowsChecked(true);
        break;
    case IDC_COL_HIDE:
        SetRowsChecked(false);
        break;
    case IDOK:
        Finish();
        ::EndDialog(window_, 1);
        break;
    case IDCANCEL:
        ::EndDialog(window_, 2);
        break;
    default:
        return 0;
    }
    return 1;
}

// ---- The command ----------------------------------------------------------------

void ShowColumnSettings(ReportListView& list, HWND owner) {
    ColumnSettingsDialog dialog(list);
    if (dialog.DoModal(owner)) {
        list.ApplyLayout(dialog.WorkingLayout());
        if (HWND control = list.Control()) ::InvalidateRect(control, nullptr, TRUE);
    }
    list.Focus();
}

}  // namespace nw
