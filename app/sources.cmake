# Files of app/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/AboutDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BrowserCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Commands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KeyRouting.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/app_browsercommand_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/app_commandline_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/app_keyrouting_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/app_mainwindow_test.cpp
)
