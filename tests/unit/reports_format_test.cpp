// The seven export formats, byte for byte, without a window.
#include <gtest/gtest.h>
#include "reports/ExportFormat.h"
#include "reports_testsupport.h"
#include <windows.h>
#include <string>

using nwtest::ArrayCells;
using nwtest::MemorySink;

namespace {

const nw::ExportColumn kExampleColumns[] = {
    {L"Device Name", L"Device Name", L"", 1, 20},
    {L"Address", L"Address", L"", 1, 20},
};

struct Fixture {
    wchar_t scratch[8192];
    nw::ExportTable table;
    explicit Fixture(const nw::ExportColumn* columns = kExampleColumns, int count = 2) {
        table = {columns, count, 0xE0E0E0, -1, scratch, 8192};
    }
};

std::wstring Record(int kind, std::vector<std::wstring> cells, const nw::ExportColumn* columns = kExampleColumns,
                    int count = 2) {
    Fixture f(columns, count);
    MemorySink sink;
    ArrayCells source(std::move(cells));
    EXPECT_TRUE(nw::WriteExportRecord(sink, f.table, source, kind));
    return sink.Text();
}

std::wstring ExampleRecord(int kind) { return Record(kind, {L"A&B, <1>", L"00:11:22:33:44:55"}); }

const std::wstring kSeparator(50, L'=');
const wchar_t kDoctype[] = L"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\r\n";
const wchar_t kCredit[] =
    L"<br><h4>Created by <a href=\"https://example.test/\" target=\"newwin\">Nearwatch</a></h4><p>";

std::wstring Head(int kind, const wchar_t* charset, bool rtl) {
    Fixture f;
    MemorySink sink;
    nw::HtmlHeadInfo info = {L"Device List", charset, rtl, L"Created by", L"https://example.test/"};
    EXPECT_TRUE(nw::WriteHtmlHead(sink, f.table, info, kind));
    return sink.Text();
}

std::wstring End(int kind, bool rtl) {
    MemorySink sink;
    EXPECT_TRUE(nw::WriteHtmlEnd(sink, rtl, kind));
    return sink.Text();
}

}  // namespace

TEST(ReportFormat, PlainTextPadsTitlesTo18AndFramesEachRecord) {
    EXPECT_EQ(kSeparator + L"\r\n" + L"Device Name       : A&B, <1>\r\n" + L"Address           : 00:11:22:33:44:55\r\n" +
                  kSeparator + L"\r\n\r\n",
              ExampleRecord(1));
    // A title longer than 18 characters pushes the colon to the right.
    const nw::ExportColumn longTitle[] = {{L"A very long column title", L"x", L"", 1, 20}};
    EXPECT_EQ(kSeparator + L"\r\nA very long column title: v\r\n" + kSeparator + L"\r\n\r\n",
              Record(1, {L"v"}, longTitle, 1));
    // A line feed in a value stays as it is.
    EXPECT_NE(std::wstring::npos, Record(1, {L"a\nb", L""}).find(L": a\nb\r\n"));
}

TEST(ReportFormat, TabDelimitedEndsEveryCellWithATab) {
    EXPECT_EQ(L"A&B, <1>\t00:11:22:33:44:55\t\r\n", ExampleRecord(2));
    // A tab inside a value would add a field: it becomes a space.
    EXPECT_EQ(L"a b  c\t d\t\r\n", Record(2, {L"a\tb\t\tc", L"\td"}));
}

TEST(ReportFormat, TabularCutsAndPadsToTheFixedWidth) {
    EXPECT_EQ(L"A&B, <1>" + std::wstring(12, L' ') + L" " + L"00:11:22:33:44:55" + std::wstring(3, L' ') + L" \r\n",
              ExampleRecord(3));
    EXPECT_EQ(L"abcdefghijklmnopqrst " + std::wstring(20, L' ') + L" \r\n",
              Record(3, {L"abcdefghijklmnopqrstuvwxyz", L""}));
    // Half a surrogate pair is never left at the cut.
    std::wstring name(19, L'x');
    name += L"\xD83D\xDE00";
    std::wstring line = Record(3, {name, L""});
    EXPECT_EQ(std::wstring(19, L'x') + L" " + L" " + std::wstring(20, L' ') + L" \r\n", line);
}

