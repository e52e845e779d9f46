# Files of publish/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES, end-to-end tests into NW_E2E_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/PublishJson.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PublishTopics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PublishMessages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PublishPlanner.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Publisher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MqttOptionsDialog.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/publish_test.cpp
    # Against the test broker, with the real program started through the driver.
    ${CMAKE_SOURCE_DIR}/tests/unit/publish_broker_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/e2e/Driver.cpp
)
