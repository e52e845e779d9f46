# Files of batch/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/BatchConsole.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BatchExport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BatchHost.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BatchOptions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BatchRun.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PublishRun.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/batch_options_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/batch_run_test.cpp
)
list(APPEND NW_E2E_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/e2e/batch_test.cpp
)