TEST(ReportFormat, HorizontalHtmlMatchesTheExample) {
    EXPECT_EQ(std::wstring(kDoctype) +
                  L"<html><head><title>Device List</title></head>\r\n<body>\r\n <h3>Device List</h3>\r\n" + kCredit +
                  L"<table border=\"1\" cellpadding=\"5\"><tr bgcolor=\"E0E0E0\">\r\n<th>Device Name\r\n<th>Address\r\n",
              Head(4, L"", false));
    EXPECT_EQ(L"<tr><td bgcolor=#FFFFFF nowrap>A&amp;B, &lt;1&gt;<td bgcolor=#FFFFFF nowrap>00:11:22:33:44:55\r\n",
              ExampleRecord(4));
    EXPECT_EQ(L"</table>\r\n\r\n</body></html>", End(4, false));
}

TEST(ReportFormat, VerticalHtmlMatchesTheExample) {
    EXPECT_EQ(std::wstring(kDoctype) +
                  L"<html><head><title>Device List</title></head>\r\n<body>\r\n <h3>Device List</h3>\r\n" + kCredit,
              Head(5, L"", false));
    EXPECT_EQ(L"<table border=\"1\" cellpadding=\"5\">\r\n"
              L"<tr><td bgcolor=\"E0E0E0\" nowrap><b>Device Name</b><td bgcolor=#FFFFFF nowrap>A&amp;B, &lt;1&gt;\r\n"
              L"<tr><td bgcolor=\"E0E0E0\" nowrap><b>Address</b><td bgcolor=#FFFFFF nowrap>00:11:22:33:44:55\r\n"
              L"</table><p>\r\n",
              ExampleRecord(5));
    EXPECT_EQ(L"\r\n</body></html>", End(5, false));
}

TEST(ReportFormat, HtmlHeadCarriesCharsetAndRightToLeft) {
    EXPECT_EQ(std::wstring(kDoctype) +
                  L"<html><head><meta http-equiv='content-type' content='text/html;charset=utf-8'>"
                  L"<title>Device List</title></head>\r\n<body>\r\n<table dir=\"rtl\"><tr><td>\r\n <h3>Device List</h3>\r\n" +
                  kCredit,
              Head(5, L"utf-8", true));
    EXPECT_EQ(L"</table>\r\n</table>\r\n</body></html>", End(4, true));
    EXPECT_EQ(L"</table>\r\n</body></html>", End(5, true));
    EXPECT_NE(std::wstring::npos, Head(4, L"ISO_8859-1:1987.x", false).find(L"charset=ISO_8859-1:1987.x'>"));
}

TEST(ReportFormat, LanguageFileTextsCannotAddMarkupToHtml) {
    // A charset with any character outside a name's own is dropped whole.
    for (const wchar_t* charset : {L"utf-8'><script>alert(1)</script>", L"utf 8", L"utf-8\"", L"x>", L"\x00E9"})
        EXPECT_EQ(std::wstring::npos, Head(4, charset, false).find(L"<meta")) << charset;
    // Titles and the credit line are escaped like cell text.
    const nw::ExportColumn hostile[] = {{L"<img src=x>&\"", L"Name", L"", 1, 20}};
    Fixture f(hostile, 1);
    MemorySink head;
    nw::HtmlHeadInfo info = {L"</title><script>", L"", false, L"<b>by</b>", L"u"};
    ASSERT_TRUE(nw::WriteHtmlHead(head, f.table, info, 4));
    EXPECT_EQ(std::wstring(kDoctype) +
                  L"<html><head><title>&lt;/title&gt;&lt;script&gt;</title></head>\r\n<body>\r\n"
                  L" <h3>&lt;/title&gt;&lt;script&gt;</h3>\r\n<br><h4>&lt;b&gt;by&lt;/b&gt; <a href=\"u\" "
                  L"target=\"newwin\">Nearwatch</a></h4><p><table border=\"1\" cellpadding=\"5\"><tr "
                  L"bgcolor=\"E0E0E0\">\r\n<th>&lt;img src=x&gt;&amp;&quot;\r\n",
              head.Text());
    MemorySink record;
    ArrayCells cells({L"v"});
    ASSERT_TRUE(nw::WriteExportRecord(record, f.table, cells, 5));
    EXPECT_NE(std::wstring::npos, record.Text().find(L"<b>&lt;img src=x&gt;&amp;&quot;</b>"));
}

