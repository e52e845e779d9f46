// Turning list rows into a file: the seven export kinds of a ReportListView.
// The formats themselves live in ExportFormat.h (EscapeHtml, ColorToHex,
// XmlName and the per-kind writers over an ExportSink).
#pragma once
#include "reports/ExportFormat.h"
#include <cstddef>

namespace nw {

class ReportListView;

// Writes the visible columns of the list's rows, in the order shown, to path
// (created anew). Kinds 1-6 start with the bytes FF FE unless noByteOrderMark;
// kind 7 never does. Shows the wait cursor meanwhile. Reports no errors
// itself: on false the thread's last error holds the cause.
bool ExportRows(ReportListView& list, const wchar_t* path, int kind, bool noByteOrderMark, bool selectedOnly);

// The same into a file that must not exist yet: a name that another program
// took first (a temporary one) is never written. created: the file was
// made, so it is the caller's to delete after a failure.
bool ExportRowsToNewFile(ReportListView& list, const wchar_t* path, int kind, bool noByteOrderMark,
                         bool selectedOnly, bool& created);

// The same into any sink (benchmarks, tests).
bool ExportRowsTo(ReportListView& list, ExportSink& sink, int kind, bool noByteOrderMark, bool selectedOnly);

// The HTML head and end of a list (kinds 4 and 5): what the list's
// WriteFileHeader / WriteFileFooter write unless a subclass overrides them.
bool WriteListHtmlHead(ReportListView& list, ExportSink& sink, int kind);
bool WriteListHtmlEnd(ReportListView& list, ExportSink& sink, int kind);

// The product's web address, the target of the report's credit link.
const wchar_t* ReportCreditAddress();

}  // namespace nw
