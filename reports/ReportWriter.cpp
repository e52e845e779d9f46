// The list-bound side of the report writers: the export slots of
// ReportListView and ExportRows. The bytes of every kind come from
// ExportFormat.cpp; this file only gathers the columns and cells.
#include "reports/ReportWriter.h"
#include "reports/ExportSink.h"
#include "reports/FileSink.h"
#include "listview/ReportListView.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "frame/Frame.h"
#include "base/Handles.h"
#include "resource.h"

namespace nw {

namespace {

// The visible columns of the list in display order, as the writers see them.
struct VisibleColumns {
    ExportColumn columns[kMaxColumns];
    int count = 0;

    explicit VisibleColumns(const ReportListView& list) {
        int visible = list.VisibleColumnCount();
        for (int p = 0; p < visible && count < kMaxColumns; ++p) {
            int c = list.VisibleColumn(p);
            if (c < 0 || c >= list.ColumnCount()) continue;
            const ColumnDef& def = list.Column(c);
            const ColumnExportDef& exp = list.ColumnExport(c);
            columns[count++] = {def.title, exp.builtInTitle, exp.headerWidth, exp.noWrap, exp.fixedWidth};
        }
    }
};

// The cells of one record: ColumnText into work buffer C, the escaped HTML
// text in work buffer D, the colours through GetCellStyle.
class ListCells : public ExportCells {
public:
    ListCells(ReportListView& list, const ListRecord* record) : list_(list), record_(record) {}

