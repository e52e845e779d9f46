# Files of alerts/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/TemplateExpansion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AlertCommands.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TrayIconControl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NewDeviceActions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DepartureActions.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/alerts_templateexpansion_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/alerts_newdeviceactions_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/alerts_trayicon_test.cpp
)