TEST(ReportFormat, HtmlCellsWithoutColumnFlagsOrHeaderColour) {
    const nw::ExportColumn wrapping[] = {{L"T", L"t", L"40", 0, 20}};
    Fixture f(wrapping, 1);
    f.table.headerBackColor = -1;
    MemorySink sink;
    ArrayCells cells({L"x"});
    cells.background = 0x0000FF;   // red in the low byte
    ASSERT_TRUE(nw::WriteExportRecord(sink, f.table, cells, 5));
    EXPECT_EQ(L"<table border=\"1\" cellpadding=\"5\">\r\n<tr><td nowrap><b>T</b><td bgcolor=#FF0000>x\r\n</table><p>\r\n",
              sink.Text());
    MemorySink head;
    nw::HtmlHeadInfo info = {L"L", L"", false, L"C", L"u"};
    ASSERT_TRUE(nw::WriteHtmlHead(head, f.table, info, 4));
    EXPECT_NE(std::wstring::npos, head.Text().find(L"cellpadding=\"5\"><tr>\r\n<th width=\"40\">T\r\n"));
}

TEST(ReportFormat, EmptyOrSpaceLedHtmlCellsGetANonBreakingSpace) {
    EXPECT_EQ(L"<tr><td bgcolor=#FFFFFF nowrap> x&nbsp;<td bgcolor=#FFFFFF nowrap>&nbsp;\r\n", Record(4, {L" x", L""}));
    EXPECT_NE(std::wstring::npos, Record(5, {L"", L"y"}).find(L"<td bgcolor=#FFFFFF nowrap>&nbsp;\r\n"));
    // Not for XML.
    EXPECT_NE(std::wstring::npos, Record(6, {L"", L"y"}).find(L"<device_name></device_name>\r\n"));
    // Only when it fits whole, with the terminator, in the scratch buffer.
    const nw::ExportColumn one[] = {{L"T", L"t", L"", 0, 20}};
    const wchar_t* const cells[][2] = {{L" ab", L" ab&nbsp;"}, {L" abc", L" abc"}};
    for (const auto& cell : cells) {
        Fixture f(one, 1);
        f.table.scratchSize = 10;
        MemorySink sink;
        ArrayCells source({cell[0]});
        ASSERT_TRUE(nw::WriteExportRecord(sink, f.table, source, 4));
        EXPECT_EQ(std::wstring(L"<tr><td bgcolor=#FFFFFF>") + cell[1] + L"\r\n", sink.Text()) << cell[0];
    }
}

TEST(ReportFormat, XmlIsWellFormedUtf16) {
    MemorySink start;
    ASSERT_TRUE(nw::WriteXmlStart(start, L"Device List"));
    EXPECT_EQ(L"<?xml version=\"1.0\" encoding=\"UTF-16\" ?>\r\n<device_list>\r\n", start.Text());
    EXPECT_EQ(L"<item>\r\n<device_name>A&amp;B, &lt;1&gt;</device_name>\r\n<address>00:11:22:33:44:55</address>\r\n"
              L"</item>\r\n",
              ExampleRecord(6));
    MemorySink end;
    ASSERT_TRUE(nw::WriteXmlEnd(end, L"Device List"));
    EXPECT_EQ(L"</device_list>\r\n", end.Text());
    // No HTML entities or elements inside XML.
    EXPECT_EQ(L"<item>\r\n<device_name>20\x00B0 a&#13;&#10;b &quot;q&quot;</device_name>\r\n<address></address>\r\n"
              L"</item>\r\n",
              Record(6, {L"20\x00B0 a\r\nb \"q\"", L""}));
}

