// The object behind the program's one list: a record array of fixed-size
// plain-byte records, the column model, and the list-view control that shows
// one row per record. The device table is its one subclass.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace nw {

class SettingsStore;
class ExportSink;

// Header of every record. Records are stored by value and copied as bytes,
// so they hold no owned heap data and no C++ vtable; the record operations
// are virtual operations of the list instead.
struct ListRecord {
    uint16_t flags;      // kRecord* bits
    uint16_t workMark;   // scratch of Refresh
    int32_t image;       // -1 when stored, RecordImage() once its row exists
};
static_assert(std::is_trivially_copyable_v<ListRecord>);
static_assert(sizeof(ListRecord) == 8);

constexpr uint16_t kRecordFree = 0x0001;      // slot not in use
constexpr uint16_t kRecordChanged = 0x0002;   // row may be stale: Refresh looks at it
constexpr uint16_t kRecordRepaint = 0x0004;   // row must be redrawn even if its texts stay

constexpr int kMaxColumns = 32;
constexpr int kTextBufferSize = 8192;
constexpr int kSortDescending = 0x1000;   // sort key: bits 0-11 column, this bit = descending
constexpr int kSortColumnMask = 0x0FFF;
constexpr int kLayoutMaxWidth = 1999;     // stored widths above this keep the control's width

// One entry of the static column table a subclass hands to Attach.
struct ColumnSpec {
    int titleId;         // string-table ID of the title
    int defaultWidth;    // pixels
    int fixedWidth;      // characters, for the tabular text export
    int noWrap;          // HTML cells carry nowrap
};

struct ColumnDef {
    int index;
    UINT mask;           // LVCF_WIDTH | LVCF_TEXT
    int format;          // LVCFMT_LEFT
    int defaultWidth;
    const wchar_t* title;          // current language (GetString)
};

struct ColumnExportDef {
    const wchar_t* headerWidth;    // HTML width attribute; empty for device columns
    int noWrap;
    int fixedWidth;
    const wchar_t* builtInTitle;   // GetString(id | kBuiltInString): XML names
};

struct ColumnLayoutEntry {
    int16_t width;       // pixels, 0 = hidden
    int16_t position;    // display position, 0 = leftmost
};
static_assert(sizeof(ColumnLayoutEntry) == 4);

struct ColumnLayout {
    ColumnLayoutEntry entries[kMaxColumns];
    int count;
    HWND control;
};

// How one exported HTML cell is drawn. Colours are 0x00BBGGRR, -1 = none.
struct CellStyle {
    int32_t background;
    int32_t textColor;
    int32_t fontSize;
    int32_t bold;
};

// The find dialog's record and the search text it edits; kept in the list so
// the text survives between openings.
struct FindRequest {
    FINDREPLACEW record;
    wchar_t text[256];
};

// Export kinds; the same numbers are the save dialog's file types.
enum ExportKind : int {
    kExportText = 1,
    kExportTabDelimited = 2,
    kExportTabular = 3,
    kExportHtmlHorizontal = 4,
    kExportHtmlVertical = 5,
    kExportXml = 6,
    kExportCsv = 7,
};

// ---- Pure helpers -----------------------------------------------------------
// Whether one column text matches the search text under the find flags
// (FR_WHOLEWORD: whole text equal; otherwise a substring; FR_MATCHCASE: exact,
// otherwise letters A-Z equal a-z).
bool TextMatchesFind(const wchar_t* text, const wchar_t* search, DWORD flags);
// Fills a format that may come from a language file with one number. Only
// %d / %i / %u (with flags and width) take the number and %% gives "%"; any
// other conversion is copied as it stands, so a translated format can never
// read a missing argument. Cut to size - 1; returns the length.
size_t FormatNumberText(wchar_t* out, size_t size, const wchar_t* format, long long value);
// Whether layout may be applied: not when two or more entries have position 0.
bool LayoutAcceptable(const ColumnLayout& layout);
// At least one column has a width other than 0.
bool LayoutShowsAColumn(const ColumnLayout& layout);

// Small growable array of record indexes; never throws (Push reports failure).
class IndexList {
public:
    IndexList() = default;
    ~IndexList();
    IndexList(const IndexList&) = delete;
    IndexList& operator=(const IndexList&) = delete;
    bool Reserve(int capacity);
    bool Push(int32_t value);
    void Clear() { count_ = 0; }
    void Release();
    int Count() const { return count_; }
    int Capacity() const { return capacity_; }
    int32_t operator[](int i) const { return items_[i]; }
    int32_t* Data() { return items_; }

private:
    int32_t* items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

class ReportListView {
public:
    ReportListView();
    virtual ~ReportListView();
    ReportListView(const ReportListView&) = delete;
    ReportListView& operator=(const ReportListView&) = delete;

