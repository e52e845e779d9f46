#include "listview/FindDialog.h"

#include <commctrl.h>
#include "listview/ReportListView.h"

namespace nw {

#ifndef _WIN64
static_assert(sizeof(FINDREPLACEW) == 40);
#endif

namespace {

// The dialog is modeless and lives beside the main window; the list owns the
// record it writes into, so this handle is all the state kept here.
HWND g_findDialog = nullptr;

constexpr WORD kFindTextChars = 255;   // what the dialog may type into the 256-unit buffer

struct RowMatch {
    ReportListView* list;
    const FINDREPLACEW* find;
};

bool RowMatches(int row, void* context) {
    auto* match = static_cast<RowMatch*>(context);
    const ListRecord* record = match->list->RowRecord(row);
    return record && match->list->RecordMatchesFind(record, *match->find);
}

}  // namespace

// Visiting each row once, from the start position round to the selected row,
// finds what a search that runs on until its second wrap finds, without
// looking at the rows after the selection twice.
int NextMatchingRow(int rowCount, int firstSelected, bool down, bool (*matches)(int row, void* context),
                    void* context) {
    if (rowCount <= 0 || !matches) return -1;
    int row = 0;
    if (firstSelected >= 0 && firstSelected < rowCount) {
        row = down ? firstSelected + 1 : firstSelected - 1;
        if (row >= rowCount) row = 0;
        if (row < 0) row = rowCount - 1;
    }
    for (int examined = 0; examined < rowCount; ++examined) {
        if (matches(row, context)) return row;
        row += down ? 1 : -1;
        if (row >= rowCount) row = 0;
        if (row < 0) row = rowCount - 1;
    }
    return -1;
}

bool OpenFind(HWND owner, ReportListView& list) {
    // A handle whose window is gone (closed without the closing report
    // reaching us) no longer blocks a new dialog.
    if (g_findDialog && ::IsWindow(g_findDialog)) return false;
    g_findDialog = nullptr;

    FindRequest& request = list.Find();
    FINDREPLACEW& find = request.record;
    ZeroMemory(&find, sizeof find);
    find.lStructSize = sizeof find;
    find.hwndOwner = owner;
    find.hInstance = ::GetModuleHandleW(nullptr);
    find.Flags = FR_DOWN;
    request.text[sizeof request.text / sizeof request.text[0] - 1] = 0;
    find.lpstrFindWhat = request.text;
    find.wFindWhatLen = kFindTextChars;
    g_findDialog = ::FindTextW(&find);
    return g_findDialog != nullptr;
}

HWND FindDialogWindow() { return g_findDialog; }

// The dialog types into the list's record and posts it to the owner; a
// dialog left open past its list would write into freed memory.
void CloseFind() {
    HWND dialog = g_findDialog;
    g_findDialog = nullptr;
    if (dialog && ::IsWindow(dialog)) ::DestroyWindow(dialog);
}

void OnFindMessage(ReportListView& list, LPARAM lParam) {
    const auto* find = reinterpret_cast<const FINDREPLACEW*>(lParam);
    if (!find) return;
    if (find->Flags & FR_FINDNEXT) {
        FindNext(*find, list);
    } else if (find->Flags & FR_DIALOGTERM) {
        g_findDialog = nullptr;
        list.Focus();
    }
}

bool FindNext(const FINDREPLACEW& find, ReportListView& list) {
    HWND control = list.Control();
    if (!control || !find.lpstrFindWhat) return false;
    const int rows = list.RowCount();
    const int selected = static_cast<int>(::SendMessageW(control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                         MAKELPARAM(LVNI_SELECTED, 0)));
    RowMatch match{&list, &find};
    const int row = NextMatchingRow(rows, selected, (find.Flags & FR_DOWN) != 0, RowMatches, &match);
    if (row < 0) return false;   // silent: the selection stays
    list.SetRowState(-1, 0, LVIS_SELECTED);
    ::SendMessageW(control, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    list.SetRowState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    return true;
}

}  // namespace nw
