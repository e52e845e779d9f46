# Files of lang/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Strings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LanguageFile.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/lang_strings_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/lang_languagefile_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/lang_savelangfile_e2e_test.cpp
)
# Checks on the resource script and the shipped translations.
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/res_resources_test.cpp
)