    // ---- Record operations (dispatched through the list) -------------------
    // The record's text for a column; may return its own storage or write
    // into buffer (TextBufferSize() units) and return it.
    virtual const wchar_t* ColumnText(const ListRecord* record, int column, wchar_t* buffer) const = 0;
    // -1/0/1, or 255: compare the ColumnText strings instead.
    virtual int CompareColumn(const ListRecord* record, int column, const ListRecord* other) const;
    virtual bool SameRecord(const ListRecord* record, const ListRecord* other) const;
    virtual void ReleaseRecord(ListRecord* record);

    // ---- List operations ---------------------------------------------------
    virtual void ClearRecords();
    virtual int RecordImage(const ListRecord* record) const;
    virtual int32_t HeaderBackColor() const;          // 0xE0E0E0
    virtual int32_t HeaderTextColor() const;          // -1
    virtual bool RecordMatchesFind(const ListRecord* record, const FINDREPLACEW& find);
    virtual const wchar_t* ListTitle() const;
    virtual const wchar_t* ListTitleBuiltIn() const;
    virtual bool WriteXmlHeader(ExportSink& sink);     // defined with the report writers
    virtual bool WriteXmlFooter(ExportSink& sink);     // defined with the report writers
    virtual void GetCellStyle(int kind, int position, const ListRecord* record, CellStyle& style);
    virtual void OnRecordAdded();
    virtual const wchar_t* ProgressFormat() const;    // null = no progress text
    virtual int TextBufferSize() const;               // 8192
    virtual bool RecordsMatch(const ListRecord* key, const ListRecord* record) const;
    // First record in array order, not free, that RecordsMatch(key, record).
    virtual ListRecord* FindRecord(const ListRecord* key);
    // Adjusts an escaped HTML cell text in place (buffer of TextBufferSize units).
    virtual void AdjustCellHtml(wchar_t* escaped, const ListRecord* record, int column);
    virtual bool WriteFileFooter(ExportSink& sink, int kind);   // defined with the report writers
    virtual bool WriteFileHeader(ExportSink& sink, int kind);   // defined with the report writers
    virtual const int32_t* CellColorTable(int kind) const;
    virtual int CellColorCount(int kind) const;
    virtual void ReloadRecords();
    virtual size_t RecordSize() const = 0;
    virtual bool IsColumnSearchable(int column) const;
    virtual bool IsRecordShown(const ListRecord* record, int index) const;
    virtual int CompareRecords(int column, const ListRecord* a, const ListRecord* b) const;
    virtual void Refresh();
    virtual bool WriteRecord(ExportSink& sink, const ListRecord* record, int kind);  // defined with the report writers
    virtual void CustomDrawCell(const ListRecord* record, NMLVCUSTOMDRAW* draw);

    // ---- Attachment --------------------------------------------------------
    // Binds the list to its control and builds the column model from the
    // static table (titles through GetString).
    void Attach(HWND control, const ColumnSpec* columns, int columnCount);
    void InsertColumns();           // inserts every column into the control
    // Column widths follow the window's DPI: the defaults and the stored
    // layout are in pixels at 96 DPI, the control's widths at `dpi`; a change
    // rescales the columns the control has.
    void SetDpi(UINT dpi);
    // Row images (rowIcon as image 0, may be null) and the header's sort
    // indicators (bitmaps IDB_SORT_UP/IDB_SORT_DOWN of the running module).
    // The list owns both image lists.
    void CreateImageLists(HICON rowIcon);
    void SetStatusBar(HWND statusBar) { statusBar_ = statusBar; }

    // ---- Records -----------------------------------------------------------
    // Stores a copy of record; returns the stored record, or null when the
    // array could not grow (the record is then dropped).
    ListRecord* AddRecord(const ListRecord* record);
    ListRecord* RecordAt(int index) { return reinterpret_cast<ListRecord*>(records_ + static_cast<size_t>(index) * recordSize_); }
    const ListRecord* RecordAt(int index) const { return reinterpret_cast<const ListRecord*>(records_ + static_cast<size_t>(index) * recordSize_); }
    int RecordIndex(const ListRecord* record) const;   // -1 when not in the array
    int RecordCount() const { return recordCount_; }
    int RecordCapacity() const { return recordCapacity_; }
    // Marks a slot free (reused by the next AddRecord); its row goes at the
    // next Refresh.
    void FreeRecord(int index);
    // Tells Refresh that the record's cells or visibility may have changed;
    // repaint also redraws its row when the texts stay (colours changed).
    void MarkRecordChanged(ListRecord* record, bool repaint = false);
    ListRecord* RowRecord(int row) const;
    int RowCount() const;
    int SelectedCount() const;
    bool IsRowSelected(int row) const;
    void MarkSelectedRemoved();     // via the subclass's SetRemoved
    virtual void SetRemoved(ListRecord* record);

