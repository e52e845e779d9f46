// The column-settings dialog: which columns show, in which order, how wide.
// It edits a copy of the list's layout and applies it only on OK.
#pragma once
#include <windows.h>
#include "frame/Frame.h"
#include "listview/ReportListView.h"

namespace nw {

constexpr int kShownAgainWidth = 100;   // a checked column left at width 0
constexpr int kColumnWidthMin = 1;
constexpr int kColumnWidthMax = 999;

// ---- Pure rules ---------------------------------------------------------------
// Rows reached through Count(), Selected(row) and Swap(a, b), where a swap
// exchanges everything of the two rows, their selection included.
// Up: rows 1 .. n-1 in increasing order, each selected row changes places
// with the row above it. Down: rows n-1 .. 0, each selected row with the row
// below it (the last row has none).
template <typename Rows>
void MoveSelectedRowsUp(Rows& rows) {
    const int n = rows.Count();
    for (int r = 1; r < n; ++r)
        if (rows.Selected(r)) rows.Swap(r - 1, r);
}

template <typename Rows>
void MoveSelectedRowsDown(Rows& rows) {
    const int n = rows.Count();
    for (int r = n - 1; r >= 0; --r)
        if (rows.Selected(r) && r + 1 < n) rows.Swap(r, r + 1);
}

// The columns in the order the dialog lists them: by display position, and
// at equal positions by column index; a column whose position is outside
// the layout comes last, so every column gets a row. Returns the count.
int ColumnsInDisplayOrder(const ColumnLayout& layout, int* columns);

// OK: row r lists column columns[r] with its check state; the column takes
// position r, width 0 when unchecked, and kShownAgainWidth when checked at 0.
void CollectLayout(ColumnLayout& layout, const int* columns, const bool* checked, int rowCount);

// ---- Control helpers ----------------------------------------------------------
// Exchanges everything of two rows of a list-view control: text, image,
// item data, state (selection and check box included) and indent.
bool SwapListRows(HWND list, int a, int b);

// ---- The dialog ---------------------------------------------------------------
class ColumnSettingsDialog : public ModalDialog {
public:
    explicit ColumnSettingsDialog(const ReportListView& list);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    const ColumnLayout& WorkingLayout() const { return layout_; }

private:
    void FillColumnList();
    INT_PTR OnListNotify(NMHDR* header);
    INT_PTR OnCommand(WORD code, WORD id);
    void OnRowStateChanged(const NMLISTVIEW* change);
    void OnWidthChanged();
    void SetRowsChecked(bool checked);
    void Finish();
    HWND ColumnList() const;
    int RowColumn(int row) const;

    ColumnLayout layout_ = {};
    const ReportListView& list_;
    int defaultWidths_[kMaxColumns] = {};
    int updatingWidth_ = 0;   // the width edit is being filled, not typed into
};

// Command 40011: runs the dialog over owner; on OK applies the layout and
// repaints the list. The list gets the focus back either way.
void ShowColumnSettings(ReportListView& list, HWND owner);

}  // namespace nw
