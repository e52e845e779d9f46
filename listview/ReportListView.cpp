#include "listview/ReportListView.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/Text.h"
#include "frame/Dpi.h"
#include "lang/Strings.h"
#include "resource.h"
#include "settings/SettingsStore.h"

namespace nw {

// ============================================================================
// Pure helpers
// ============================================================================

namespace {

inline wchar_t FoldAscii(wchar_t ch) { return (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch + 32) : ch; }

bool SameChars(const wchar_t* a, const wchar_t* b, size_t count, bool matchCase) {
    for (size_t i = 0; i < count; ++i) {
        if (matchCase ? a[i] != b[i] : FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

}  // namespace

bool TextMatchesFind(const wchar_t* text, const wchar_t* search, DWORD flags) {
    if (!text || !search) return false;
    const bool matchCase = (flags & FR_MATCHCASE) != 0;
    const size_t textLength = wcslen(text);
    const size_t searchLength = wcslen(search);
    if (flags & FR_WHOLEWORD) {
        return textLength == searchLength && SameChars(text, search, textLength, matchCase);
    }
    if (searchLength > textLength) return false;
    for (size_t start = 0; start + searchLength <= textLength; ++start) {
        if (SameChars(text + start, search, searchLength, matchCase)) return true;
    }
    return false;
}

// The loading-progress and probe formats come from the string table, which a
// language file can replace; printf with a translator's "%s" would read an
// argument that is not there. So the number is put in by hand and every
// other conversion is left as text.
size_t FormatNumberText(wchar_t* out, size_t size, const wchar_t* format, long long value) {
    if (size == 0) return 0;
    size_t n = 0;
    auto put = [&](wchar_t ch) {
        if (n + 1 < size) out[n++] = ch;
    };
    if (!format) format = L"";
    for (const wchar_t* p = format; *p;) {
        if (*p != L'%') {
            put(*p++);
            continue;
        }
        if (p[1] == L'%') {
            put(L'%');
            p += 2;
            continue;
        }
        const wchar_t* q = p + 1;
        bool left = false, zero = false, plus = false, space = false;
        for (;; ++q) {
            if (*q == L'-') left = true;
            else if (*q == L'0') zero = true;
            else if (*q == L'+') plus = true;
            else if (*q == L' ') space = true;
            else break;
        }
        int width = 0;
        while (*q >= L'0' && *q <= L'9') {
            width = std::min(width * 10 + (*q - L'0'), 1000);
            ++q;
        }
        while (*q == L'l' || *q == L'h') ++q;
        if (*q != L'd' && *q != L'i' && *q != L'u') {
            put(*p++);   // not ours: the '%' and what follows stay as text
            continue;
        }
        unsigned long long magnitude;
        bool negative = false;
        if (*q == L'u') {
            magnitude = static_cast<uint32_t>(value);
        } else {
            negative = value < 0;
            magnitude = negative ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        }
        wchar_t digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        wchar_t sign = negative ? L'-' : plus ? L'+' : space ? L' ' : 0;
        int length = count + (sign ? 1 : 0);
        int pad = width > length ? width - length : 0;
        if (!left && !zero) for (int i = 0; i < pad; ++i) put(L' ');
        if (sign) put(sign);
        if (!left && zero) for (int i = 0; i < pad; ++i) put(L'0');
        while (count) put(digits[--count]);
        if (left) for (int i = 0; i < pad; ++i) put(L' ');
        p = q + 1;
    }
    out[n] = 0;
    return n;
}

bool LayoutShowsAColumn(const ColumnLayout& layout) {
    const int count = std::clamp(layout.count, 0, kMaxColumns);
    for (int c = 0; c < count; ++c) {
        if (layout.entries[c].width != 0) return true;
    }
    return false;
}

bool LayoutAcceptable(const ColumnLayout& layout) {
    int count = std::clamp(layout.count, 0, kMaxColumns);
    int atZero = 0;
    for (int c = 0; c < count; ++c) {
        if (layout.entries[c].position == 0) ++atZero;
    }
    return atZero < 2;
}

// ============================================================================
// IndexList
// ============================================================================

IndexList::~IndexList() { Release(); }

bool IndexList::Reserve(int capacity) {
    if (capacity <= capacity_) return true;
    void* grown = std::realloc(items_, static_cast<size_t>(capacity) * sizeof(int32_t));
    if (!grown) return false;
    items_ = static_cast<int32_t*>(grown);
    capacity_ = capacity;
    return true;
}

bool IndexList::Push(int32_t value) {
    if (count_ == capacity_ && !Reserve(capacity_ < 16 ? 16 : capacity_ * 2)) return false;
    items_[count_++] = value;
    return true;
}

void IndexList::Release() {
    std::free(items_);
    items_ = nullptr;
    count_ = capacity_ = 0;
}

// ============================================================================
// Construction and attachment
// ============================================================================

namespace {

// Thin typed wrappers over the list-view and header messages.
LPARAM RowItemData(HWND control, int row, bool* ok) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    *ok = SendMessageW(control, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != FALSE;
    return item.lParam;
}

void HeaderSetFormat(HWND header, int item, int format, int image, bool withImage) {
    HDITEMW hd = {};
    hd.mask = HDI_FORMAT | (withImage ? HDI_IMAGE : 0);
    hd.fmt = format;
    hd.iImage = image;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&hd));
}

size_t PageSize() {
    static size_t page = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<size_t>(info.dwPageSize ? info.dwPageSize : 4096);
    }();
    return page;
}

size_t Granularity() {
    static size_t granularity = [] {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        return static_cast<size_t>(info.dwAllocationGranularity ? info.dwAllocationGranularity : 65536);
    }();
    return granularity;
}

size_t RoundUp(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

// Every changed cell invalidates its own rectangle, and under some window
// systems each invalidation is a round trip to the display server, which
// made a refresh of a few dozen rows cost more than everything else in it.
// A refresh of many rows therefore switches drawing off and draws the list
// once at the end. A control that is itself hidden is left alone: turning
// drawing back on would show it.
class RedrawBatch {
public:
    RedrawBatch(HWND control, bool active) {
        if (active && (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE)) {
            control_ = control;
            SendMessageW(control_, WM_SETREDRAW, FALSE, 0);
        }
    }
    ~RedrawBatch() {
        if (!control_) return;
        SendMessageW(control_, WM_SETREDRAW, TRUE, 0);
        // Erased only where rows went, so the rest does not flicker.
        RedrawWindow(control_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | (rowsDeleted ? RDW_ERASE : 0));
    }
    RedrawBatch(const RedrawBatch&) = delete;
    RedrawBatch& operator=(const RedrawBatch&) = delete;

    bool rowsDeleted = false;

private:
    HWND control_ = nullptr;
};

constexpr int kBatchRows = 4;   // below this, rows are redrawn cell by cell

}  // namespace

ReportListView::ReportListView() { AllocateWorkBuffers(kTextBufferSize); }

ReportListView::~ReportListView() {
    FreeWorkBuffers();
    if (control_ && IsWindow(control_)) {
        SendMessageW(control_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        HWND header = reinterpret_cast<HWND>(SendMessageW(control_, LVM_GETHEADER, 0, 0));
        if (header) SendMessageW(header, HDM_SETIMAGELIST, 0, 0);
    }
    if (rowImages_) ImageList_Destroy(rowImages_);
    if (headerImages_) ImageList_Destroy(headerImages_);
    ReportListView::ClearRecords();
}

bool ReportListView::AllocateWorkBuffers(int size) {
    if (size <= 0) size = kTextBufferSize;
    if (work_[0] && workSize_ == size) return true;
    FreeWorkBuffers();
    auto* block = static_cast<wchar_t*>(std::calloc(static_cast<size_t>(size) * 4, sizeof(wchar_t)));
    if (!block) return false;
    for (int i = 0; i < 4; ++i) work_[i] = block + static_cast<size_t>(i) * size;
    workSize_ = size;
    return true;
}

void ReportListView::FreeWorkBuffers() {
    std::free(work_[0]);
    for (auto& buffer : work_) buffer = nullptr;
    workSize_ = 0;
}

void ReportListView::Attach(HWND control, const ColumnSpec* columns, int columnCount) {
    if (recordCount_ == 0) recordSize_ = RecordSize();
    control_ = control;
    columnCount_ = columns ? std::clamp(columnCount, 0, kMaxColumns) : 0;
    for (int c = 0; c < columnCount_; ++c) {
        const ColumnSpec& entry = columns[c];
        columns_[c] = {c, LVCF_WIDTH | LVCF_TEXT, LVCFMT_LEFT, entry.defaultWidth,
                       GetString(static_cast<unsigned>(entry.titleId))};
        exports_[c] = {L"", entry.noWrap, entry.fixedWidth,
                       GetString(static_cast<unsigned>(entry.titleId) | kBuiltInString)};
        visibleOrder_[c] = c;
        layout_.entries[c] = {100, static_cast<int16_t>(c)};
    }
    layout_.count = columnCount_;
    layout_.control = control;
    ascendingImage_ = 0;
    descendingImage_ = 1;
    visibleCount_ = columnCount_;
    growthStep_ = 32;
    reuseFreeSlots_ = 1;
    progressInterval_ = 50;
    AllocateWorkBuffers(TextBufferSize());
    // A new control has none of the rows the records may have had.
    for (int i = 0; i < recordCount_; ++i) rowOf_[i] = -1;
    fullRefresh_ = true;
    rowMapStale_ = false;
}

void ReportListView::InsertColumns() {
    if (!control_) return;
    for (int c = 0; c < columnCount_; ++c) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_FMT;
        column.fmt = columns_[c].format;
        column.cx = ScaleForDpi(columns_[c].defaultWidth, dpi_);
        column.pszText = const_cast<wchar_t*>(columns_[c].title);
        SendMessageW(control_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
}

void ReportListView::SetDpi(UINT dpi) {
    if (dpi == 0 || dpi == dpi_) return;
    const int count = control_ ? columnCount_ : 0;
    for (int c = 0; c < count; ++c) {
        const int width = static_cast<int>(SendMessageW(control_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
        // A hidden column (width 0) stays hidden.
        if (width > 0)
            SendMessageW(control_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c),
                         MAKELPARAM(RescaleForDpi(width, dpi, dpi_), 0));
    }
    dpi_ = dpi;
}

// The list owns both image lists, so the control is told to share them:
// without LVS_SHAREIMAGELISTS it would destroy the row images itself.
void ReportListView::CreateImageLists(HICON rowIcon) {
    // Made again at a new DPI: the old lists go once the control has the new.
    ImageList oldRows(rowImages_), oldHeader(headerImages_);
    // The rows' icon follows the screen's scale (the caller loads it at that size).
    const int rowIconSize = ScaleForDpi(16, dpi_);
    rowImages_ = ImageList_Create(rowIconSize, rowIconSize, ILC_COLOR24 | ILC_MASK, 1, 1);
    if (rowImages_ && rowIcon) ImageList_AddIcon(rowImages_, rowIcon);
    // The sort arrows too, from their 16-pixel bitmaps (ScaledImageStrip
    // masks the background, the top-left pixel).
    const int arrowSize = ScaleForDpi(16, dpi_);
    headerImages_ = ImageList_Create(arrowSize, arrowSize, ILC_COLOR24 | ILC_MASK, 2, 0);
    if (headerImages_) {
        HINSTANCE module = GetModuleHandleW(nullptr);
        for (int id : {IDB_SORT_UP, IDB_SORT_DOWN}) {
            Bitmap bitmap(static_cast<HBITMAP>(
                LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 16, 16, LR_LOADMAP3DCOLORS)));
            ImageList arrow(ScaledImageStrip(bitmap.get(), 1, arrowSize));
            Icon icon(arrow ? ImageList_GetIcon(arrow.get(), 0, ILD_NORMAL) : nullptr);
            if (icon) ImageList_ReplaceIcon(headerImages_, -1, icon.get());
        }
    }
    if (!control_) return;
    SetWindowLongPtrW(control_, GWL_STYLE, GetWindowLongPtrW(control_, GWL_STYLE) | LVS_SHAREIMAGELISTS);
    SendMessageW(control_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(rowImages_));
    HWND header = reinterpret_cast<HWND>(SendMessageW(control_, LVM_GETHEADER, 0, 0));
    if (header) SendMessageW(header, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(headerImages_));
}

// ============================================================================
// Default operations
// ============================================================================

int ReportListView::CompareColumn(const ListRecord*, int, const ListRecord*) const { return 255; }
bool ReportListView::SameRecord(const ListRecord*, const ListRecord*) const { return false; }
void ReportListView::ReleaseRecord(ListRecord*) {}
int ReportListView::RecordImage(const ListRecord*) const { return 0; }
int32_t ReportListView::HeaderBackColor() const { return 0xE0E0E0; }
int32_t ReportListView::HeaderTextColor() const { return -1; }
const wchar_t* ReportListView::ProgressFormat() const { return nullptr; }
int ReportListView::TextBufferSize() const { return kTextBufferSize; }
void ReportListView::AdjustCellHtml(wchar_t*, const ListRecord*, int) {}
void ReportListView::ReloadRecords() {}
bool ReportListView::IsColumnSearchable(int column) const { return column == 0; }
bool ReportListView::IsRecordShown(const ListRecord*, int) const { return true; }
void ReportListView::CustomDrawCell(const ListRecord*, NMLVCUSTOMDRAW*) {}
void ReportListView::SetRemoved(ListRecord*) {}
void ReportListView::OnRecordStored(int) {}

const wchar_t* ReportListView::ListTitle() const { return titleId_ ? GetString(static_cast<unsigned>(titleId_)) : L""; }

const wchar_t* ReportListView::ListTitleBuiltIn() const {
    return titleId_ ? GetString(static_cast<unsigned>(titleId_) | kBuiltInString) : ListTitle();
}

const int32_t* ReportListView::CellColorTable(int) const {
    static const int32_t white[] = {0xFFFFFF};
    return white;
}

int ReportListView::CellColorCount(int) const { return 1; }

void ReportListView::GetCellStyle(int kind, int position, const ListRecord*, CellStyle& style) {
    const int32_t* table = CellColorTable(kind);
    int count = CellColorCount(kind);
    if (table && count > 0) style.background = table[(position < 0 ? 0 : position) % count];
}

bool ReportListView::RecordsMatch(const ListRecord* key, const ListRecord* record) const {
    return SameRecord(key, record);
}

int ReportListView::CompareRecords(int column, const ListRecord* a, const ListRecord* b) const {
    return CompareColumn(a, column, b);
}

bool ReportListView::RecordMatchesFind(const ListRecord* record, const FINDREPLACEW& find) {
    // A freed slot may still have its row until the next refresh.
    if (!record || (record->flags & kRecordFree) || !find.lpstrFindWhat || !work_[3]) return false;
    for (int c = 0; c < columnCount_; ++c) {
        if (!IsColumnSearchable(c)) continue;
        const wchar_t* text = ColumnText(record, c, work_[3]);
        if (TextMatchesFind(text ? text : L"", find.lpstrFindWhat, find.Flags)) return true;
    }
    return false;
}

// ============================================================================
// Records
// ============================================================================

// Records are reserved as address space in doubling steps and committed in
// growth steps: memory follows the record count step by step as the design
// wants, while the records are moved only when a reservation is outgrown, so
// filling a large table does not copy the whole array at every step.
bool ReportListView::GrowRecords() {
    if (recordSize_ == 0) return false;
    long long capacity = recordCapacity_;
    const int step = growthStep_ > 0 ? growthStep_ : 1;
    while (capacity <= recordCount_) capacity += step;
    if (capacity > INT_MAX / 2) return false;
    const unsigned long long bytes = static_cast<unsigned long long>(capacity) * recordSize_;
    if (bytes > SIZE_MAX / 4) return false;
    const size_t needed = static_cast<size_t>(bytes);

    // The side arrays first: a failure there leaves the records untouched.
    void* rows = std::realloc(rowOf_, static_cast<size_t>(capacity) * sizeof(int32_t));
    if (!rows) return false;
    rowOf_ = static_cast<int32_t*>(rows);
    for (long long i = recordCapacity_; i < capacity; ++i) rowOf_[i] = -1;

    const size_t commit = RoundUp(needed, PageSize());
    if (needed > reservedBytes_) {
        size_t reserve = RoundUp(std::max(needed, reservedBytes_ * 2), Granularity());
        void* block = VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS);
        if (!block && reserve > RoundUp(needed, Granularity())) {
            reserve = RoundUp(needed, Granularity());
            block = VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS);
        }
        if (!block) return false;
        if (!VirtualAlloc(block, commit, MEM_COMMIT, PAGE_READWRITE)) {
            VirtualFree(block, 0, MEM_RELEASE);
            return false;
        }
        if (records_) {
            std::memcpy(block, records_, static_cast<size_t>(recordCount_) * recordSize_);
            VirtualFree(records_, 0, MEM_RELEASE);
        }
        records_ = static_cast<unsigned char*>(block);
        reservedBytes_ = reserve;
        committedBytes_ = commit;
    } else if (commit > committedBytes_) {
        if (!VirtualAlloc(records_ + committedBytes_, commit - committedBytes_, MEM_COMMIT, PAGE_READWRITE)) return false;
        committedBytes_ = commit;
    }
    recordCapacity_ = static_cast<int>(capacity);
    return true;
}

ListRecord* ReportListView::AddRecord(const ListRecord* record) {
    if (!record) return nullptr;
    if (recordSize_ == 0) recordSize_ = RecordSize();
    if (recordSize_ < sizeof(ListRecord)) return nullptr;
    constexpr uint16_t kInternal = kRecordFree | kRecordChanged | kRecordRepaint;

    if (reuseFreeSlots_ && freeCount_ > 0) {
        for (int i = 0; i < recordCount_; ++i) {
            ListRecord* slot = RecordAt(i);
            if (!(slot->flags & kRecordFree)) continue;
            if (slot == record) return nullptr;
            const uint16_t kept = slot->flags & kRecordChanged;   // still listed for Refresh
            std::memmove(slot, record, recordSize_);
            slot->flags = static_cast<uint16_t>((slot->flags & ~kInternal) | kept);
            --freeCount_;
            MarkRecordChanged(slot, true);
            OnRecordStored(i);
            return slot;
        }
        freeCount_ = 0;   // none left after all
    }

    // The record may live in the array itself; growing would move it.
    const int inside = RecordIndex(record);
    if (recordCount_ >= recordCapacity_ && !GrowRecords()) return nullptr;
    if (inside >= 0) record = RecordAt(inside);
    const int index = recordCount_;
    ListRecord* slot = RecordAt(index);
    std::memcpy(slot, record, recordSize_);
    slot->flags = static_cast<uint16_t>(slot->flags & ~kInternal);
    slot->image = -1;
    rowOf_[index] = -1;
    ++recordCount_;
    MarkRecordChanged(slot);
    OnRecordStored(index);
    OnRecordAdded();
    return slot;
}

int ReportListView::RecordIndex(const ListRecord* record) const {
    if (!record || !records_ || recordSize_ == 0) return -1;
    const auto p = reinterpret_cast<uintptr_t>(record);
    const auto base = reinterpret_cast<uintptr_t>(records_);
    if (p < base) return -1;
    const uintptr_t offset = p - base;
    if (offset % recordSize_) return -1;
    const uintptr_t index = offset / recordSize_;
    return index < static_cast<uintptr_t>(recordCount_) ? static_cast<int>(index) : -1;
}

void ReportListView::FreeRecord(int index) {
    if (index < 0 || index >= recordCount_) return;
    ListRecord* record = RecordAt(index);
    if (record->flags & kRecordFree) return;
    ReleaseRecord(record);
    record->flags |= kRecordFree;
    ++freeCount_;
    MarkRecordChanged(record);
}

void ReportListView::MarkRecordChanged(ListRecord* record, bool repaint) {
    const int index = RecordIndex(record);
    if (index < 0) return;
    if (repaint) record->flags |= kRecordRepaint;
    if (record->flags & kRecordChanged) return;
    if (changed_.Push(index)) {
        record->flags |= kRecordChanged;
    } else {
        fullRefresh_ = true;
    }
}

void ReportListView::ClearRecords() {
    if (recordSize_ > 0) {
        for (int i = 0; i < recordCount_; ++i) {
            ListRecord* record = RecordAt(i);
            if (!(record->flags & kRecordFree)) ReleaseRecord(record);
        }
    }
    if (records_) VirtualFree(records_, 0, MEM_RELEASE);
    records_ = nullptr;
    reservedBytes_ = committedBytes_ = 0;
    recordCount_ = recordCapacity_ = 0;
    freeCount_ = 0;
    std::free(rowOf_);
    rowOf_ = nullptr;
    changed_.Release();
    // Rows that named these records must go at the next refresh.
    fullRefresh_ = true;
}

ListRecord* ReportListView::FindRecord(const ListRecord* key) {
    for (int i = 0; i < recordCount_; ++i) {
        ListRecord* record = RecordAt(i);
        if (!(record->flags & kRecordFree) && RecordsMatch(key, record)) return record;
    }
    return nullptr;
}

// Only the item data of a row that names an existing record counts: a row
// left over from cleared records must not index past the array.
ListRecord* ReportListView::RowRecord(int row) const {
    if (!control_) return nullptr;
    bool ok;
    LPARAM index = RowItemData(control_, row, &ok);
    if (!ok || index < 0 || index >= recordCount_) return nullptr;
    return const_cast<ListRecord*>(RecordAt(static_cast<int>(index)));
}

int ReportListView::RowCount() const {
    return control_ ? static_cast<int>(SendMessageW(control_, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

int ReportListView::SelectedCount() const {
    return control_ ? static_cast<int>(SendMessageW(control_, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
}

bool ReportListView::IsRowSelected(int row) const {
    return control_ && (SendMessageW(control_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) & LVIS_SELECTED);
}

void ReportListView::MarkSelectedRemoved() {
    if (!control_) return;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(control_, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) {
        if (ListRecord* record = RowRecord(row)) SetRemoved(record);
    }
}

void ReportListView::OnRecordAdded() {
    if (!statusBar_ || progressInterval_ <= 0 || recordCount_ % progressInterval_ != 0) return;
    const wchar_t* format = ProgressFormat();
    if (!format) return;
    wchar_t text[256];
    FormatNumberText(text, 256, format, recordCount_);
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    // The merge runs on the window thread: paint now, or the count would
    // only show once the merge is over.
    UpdateWindow(statusBar_);
}

// ============================================================================
// Rows and cells
// ============================================================================

void ReportListView::UpdateRowTexts(int row, const ListRecord* record) {
    if (!control_ || !record || !work_[0]) return;
    wchar_t* current = work_[0];
    wchar_t* wanted = work_[1];
    for (int c = 0; c < columnCount_; ++c) {
        LVITEMW item = {};
        item.iSubItem = c;
        item.pszText = current;
        item.cchTextMax = workSize_;
        current[0] = 0;
        SendMessageW(control_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        const wchar_t* text = ColumnText(record, c, wanted);
        if (!text) text = L"";
        if (wcscmp(current, text) == 0) continue;
        LVITEMW set = {};
        set.iSubItem = c;
        set.pszText = const_cast<wchar_t*>(text);
        SendMessageW(control_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&set));
    }
}

void ReportListView::UpdateAllRowTexts() {
    const int rows = RowCount();
    for (int row = 0; row < rows; ++row) {
        if (const ListRecord* record = RowRecord(row)) UpdateRowTexts(row, record);
    }
}

void ReportListView::UpdateRecordTexts(const ListRecord* record) {
    const int row = RecordRow(RecordIndex(record));
    if (row >= 0) UpdateRowTexts(row, record);
}

void ReportListView::RebuildRowMap() {
    for (int i = 0; i < recordCount_; ++i) rowOf_[i] = -1;
    rowMapStale_ = false;
    const int rows = RowCount();
    for (int row = 0; row < rows; ++row) {
        bool ok;
        LPARAM index = RowItemData(control_, row, &ok);
        if (ok && index >= 0 && index < recordCount_) rowOf_[index] = row;
    }
}

// The map is a hint: it is checked against the row's item data, so rows
// moved or deleted behind the list's back cost a rebuild, never a wrong row.
int ReportListView::RecordRow(int index) {
    if (!control_ || index < 0 || index >= recordCount_) return -1;
    if (rowMapStale_) RebuildRowMap();
    int row = rowOf_[index];
    if (row < 0) return -1;
    bool ok;
    if (RowItemData(control_, row, &ok) == index && ok) return row;
    RebuildRowMap();
    return rowOf_[index];
}

int ReportListView::AppendRow(int index, ListRecord* record) {
    record->image = RecordImage(record);
    const wchar_t* first = columnCount_ > 0 ? ColumnText(record, 0, work_[1]) : L"";
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = RowCount();
    item.pszText = const_cast<wchar_t*>(first ? first : L"");
    item.iImage = record->image;
    item.lParam = index;
    const int row = static_cast<int>(SendMessageW(control_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return -1;
    rowOf_[index] = row;
    UpdateRowTexts(row, record);
    return row;
}

// Deletes rows (any order, no duplicates) from the highest down and moves
// the row map along: every row above a deleted one slides up by one.
void ReportListView::DeleteRowsAndShiftMap(int* rows, int count) {
    if (count <= 0) return;
    std::sort(rows, rows + count);
    for (int k = count - 1; k >= 0; --k) {
        SendMessageW(control_, LVM_DELETEITEM, static_cast<WPARAM>(rows[k]), 0);
    }
    for (int i = 0; i < recordCount_; ++i) {
        int row = rowOf_[i];
        if (row < 0) continue;
        int* at = std::lower_bound(rows, rows + count, row);
        if (at != rows + count && *at == row) {
            rowOf_[i] = -1;
        } else {
            rowOf_[i] = row - static_cast<int>(at - rows);
        }
    }
}

// A refresh visits only the records marked changed since the last one: the
// others' rows already show their texts, so the work of a scan follows the
// answers it brought, not the size of the table. The outcome is the full
// pass's: hidden records lose their rows, changed cells are rewritten, and
// shown records without a row are appended in array order.
void ReportListView::Refresh() {
    if (!control_ || !work_[0]) return;
    if (fullRefresh_) {
        FullRefresh();
        return;
    }
    const int changedCount = changed_.Count();
    if (changedCount == 0) return;
    IndexList doomed, appended;
    if (!doomed.Reserve(changedCount) || !appended.Reserve(changedCount)) {
        FullRefresh();
        return;
    }
    RedrawBatch batch(control_, changedCount >= kBatchRows);
    for (int k = 0; k < changedCount; ++k) {
        const int index = changed_[k];
        if (index < 0 || index >= recordCount_) continue;
        ListRecord* record = RecordAt(index);
        const bool repaint = (record->flags & kRecordRepaint) != 0;
        record->flags = static_cast<uint16_t>(record->flags & ~(kRecordChanged | kRecordRepaint));
        const bool shown = !(record->flags & kRecordFree) && IsRecordShown(record, index);
        const int row = RecordRow(index);
        if (row >= 0 && !shown) {
            doomed.Push(row);
        } else if (row >= 0) {
            UpdateRowTexts(row, record);
            if (repaint) SendMessageW(control_, LVM_REDRAWITEMS, static_cast<WPARAM>(row), static_cast<LPARAM>(row));
        } else if (shown) {
            appended.Push(index);
        }
    }
    ReleaseChangeList();
    batch.rowsDeleted = doomed.Count() > 0;
    DeleteRowsAndShiftMap(doomed.Data(), doomed.Count());
    std::sort(appended.Data(), appended.Data() + appended.Count());
    for (int k = 0; k < appended.Count(); ++k) {
        const int index = appended[k];
        if (AppendRow(index, RecordAt(index)) < 0) MarkRecordChanged(RecordAt(index));
    }
}

// A scan changes a few dozen records; a list grown by a bulk load is given
// back rather than kept at its peak.
void ReportListView::ReleaseChangeList() {
    if (changed_.Capacity() > 1024) {
        changed_.Release();
    } else {
        changed_.Clear();
    }
}

// Every record and every row, as after attaching or clearing.
void ReportListView::FullRefresh() {
    fullRefresh_ = false;
    ReleaseChangeList();
    RedrawBatch batch(control_, recordCount_ + RowCount() >= kBatchRows);
    batch.rowsDeleted = true;
    for (int i = 0; i < recordCount_; ++i) {
        ListRecord* record = RecordAt(i);
        record->flags = static_cast<uint16_t>(record->flags & ~(kRecordChanged | kRecordRepaint));
        record->workMark = (!(record->flags & kRecordFree) && IsRecordShown(record, i)) ? 1 : 0;
    }
    for (int row = RowCount() - 1; row >= 0; --row) {
        bool ok;
        LPARAM index = RowItemData(control_, row, &ok);
        if (!ok) continue;
        ListRecord* record = (index >= 0 && index < recordCount_) ? RecordAt(static_cast<int>(index)) : nullptr;
        if (!record || record->workMark == 0) {
            SendMessageW(control_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
            continue;
        }
        record->workMark = 0;
        UpdateRowTexts(row, record);
    }
    RebuildRowMap();
    for (int i = 0; i < recordCount_; ++i) {
        ListRecord* record = RecordAt(i);
        if (record->workMark != 1) continue;
        record->workMark = 0;
        if (AppendRow(i, record) < 0) MarkRecordChanged(record);
    }
}

void ReportListView::DeleteAllRows() {
    if (control_) SendMessageW(control_, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < recordCount_; ++i) rowOf_[i] = -1;
    fullRefresh_ = true;
}

void ReportListView::SetRowState(int row, UINT state, UINT mask) {
    if (!control_) return;
    LVITEMW item = {};
    item.state = state;
    item.stateMask = mask;
    SendMessageW(control_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// A row's check state is its state image (bits 12-15) minus one.
bool ReportListView::RowChecked(int row) const {
    if (!control_) return false;
    UINT state = static_cast<UINT>(SendMessageW(control_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return ((state & LVIS_STATEIMAGEMASK) >> 12) - 1 == 1;
}

void ReportListView::SetRowChecked(int row, bool checked) {
    SetRowState(row, checked ? 0x2000 : 0x1000, LVIS_STATEIMAGEMASK);
}

void ReportListView::SetExtendedStyle(DWORD bits, bool on) {
    if (!control_) return;
    DWORD style = static_cast<DWORD>(SendMessageW(control_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    style = on ? (style | bits) : (style & ~bits);
    SendMessageW(control_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
}

void ReportListView::ComputeVisibleColumns() {
    int width[kMaxColumns];
    int position[kMaxColumns];
    for (int c = 0; c < columnCount_; ++c) {
        if (control_) {
            LVCOLUMNW column = {};
            column.mask = LVCF_WIDTH | LVCF_ORDER;
            if (SendMessageW(control_, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column))) {
                width[c] = column.cx;
                position[c] = column.iOrder;
            } else {
                width[c] = 0;
                position[c] = 0;
            }
        } else {
            width[c] = layout_.entries[c].width;
            position[c] = layout_.entries[c].position;
        }
        position[c] = std::clamp(position[c], 0, columnCount_ - 1);
    }
    visibleCount_ = 0;
    for (int p = 0; p < columnCount_; ++p) {
        for (int c = 0; c < columnCount_; ++c) {
            if (width[c] > 0 && position[c] == p) visibleOrder_[visibleCount_++] = c;
        }
    }
}

void ReportListView::AutoSizeColumns() {
    if (!control_) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(control_, LVM_GETHEADER, 0, 0));
    const int count = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int c = 0; c < count; ++c) {
        if (SendMessageW(control_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0) > 0) {
            SendMessageW(control_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), MAKELPARAM(LVSCW_AUTOSIZE, 0));
        }
    }
}

void ReportListView::Focus() {
    if (control_) SetFocus(control_);
}

// ============================================================================
// Sorting and drawing
// ============================================================================

namespace {

// _wcsicmp as the C runtime computes it in the "C" locale: only A-Z fold,
// the result is the difference of the first differing folded units. The
// runtime's own function looks the locale up on every call, which costs
// more than the comparison in a sort of many rows.
int CompareFoldedAscii(const wchar_t* x, const wchar_t* y) {
    for (;; ++x, ++y) {
        const int a = FoldAscii(*x), b = FoldAscii(*y);
        if (a != b || a == 0) return a - b;
    }
}

bool RuntimeLocaleIsC() {
    const char* name = setlocale(LC_CTYPE, nullptr);
    return name && std::strcmp(name, "C") == 0;
}

}  // namespace

int CALLBACK ReportListView::CompareRows(LPARAM a, LPARAM b, LPARAM context) {
    auto* list = reinterpret_cast<ReportListView*>(context);
    if (a < 0 || b < 0 || a >= list->recordCount_ || b >= list->recordCount_) return 0;
    const ListRecord* first = list->RecordAt(static_cast<int>(a));
    const ListRecord* second = list->RecordAt(static_cast<int>(b));
    const int column = list->sortKey_ & kSortColumnMask;
    int result = list->CompareRecords(column, first, second);
    if (result == 255) {
        const wchar_t* x = list->ColumnText(first, column, list->work_[0]);
        const wchar_t* y = list->ColumnText(second, column, list->work_[1]);
        x = x ? x : L"";
        y = y ? y : L"";
        result = list->sortInCLocale_ ? CompareFoldedAscii(x, y) : _wcsicmp(x, y);
    }
    return (list->sortKey_ & kSortDescending) ? -result : result;
}

void ReportListView::Sort(int key, bool keepDirection) {
    if (!keepDirection && (key & kSortColumnMask) == (sortKey_ & kSortColumnMask)) {
        key = sortKey_ ^ kSortDescending;
    }
    sortKey_ = key;
    if (!control_) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(control_, LVM_GETHEADER, 0, 0));
    if (headerImages_ && header) {
        for (int c = 0; c < columnCount_; ++c) HeaderSetFormat(header, c, HDF_STRING, 0, false);
        const int column = key & kSortColumnMask;
        if (column < columnCount_) {
            const int image = (key & kSortDescending) ? descendingImage_ : ascendingImage_;
            HeaderSetFormat(header, column, HDF_STRING | HDF_IMAGE | HDF_BITMAP_ON_RIGHT, image, true);
        }
    }
    if (!work_[0]) return;
    sortInCLocale_ = RuntimeLocaleIsC();
    SendMessageW(control_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(this), reinterpret_cast<LPARAM>(&CompareRows));
    rowMapStale_ = true;
}

LRESULT ReportListView::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    if (!draw) return CDRF_DODEFAULT;
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        ComputeVisibleColumns();
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        const LPARAM index = draw->nmcd.lItemlParam;
        if (index < 0 || index >= recordCount_) return CDRF_DODEFAULT;
        CustomDrawCell(RecordAt(static_cast<int>(index)), draw);
        return CDRF_NEWFONT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}

// ============================================================================
// Layout and persistence
// ============================================================================

void ReportListView::ReadLayoutFromControl(ColumnLayout& layout) const {
    std::memset(layout.entries, 0, sizeof(layout.entries));
    layout.count = columnCount_;
    layout.control = control_;
    if (!control_) return;
    for (int c = 0; c < columnCount_; ++c) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_ORDER;
        if (!SendMessageW(control_, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column))) continue;
        // Stored at 96 DPI, so a file moves between screens unchanged.
        const int width = RescaleForDpi(column.cx, kBaseDpi, dpi_);
        layout.entries[c].width = static_cast<int16_t>(std::clamp(width, -32768, 32767));
        layout.entries[c].position = static_cast<int16_t>(std::clamp(column.iOrder, -32768, 32767));
    }
}

bool ReportListView::ApplyLayout(const ColumnLayout& layout) {
    if (!control_) return false;
    if (!LayoutAcceptable(layout)) return false;
    const int count = std::clamp(layout.count, 0, kMaxColumns);
    for (int p = 0; p < count; ++p) {
        int c = 0;
        while (c < count && layout.entries[c].position != p) ++c;
        if (c == count) continue;
        LVCOLUMNW column = {};
        column.mask = LVCF_ORDER;
        column.iOrder = p;
        const int width = layout.entries[c].width;
        if (width >= 0 && width <= kLayoutMaxWidth) {
            column.mask |= LVCF_WIDTH;
            column.cx = ScaleForDpi(width, dpi_);
        }
        SendMessageW(control_, LVM_SETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    // The order the header settled on, given again as one array: some list
    // views move only the headers when the order comes column by column,
    // and then draw the cells where they were.
    HWND header = reinterpret_cast<HWND>(SendMessageW(control_, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    int order[kMaxColumns];
    if (columns > 0 && columns <= kMaxColumns &&
        SendMessageW(control_, LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(columns), reinterpret_cast<LPARAM>(order)))
        SendMessageW(control_, LVM_SETCOLUMNORDERARRAY, static_cast<WPARAM>(columns), reinterpret_cast<LPARAM>(order));
    return true;
}

void ReportListView::ExchangeColumnSettings(SettingsStore& store) {
    const bool writing = store.Writing();
    // Without a control the layout keeps what it held: zeros read from no
    // control would be rejected at the next start anyway.
    if (writing && control_) ReadLayoutFromControl(layout_);
    layout_.count = columnCount_;
    const size_t bytes = sizeof(ColumnLayoutEntry) * static_cast<size_t>(columnCount_);
    ColumnLayout stored = layout_;
    bool loaded = false;
    if (writing) {
        store.ExchangeBytes(L"Columns", layout_.entries, bytes);
    } else {
        // A hand-edited value that is no byte list, or a layout that would
        // leave no column to see, is rejected like two leftmost columns: the
        // defaults stay, and they are what is saved again.
        size_t decoded = 0;
        loaded = store.ReadByteList(L"Columns", stored.entries, bytes, &decoded);
        // A value saved before the later columns existed leaves them out:
        // they go after the others, hidden, so a saved layout shows (and
        // exports) what it showed before. The column dialog shows them.
        const int first = std::max(static_cast<int>(decoded / sizeof(ColumnLayoutEntry)), firstLaterColumn_);
        for (int c = first; loaded && c < columnCount_; ++c) {
            stored.entries[c] = {0, static_cast<int16_t>(c)};
        }
        loaded = loaded && LayoutAcceptable(stored) && LayoutShowsAColumn(stored);
    }
    int32_t key = sortKey_;
    store.ExchangeInt(L"Sort", key, 0);
    sortKey_ = key;
    if (loaded) {
        layout_ = stored;
        ApplyLayout(layout_);
    }
}

}  // namespace nw