    // ---- Rows and cells ----------------------------------------------------
    void UpdateRowTexts(int row, const ListRecord* record);
    void UpdateAllRowTexts();
    // Rewrites the changed cells of one record's row (when it has one).
    void UpdateRecordTexts(const ListRecord* record);
    // Row of a record, -1 when it has none.
    int RecordRow(int index);
    void SetRowState(int row, UINT state, UINT mask);   // row -1 = all rows
    void SetExtendedStyle(DWORD bits, bool on);
    void ComputeVisibleColumns();
    void AutoSizeColumns();
    void Focus();
    bool RowChecked(int row) const;
    void SetRowChecked(int row, bool checked);
    void DeleteAllRows();
    // The next Refresh visits every row and record instead of the changed ones.
    void RequestFullRefresh() { fullRefresh_ = true; }

    // ---- Sorting and drawing -----------------------------------------------
    void Sort(int key, bool keepDirection);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    int SortKey() const { return sortKey_; }
    void SetSortKey(int key) { sortKey_ = key; }

    // ---- Layout and persistence --------------------------------------------
    void ExchangeColumnSettings(SettingsStore& store);
    bool ApplyLayout(const ColumnLayout& layout);
    void ReadLayoutFromControl(ColumnLayout& layout) const;
    const ColumnLayout& Layout() const { return layout_; }

    // ---- Column model (read by the writers, find, properties, settings) ----
    int ColumnCount() const { return columnCount_; }
    const ColumnDef& Column(int c) const { return columns_[c]; }
    const ColumnExportDef& ColumnExport(int c) const { return exports_[c]; }
    int VisibleColumnCount() const { return visibleCount_; }
    int VisibleColumn(int position) const { return visibleOrder_[position]; }
    HWND Control() const { return control_; }
    HWND StatusBar() const { return statusBar_; }
    int TitleId() const { return titleId_; }
    FindRequest& Find() { return find_; }
    // Work buffers A-D (TextBufferSize units each): scratch for sorting,
    // refresh, export and find.
    wchar_t* WorkBuffer(int which) { return work_[which]; }

protected:
    // Called whenever AddRecord has stored a record at index (a new slot or
    // a reused free one).
    virtual void OnRecordStored(int index);

private:
    bool GrowRecords();
    bool AllocateWorkBuffers(int size);
    void FreeWorkBuffers();
    void FullRefresh();
    void ReleaseChangeList();
    void RebuildRowMap();
    int AppendRow(int index, ListRecord* record);
    void DeleteRowsAndShiftMap(int* rows, int count);
    static int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM list);

protected:
    size_t recordSize_ = 0;
    wchar_t* work_[4] = {};
    unsigned char* records_ = nullptr;
    int titleId_ = 0;
    int growthStep_ = 32;
    int visibleCount_ = 0;
    int visibleOrder_[kMaxColumns] = {};
    int recordCount_ = 0;
    int recordCapacity_ = 0;
    int sortKey_ = 0;
    ColumnExportDef exports_[kMaxColumns] = {};
    int ascendingImage_ = 0;
    int descendingImage_ = 1;
    int reuseFreeSlots_ = 1;
    FindRequest find_ = {};
    HWND control_ = nullptr;
    HIMAGELIST headerImages_ = nullptr;
    HIMAGELIST rowImages_ = nullptr;
    ColumnLayout layout_ = {};
    UINT dpi_ = 96;
    int columnCount_ = 0;
    ColumnDef columns_[kMaxColumns] = {};
    HWND statusBar_ = nullptr;
    int progressInterval_ = 50;
    // Columns from this one on were added in a later version: a stored
    // layout without them gets them appended, hidden.
    int firstLaterColumn_ = kMaxColumns;

private:
    int workSize_ = 0;            // units per work buffer
    size_t reservedBytes_ = 0;    // address space reserved for records_
    size_t committedBytes_ = 0;   // of which usable
    int freeCount_ = 0;           // slots marked by FreeRecord and not reused
    // Row of each record (-1 = none), parallel to the record array; checked
    // against the control before use and rebuilt when it disagrees.
    int32_t* rowOf_ = nullptr;
    bool rowMapStale_ = false;    // after a sort: rebuilt at the next use
    bool fullRefresh_ = true;
    bool sortInCLocale_ = true;   // the runtime's case folding is plain A-Z
    IndexList changed_;           // records with kRecordChanged, at most one entry each
};

}  // namespace nw
