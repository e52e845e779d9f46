#include "reports/ExportFormat.h"
#include "reports/ExportSink.h"
#include "listview/ReportListView.h"
#include <windows.h>
#include <cstring>
#include <cwchar>

// UTF-16 pieces go to the sink as they are, two bytes per unit, without a
// terminator.
static_assert(sizeof(wchar_t) == 2, "the UTF-16 kinds write wchar_t units as they are");

namespace nw {

namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";
constexpr wchar_t kSeparator[] = L"==================================================\r\n";
constexpr size_t kTitlePad = 18;      // plain text: "%-18s: %s"
constexpr int kAnsiPieceBytes = 8191;
// Units converted per ANSI call: even at four bytes per unit (a UTF-8 code
// page) one chunk stays below the byte limit of a piece.
constexpr size_t kAnsiChunkUnits = 2000;

// Pieces of one record (or of a header) are gathered here and reach the
// sink in one write, so a record costs one sink call instead of dozens; the
// bytes are the same. Once a write has failed nothing more is tried.
class Out {
public:
    explicit Out(ExportSink& sink) : sink_(sink) {}
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;

    bool Bytes(const void* data, size_t bytes) {
        if (failed_) return false;
        if (bytes > kCapacity - used_) {
            if (!Flush()) return false;
            if (bytes > kCapacity) return Pass(data, bytes);
        }
        memcpy(buffer_ + used_, data, bytes);
        used_ += bytes;
        return true;
    }
    // Room for at least bytes more at Tail(); false when a flush failed.
    bool Reserve(size_t bytes) { return failed_ ? false : (kCapacity - used_ >= bytes || Flush()); }
    unsigned char* Tail() { return buffer_ + used_; }
    void Commit(size_t bytes) { used_ += bytes; }
    bool Flush() {
        if (failed_) return false;
        size_t bytes = used_;
        used_ = 0;
        return bytes == 0 || Pass(buffer_, bytes);
    }

private:
    static constexpr size_t kCapacity = 16 * 1024;
    bool Pass(const void* data, size_t bytes) {
        if (!sink_.Write(data, bytes)) failed_ = true;
        return !failed_;
    }
    ExportSink& sink_;
    size_t used_ = 0;
    bool failed_ = false;
    unsigned char buffer_[kCapacity];
};

bool Put(Out& out, const wchar_t* text, size_t units) { return units == 0 || out.Bytes(text, units * sizeof(wchar_t)); }

bool Put(Out& out, const wchar_t* text) { return text ? Put(out, text, wcslen(text)) : true; }

// Literals: the length is known at compile time.
template <size_t N>
bool Lit(Out& out, const wchar_t (&text)[N]) {
    return Put(out, text, N - 1);
}

bool PutSpaces(Out& out, size_t count) {
    static const wchar_t spaces[] = L"                                                                ";
    constexpr size_t chunk = sizeof(spaces) / sizeof(spaces[0]) - 1;
    while (count > 0) {
        size_t n = count < chunk ? count : chunk;
        if (!Put(out, spaces, n)) return false;
        count -= n;
    }
    return true;
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Kind 7 is in the system's ANSI code page, converted a piece at a time (at
// most 8,191 bytes per conversion); a longer text is converted in chunks that
// never split a surrogate pair, so nothing is cut. No best-fit mapping: a
// character the code page cannot hold becomes one "?" (a surrogate pair is
// one character), never a look-alike: U+FF0C would otherwise become a real
// comma, and U+FF02 a real quote. Returns the bytes in out (0 for an empty
// text); consumed tells how many units they stand for. codePage 0 is the
// system's; the history log asks for UTF-8.
size_t ToAnsi(const wchar_t* text, size_t units, char* out, size_t& consumed, UINT codePage = 0) {
    size_t n = units < kAnsiChunkUnits ? units : kAnsiChunkUnits;
    if (n < units && IsHighSurrogate(text[n - 1])) --n;
    consumed = n;
    if (n == 0) return 0;
    if (codePage == 0) codePage = ::GetACP();
    if (codePage == CP_UTF8) {
        // Every character has its bytes; a lone surrogate becomes U+FFFD.
        int written = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out, kAnsiPieceBytes, nullptr,
                                            nullptr);
        if (written > 0) return static_cast<size_t>(written);
    }
    // No ANSI code page but UTF-8 holds a character beyond U+FFFF.
    wchar_t plain[kAnsiChunkUnits];
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        const wchar_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(text[i + 1])) ++i;
        plain[m++] = IsHighSurrogate(c) || IsLowSurrogate(c) ? L'?' : c;
    }
    if (codePage != CP_UTF8) {
        int written = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, plain, static_cast<int>(m), out,
                                            kAnsiPieceBytes, "?", nullptr);
        if (written > 0) return static_cast<size_t>(written);
    }
    // The conversion refused: plain ASCII stays, everything else is "?".
    for (size_t i = 0; i < m; ++i) out[i] = plain[i] < 0x80 ? static_cast<char>(plain[i]) : '?';
    return m;
}

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

