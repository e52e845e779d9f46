// ExportRows through a real list-view control: the rows in the order shown,
// selected-only, hidden columns, the byte order mark and write failures.
#include <gtest/gtest.h>
#include "reports/ReportWriter.h"
#include "reports/FileSink.h"
#include "listview/ReportListView.h"
#include "lang/LanguageFile.h"
#include "lang/Strings.h"
#include "base/Text.h"
#include "resource.h"
#include "reports_testsupport.h"
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using nwtest::MemorySink;

namespace {

struct TestRecord : nw::ListRecord {
    wchar_t name[64];
    wchar_t address[32];
};

const nw::ColumnSpec kTestColumns[] = {
    {IDS_COL_NAME, 130, 20, 1},
    {IDS_COL_ADDRESS, 130, 20, 1},
};

// Two columns over TestRecords; counts the export slots it is asked for.
class TestList : public nw::ReportListView {
public:
    const wchar_t* ColumnText(const nw::ListRecord* record, int column, wchar_t*) const override {
        const TestRecord* r = static_cast<const TestRecord*>(record);
        return column == 0 ? r->name : column == 1 ? r->address : L"";
    }
    size_t RecordSize() const override { return sizeof(TestRecord); }
    const wchar_t* ListTitle() const override { return L"Device List"; }
    const wchar_t* ListTitleBuiltIn() const override { return L"Device List"; }
    bool WriteRecord(nw::ExportSink& sink, const nw::ListRecord* record, int kind) override {
        ++recordCalls;
        return nw::ReportListView::WriteRecord(sink, record, kind);
    }
    bool WriteFileFooter(nw::ExportSink& sink, int kind) override {
        ++footerCalls;
        return nw::ReportListView::WriteFileFooter(sink, kind);
    }
    bool WriteXmlFooter(nw::ExportSink& sink) override {
        ++footerCalls;
        return nw::ReportListView::WriteXmlFooter(sink);
    }
    int recordCalls = 0;
    int footerCalls = 0;
};

class ReportExport : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(parent_);
        control_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 400, 300,
                                   parent_, nullptr, nullptr, nullptr);
        ASSERT_TRUE(control_);
        list_.Attach(control_, kTestColumns, 2);
        list_.InsertColumns();
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"nwx", 0, path_);
    }
    void TearDown() override {
        DeleteFileW(path_);
        if (parent_) DestroyWindow(parent_);
    }
    void Add(const wchar_t* name, const wchar_t* address) {
        TestRecord r = {};
        r.image = -1;
        nw::CopyText(r.name, name);
        nw::CopyText(r.address, address);
        ASSERT_TRUE(list_.AddRecord(&r));
        list_.Refresh();
    }
    std::string FileBytes() const {
        std::string bytes;
        FILE* f = _wfopen(path_, L"rb");
        if (!f) return bytes;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.append(buffer, n);
        fclose(f);
        return bytes;
    }
    std::wstring FileText() const {
        std::string b = FileBytes();
        std::wstring s;
        for (size_t i = 0; i + 1 < b.size(); i += 2) {
            s.push_back(static_cast<wchar_t>(static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8)));
        }
        return s;
    }

    HWND parent_ = nullptr;
    HWND control_ = nullptr;
    TestList list_;
    wchar_t path_[MAX_PATH] = {};
};

const std::wstring kBom = L"\xFEFF";

}  // namespace

