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
    ${CMAKE_SOURCE_DIR}/tests/unit/reports_export_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/reports_commands_test.cpp
)
list(APPEND NW_E2E_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/e2e/reports_test.cpp
)
# A real XML parser reads an XML export (host side, after the unit-test build).
if(COMMAND add_test AND NW_BUILD_TESTS AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME reports.xml_export_parses
        COMMAND ${CMAKE_SOURCE_DIR}/tools/check-xml-export.sh ${CMAKE_BINARY_DIR}/bin unit)
    add_test(NAME reports.e2e_xml_export_parses
        COMMAND ${CMAKE_SOURCE_DIR}/tools/check-xml-export.sh ${CMAKE_BINARY_DIR}/bin e2e)
    set_tests_properties(reports.e2e_xml_export_parses PROPERTIES RUN_SERIAL TRUE TIMEOUT 180 LABELS e2e)
endif()
