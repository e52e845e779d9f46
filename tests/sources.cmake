# Test-side programs: end-to-end tests (NW_E2E_TEST_SOURCES, with the test
# driver library) and the command-line driver used by the demo.
list(APPEND NW_E2E_TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/e2e/Driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/app_commands_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/app_lifecycle_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/app_scan_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/lowenergy_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/dialogs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/discovery_probe_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/language_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/app_about_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/frame_crash_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/app_dpi_test.cpp
)
set(NW_DRIVER_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/e2e/Driver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/driver/nwdriver.cpp
)
set(NW_BENCH_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_alerts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_devicetable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_export.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_lowenergy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_presence.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_program.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_release.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bench_mqtt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/e2e/Driver.cpp
)
# The bare list-view program the start-up benchmark compares with.
set(NW_BARE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/bench/bare_listview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bench/bare_listview.rc
)
include(${CMAKE_CURRENT_LIST_DIR}/fuzz/sources.cmake)
# The language tests copy the shipped language files from the source tree.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/e2e/language_test.cpp PROPERTIES
    COMPILE_DEFINITIONS "NW_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\"")