    const wchar_t* Text(int position) override {
        wchar_t* buffer = list_.WorkBuffer(2);
        buffer[0] = 0;
        return list_.ColumnText(record_, list_.VisibleColumn(position), buffer);
    }
    int32_t Background(int kind, int position) override {
        CellStyle style = {-1, -1, -1, 0};
        list_.GetCellStyle(kind, position, record_, style);
        return style.background;
    }
    void AdjustHtml(wchar_t* escaped, size_t, int position) override {
        list_.AdjustCellHtml(escaped, record_, list_.VisibleColumn(position));
    }

private:
    ReportListView& list_;
    const ListRecord* record_;
};

ExportTable MakeTable(ReportListView& list, const VisibleColumns& visible) {
    ExportTable table = {};
    table.columns = visible.columns;
    table.columnCount = visible.count;
    table.headerBackColor = list.HeaderBackColor();
    table.headerTextColor = list.HeaderTextColor();
    table.scratch = list.WorkBuffer(3);
    table.scratchSize = static_cast<size_t>(list.TextBufferSize());
    return table;
}

bool HasWorkBuffers(ReportListView& list) {
    for (int i = 0; i < 4; ++i) {
        if (!list.WorkBuffer(i)) return false;
    }
    return list.TextBufferSize() > 0;
}

// Steps of an export after the file exists: mark, header, the rows in the
// order shown, footer. A failed record ends the loop; the footer is written
// all the same so that what did get out stays readable.
bool WriteRows(ReportListView& list, ExportSink& sink, int kind, bool noByteOrderMark, bool selectedOnly) {
    bool ok = true;
    if (!noByteOrderMark && kind != kExportCsv) ok = WriteByteOrderMark(sink);
    if (kind == kExportHtmlHorizontal || kind == kExportHtmlVertical) {
        ok = list.WriteFileHeader(sink, kind) && ok;
    } else if (kind == kExportXml) {
        ok = list.WriteXmlHeader(sink) && ok;
    }
    if (ok) {
        int rows = list.RowCount();
        for (int row = 0; row < rows; ++row) {
            const ListRecord* record = list.RowRecord(row);
            // A freed slot keeps its row until the next refresh; it is no row to export.
            if (!record || (record->flags & kRecordFree)) continue;
            if (selectedOnly && !list.IsRowSelected(row)) continue;
            if (!list.WriteRecord(sink, record, kind)) {
                ok = false;
                break;
            }
        }
    }
    if (kind == kExportHtmlHorizontal || kind == kExportHtmlVertical) {
        ok = list.WriteFileFooter(sink, kind) && ok;
    } else if (kind == kExportXml) {
        ok = list.WriteXmlFooter(sink) && ok;
    }
    return ok;
}

}  // namespace

// The frame keeps the address (stored scrambled); it is read once and kept.
const wchar_t* ReportCreditAddress() {
    static wchar_t address[256];
    if (!address[0]) ProductWebAddress(address, 256);
    return address;
}

bool WriteListHtmlHead(ReportListView& list, ExportSink& sink, int kind) {
    VisibleColumns visible(list);
    ExportTable table = MakeTable(list, visible);
    HtmlHeadInfo info = {list.ListTitle(), LanguageCharset(), RightToLeft(), GetString(IDS_CREATED_BY),
                         ReportCreditAddress()};
    return WriteHtmlHead(sink, table, info, kind);
}

bool WriteListHtmlEnd(ReportListView&, ExportSink& sink, int kind) {
    return WriteHtmlEnd(sink, RightToLeft(), kind);
}

// ---- Export slots of ReportListView ------------------------------------------

bool ReportListView::WriteXmlHeader(ExportSink& sink) { return WriteXmlStart(sink, ListTitleBuiltIn()); }

bool ReportListView::WriteXmlFooter(ExportSink& sink) { return WriteXmlEnd(sink, ListTitleBuiltIn()); }

// Every list of this program gets the HTML head and end here, so a subclass
// only overrides these to write something else.
bool ReportListView::WriteFileHeader(ExportSink& sink, int kind) {
    if (kind != kExportHtmlHorizontal && kind != kExportHtmlVertical) return true;
    return WriteListHtmlHead(*this, sink, kind);
}

bool ReportListView::WriteFileFooter(ExportSink& sink, int kind) {
    if (kind != kExportHtmlHorizontal && kind != kExportHtmlVertical) return true;
    return WriteListHtmlEnd(*this, sink, kind);
}

bool ReportListView::WriteRecord(ExportSink& sink, const ListRecord* record, int kind) {
    if (!record || !HasWorkBuffers(*this)) return false;
    VisibleColumns visible(*this);
    ExportTable table = MakeTable(*this, visible);
    ListCells cells(*this, record);
    return WriteExportRecord(sink, table, cells, kind);
}

// ---- ExportRows ------------------------------------------------------------------

bool ExportRowsTo(ReportListView& list, ExportSink& sink, int kind, bool noByteOrderMark, bool selectedOnly) {
    list.ComputeVisibleColumns();
    return WriteRows(list, sink, kind, noByteOrderMark, selectedOnly);
}

namespace {

bool ExportRowsCreating(ReportListView& list, const wchar_t* path, int kind, bool noByteOrderMark,
                        bool selectedOnly, DWORD disposition, bool& created) {
    created = false;
    list.ComputeVisibleColumns();
    Handle file(::CreateFileW(path ? path : L"", GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    created = true;

    HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    FileSink sink(file.get());
    bool ok = WriteRows(list, sink, kind, noByteOrderMark, selectedOnly);
    // What is still buffered must reach the disk before success is claimed.
    ok = sink.Flush() && ok;
    DWORD error = sink.Failed() ? sink.Error() : ERROR_INVALID_PARAMETER;
    file.reset();
    ::SetCursor(previous);
    if (!ok) ::SetLastError(error);
    return ok;
}

}  // namespace

bool ExportRows(ReportListView& list, const wchar_t* path, int kind, bool noByteOrderMark, bool selectedOnly) {
    bool created = false;
    return ExportRowsCreating(list, path, kind, noByteOrderMark, selectedOnly, CREATE_ALWAYS, created);
}

bool ExportRowsToNewFile(ReportListView& list, const wchar_t* path, int kind, bool noByteOrderMark,
                         bool selectedOnly, bool& created) {
    return ExportRowsCreating(list, path, kind, noByteOrderMark, selectedOnly, CREATE_NEW, created);
}

}  // namespace nw
