# Seeded fuzz tests of every reader of outside data, in the unit test
# program; tools/fuzz.sh runs them longer with new seeds.
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_advertisement_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_companies_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_config_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_descriptions_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_language_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_merge_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_mqtt_test.cpp
)
# The real program under load, driven from outside.
list(APPEND NW_E2E_TEST_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/exit_under_load_test.cpp
)
