// The find command: the platform's modeless find dialog over the list, and
// the search that selects the next matching row.
#pragma once
#include <windows.h>
#include <commdlg.h>

namespace nw {

class ReportListView;

// The row to select next: starting after firstSelected (before it when
// searching up; at row 0 when nothing is selected), wrapping around, every
// row is examined once and the selected row last. -1 when none matches.
// Pure: matches(row, context) says whether a row matches.
int NextMatchingRow(int rowCount, int firstSelected, bool down, bool (*matches)(int row, void* context),
                    void* context);

// Opens the find dialog over owner (one at a time); the text of the last
// search is shown again, the options start at "down". False when a dialog
// is already open or could not be created.
bool OpenFind(HWND owner, ReportListView& list);

// The open find dialog, or null (for the message loop's IsDialogMessageW).
HWND FindDialogWindow();

// Destroys the open find dialog; called before the list that owns its
// record goes.
void CloseFind();

// The registered find message: FR_FINDNEXT searches, FR_DIALOGTERM forgets
// the dialog and gives the focus back to the list.
void OnFindMessage(ReportListView& list, LPARAM lParam);

// Selects the next row (display order, wrapping) that matches the request;
// false, with nothing changed, when none does.
bool FindNext(const FINDREPLACEW& find, ReportListView& list);

}  // namespace nw
