// The seven export formats over a byte sink, apart from any window: the
// columns and cell texts come in as plain inputs, the bytes go to an
// ExportSink. The list-bound writers and ExportRows (ReportWriter.h) feed it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nw {

class ExportSink;

// One visible column, in display order.
struct ExportColumn {
    const wchar_t* title;          // current language: text, tabular and HTML titles
    const wchar_t* builtInTitle;   // program's own text: XML element name
    const wchar_t* headerWidth;    // HTML <th> width attribute; null or empty = none
    int noWrap;                    // HTML cells carry nowrap
    int fixedWidth;                // characters, tabular text
};

// The cells of the record being written, by visible position.
class ExportCells {
public:
    virtual ~ExportCells() = default;
    // Text of the cell; stays valid until the next call. Null reads as empty.
    virtual const wchar_t* Text(int position) = 0;
    // HTML kinds: the cell's background colour (0x00BBGGRR).
    virtual int32_t Background(int kind, int position) = 0;
    // HTML kinds: may rewrite the escaped text in place (capacity units).
    virtual void AdjustHtml(wchar_t* escaped, size_t capacity, int position) = 0;
};

struct ExportTable {
    const ExportColumn* columns;
    int columnCount;
    int32_t headerBackColor;       // -1 = none
    int32_t headerTextColor;       // -1 = none
    wchar_t* scratch;              // escaped cell text for the HTML kinds
    size_t scratchSize;            // units
};

// What the HTML head needs from outside (list title, language file, credit).
struct HtmlHeadInfo {
    const wchar_t* title;          // ListTitle()
    const wchar_t* charset;        // language file; empty = no meta element
    bool rightToLeft;
    const wchar_t* createdBy;      // GetString(6)
    const wchar_t* webAddress;     // product web address for the credit link
};

// ---- Text helpers ------------------------------------------------------------
// HTML escaping for the HTML kinds: < > " & ° and a line feed as <br>.
// Cuts at an entity boundary when out is too small. Returns the length.
size_t EscapeHtml(const wchar_t* text, wchar_t* out, size_t size);
// XML 1.0 escaping: & < > " as entities, CR and LF as character references,
// characters XML does not allow (other controls, lone surrogates, U+FFFE,
// U+FFFF) replaced by U+FFFD.
size_t EscapeXml(const wchar_t* text, wchar_t* out, size_t size);
// "RRGGBB" upper case from 0x00BBGGRR; out holds at least 7 units.
void ColorToHex(int32_t color, wchar_t* out);
// Spaces, backslashes and slashes to underscores, A-Z to lower case.
size_t XmlName(const wchar_t* title, wchar_t* out, size_t size);

// ---- Writers -------------------------------------------------------------------
// Each returns false as soon as a write to the sink fails.
bool WriteByteOrderMark(ExportSink& sink);
// One record of the comma-delimited kind (6) -- its quoting and its guard
// against formulas -- in UTF-8 instead of the system's code page.
bool WriteCsvRecordUtf8(ExportSink& sink, const wchar_t* const* fields, int count);
// Kinds 1-7; an unknown kind writes nothing and returns false.
bool WriteExportRecord(ExportSink& sink, const ExportTable& table, ExportCells& cells, int kind);
// HTML head (kinds 4 and 5; kind 4 adds the table's header row) and end.
bool WriteHtmlHead(ExportSink& sink, const ExportTable& table, const HtmlHeadInfo& info, int kind);
bool WriteHtmlEnd(ExportSink& sink, bool rightToLeft, int kind);
// XML declaration and root element around the items; rootTitle is the list's
// built-in title, turned into the element name here.
bool WriteXmlStart(ExportSink& sink, const wchar_t* rootTitle);
bool WriteXmlEnd(ExportSink& sink, const wchar_t* rootTitle);

}  // namespace nw