// Escapes into out, replacing characters through rule; stops at the last
// replacement that fits so no entity is ever cut in half.
template <typename Rule>
size_t EscapeWith(const wchar_t* text, wchar_t* out, size_t size, Rule rule) {
    if (size == 0) return 0;
    size_t n = 0;
    text = OrEmpty(text);
    for (size_t i = 0; text[i]; ++i) {
        size_t take = 1;
        const wchar_t* piece = rule(text, i, take);
        size_t len = piece ? wcslen(piece) : take;
        if (n + len + 1 > size) break;
        if (piece) {
            wmemcpy(out + n, piece, len);
        } else if (take == 1) {
            out[n] = text[i];
        } else {
            wmemcpy(out + n, text + i, take);
        }
        n += len;
        i += take - 1;
    }
    out[n] = 0;
    return n;
}

// What a character becomes in the HTML kinds; null = itself. Controls other
// than tab, CR and LF, and the non-characters U+FFFE and U+FFFF, have no
// place in an HTML document (a stranger's device name may hold them): they
// become U+FFFD, as in the XML export.
const wchar_t* HtmlEntity(wchar_t c) {
    switch (c) {
        case L'<': return L"&lt;";
        case L'>': return L"&gt;";
        case L'"': return L"&quot;";
        case 0x00B0: return L"&deg;";
        case L'&': return L"&amp;";
        case L'\n': return L"<br>";
        case L'\t': case L'\r': return nullptr;
        default: break;
    }
    if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) return L"\xFFFD";
    return nullptr;
}

// Text a language file supplies (titles, the credit line) is escaped like
// cell text, so a translation cannot add markup to the page.
bool PutHtml(Out& out, const wchar_t* text) {
    for (text = OrEmpty(text); *text;) {
        size_t run = 0;
        while (text[run] && !HtmlEntity(text[run])) ++run;
        if (!Put(out, text, run)) return false;
        text += run;
        if (*text && !Put(out, HtmlEntity(*text++))) return false;
    }
    return true;
}

// A character set's name is letters, digits and "-_.:"; anything else would
// leave the meta element's attribute, so such a value is not written at all.
bool IsCharsetName(const wchar_t* name) {
    if (!name[0]) return false;
    for (const wchar_t* p = name; *p; ++p) {
        const wchar_t c = *p;
        const bool allowed = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                             c == L'-' || c == L'_' || c == L'.' || c == L':';
        if (!allowed) return false;
    }
    return true;
}

// ---- Per-kind record writers ------------------------------------------------

bool WriteTextRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    if (!Lit(sink, kSeparator)) return false;
    for (int p = 0; p < table.columnCount; ++p) {
        const wchar_t* title = OrEmpty(table.columns[p].title);
        size_t titleLen = wcslen(title);
        if (!Put(sink, title, titleLen)) return false;
        if (titleLen < kTitlePad && !PutSpaces(sink, kTitlePad - titleLen)) return false;
        if (!Lit(sink, L": ") || !Put(sink, OrEmpty(cells.Text(p))) || !Lit(sink, kLineEnd)) return false;
    }
    return Lit(sink, kSeparator) && Lit(sink, kLineEnd);
}

// A tab inside a value (a description can hold one) would add a field: it is
// written as a space.
bool PutWithoutTabs(Out& sink, const wchar_t* text) {
    for (;;) {
        const size_t run = wcscspn(text, L"\t");
        if (!Put(sink, text, run)) return false;
        if (!text[run]) return true;
        if (!Lit(sink, L" ")) return false;
        text += run + 1;
    }
}

