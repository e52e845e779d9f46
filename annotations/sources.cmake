# Files of annotations/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Descriptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CompanyIndex.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BluetoothNumbers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BluetoothNumbersData.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/annotations_descriptions_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/annotations_companyindex_test.cpp
)