TEST(ReportFormat, CommaDelimitedQuotesOnlyWhatNeedsIt) {
    MemorySink sink;
    Fixture f;
    ArrayCells cells({L"A&B, <1>", L"00:11:22:33:44:55"});
    ASSERT_TRUE(nw::WriteExportRecord(sink, f.table, cells, 7));
    EXPECT_EQ("\"A&B, <1>\",00:11:22:33:44:55\r\n", sink.Narrow());

    MemorySink quoted;
    ArrayCells quotes({L"1,\"2\"", L"plain"});
    ASSERT_TRUE(nw::WriteExportRecord(quoted, f.table, quotes, 7));
    EXPECT_EQ("\"1,\"\"2\"\"\",plain\r\n", quoted.Narrow());

    // A line break inside a field keeps the record on one spreadsheet row.
    MemorySink lines;
    ArrayCells breaks({L"two\r\nlines", L"lf\nonly"});
    ASSERT_TRUE(nw::WriteExportRecord(lines, f.table, breaks, 7));
    EXPECT_EQ("\"two\r\nlines\",\"lf\nonly\"\r\n", lines.Narrow());
    MemorySink bare;
    ArrayCells crOnly({L"cr\ronly", L"tab\tonly"});
    ASSERT_TRUE(nw::WriteExportRecord(bare, f.table, crOnly, 7));
    EXPECT_EQ("\"cr\ronly\",tab\tonly\r\n", bare.Narrow());

    // A name that a spreadsheet would run as a formula is written as text;
    // numbers and an inner equals sign stay as they are.
    MemorySink formulas;
    nw::ExportColumn columns[9] = {};
    Fixture nine(columns, 9);
    ArrayCells risky({L"=cmd|' /C calc'!A0", L"+1 555", L"-5", L"@SUM(A1)", L"=1,2", L"a=b", L"-2.5e3",
                      L"\t=1+2", L"\r@x"});
    ASSERT_TRUE(nw::WriteExportRecord(formulas, nine.table, risky, 7));
    EXPECT_EQ("'=cmd|' /C calc'!A0,'+1 555,-5,'@SUM(A1),\"'=1,2\",a=b,'-2.5e3,'\t=1+2,\"'\r@x\"\r\n",
              formulas.Narrow());
}

namespace {

// Fields of one comma-delimited record as a spreadsheet splits it; -1 when
// the bytes are not exactly one record ended by CR LF.
int CsvFieldCount(const std::string& bytes) {
    int fields = 1;
    bool quoted = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '"') quoted = !quoted;
        else if (!quoted && c == ',') ++fields;
        else if (!quoted && (c == '\r' || c == '\n'))
            return i + 2 == bytes.size() && bytes[i + 1] == '\n' ? fields : -1;
    }
    return -1;
}

}  // namespace

TEST(ReportFormat, CommaDelimitedTurnsNoCharacterIntoASeparatorOrQuote) {
    // Full-width comma and quote, an emoji, a CJK character, a lone surrogate:
    // whatever the code page makes of them, the record keeps its fields.
    Fixture f;
    MemorySink sink;
    ArrayCells cells({L"a\xFF0C b\xFF02 c\xFF0C", L"\xD83D\xDE00\x4E2D\xD800 x"});
    ASSERT_TRUE(nw::WriteExportRecord(sink, f.table, cells, 7));
    EXPECT_EQ(2, CsvFieldCount(sink.Narrow())) << sink.Narrow();
    // In a Western code page each character it cannot hold is one "?".
    if (GetACP() == 1252) {
        EXPECT_EQ("a? b? c?,??? x\r\n", sink.Narrow());
    }
    // The same in a field longer than one conversion piece.
    std::wstring longText(3000, L'x');
    longText[2500] = 0xFF0C;
    MemorySink longSink;
    ArrayCells longCells({longText, L"\xFF02"});
    ASSERT_TRUE(nw::WriteExportRecord(longSink, f.table, longCells, 7));
    EXPECT_EQ(2, CsvFieldCount(longSink.Narrow()));
    if (GetACP() == 1252) {
        EXPECT_EQ(std::string(2500, 'x') + "?" + std::string(499, 'x') + ",?\r\n", longSink.Narrow());
    }
    // A real comma and quote only past the first piece still quote the field.
    std::wstring pastFirst(3000, L'x');
    pastFirst[2500] = L',';
    pastFirst[2600] = L'"';
    MemorySink pastSink;
    ArrayCells pastCells({pastFirst, L"y"});
    ASSERT_TRUE(nw::WriteExportRecord(pastSink, f.table, pastCells, 7));
    std::string quoted = "\"";
    quoted.append(2500, 'x').append(",").append(99, 'x').append("\"\"").append(399, 'x').append("\",y\r\n");
    EXPECT_EQ(quoted, pastSink.Narrow());
}

TEST(ReportFormat, CommaDelimitedIsInTheAnsiCodePage) {
    Fixture f;
    std::wstring longText(5000, L'\x00E9');   // longer than one conversion piece
    MemorySink sink;
    ArrayCells cells({L"caf\x00E9", longText});
    ASSERT_TRUE(nw::WriteExportRecord(sink, f.table, cells, 7));
    char expected[16];
    int n = WideCharToMultiByte(CP_ACP, 0, L"caf\x00E9", 4, expected, 16, nullptr, nullptr);
    ASSERT_GT(n, 0);
    std::string bytes = sink.Narrow();
    EXPECT_EQ(std::string(expected, n) + ",", bytes.substr(0, n + 1));
    char one[8];
    int m = WideCharToMultiByte(CP_ACP, 0, L"\x00E9", 1, one, 8, nullptr, nullptr);
    EXPECT_EQ(static_cast<size_t>(n + 1 + 5000 * m + 2), bytes.size());   // nothing cut
}