bool WriteTabRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    for (int p = 0; p < table.columnCount; ++p) {
        if (!PutWithoutTabs(sink, OrEmpty(cells.Text(p))) || !Lit(sink, L"\t")) return false;
    }
    return Lit(sink, kLineEnd);
}

// Each field is "%-w.ws ": cut to w units, padded to w, then one space. A cut
// that would leave half a surrogate pair stops before it and pads instead.
bool WriteTabularRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    for (int p = 0; p < table.columnCount; ++p) {
        size_t width = table.columns[p].fixedWidth > 0 ? static_cast<size_t>(table.columns[p].fixedWidth) : 0;
        const wchar_t* text = OrEmpty(cells.Text(p));
        size_t len = wcsnlen(text, width + 1);
        if (len > width) {
            len = width;
            if (len > 0 && IsHighSurrogate(text[len - 1])) --len;
        }
        if (!Put(sink, text, len) || !PutSpaces(sink, width - len + 1)) return false;
    }
    return Lit(sink, kLineEnd);
}

// A spreadsheet takes a cell that begins with = + - @ (or a tab or carriage
// return before one) for a formula, and a device name is whatever a
// stranger's device announces. Such a field gets a leading apostrophe so it
// is read as text; a plain number such as -5 is left as it is. Decided on
// the field's bytes; complete is false when more bytes follow these.
bool LooksLikeFormula(const char* bytes, size_t count, bool complete) {
    if (count == 0) return false;
    switch (bytes[0]) {
    case '=': case '@': case '\t': case '\r': return true;
    case '+': case '-': break;
    default: return false;
    }
    if (!complete) return true;   // no plain number is thousands of characters long
    bool digits = false, dot = false;
    for (size_t i = 1; i < count; ++i) {
        if (bytes[i] >= '0' && bytes[i] <= '9') digits = true;
        else if (bytes[i] == '.' && !dot) dot = true;
        else return true;
    }
    return !digits;
}

bool NeedsCsvQuotes(const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == ',' || c == '"' || c == '\r' || c == '\n') return true;
    }
    return false;
}

// Bytes of a field, with every quote doubled inside a quoted field.
bool PutCsvBytes(Out& sink, const char* bytes, size_t count, bool quoted) {
    if (!quoted) return count == 0 || sink.Bytes(bytes, count);
    for (;;) {
        const char* quote = static_cast<const char*>(memchr(bytes, '"', count));
        const size_t run = quote ? static_cast<size_t>(quote - bytes) + 1 : count;
        if (run && !sink.Bytes(bytes, run)) return false;
        if (!quote) return true;
        if (!sink.Bytes("\"", 1)) return false;
        bytes += run;
        count -= run;
    }
}

// A field holding a comma, a quotation mark, a carriage return or a line feed
// is quoted, so that a spreadsheet reads one record per line. The decision is
// taken on the bytes the file gets, after the conversion to the code page.
bool WriteCsvField(Out& sink, const wchar_t* text, UINT codePage = 0) {
    const size_t units = wcslen(text);
    char first[kAnsiPieceBytes];
    size_t firstUnits = 0;
    const size_t firstBytes = ToAnsi(text, units, first, firstUnits, codePage);
    bool quoted = NeedsCsvQuotes(first, firstBytes);
    if (firstUnits < units && !quoted) {
        // A long field: the rest is looked at before anything is written.
        char piece[kAnsiPieceBytes];
        for (size_t at = firstUnits, used = 0; at < units && !quoted; at += used)
            quoted = NeedsCsvQuotes(piece, ToAnsi(text + at, units - at, piece, used, codePage));
    }
    const bool guard = LooksLikeFormula(first, firstBytes, firstUnits == units);
    if (quoted && !sink.Bytes("\"", 1)) return false;
    if (guard && !sink.Bytes("'", 1)) return false;
    if (!PutCsvBytes(sink, first, firstBytes, quoted)) return false;
    if (firstUnits < units) {
        char piece[kAnsiPieceBytes];
        for (size_t at = firstUnits, used = 0; at < units; at += used) {
            const size_t bytes = ToAnsi(text + at, units - at, piece, used, codePage);
            if (!PutCsvBytes(sink, piece, bytes, quoted)) return false;
        }
    }
    return !quoted || sink.Bytes("\"", 1);
}

