# Files of listview/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ReportListView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ColumnSettingsDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FindDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ListFont.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/listview_reportlistview_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/listview_columnsettings_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/listview_find_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/listview_listfont_test.cpp
)
