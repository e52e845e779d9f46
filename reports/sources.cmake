# Files of reports/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ReportWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ExportFormat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileSink.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportCommands.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/reports_format_test.cpp
)