bool WriteCsvRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    for (int p = 0; p < table.columnCount; ++p) {
        if (p > 0 && !sink.Bytes(",", 1)) return false;
        if (!WriteCsvField(sink, OrEmpty(cells.Text(p)))) return false;
    }
    return sink.Bytes("\r\n", 2);
}

// The escaped, adjusted cell text of an HTML kind in table.scratch, with
// "&nbsp;" after an empty text or one that begins with a space (browsers
// would otherwise draw no cell border or lose the leading space).
const wchar_t* PrepareHtmlCell(const ExportTable& table, ExportCells& cells, int position) {
    wchar_t* out = table.scratch;
    EscapeHtml(cells.Text(position), out, table.scratchSize);
    cells.AdjustHtml(out, table.scratchSize, position);
    if (table.scratchSize > 0) out[table.scratchSize - 1] = 0;
    if (out[0] == 0 || out[0] == L' ') {
        size_t len = wcslen(out);
        if (len + 7 <= table.scratchSize) wmemcpy(out + len, L"&nbsp;", 7);
    }
    return out;
}

bool WriteHtmlRowRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    if (!Lit(sink, L"<tr>")) return false;
    for (int p = 0; p < table.columnCount; ++p) {
        wchar_t hex[8];
        ColorToHex(cells.Background(kExportHtmlHorizontal, p), hex);
        const wchar_t* text = PrepareHtmlCell(table, cells, p);
        if (!Lit(sink, L"<td bgcolor=#") || !Put(sink, hex, 6) ||
            !Put(sink, table.columns[p].noWrap ? L" nowrap>" : L">") || !Put(sink, text)) {
            return false;
        }
    }
    return Lit(sink, kLineEnd);
}

bool WriteHtmlTableRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    if (!Lit(sink, L"<table border=\"1\" cellpadding=\"5\">\r\n")) return false;
    wchar_t headerHex[8];
    ColorToHex(table.headerBackColor, headerHex);
    for (int p = 0; p < table.columnCount; ++p) {
        wchar_t hex[8];
        ColorToHex(cells.Background(kExportHtmlVertical, p), hex);
        const wchar_t* text = PrepareHtmlCell(table, cells, p);
        if (!Lit(sink, L"<tr><td")) return false;
        if (table.headerBackColor != -1 &&
            (!Lit(sink, L" bgcolor=\"") || !Put(sink, headerHex, 6) || !Lit(sink, L"\""))) {
            return false;
        }
        if (!Lit(sink, L" nowrap><b>") || !PutHtml(sink, table.columns[p].title) ||
            !Lit(sink, L"</b><td bgcolor=#") || !Put(sink, hex, 6) ||
            !Put(sink, table.columns[p].noWrap ? L" nowrap>" : L">") || !Put(sink, text) ||
            !Lit(sink, kLineEnd)) {
            return false;
        }
    }
    return Lit(sink, L"</table><p>") && Lit(sink, kLineEnd);
}

bool WriteXmlRecord(Out& sink, const ExportTable& table, ExportCells& cells) {
    if (!Lit(sink, L"<item>\r\n")) return false;
    for (int p = 0; p < table.columnCount; ++p) {
        wchar_t name[256];
        size_t nameLen = XmlName(table.columns[p].builtInTitle, name, 256);
        size_t textLen = EscapeXml(cells.Text(p), table.scratch, table.scratchSize);
        if (!Lit(sink, L"<") || !Put(sink, name, nameLen) || !Lit(sink, L">") ||
            !Put(sink, table.scratch, textLen) || !Lit(sink, L"</") || !Put(sink, name, nameLen) ||
            !Lit(sink, L">\r\n")) {
            return false;
        }
    }
    return Lit(sink, L"</item>\r\n");
}

}  // namespace

// ---- Text helpers -------------------------------------------------------------

size_t EscapeHtml(const wchar_t* text, wchar_t* out, size_t size) {
    return EscapeWith(text, out, size, [](const wchar_t* s, size_t i, size_t&) { return HtmlEntity(s[i]); });
}