TEST(ReportFormat, NoVisibleColumnStillWritesTheRecordFrame) {
    EXPECT_EQ(kSeparator + L"\r\n" + kSeparator + L"\r\n\r\n", Record(1, {}, nullptr, 0));
    EXPECT_EQ(L"\r\n", Record(2, {}, nullptr, 0));
    EXPECT_EQ(L"\r\n", Record(3, {}, nullptr, 0));
    EXPECT_EQ(L"<item>\r\n</item>\r\n", Record(6, {}, nullptr, 0));
    Fixture f(nullptr, 0);
    MemorySink sink;
    ArrayCells none({});
    ASSERT_TRUE(nw::WriteExportRecord(sink, f.table, none, 7));
    EXPECT_EQ("\r\n", sink.Narrow());
}

TEST(ReportFormat, UnknownKindWritesNothingAndFails) {
    Fixture f;
    MemorySink sink;
    ArrayCells cells({L"a", L"b"});
    EXPECT_FALSE(nw::WriteExportRecord(sink, f.table, cells, 0));
    EXPECT_FALSE(nw::WriteExportRecord(sink, f.table, cells, 8));
    EXPECT_TRUE(sink.Bytes().empty());
}

TEST(ReportFormat, AFailingSinkStopsTheRecord) {
    for (int kind = 1; kind <= 7; ++kind) {
        Fixture f;
        MemorySink sink(10);
        ArrayCells cells({L"A&B, <1>", L"00:11:22:33:44:55"});
        EXPECT_FALSE(nw::WriteExportRecord(sink, f.table, cells, kind)) << kind;
        EXPECT_EQ(1, sink.failedWrites) << kind;   // nothing more tried after the failure
    }
}

TEST(ReportText, EscapeHtml) {
    wchar_t out[64];
    nw::EscapeHtml(L"<a href=\"x\">&\x00B0\n\r", out, 64);
    EXPECT_STREQ(L"&lt;a href=&quot;x&quot;&gt;&amp;&deg;<br>\r", out);
    // Controls other than tab, CR and LF, and U+FFFE/U+FFFF, as in XML.
    nw::EscapeHtml(L"a\x0001\x0008\tb\x000B\x001F\xFFFE\xFFFF\x007F", out, 64);
    EXPECT_STREQ(L"a\xFFFD\xFFFD\tb\xFFFD\xFFFD\xFFFD\xFFFD\x007F", out);
    // Never half an entity when the buffer is short.
    EXPECT_EQ(2u, nw::EscapeHtml(L"ab&cd", out, 7));
    EXPECT_STREQ(L"ab", out);
    EXPECT_EQ(7u, nw::EscapeHtml(L"ab&cd", out, 8));
    EXPECT_STREQ(L"ab&amp;", out);
}

TEST(ReportText, EscapeXmlReplacesWhatXmlForbids) {
    wchar_t out[64];
    nw::EscapeXml(L"a\x0001\x0008\tb\x000B\x001F\xFFFE\xFFFF", out, 64);
    EXPECT_STREQ(L"a\xFFFD\xFFFD\tb\xFFFD\xFFFD\xFFFD\xFFFD", out);
    nw::EscapeXml(L"\xD83D\xDE00 \xD83D x \xDE00", out, 64);
    EXPECT_STREQ(L"\xD83D\xDE00 \xFFFD x \xFFFD", out);
}

TEST(ReportText, ColorToHexWritesRedGreenBlue) {
    wchar_t hex[8];
    nw::ColorToHex(0xE0E0E0, hex);
    EXPECT_STREQ(L"E0E0E0", hex);
    nw::ColorToHex(0x123456, hex);
    EXPECT_STREQ(L"563412", hex);
    nw::ColorToHex(0x0000FF, hex);
    EXPECT_STREQ(L"FF0000", hex);
}

TEST(ReportText, XmlNameLowersAsciiAndJoinsWithUnderscores) {
    wchar_t name[64];
    nw::XmlName(L"Device Name/ID", name, 64);
    EXPECT_STREQ(L"device_name_id", name);
    nw::XmlName(L"A\\B \x00C4", name, 64);
    EXPECT_STREQ(L"a_b_\x00C4", name);
}
