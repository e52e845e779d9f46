// The export slots of the report list. (Placeholder bodies until the writers land.)
#include "listview/ReportListView.h"
#include "reports/ExportSink.h"

namespace nw {

bool ReportListView::WriteXmlHeader(ExportSink&) { return true; }
bool ReportListView::WriteXmlFooter(ExportSink&) { return true; }
bool ReportListView::WriteFileHeader(ExportSink&, int) { return true; }
bool ReportListView::WriteFileFooter(ExportSink&, int) { return true; }
bool ReportListView::WriteRecord(ExportSink&, const ListRecord*, int) { return false; }

}  // namespace nw