// Keeps the file well-formed for any XML reader: only XML's own entities,
// line breaks as character references (a bare CR would be folded away by the
// reader), and every character outside XML 1.0's set replaced.
size_t EscapeXml(const wchar_t* text, wchar_t* out, size_t size) {
    return EscapeWith(text, out, size, [](const wchar_t* s, size_t i, size_t& take) -> const wchar_t* {
        wchar_t c = s[i];
        switch (c) {
            case L'<': return L"&lt;";
            case L'>': return L"&gt;";
            case L'"': return L"&quot;";
            case L'&': return L"&amp;";
            case L'\n': return L"&#10;";
            case L'\r': return L"&#13;";
            case L'\t': return nullptr;
            default: break;
        }
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF || IsLowSurrogate(c)) return L"\xFFFD";
        if (IsHighSurrogate(c)) {
            if (!IsLowSurrogate(s[i + 1])) return L"\xFFFD";
            take = 2;
        }
        return nullptr;
    });
}

void ColorToHex(int32_t color, wchar_t* out) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    uint32_t c = static_cast<uint32_t>(color);
    const unsigned bytes[3] = {c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF};
    for (int i = 0; i < 3; ++i) {
        out[i * 2] = digits[bytes[i] >> 4];
        out[i * 2 + 1] = digits[bytes[i] & 0xF];
    }
    out[6] = 0;
}

size_t XmlName(const wchar_t* title, wchar_t* out, size_t size) {
    if (size == 0) return 0;
    size_t n = 0;
    title = OrEmpty(title);
    for (size_t i = 0; title[i] && n + 1 < size; ++i) {
        wchar_t c = title[i];
        // Brackets are no name characters: "Signal (dBm)" is <signal_dbm>.
        if (c == L'(' || c == L')') continue;
        if (c == L' ' || c == L'\\' || c == L'/') c = L'_';
        else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        out[n++] = c;
    }
    out[n] = 0;
    return n;
}

// ---- Writers --------------------------------------------------------------------

// The comma-delimited kind's quoting and formula guard over plain fields,
// in UTF-8, for files that outlive the code page of the machine that wrote
// them (the history log).
bool WriteCsvRecordUtf8(ExportSink& sink, const wchar_t* const* fields, int count) {
    Out out(sink);
    for (int p = 0; p < count; ++p) {
        if (p > 0 && !out.Bytes(",", 1)) return false;
        if (!WriteCsvField(out, OrEmpty(fields[p]), CP_UTF8)) return false;
    }
    return out.Bytes("\r\n", 2) && out.Flush();
}

bool WriteByteOrderMark(ExportSink& sink) {
    static const unsigned char bom[2] = {0xFF, 0xFE};
    return sink.Write(bom, 2);
}

static bool WriteExportRecordInto(Out& sink, const ExportTable& table, ExportCells& cells, int kind) {
    switch (kind) {
        case kExportText: return WriteTextRecord(sink, table, cells);
        case kExportTabDelimited: return WriteTabRecord(sink, table, cells);
        case kExportTabular: return WriteTabularRecord(sink, table, cells);
        case kExportHtmlHorizontal: return WriteHtmlRowRecord(sink, table, cells);
        case kExportHtmlVertical: return WriteHtmlTableRecord(sink, table, cells);
        case kExportXml: return WriteXmlRecord(sink, table, cells);
        case kExportCsv: return WriteCsvRecord(sink, table, cells);
        default: return false;
    }
}

bool WriteExportRecord(ExportSink& sink, const ExportTable& table, ExportCells& cells, int kind) {
    Out out(sink);
    return WriteExportRecordInto(out, table, cells, kind) && out.Flush();
}