TEST_F(ReportExport, EveryKindOfTheExampleRowThroughAFile) {
    Add(L"A&B, <1>", L"00:11:22:33:44:55");
    std::wstring credit = std::wstring(L"<br><h4>") + nw::GetString(IDS_CREATED_BY) + L" <a href=\"" +
                          nw::ReportCreditAddress() + L"\" target=\"newwin\">Nearwatch</a></h4><p>";
    std::wstring head =
        L"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\r\n"
        L"<html><head><title>Device List</title></head>\r\n<body>\r\n <h3>Device List</h3>\r\n" +
        credit;
    const std::wstring sep(50, L'=');

    ASSERT_TRUE(nw::ExportRows(list_, path_, 1, false, false));
    EXPECT_EQ(kBom + sep + L"\r\nDevice Name       : A&B, <1>\r\nAddress           : 00:11:22:33:44:55\r\n" + sep +
                  L"\r\n\r\n",
              FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 2, false, false));
    EXPECT_EQ(kBom + L"A&B, <1>\t00:11:22:33:44:55\t\r\n", FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 3, false, false));
    EXPECT_EQ(kBom + L"A&B, <1>" + std::wstring(13, L' ') + L"00:11:22:33:44:55    \r\n", FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 4, false, false));
    EXPECT_EQ(kBom + head +
                  L"<table border=\"1\" cellpadding=\"5\"><tr bgcolor=\"E0E0E0\">\r\n<th>Device Name\r\n<th>Address\r\n"
                  L"<tr><td bgcolor=#FFFFFF nowrap>A&amp;B, &lt;1&gt;<td bgcolor=#FFFFFF nowrap>00:11:22:33:44:55\r\n"
                  L"</table>\r\n\r\n</body></html>",
              FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 5, false, false));
    EXPECT_EQ(kBom + head +
                  L"<table border=\"1\" cellpadding=\"5\">\r\n"
                  L"<tr><td bgcolor=\"E0E0E0\" nowrap><b>Device Name</b><td bgcolor=#FFFFFF nowrap>A&amp;B, &lt;1&gt;\r\n"
                  L"<tr><td bgcolor=\"E0E0E0\" nowrap><b>Address</b><td bgcolor=#FFFFFF nowrap>00:11:22:33:44:55\r\n"
                  L"</table><p>\r\n\r\n</body></html>",
              FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 6, false, false));
    EXPECT_EQ(kBom +
                  L"<?xml version=\"1.0\" encoding=\"UTF-16\" ?>\r\n<device_list>\r\n<item>\r\n"
                  L"<device_name>A&amp;B, &lt;1&gt;</device_name>\r\n<address>00:11:22:33:44:55</address>\r\n"
                  L"</item>\r\n</device_list>\r\n",
              FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 7, false, false));
    EXPECT_EQ("\"A&B, <1>\",00:11:22:33:44:55\r\n", FileBytes());
    // Kind 7 never has a mark, the others drop it on request.
    ASSERT_TRUE(nw::ExportRows(list_, path_, 2, true, false));
    EXPECT_EQ(L"A&B, <1>\t00:11:22:33:44:55\t\r\n", FileText());
}

TEST_F(ReportExport, RowsInTheOrderShownSelectedOnlyAndVisibleColumnsOnly) {
    Add(L"alpha", L"00:00:00:00:00:01");
    Add(L"beta", L"00:00:00:00:00:02");
    Add(L"gamma", L"00:00:00:00:00:03");
    list_.Sort(nw::kSortDescending | 0, true);
    ASSERT_TRUE(nw::ExportRows(list_, path_, 2, true, false));
    EXPECT_EQ(L"gamma\t00:00:00:00:00:03\t\r\nbeta\t00:00:00:00:00:02\t\r\nalpha\t00:00:00:00:00:01\t\r\n", FileText());

    list_.SetRowState(0, LVIS_SELECTED, LVIS_SELECTED);
    list_.SetRowState(2, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetColumnWidth(control_, 1, 0);   // hidden: not exported
    ASSERT_TRUE(nw::ExportRows(list_, path_, 2, true, true));
    EXPECT_EQ(L"gamma\t\r\nalpha\t\r\n", FileText());

    // Nothing selected: header and footer only.
    list_.SetRowState(-1, 0, LVIS_SELECTED);
    ASSERT_TRUE(nw::ExportRows(list_, path_, 6, false, true));
    EXPECT_EQ(kBom + L"<?xml version=\"1.0\" encoding=\"UTF-16\" ?>\r\n<device_list>\r\n</device_list>\r\n", FileText());
}

TEST_F(ReportExport, AFreedRecordIsNotExportedBeforeItsRowGoes) {
    Add(L"alpha", L"00:00:00:00:00:01");
    Add(L"beta", L"00:00:00:00:00:02");
    list_.FreeRecord(0);   // its row stays until the next refresh
    ASSERT_EQ(2, list_.RowCount());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 2, true, false));
    EXPECT_EQ(L"beta\t00:00:00:00:00:02\t\r\n", FileText());
}

TEST_F(ReportExport, NoRowsAndUnknownKinds) {
    ASSERT_TRUE(nw::ExportRows(list_, path_, 2, false, false));
    EXPECT_EQ(kBom, FileText());
    ASSERT_TRUE(nw::ExportRows(list_, path_, 9, false, false));   // no row to fail
    EXPECT_EQ(kBom, FileText());
    Add(L"a", L"b");
    EXPECT_FALSE(nw::ExportRows(list_, path_, 9, false, false));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ReportExport, AFailedWriteEndsTheLoopButTheFooterIsStillTried) {
    for (int i = 0; i < 5; ++i) Add(L"name", L"00:11:22:33:44:55");
    const int kinds[] = {2, 4, 6};
    for (int kind : kinds) {
        list_.recordCalls = list_.footerCalls = 0;
        MemorySink full;
        ASSERT_TRUE(nw::ExportRowsTo(list_, full, kind, false, false));
        size_t total = full.Bytes().size();
        // Fail in the middle of the third record.
        MemorySink sink(total / 2);
        list_.recordCalls = list_.footerCalls = 0;
        EXPECT_FALSE(nw::ExportRowsTo(list_, sink, kind, false, false)) << kind;
        EXPECT_LT(list_.recordCalls, 5) << kind;
        EXPECT_EQ(kind == 2 ? 0 : 1, list_.footerCalls) << kind;
    }
}

