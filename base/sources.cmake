# Files of base/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Allocation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProfileText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UnitBuffer.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/base_paths_test.cpp
    # Linked in place of base/UnitBuffer.cpp: guarded arrays.
    ${CMAKE_SOURCE_DIR}/tests/unit/base_unitbuffer_guard.cpp
)
