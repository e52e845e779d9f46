# Files of presence/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/SpanStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PresenceTracker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HistoryLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TimelineWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HistoryLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PresenceMonitor.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/presence_test.cpp
)
list(APPEND NW_E2E_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/e2e/presence_test.cpp
)
# Python's csv module and xmllint read the history file and the timeline
# the real program wrote (host side, after the end-to-end build).
if(COMMAND add_test AND NW_BUILD_TESTS AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME presence.files_parse
        COMMAND ${CMAKE_SOURCE_DIR}/tools/check-presence-files.sh ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(presence.files_parse PROPERTIES RUN_SERIAL TRUE TIMEOUT 180 LABELS e2e)
endif()