TEST_F(ReportExport, TheFileCannotBeCreated) {
    Add(L"a", L"b");
    EXPECT_FALSE(nw::ExportRows(list_, L"Z:\\no\\such\\folder\\x.txt", 2, false, false));
    EXPECT_NE(0u, GetLastError());
    EXPECT_FALSE(nw::ExportRows(list_, L"", 2, false, false));
}

// A file sink that cannot write reports the platform's error, and the
// export's result is false even though every piece went to the buffer.
TEST(ReportFileSink, BuffersAndReportsAFailedWrite) {
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"nws", 0, path);
    {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        nw::FileSink sink(file);
        std::string big(100000, 'x');
        ASSERT_TRUE(sink.Write("ab", 2));
        ASSERT_TRUE(sink.Write(big.data(), big.size()));
        ASSERT_TRUE(sink.Write("cd", 2));
        ASSERT_TRUE(sink.Flush());
        CloseHandle(file);
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ASSERT_TRUE(GetFileAttributesExW(path, GetFileExInfoStandard, &data));
        EXPECT_EQ(100004u, data.nFileSizeLow);
    }
    {
        HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);   // not writable
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        nw::FileSink sink(file);
        EXPECT_TRUE(sink.Write("ab", 2));   // buffered
        EXPECT_FALSE(sink.Flush());
        EXPECT_TRUE(sink.Failed());
        EXPECT_NE(0u, sink.Error());
        EXPECT_FALSE(sink.Write("cd", 2));   // nothing after a failure
        CloseHandle(file);
    }
    DeleteFileW(path);
}

// The XML export of awkward texts; when NW_XML_EXPORT_OUT names a file the
// export is left there for an XML parser to read (tools/check-xml-export.sh).
TEST_F(ReportExport, XmlOfAwkwardTextsForAnXmlParser) {
    Add(L"A&B <\"1\"> 20\x00B0", L"line\r\nbreak\ttab");
    Add(L"ctl\x0001\x0008\x000B\x000C\x001F end", L"\xD83D\xDE00 \xD800 lone \xFFFF");
    Add(L"", L"]]> &amp; <![CDATA[");
    const char* out = getenv("NW_XML_EXPORT_OUT");
    wchar_t target[MAX_PATH];
    if (out && *out) {
        MultiByteToWideChar(CP_UTF8, 0, out, -1, target, MAX_PATH);
    } else {
        nw::CopyText(target, path_);
    }
    ASSERT_TRUE(nw::ExportRows(list_, target, 6, false, false));
    HANDLE f = CreateFileW(target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    CloseHandle(f);
}

// A language file brings its character set, right-to-left layout and texts
// into the HTML, while XML names keep the program's own titles.
TEST_F(ReportExport, LanguageFileShapesTheHtmlButNotTheXmlNames) {
    wchar_t folder[MAX_PATH], language[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"nwl", 0, language);
    const wchar_t content[] = L"\xFEFF[general]\r\nrtl=1\r\ncharset=utf-8\r\n"
                              L"[strings]\r\n6=Erstellt von\r\n1001=Ger\x00E4tename\r\n";
    HANDLE file = CreateFileW(language, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, content, static_cast<DWORD>(wcslen(content) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(nw::LoadLanguageFile(language));
    nw::ResetStringCacheForTests();

    HWND control = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 400, 300, parent_, nullptr,
                                   nullptr, nullptr);
    TestList list;
    list.Attach(control, kTestColumns, 2);
    list.InsertColumns();
    TestRecord r = {};
    r.image = -1;
    nw::CopyText(r.name, L"n");
    nw::CopyText(r.address, L"a");
    list.AddRecord(&r);
    list.Refresh();

    ASSERT_TRUE(nw::ExportRows(list, path_, 4, true, false));
    std::wstring html = FileText();
    EXPECT_EQ(0u, html.find(L"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\r\n<html><head>"
                            L"<meta http-equiv='content-type' content='text/html;charset=utf-8'><title>Device List"
                            L"</title></head>\r\n<body>\r\n<table dir=\"rtl\"><tr><td>\r\n <h3>Device List</h3>\r\n"
                            L"<br><h4>Erstellt von <a href=\""));
    EXPECT_NE(std::wstring::npos, html.find(L"<th>Ger\x00E4tename\r\n<th>Address\r\n"));
    EXPECT_EQ(html.size() - 34, html.find(L"</table>\r\n</table>\r\n</body></html>"));
    ASSERT_TRUE(nw::ExportRows(list, path_, 6, true, false));
    EXPECT_NE(std::wstring::npos, FileText().find(L"<device_name>n</device_name>"));

    nw::CloseLanguageFile();
    nw::ResetStringCacheForTests();
    DeleteFileW(language);
}
