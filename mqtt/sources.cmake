# Files of mqtt/: program code into NW_CORE_SOURCES, unit tests into
# NW_UNIT_TEST_SOURCES.
list(APPEND NW_CORE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/MqttPacket.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MqttOutbox.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MqttConnection.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MqttClient.cpp
)
list(APPEND NW_UNIT_TEST_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/unit/mqtt_packet_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/unit/mqtt_client_test.cpp
)
