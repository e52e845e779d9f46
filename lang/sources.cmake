# Files of lang/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
)
list(APPEND NW_UNIT_TEST_SOURCES
)
# Checks on the resource script and the shipped translations.
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/res_resources_test.cpp
)