static bool WriteHtmlHeadInto(Out& sink, const ExportTable& table, const HtmlHeadInfo& info, int kind) {
    const wchar_t* title = OrEmpty(info.title);
    const wchar_t* charset = OrEmpty(info.charset);
    if (!Lit(sink, L"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\r\n") ||
        !Lit(sink, L"<html><head>")) {
        return false;
    }
    if (IsCharsetName(charset) && (!Lit(sink, L"<meta http-equiv='content-type' content='text/html;charset=") ||
                                   !Put(sink, charset) || !Lit(sink, L"'>"))) {
        return false;
    }
    if (!Lit(sink, L"<title>") || !PutHtml(sink, title) || !Lit(sink, L"</title></head>\r\n<body>\r\n")) return false;
    if (info.rightToLeft && !Lit(sink, L"<table dir=\"rtl\"><tr><td>\r\n")) return false;
    if (!Lit(sink, L" <h3>") || !PutHtml(sink, title) || !Lit(sink, L"</h3>\r\n")) return false;
    if (!Lit(sink, L"<br><h4>") || !PutHtml(sink, info.createdBy) || !Lit(sink, L" <a href=\"") ||
        !Put(sink, OrEmpty(info.webAddress)) || !Lit(sink, L"\" target=\"newwin\">Nearwatch</a></h4><p>")) {
        return false;
    }
    if (kind != kExportHtmlHorizontal) return true;

    if (!Lit(sink, L"<table border=\"1\" cellpadding=\"5\"><tr")) return false;
    if (table.headerBackColor != -1) {
        wchar_t hex[8];
        ColorToHex(table.headerBackColor, hex);
        if (!Lit(sink, L" bgcolor=\"") || !Put(sink, hex, 6) || !Lit(sink, L"\"")) return false;
    }
    if (!Lit(sink, L">\r\n")) return false;
    wchar_t fontHex[8];
    ColorToHex(table.headerTextColor, fontHex);
    for (int p = 0; p < table.columnCount; ++p) {
        const ExportColumn& column = table.columns[p];
        if (!Lit(sink, L"<th")) return false;
        if (column.headerWidth && column.headerWidth[0] &&
            (!Lit(sink, L" width=\"") || !Put(sink, column.headerWidth) || !Lit(sink, L"\""))) {
            return false;
        }
        if (!Lit(sink, L">")) return false;
        if (table.headerTextColor != -1 &&
            (!Lit(sink, L"<font color=\"#") || !Put(sink, fontHex, 6) || !Lit(sink, L"\">"))) {
            return false;
        }
        if (!PutHtml(sink, column.title)) return false;
        if (table.headerTextColor != -1 && !Lit(sink, L"</font>")) return false;
        if (!Lit(sink, kLineEnd)) return false;
    }
    return true;
}

bool WriteHtmlHead(ExportSink& sink, const ExportTable& table, const HtmlHeadInfo& info, int kind) {
    Out out(sink);
    return WriteHtmlHeadInto(out, table, info, kind) && out.Flush();
}

static bool WriteHtmlEndInto(Out& sink, bool rightToLeft, int kind) {
    if (kind == kExportHtmlHorizontal && !Lit(sink, L"</table>\r\n")) return false;
    if (rightToLeft && !Lit(sink, L"</table>")) return false;
    return Lit(sink, L"\r\n</body></html>");
}

bool WriteHtmlEnd(ExportSink& sink, bool rightToLeft, int kind) {
    Out out(sink);
    return WriteHtmlEndInto(out, rightToLeft, kind) && out.Flush();
}

// The file is UTF-16 and says so, so that XML readers decode it as it is.
static bool WriteXmlStartInto(Out& sink, const wchar_t* rootTitle) {
    wchar_t name[256];
    size_t len = XmlName(rootTitle, name, 256);
    return Lit(sink, L"<?xml version=\"1.0\" encoding=\"UTF-16\" ?>\r\n") && Lit(sink, L"<") &&
           Put(sink, name, len) && Lit(sink, L">\r\n");
}

bool WriteXmlStart(ExportSink& sink, const wchar_t* rootTitle) {
    Out out(sink);
    return WriteXmlStartInto(out, rootTitle) && out.Flush();
}

static bool WriteXmlEndInto(Out& sink, const wchar_t* rootTitle) {
    wchar_t name[256];
    size_t len = XmlName(rootTitle, name, 256);
    return Lit(sink, L"</") && Put(sink, name, len) && Lit(sink, L">\r\n");
}

bool WriteXmlEnd(ExportSink& sink, const wchar_t* rootTitle) {
    Out out(sink);
    return WriteXmlEndInto(out, rootTitle) && out.Flush();
}

}  // namespace nw
