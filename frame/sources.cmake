# Files of frame/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Frame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CrashReport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Dpi.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/frame_map_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/frame_dialog_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/frame_window_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/frame_crashreport_test.cpp
)
